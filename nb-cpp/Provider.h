#pragma once
// The client of one input-provider module: loads it, registers itself as the
// module's event sink, attaches the device and the capture window, runs
// captures into an image set and makes miniatures. Module events become Qt
// signals; events that arrive while the client itself is calling into the
// module are dropped. Failures are thrown as Exception.
//
// The module keeps the address of the image slot and of the image type
// while a capture runs, so both live in the client; the client stops any
// running capture before it lets the module go. Owners destroy the
// provider (or unload it) before the image sets it captures into.

#include <QObject>
#include <QPixmap>
#include <QString>

#include "nb-cpp/ModuleInfo.h"
#include "nbi/nbModule.h"

class BimBase;
class QWidget;

class Provider : public QObject, public nbIEventHandler {
    Q_OBJECT
public:
    Provider();
    ~Provider() override;

    // Lets go of a module held before.
    bool load(const QString& path, Nb::Uuid classId, const ModuleInfo& info);
    bool attachDevice(int32_t index);
    bool detachDevice();
    bool attachWindow(QWidget* window);
    bool detachWindow();
    bool startCapture(BimBase* target);
    // True when an image was stored.
    bool capture(bool withMiniature);
    bool recapture();
    bool restartCapture();
    bool viewImage(int index);
    QPixmap fillMiniature();
    QPixmap miniature(int index) const;
    Nb::Uuid imageType() const;
    Nb::Uuid classId() const { return m_classId; }
    bool isLoaded() const { return m_loaded; }
    bool isAttached() const { return m_attached; }
    const ModuleInfo& module() const { return m_module; }
    bool setInterface(nbIProvider* module, Nb::Uuid classId);
    // Lets go of the module, the image set and the window; passes on a
    // failed detach, whatever it threw, only after the module was let go.
    bool unload();

    // The flag handed to the module's startCapture and viewImage.
    void setOptionOne() { m_option = 1; }
    void setOptionFour() { m_option = 4; }

    // nbIEventHandler
    uint32_t queryInterface(const Nb::Uuid* iid, void** out) override;
    uint32_t addRef() override;
    uint32_t release() override;
    uint32_t onEvent(uint32_t code) override;

signals:
    void signalImageReady();
    void signalImageCancel();
    void signalImageStarted();

private:
    // The module's startCapture on the image slot; throws on failure.
    void start();
    // unload without exceptions, for the destructor and a new load.
    void unloadQuietly() noexcept;

    nbIProvider* m_interface = nullptr;
    QWidget* m_window = nullptr;
    bool m_loaded = false;
    bool m_attached = false;
    bool m_busy = false;
    bool m_capturing = false;
    uint8_t m_option = 0;
    Nb::Uuid m_classId;
    uint8_t* m_image = nullptr;
    Nb::Uuid m_imageType;
    BimBase* m_target = nullptr;
    ModuleInfo m_module;
};
