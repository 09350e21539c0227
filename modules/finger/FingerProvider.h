#pragma once
// The fingerprint reader: the first libfprint device that can hand out
// images, driven by libfprint's asynchronous capture on the GUI thread's
// GLib main context, which Qt's own event loop runs on Linux. Events:
// 0x100 when the reader waits for the finger, 0x103 when the image is
// there, 0x104 when the capture ended without one (timeout, reader failed
// or unplugged). Images are handed out in the format of FingerImage.h, at
// an assumed 500 dpi, since libfprint reports no resolution. A poor image,
// whether the reader or the module (showsCentre) finds it so, is not handed
// out: the user is asked to press again within the same capture.

#include <cstdint>
#include <future>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QPointer>
#include <QString>

#include "modules/common/Component.h"
#include "modules/common/Handed.h"
#include "modules/finger/FingerImage.h"
#include "nbi/nbModule.h"

class QEventLoop;
class QLayout;
class QWidget;

typedef struct _FpContext FpContext;
typedef struct _FpDevice FpDevice;
typedef struct _FpImage FpImage;
typedef struct _GError GError;

namespace Finger {

class FingerView;

class FingerProvider final : public Common::Component<nbIProvider, IID_nbIProvider> {
public:
    // A capture with no image ends after this long.
    static constexpr int CaptureTimeoutMs = 60000;
    // Once the finger lies on the reader, its image must follow within this.
    static constexpr int ImageTimeoutMs = 4000;
    // Opening or closing the reader, or waiting for a cancelled capture.
    static constexpr int DeviceTimeoutMs = 10000;

    FingerProvider();

    uint32_t setEventHandler(nbIEventHandler* handler) override;
    uint32_t attachDevice(int32_t index) override;
    uint32_t attachWindow(nbWindow window, uint32_t flags) override;
    uint32_t getImage(uint32_t kind, uint8_t* out, const uint8_t* params) override;
    uint32_t stopCapture() override;
    uint32_t viewImage(const uint8_t* image, uint8_t flag) override;
    uint32_t reserved9() override;
    uint32_t startCapture(uint8_t** slot, const Nb::Uuid* imageType, uint8_t flag) override;
    uint32_t waitForBimReady(uint8_t** slot, uint32_t timeoutMs) override;
    uint32_t freeBim(uint8_t* image) override;

    // One libfprint request in flight; its completion may come after the
    // provider let it go.
    struct Request;

private:
    enum class End { None, Caller, Timeout };
    struct Glue;

    ~FingerProvider() override;

    // Whether libfprint can run here: the GUI thread of a Qt application
    // whose event loop is GLib's.
    static bool canRun();
    uint32_t openDevice(int32_t index);
    void closeDevice();
    void detachWindow();
    // ask: what the user is asked for while the reader waits for the finger,
    // when the last press needs other words than the plain request.
    bool beginCapture(const char* ask = nullptr);
    // Cancels the capture in flight and waits for libfprint to let go of it.
    void cancelCapture();
    void timedOut(const char* why);
    void captured(const std::shared_ptr<Request>& request, FpImage* image, GError* error);
    void fingerStatusChanged();
    void removed();
    void showMessage(const QString& text);
    void setCurrent(const GreyImage& image);
    // Runs the event loop, user input held back, until done() or the time is up.
    template <typename Done>
    bool spin(const Done& done, int ms);
    // Raises an event as the last thing a callback does: the runtime may call
    // back in, even release the provider.
    void raise(uint32_t code);
    void deliver();
    static void dropSource(unsigned& id);

    nbIEventHandler* m_handler = nullptr;
    FpContext* m_context = nullptr;
    FpDevice* m_device = nullptr;
    unsigned long m_statusHandler = 0;
    unsigned long m_removedHandler = 0;
    bool m_lost = false;

    std::shared_ptr<Request> m_capture;
    bool m_capturing = false;
    bool m_announced = false;
    const char* m_ask = nullptr;
    // The frame every press is checked in, worked out once per process while
    // the reader waits for the first finger; waited for before the provider
    // goes.
    std::future<void> m_frameReady;
    bool m_fingerOn = false;
    Nb::Uuid m_type;
    // GLib sources: the capture's time limit, the image's after the finger
    // landed, and the delivery of raised events.
    unsigned m_timeoutSource = 0;
    unsigned m_imageSource = 0;
    unsigned m_deliverSource = 0;
    std::vector<uint32_t> m_events;

    // The image waiting for waitForBimReady, and the one shown.
    GreyImage m_ready;
    GreyImage m_current;
    QByteArray m_png;
    Common::Handed<uint8_t, ImageFormat::wipeSample> m_handed;

    QPointer<QWidget> m_window;
    QPointer<FingerView> m_view;
    QPointer<QLayout> m_layout;
    QString m_message;

    QEventLoop* m_wait = nullptr;
    int m_nested = 0;
};

} // namespace Finger
