#include "modules/pen/PenProvider.h"

#include <QApplication>
#include <QBuffer>
#include <QThread>

#include "modules/common/Window.h"
#include "modules/pen/PenFeatures.h"

namespace Pen {

// The images still handed out go with the registry.
Provider::~Provider() { detachWindow(); }

uint32_t Provider::setEventHandler(nbIEventHandler* handler)
{
    m_handler = handler;
    return nbS_OK;
}

uint32_t Provider::attachDevice(int32_t index)
{
    // The pad takes mouse, pen and tablet alike: there is one device.
    if (index == 0)
        return nbS_OK;
    if (index == -1) {
        if (wrongThread())
            return nbE_UNSUPPORTED_FUNCTION;
        setCapturing(false);
        return nbS_OK;
    }
    return index > 0 ? nbE_DEVICE_NOT_CONNECTED : nbE_PARAM;
}

uint32_t Provider::attachWindow(nbWindow window, uint32_t)
{
    if (window == nbDETACH_WINDOW) {
        if (wrongThread())
            return nbE_UNSUPPORTED_FUNCTION;
        detachWindow();
        return nbS_OK;
    }
    if (!window)
        return nbE_POINTER;
    const QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread() || wrongThread()) {
        qDebug() << "handwriting pad: no widget application on this thread";
        return nbE_UNSUPPORTED_FUNCTION;
    }
    detachWindow();
    QWidget* host = static_cast<QWidget*>(window);
    Pad* pad = new Pad(this, host);
    pad->setCapturing(m_capturing);
    pad->showSample(m_view);
    // One pad shape everywhere, centred in whatever room the window gives.
    m_layout = Common::place(host, pad, Qt::AlignCenter);
    pad->setVisible(true);
    m_window = host;
    m_pad = pad;
    return nbS_OK;
}

void Provider::detachWindow()
{
    if (Pad* pad = m_pad.data()) {
        pad->setListener(nullptr);
        // Deleting the pad inside its own input handler would pull the
        // widget from under it.
        if (pad->inEvent()) {
            pad->clearInk();
            pad->hide();
            pad->deleteLater();
        } else {
            delete pad;
        }
    }
    if (m_layout && m_window && m_window->layout() == m_layout.data())
        delete m_layout.data();
    m_pad = nullptr;
    m_layout = nullptr;
    m_window = nullptr;
}

bool Provider::wrongThread() const { return m_pad && QThread::currentThread() != m_pad->thread(); }

void Provider::setCapturing(bool on)
{
    m_capturing = on;
    m_view.clear();
    if (m_pad) {
        m_pad->clearInk();
        m_pad->showSample(m_view);
        m_pad->setCapturing(on);
    }
}

uint32_t Provider::getImage(uint32_t kind, uint8_t* out, const uint8_t*)
{
    if (kind != nbIMAGE_PICTURE)
        return nbE_PARAM;
    if (!out)
        return nbE_POINTER;
    if (wrongThread())
        return nbE_UNSUPPORTED_FUNCTION;
    if (Nb::lengthWord(out) < 0)
        return nbE_PARAM;
    // The current image: the drawing on the pad, else the sample just handed
    // over, else the stored sample on view.
    Sample handed;
    const Sample* current = &m_view;
    if (m_pad && m_pad->hasInk())
        current = &m_pad->ink();
    else if (m_last && m_handed.holds(m_last) && readImage(m_last, handed))
        current = &handed;
    QImage picture = render(*current);
    QByteArray png;
    png.reserve(int(picture.sizeInBytes()) + 4096);
    {
        QBuffer device(&png);
        device.open(QIODevice::WriteOnly);
        picture.save(&device, "PNG");
    }
    picture.fill(0);
    const uint32_t result = png.isEmpty() ? nbE_OUT_OF_MEMORY : Common::fill(out, png);
    Nb::wipe(png);
    return result;
}

uint32_t Provider::stopCapture()
{
    if (wrongThread())
        return nbE_UNSUPPORTED_FUNCTION;
    setCapturing(false);
    return nbS_OK;
}

uint32_t Provider::viewImage(const uint8_t* image, uint8_t)
{
    if (wrongThread())
        return nbE_UNSUPPORTED_FUNCTION;
    Sample sample;
    if (image && !readImage(image, sample))
        return nbE_PARAM;
    setCapturing(false);
    m_view.width = sample.width;
    m_view.height = sample.height;
    m_view.strokes.swap(sample.strokes);
    if (m_pad)
        m_pad->showSample(m_view);
    return nbS_OK;
}

uint32_t Provider::reserved9() { return nbE_UNSUPPORTED_FUNCTION; }

uint32_t Provider::startCapture(uint8_t** slot, const Nb::Uuid* imageType, uint8_t)
{
    if (!slot || !imageType)
        return nbE_POINTER;
    // The pad writes handwriting and nothing else.
    if (*imageType != TECH_Handwriting)
        return nbE_PARAM;
    if (wrongThread())
        return nbE_UNSUPPORTED_FUNCTION;
    m_type = *imageType;
    setCapturing(true);
    return nbS_OK;
}

uint32_t Provider::waitForBimReady(uint8_t** slot, uint32_t)
{
    if (!slot)
        return nbE_POINTER;
    if (wrongThread())
        return nbE_UNSUPPORTED_FUNCTION;
    if (!m_capturing || !m_pad || !m_pad->hasInk())
        return nbE_TIMEOUT_EXPIRED;
    const Sample sample = m_pad->take();
    // A dot or a click is no writing: nothing to hand over.
    Wiped<float> check(static_cast<size_t>(Features));
    if (!features(sample, check.data()))
        return nbE_TIMEOUT_EXPIRED;
    uint8_t* image = makeImage(sample, m_type);
    if (!image)
        return nbE_OUT_OF_MEMORY;
    m_handed.add(image);
    m_last = image;
    *slot = image;
    return nbS_OK;
}

uint32_t Provider::freeBim(uint8_t* image)
{
    // The latest image is always one handed out and not yet back.
    if (image && image == m_last)
        m_last = nullptr;
    return m_handed.giveBack(image, nbE_OBJECT_NOT_FOUND, "handwriting pad:");
}

void Provider::padStarted() { raise(nbEV_IMAGE_STARTED); }

void Provider::padCancelled() { raise(nbEV_IMAGE_CANCEL); }

void Provider::raise(uint32_t code)
{
    if (m_handler)
        m_handler->onEvent(code);
}

} // namespace Pen
