// GLib's headers name struct members "signals", which Qt defines as a
// keyword: libfprint comes first.
#include <fprint.h>

#include "modules/finger/FingerProvider.h"

#include <system_error>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QLayout>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "modules/common/Window.h"
#include "modules/finger/FingerView.h"
#include "modules/finger/ForeignFingers.h"

namespace Finger {

namespace {

const char* const Waiting = "Приложите палец к сканеру";
const char* const Again = "Отпечаток не прочитан. Приложите палец ещё раз";
const char* const Centre = "Приложите палец по центру сканера";
const char* const Unplugged = "Сканер отпечатков отключён";
const char* const Failed = "Сканер отпечатков не отвечает";

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

struct FingerProvider::Request {
    explicit Request(FingerProvider* provider) : owner(provider), cancellable(g_cancellable_new()) {}
    ~Request() { g_object_unref(cancellable); }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    FingerProvider* owner;
    GCancellable* cancellable;
    End end = End::None;
    bool done = false;
    bool ok = false;
    QString error;

    // The callback's user data: a reference that the callback takes over.
    static gpointer hold(const std::shared_ptr<Request>& request) { return new std::shared_ptr<Request>(request); }
    static std::shared_ptr<Request> take(gpointer data)
    {
        std::unique_ptr<std::shared_ptr<Request>> holder(static_cast<std::shared_ptr<Request>*>(data));
        return *holder;
    }
    void finish(GError* e)
    {
        done = true;
        ok = !e;
        if (e)
            error = QString::fromUtf8(e->message);
        if (owner && owner->m_wait)
            owner->m_wait->quit();
    }
};

namespace {

void opened(GObject* source, GAsyncResult* result, gpointer data)
{
    const std::shared_ptr<FingerProvider::Request> request = FingerProvider::Request::take(data);
    GError* error = nullptr;
    fp_device_open_finish(FP_DEVICE(source), result, &error);
    request->finish(error);
    if (error)
        g_error_free(error);
}

void closed(GObject* source, GAsyncResult* result, gpointer data)
{
    const std::shared_ptr<FingerProvider::Request> request = FingerProvider::Request::take(data);
    GError* error = nullptr;
    fp_device_close_finish(FP_DEVICE(source), result, &error);
    request->finish(error);
    if (error)
        g_error_free(error);
}

} // namespace

// libfprint's callbacks reach the provider through these.
struct FingerProvider::Glue {
    static void captured(GObject* source, GAsyncResult* result, gpointer data)
    {
        const std::shared_ptr<Request> request = Request::take(data);
        GError* error = nullptr;
        FpImage* image = fp_device_capture_finish(FP_DEVICE(source), result, &error);
        request->done = true;
        if (FingerProvider* owner = request->owner) {
            if (owner->m_wait)
                owner->m_wait->quit();
            owner->captured(request, image, error);
        }
        if (image)
            g_object_unref(image);
        if (error)
            g_error_free(error);
    }
    static void status(GObject*, GParamSpec*, gpointer self)
    {
        static_cast<FingerProvider*>(self)->fingerStatusChanged();
    }
    static void removed(FpDevice*, gpointer self) { static_cast<FingerProvider*>(self)->removed(); }
    static gboolean deliver(gpointer self)
    {
        static_cast<FingerProvider*>(self)->deliver();
        return G_SOURCE_REMOVE;
    }
    static gboolean timeout(gpointer self)
    {
        FingerProvider* p = static_cast<FingerProvider*>(self);
        p->m_timeoutSource = 0;
        p->timedOut("no fingerprint image within the capture time");
        return G_SOURCE_REMOVE;
    }
    static gboolean imageTimeout(gpointer self)
    {
        FingerProvider* p = static_cast<FingerProvider*>(self);
        p->m_imageSource = 0;
        p->timedOut("the finger lies on the reader, but no image came");
        return G_SOURCE_REMOVE;
    }
};

FingerProvider::FingerProvider() = default;

FingerProvider::~FingerProvider()
{
    cancelCapture();
    closeDevice();
    detachWindow();
    dropSource(m_deliverSource);
    m_ready.wipe();
    m_current.wipe();
    Nb::wipe(m_png);
}

uint32_t FingerProvider::reserved9() { return nbE_UNSUPPORTED_FUNCTION; }

uint32_t FingerProvider::setEventHandler(nbIEventHandler* handler)
{
    m_handler = handler;
    return nbS_OK;
}

bool FingerProvider::canRun()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        qDebug() << "fingerprint reader: libfprint runs only on the GUI thread of a running application";
        return false;
    }
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib")) {
        qDebug() << "fingerprint reader: Qt's event loop does not run GLib's main context here (QT_NO_GLIB set?),"
                    " so libfprint cannot work";
        return false;
    }
    return true;
}

