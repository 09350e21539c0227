#pragma once
// The handwriting input provider: puts a drawing pad into the window it is
// given and hands the drawing over as an image when asked. The user decides
// when a sample is complete (the wizard's add button), so the provider never
// reports an image as ready by itself; waitForBimReady answers at once.

#include <QPointer>

#include "modules/common/Component.h"
#include "modules/common/Handed.h"
#include "modules/pen/PenImage.h"
#include "modules/pen/PenPad.h"
#include "nbi/nbModule.h"

class QLayout;

namespace Pen {

class Provider final : public Common::Component<nbIProvider, IID_nbIProvider>, private PadListener {
public:
    Provider() = default;

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

private:
    ~Provider() override;

    void padStarted() override;
    void padCancelled() override;
    void raise(uint32_t code);
    void detachWindow();
    // The pad lives on the GUI thread; calls from elsewhere are refused.
    bool wrongThread() const;
    // Capture off or on, the pad following.
    void setCapturing(bool on);

    nbIEventHandler* m_handler = nullptr;
    QPointer<QWidget> m_window;
    QPointer<Pad> m_pad;
    QPointer<QLayout> m_layout; // ours, when the window had none
    bool m_capturing = false;
    Nb::Uuid m_type;
    Sample m_view; // a stored sample shown read-only
    Common::Handed<uint8_t, freeImage> m_handed;
    uint8_t* m_last = nullptr; // the latest image handed out
};

} // namespace Pen
