#include "nb-cpp/BimBase.h"
#include "nb-cpp/Exception.h"

#include "nbi/nbModule.h"
#include "qtnb/Bim.h"
#include "qtnb/SaveFile.h"

#include <cstring>
#include <memory>
#include <new>

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

namespace {

const char Magic[4] = {'B', 'I', 'M', ' '};
constexpr int TechnologyOffset = 24;
constexpr int CountOffset = 40;

int32_t lengthOf(const uint8_t* image) { return qFromLittleEndian<int32_t>(image); }

} // namespace

BimBase::BimBase() = default;

BimBase::~BimBase() { clear(); }

int BimBase::count() const { return m_images.size(); }

uint8_t* const* BimBase::data() const { return m_images.isEmpty() ? nullptr : m_images.constData(); }

uint8_t* BimBase::at(int index) const { return index >= 0 && index < count() ? m_images.at(index) : nullptr; }

Nb::Uuid BimBase::imageType(int index) const
{
    Nb::Uuid id;
    if (const uint8_t* image = at(index))
        std::memcpy(id.data(), image + 4, Nb::Uuid::Size);
    return id;
}

QPixmap BimBase::miniature(int index) const
{
    // Empty miniatures are kept as null entries, so that a set read from a
    // file never constructs a pixmap (and needs no GUI application).
    const QPixmap* m = at(index) ? m_miniatures.at(index).get() : nullptr;
    return m ? *m : QPixmap();
}

bool BimBase::insert(int index, const uint8_t* image, const QPixmap& miniature)
{
    if (!image)
        return false;
    // Only the length word can be checked; one whose buffer would not fit an
    // int32 is no image this set can hold.
    const int32_t n = lengthOf(image);
    if (n <= 0 || n > Nb::Bim::MaxLength)
        return false;
    uint8_t* copy = allocate(uint32_t(n + Nb::Bim::HeadSize));
    if (!copy)
        return false;
    std::memcpy(copy, image, size_t(n) + Nb::Bim::HeadSize);
    std::unique_ptr<QPixmap> picture(miniature.isNull() ? nullptr : new QPixmap(miniature));
    if (index < 0 || index >= count())
        index = count();
    m_images.insert(index, copy);
    m_miniatures.insert(m_miniatures.begin() + index, std::move(picture));
    m_changed = true;
    return true;
}

bool BimBase::remove(int index)
{
    if (index < 0 || index >= count())
        return false;
    freeImage(m_images.at(index), nullptr);
    m_images.remove(index);
    m_miniatures.erase(m_miniatures.begin() + index);
    m_changed = true;
    return true;
}

bool BimBase::clear()
{
    bool ok = true;
    for (uint8_t* image : qAsConst(m_images))
        ok = freeImage(image, nullptr) && ok;
    m_images.clear();
    m_miniatures.clear();
    m_changed = true;
    return ok;
}

bool BimBase::freeImage(uint8_t* image, nbIProvider* module)
{
    if (!image)
        return true;
    if (module)
        return (module->freeBim(image) & 0x80000000u) == 0;
    delete[] image;
    return true;
}

uint8_t* BimBase::allocate(uint32_t n)
{
    if (n == 0 || n > uint32_t(INT32_MAX))
        return nullptr;
    return new (std::nothrow) uint8_t[n];
}

bool BimBase::write(QIODevice& device, const Nb::Uuid& technology) const
{
    char header[HeaderSize] = {};
    std::memcpy(header, Magic, sizeof Magic);
    std::memcpy(header + TechnologyOffset, technology.data(), Nb::Uuid::Size);
    qToLittleEndian<uint32_t>(uint32_t(m_images.size()), header + CountOffset);
    if (device.write(header, HeaderSize) != HeaderSize)
        throw Exception("Невозможно записать файл");
    for (const uint8_t* image : m_images) {
        if (!image)
            throw Exception("Ошибка в базе биометрических образов");
        const qint64 n = qint64(lengthOf(image)) + Nb::Bim::HeadSize;
        if (device.write(reinterpret_cast<const char*>(image), n) != n)
            throw Exception("Невозможно записать файл");
    }
    return true;
}

bool BimBase::writeFile(const QString& path, Nb::Uuid technology)
{
    // Replaced whole: no tail of an older, longer set stays behind, and a
    // failed write leaves the old file as it was.
    QSaveFile file(path);
    if (!Nb::openOwnerOnly(file))
        throw Exception("Невозможно создать файл");
    write(file, technology);
    if (!Nb::commitWhole(file))
        throw Exception("Невозможно записать файл");
    return true;
}

bool BimBase::read(QIODevice& device, const Nb::Uuid& expected)
{
    char header[HeaderSize];
    if (device.read(header, HeaderSize) != HeaderSize)
        throw Exception("Невозможно прочитать файл");
    if (std::memcmp(header, Magic, sizeof Magic) != 0)
        throw Exception("Неверный формат файла");
    if (std::memcmp(header + TechnologyOffset, expected.data(), Nb::Uuid::Size) != 0)
        throw Exception("Неверный тип биометрических образов");
    const uint32_t records = qFromLittleEndian<uint32_t>(header + CountOffset);

    clear();
    QDataStream stream(&device);
    for (uint32_t i = 0; i < records; ++i) {
        // The record's length is checked against what is left of the device
        // before its buffer is allocated.
        Nb::Bim image;
        if (image.read(stream) < 0) {
            clear();
            throw Exception("Невозможно прочитать файл");
        }
        m_images.append(image.release());
        m_miniatures.emplace_back();
    }
    return true;
}

bool BimBase::readFile(const QString& path, Nb::Uuid expected)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception("Невозможно открыть файл");
    return read(file, expected);
}

bool BimBase::readBytes(const QByteArray& bytes, const Nb::Uuid& expected)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return read(buffer, expected);
}