template <typename Done>
bool FingerProvider::spin(const Done& done, int ms)
{
    if (done())
        return true;
    if (!QCoreApplication::instance())
        return false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QEventLoop* outer = m_wait;
    m_wait = &loop;
    ++m_nested;
    timer.start(ms);
    while (!done() && timer.isActive())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    --m_nested;
    m_wait = outer;
    return done();
}

uint32_t FingerProvider::attachDevice(int32_t index)
{
    if (index == -1) {
        cancelCapture();
        closeDevice();
        m_lost = false;
        return nbS_OK;
    }
    if (index < 0)
        return nbE_PARAM;
    if (m_device && !m_lost)
        return nbS_OK;
    if (!canRun())
        return nbE_NO_MODULE;
    cancelCapture();
    closeDevice();
    m_lost = false;
    return openDevice(index);
}

uint32_t FingerProvider::openDevice(int32_t index)
{
    m_context = fp_context_new();
    GPtrArray* devices = m_context ? fp_context_get_devices(m_context) : nullptr;
    if (!devices) {
        qDebug() << "fingerprint reader: libfprint did not start";
        if (m_context)
            g_object_unref(m_context);
        m_context = nullptr;
        return nbE_NO_MODULE;
    }
    FpDevice* device = nullptr;
    int32_t capable = 0;
    for (guint i = 0; i < devices->len; ++i) {
        FpDevice* d = FP_DEVICE(g_ptr_array_index(devices, i));
        if (!fp_device_has_feature(d, FP_DEVICE_FEATURE_CAPTURE)) {
            qDebug() << "fingerprint reader" << fp_device_get_name(d) << "(" << fp_device_get_driver(d) << ")"
                     << "only matches prints on the device and hands out no images: not usable here";
            continue;
        }
        if (capable++ == index && !device)
            device = d;
    }
    if (!device) {
        qDebug() << "fingerprint reader: no reader that can capture images is connected";
        g_object_unref(m_context);
        m_context = nullptr;
        return nbE_DEVICE_NOT_CONNECTED;
    }
    auto request = std::make_shared<Request>(this);
    fp_device_open(device, request->cancellable, opened, Request::hold(request));
    if (!spin([&] { return request->done; }, DeviceTimeoutMs)) {
        g_cancellable_cancel(request->cancellable);
        spin([&] { return request->done; }, DeviceTimeoutMs);
    }
    request->owner = nullptr;
    if (!request->ok) {
        qDebug() << "fingerprint reader" << fp_device_get_name(device) << "does not open:"
                 << (request->done ? request->error : QStringLiteral("no answer"));
        g_object_unref(m_context);
        m_context = nullptr;
        return Nb::resultCode(Nb::EcIo);
    }
    m_device = FP_DEVICE(g_object_ref(device));
    m_statusHandler = g_signal_connect(m_device, "notify::finger-status", G_CALLBACK(Glue::status), this);
    m_removedHandler = g_signal_connect(m_device, "removed", G_CALLBACK(Glue::removed), this);
    qDebug() << "fingerprint reader" << fp_device_get_name(m_device) << "attached";
    if (!m_frameReady.valid()) {
        try {
            m_frameReady = std::async(std::launch::async, [] { meanFlow(); });
        } catch (const std::system_error&) {
            // Without a thread the first press works it out.
        }
    }
    return nbS_OK;
}

void FingerProvider::closeDevice()
{
    if (m_device) {
        g_signal_handler_disconnect(m_device, m_statusHandler);
        g_signal_handler_disconnect(m_device, m_removedHandler);
        if (fp_device_is_open(m_device) && QCoreApplication::instance()) {
            auto request = std::make_shared<Request>(this);
            fp_device_close(m_device, nullptr, closed, Request::hold(request));
            spin([&] { return request->done; }, DeviceTimeoutMs);
            request->owner = nullptr;
        }
        g_object_unref(m_device);
        m_device = nullptr;
    }
    if (m_context) {
        g_object_unref(m_context);
        m_context = nullptr;
    }
    m_fingerOn = false;
}

void FingerProvider::dropSource(unsigned& id)
{
    if (id)
        g_source_remove(id);
    id = 0;
}

bool FingerProvider::beginCapture(const char* ask)
{
    m_capture = std::make_shared<Request>(this);
    m_announced = false;
    m_ask = ask;
    m_fingerOn = false;
    fp_device_capture(m_device, TRUE, m_capture->cancellable, Glue::captured, Request::hold(m_capture));
    if (!m_timeoutSource)
        m_timeoutSource = g_timeout_add(CaptureTimeoutMs, Glue::timeout, this);
    return true;
}

