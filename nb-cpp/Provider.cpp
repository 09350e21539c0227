#include "nb-cpp/Provider.h"

#include <exception>

#include <QDebug>
#include <QWidget>

#include "nb-cpp/BimBase.h"
#include "nb-cpp/Exception.h"
#include "nb-cpp/ModuleLibrary.h"
#include "qtnb/Data.h"

namespace {

// Marks a call into the module for its whole extent, also when it throws;
// nested calls leave the flag as the outer one set it.
class Busy {
public:
    explicit Busy(bool& flag) : m_flag(flag), m_was(flag) { flag = true; }
    ~Busy() { m_flag = m_was; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& m_flag;
    bool m_was;
};

// A module that keeps asking for a longer picture buffer gets this many
// tries, and never a buffer beyond the size limit.
constexpr int MiniatureAttempts = 4;
constexpr int32_t MaxPictureBytes = 64 * 1024 * 1024;
constexpr int MiniatureHeight = 64;
constexpr uint32_t WaitMs = 1000;

[[noreturn]] void fail(const char* text) { throw Exception(text); }

} // namespace

Provider::Provider() = default;

Provider::~Provider()
{
    unloadQuietly();
}

void Provider::unloadQuietly() noexcept
{
    try {
        unload();
    } catch (const Exception& e) {
        qDebug() << "Provider: module let go after a failed detach:" << e.message;
    } catch (...) {
        qDebug() << "Provider: module let go after a failed detach";
    }
}

bool Provider::load(const QString& path, Nb::Uuid classId, const ModuleInfo& info)
{
    // The module held before goes first: its interface would be lost.
    unloadQuietly();
    m_interface = static_cast<nbIProvider*>(
        queryComponent(path, classId, IID_nbIProvider, "Невозможно загрузить библиотеку биометрического провайдера",
                       "Невозможно загрузить интерфейс библиотеки биометрического провайдера"));
    m_loaded = true;
    m_classId = classId;
    m_module = info;
    Busy busy(m_busy);
    if (m_interface->setEventHandler(this) != nbS_OK)
        fail("Невозможно установить обработчик сообщений");
    return true;
}

bool Provider::attachDevice(int32_t index)
{
    if (m_attached)
        return false;
    Busy busy(m_busy);
    if (!m_loaded)
        return false;
    const uint32_t rc = m_interface->attachDevice(index);
    if (rc == nbE_DEVICE_NOT_CONNECTED)
        fail("Невозможно присоединить устройство ввода: устройство не подключено");
    if (rc == nbE_NO_MODULE)
        fail("Невозможно присоединить устройство ввода: драйвер не найден");
    if (rc != nbS_OK)
        fail("Невозможно присоединить устройство ввода");
    m_attached = true;
    return true;
}

bool Provider::detachDevice()
{
    if (!m_attached)
        return false;
    Busy busy(m_busy);
    if (!m_loaded)
        return false;
    const uint32_t rc = m_interface->attachDevice(-1);
    if (rc == nbE_DEVICE_NOT_CONNECTED)
        fail("Невозможно отсоединить устройство ввода: устройство не подключено");
    if (rc == nbE_NO_MODULE)
        fail("Невозможно отсоединить устройство ввода: драйвер не найден");
    if (rc != nbS_OK)
        fail("Невозможно отсоединить устройство ввода");
    m_attached = false;
    return true;
}

bool Provider::attachWindow(QWidget* window)
{
    Busy busy(m_busy);
    if (!m_loaded || !window)
        return false;
    m_window = window;
    if (m_interface->attachWindow(window, 0) != nbS_OK)
        fail("Невозможно присоединить окно");
    return true;
}

bool Provider::detachWindow()
{
    Busy busy(m_busy);
    if (!m_loaded)
        return false;
    if (m_interface->attachWindow(nbDETACH_WINDOW, 0) != nbS_OK)
        fail("Невозможно отсоединить окно");
    return true;
}

void Provider::start()
{
    // The module may look at the type while the capture runs.
    m_imageType = m_module.technologyId;
    m_capturing = true;
    if (m_interface->startCapture(&m_image, &m_imageType, m_option) != nbS_OK)
        fail("Невозможно выполнить захват биометрического образа");
}

bool Provider::startCapture(BimBase* target)
{
    Busy busy(m_busy);
    if (!m_loaded || !target)
        return false;
    m_target = target;
    start();
    return true;
}

bool Provider::capture(bool withMiniature)
{
    Busy busy(m_busy);
    if (!m_loaded)
        return false;
    qDebug() << "before waitForBimReady";
    bool stored = false;
    if (m_interface->waitForBimReady(&m_image, WaitMs) == nbS_OK && m_image) {
        const QPixmap picture = withMiniature ? fillMiniature() : QPixmap();
        stored = m_target && m_target->insert(m_target->count(), m_image, picture);
        m_interface->freeBim(m_image);
        m_image = nullptr;
    }
    if (m_target)
        start();
    return stored;
}

bool Provider::recapture()
{
    Busy busy(m_busy);
    if (!m_loaded)
        return false;
    m_interface->stopCapture();
    m_imageType = m_module.technologyId;
    m_capturing = true;
    m_interface->startCapture(&m_image, &m_imageType, m_option);
    return true;
}

bool Provider::restartCapture()
{
    Busy busy(m_busy);
    if (!m_loaded)
        return false;
    uint8_t* pending = nullptr;
    m_interface->waitForBimReady(&pending, WaitMs);
    if (pending)
        m_interface->freeBim(pending);
    m_image = nullptr;
    start();
    return true;
}

bool Provider::viewImage(int index)
{
    Busy busy(m_busy);
    if (!m_loaded)
        return false;
    if (m_interface->stopCapture() != nbS_OK)
        fail("Невозможно сбросить образ");
    m_capturing = false;
    const uint8_t* image = m_target ? m_target->at(index) : nullptr;
    if (m_interface->viewImage(image, m_option) != nbS_OK)
        fail("Невозможно просмотреть образ");
    return true;
}

QPixmap Provider::fillMiniature()
{
    qDebug() << "Provider::fillMiniature()";
    Busy busy(m_busy);
    if (!m_loaded)
        return QPixmap();
    Nb::Data out(1);
    Nb::Data params(1);
    params.data()[0] = 1;
    for (int attempt = 1; m_interface->getImage(nbIMAGE_PICTURE, out.data(), params.data()) != nbS_OK; ++attempt) {
        const int32_t needed = out.size();
        if (attempt >= MiniatureAttempts || needed <= 0 || needed > MaxPictureBytes) {
            qDebug() << "Provider: no picture of the current image, length" << needed;
            return QPixmap();
        }
        out.clear();
        if (!out.resize(needed))
            return QPixmap();
    }
    // A length beyond the buffer is not the module's to claim.
    const int32_t n = out.size();
    QPixmap picture;
    if (n <= 0 || n > out.capacity() || !picture.loadFromData(out.data(), uint(n)))
        return QPixmap();
    return picture.scaledToHeight(MiniatureHeight, Qt::SmoothTransformation);
}

QPixmap Provider::miniature(int index) const
{
    return m_target ? m_target->miniature(index) : QPixmap();
}

Nb::Uuid Provider::imageType() const
{
    return m_module.technologyId;
}

bool Provider::setInterface(nbIProvider* module, Nb::Uuid classId)
{
    unloadQuietly();
    m_interface = module;
    m_classId = classId;
    m_loaded = module != nullptr;
    m_attached = false;
    return true;
}

bool Provider::unload()
{
    Busy busy(m_busy);
    // Whatever a detach throws, the module is let go first.
    std::exception_ptr failure;
    auto attempt = [&failure](auto&& call) {
        try {
            call();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    };
    if (m_interface) {
        // The module writes into the image slot while a capture runs.
        if (m_capturing || m_image)
            attempt([this] { m_interface->stopCapture(); });
        attempt([this] { detachWindow(); });
        attempt([this] { detachDevice(); });
        m_interface->release();
        m_interface = nullptr;
    }
    m_capturing = false;
    m_image = nullptr;
    m_loaded = false;
    m_attached = false;
    // The image set and the window belong to the caller, who may delete
    // them once the module is gone.
    m_target = nullptr;
    m_window = nullptr;
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

uint32_t Provider::queryInterface(const Nb::Uuid*, void** out)
{
    if (out)
        *out = static_cast<nbIEventHandler*>(this);
    return nbS_OK;
}

uint32_t Provider::addRef()
{
    return 1;
}

uint32_t Provider::release()
{
    return 0;
}

uint32_t Provider::onEvent(uint32_t code)
{
    if (m_busy)
        return nbS_OK;
    switch (code) {
    case nbEV_IMAGE_READY:
        emit signalImageReady();
        break;
    case nbEV_IMAGE_CANCEL:
        emit signalImageCancel();
        break;
    case nbEV_IMAGE_STARTED:
        emit signalImageStarted();
        break;
    default:
        break;
    }
    return nbS_OK;
}