void FingerProvider::cancelCapture()
{
    dropSource(m_timeoutSource);
    dropSource(m_imageSource);
    m_capturing = false;
    const std::shared_ptr<Request> request = m_capture;
    if (!request)
        return;
    request->end = End::Caller;
    g_cancellable_cancel(request->cancellable);
    // libfprint lets go of the device only when the cancelled capture has
    // come back; the next capture or the close would find it busy before.
    spin([&] { return request->done; }, DeviceTimeoutMs);
    request->owner = nullptr;
    m_capture.reset();
}

void FingerProvider::timedOut(const char* why)
{
    if (!m_capture)
        return;
    qDebug() << "fingerprint capture cancelled:" << why;
    m_capture->end = End::Timeout;
    g_cancellable_cancel(m_capture->cancellable);
}

void FingerProvider::captured(const std::shared_ptr<Request>& request, FpImage* image, GError* error)
{
    if (request != m_capture)
        return;
    m_capture.reset();
    request->owner = nullptr;
    dropSource(m_imageSource);
    m_fingerOn = false;

    if (image) {
        gsize length = 0;
        const guchar* data = fp_image_get_data(image, &length);
        GreyImage grey;
        grey.width = int(fp_image_get_width(image));
        grey.height = int(fp_image_get_height(image));
        grey.dpi = 500; // libfprint reports no resolution
        if (data && length == gsize(grey.width) * gsize(grey.height) && grey.width >= ImageFormat::MinSide &&
            grey.height >= ImageFormat::MinSide && grey.width <= ImageFormat::MaxSide &&
            grey.height <= ImageFormat::MaxSide) {
            grey.pixels.assign(data, data + length);
            if (!showsCentre(grey)) {
                // The features are read around the print's centre; a press
                // that missed it is asked for again, as the reader's own
                // poor images are.
                grey.wipe();
                qDebug() << "fingerprint press misses the centre of the print: asking for another";
                showMessage(text(Centre));
                if (m_capturing)
                    beginCapture(Centre);
                return;
            }
            dropSource(m_timeoutSource);
            m_capturing = false;
            m_ready.wipe();
            m_ready = grey;
            setCurrent(grey);
            grey.wipe();
            showMessage(QString());
            raise(nbEV_IMAGE_READY);
            return;
        }
        qDebug() << "fingerprint reader handed out an image of" << grey.width << "x" << grey.height
                 << "pixels in" << length << "bytes: asking for another";
        if (m_capturing)
            beginCapture();
        return;
    }

    if (error && error->domain == FP_DEVICE_RETRY) {
        // A poor image: the user tries again within the same capture.
        qDebug() << "fingerprint image not usable:" << error->message;
        showMessage(text(Again));
        if (m_capturing)
            beginCapture(Again);
        return;
    }
    if (request->end == End::Caller)
        return;
    dropSource(m_timeoutSource);
    m_capturing = false;
    if (request->end == End::Timeout || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        showMessage(QString());
        raise(nbEV_IMAGE_CANCEL);
        return;
    }
    const bool unplugged = m_lost || g_error_matches(error, FP_DEVICE_ERROR, FP_DEVICE_ERROR_REMOVED);
    qDebug() << "fingerprint capture failed:" << (error ? error->message : "no image and no reason")
             << (unplugged ? "(reader unplugged)" : "(reader failed)");
    // Whatever failed, the reader is opened afresh by the next attach.
    m_lost = true;
    showMessage(text(unplugged ? Unplugged : Failed));
    raise(nbEV_IMAGE_CANCEL);
}

void FingerProvider::fingerStatusChanged()
{
    if (!m_device || !m_capture)
        return;
    const FpFingerStatusFlags status = fp_device_get_finger_status(m_device);
    const bool on = status & FP_FINGER_STATUS_PRESENT;
    if (on && !m_fingerOn && !m_imageSource)
        m_imageSource = g_timeout_add(ImageTimeoutMs, Glue::imageTimeout, this);
    if (!on)
        dropSource(m_imageSource);
    m_fingerOn = on;
    if ((status & FP_FINGER_STATUS_NEEDED) && m_capturing && !m_announced) {
        m_announced = true;
        showMessage(text(m_ask ? m_ask : Waiting));
        raise(nbEV_IMAGE_STARTED);
    }
}

void FingerProvider::removed()
{
    qDebug() << "fingerprint reader unplugged";
    m_lost = true;
    showMessage(text(Unplugged));
}

void FingerProvider::raise(uint32_t code)
{
    m_events.push_back(code);
    if (!m_deliverSource)
        m_deliverSource = g_idle_add(Glue::deliver, this);
}

void FingerProvider::deliver()
{
    m_deliverSource = 0;
    std::vector<uint32_t> events;
    events.swap(m_events);
    // The handler may call back in and even let the provider go.
    addRef();
    for (uint32_t code : events)
        if (m_handler && m_nested == 0)
            m_handler->onEvent(code);
    release();
}

uint32_t FingerProvider::startCapture(uint8_t** slot, const Nb::Uuid* imageType, uint8_t)
{
    if (!slot || !imageType)
        return nbE_POINTER;
    if (*imageType != TECH_Fingerprint)
        return nbE_PARAM;
    if (!m_device || m_lost)
        return nbE_DEVICE_NOT_CONNECTED;
    m_type = *imageType;
    m_ready.wipe();
    m_capturing = true;
    if (!m_capture)
        beginCapture();
    if (m_view && !m_view->hasImage())
        showMessage(text(Waiting));
    return nbS_OK;
}

uint32_t FingerProvider::stopCapture()
{
    cancelCapture();
    m_ready.wipe();
    setCurrent(GreyImage());
    showMessage(QString());
    return nbS_OK;
}

uint32_t FingerProvider::waitForBimReady(uint8_t** slot, uint32_t timeoutMs)
{
    if (!slot)
        return nbE_POINTER;
    // Only an image already on its way is worth waiting for.
    if (m_ready.isNull() && m_capture && m_fingerOn && timeoutMs > 0)
        spin([this] { return !m_ready.isNull() || !m_capture; }, int(std::min<uint32_t>(timeoutMs, ImageTimeoutMs)));
    if (m_ready.isNull())
        return nbE_TIMEOUT_EXPIRED;
    uint8_t* sample = ImageFormat::newSample(m_ready, m_type);
    m_ready.wipe();
    if (!sample)
        return nbE_OUT_OF_MEMORY;
    *slot = m_handed.add(sample);
    return nbS_OK;
}

uint32_t FingerProvider::freeBim(uint8_t* image)
{
    return m_handed.giveBack(image, nbE_PARAM, "fingerprint reader:");
}

uint32_t FingerProvider::getImage(uint32_t kind, uint8_t* out, const uint8_t* params)
{
    if (kind != nbIMAGE_PICTURE)
        return nbE_PARAM;
    if (!out)
        return nbE_POINTER;
    if (params && Nb::lengthWord(params) < 1)
        return nbE_PARAM;
    // With no image shown the picture is a blank one: a non-zero answer
    // tells the caller only that its buffer is too short.
    if (m_png.isEmpty() && m_current.isNull()) {
        GreyImage blank;
        blank.width = blank.height = ImageFormat::MinSide;
        blank.pixels.assign(size_t(blank.width) * size_t(blank.height), 255);
        m_png = ImageFormat::toPng(blank);
    } else if (m_png.isEmpty()) {
        m_png = ImageFormat::toPng(m_current);
    }
    return Common::fill(out, m_png);
}

uint32_t FingerProvider::viewImage(const uint8_t* image, uint8_t)
{
    if (!image) {
        setCurrent(GreyImage());
        return nbS_OK;
    }
    GreyImage grey;
    if (!ImageFormat::readSample(image, grey)) {
        qDebug() << "fingerprint reader: image to show refused: not a fingerprint image of this module";
        return nbE_PARAM;
    }
    setCurrent(grey);
    grey.wipe();
    showMessage(QString());
    return nbS_OK;
}

void FingerProvider::setCurrent(const GreyImage& image)
{
    m_current.wipe();
    Nb::wipe(m_png);
    m_current = image;
    if (m_view) {
        if (image.isNull())
            m_view->clearImage();
        else
            m_view->setImage(image);
    }
}

void FingerProvider::showMessage(const QString& message)
{
    m_message = message;
    if (m_view)
        m_view->setMessage(message);
}

uint32_t FingerProvider::attachWindow(nbWindow window, uint32_t)
{
    if (window == nbDETACH_WINDOW) {
        detachWindow();
        return nbS_OK;
    }
    if (!window)
        return nbE_POINTER;
    detachWindow();
    QWidget* widget = static_cast<QWidget*>(window);
    m_window = widget;
    m_view = new FingerView(widget);
    m_layout = Common::place(widget, m_view);
    if (!m_current.isNull())
        m_view->setImage(m_current);
    m_view->setMessage(m_message);
    m_view->show();
    return nbS_OK;
}

void FingerProvider::detachWindow()
{
    delete m_view.data();
    delete m_layout.data();
    m_window = nullptr;
}

} // namespace Finger
