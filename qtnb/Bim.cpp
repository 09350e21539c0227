#include "qtnb/Bim.h"

#include <cstring>
#include <new>

#include <QByteArray>
#include <QIODevice>
#include <QtEndian>

#include "qtnb/Error.h"

namespace Nb {

namespace {

int32_t lengthField(const uint8_t* buffer) { return qFromLittleEndian<int32_t>(buffer); }

bool validLength(int32_t length) { return length >= 0 && length <= Bim::MaxLength; }

// A sequential device may promise less than it can deliver: its bytes are
// taken in pieces, so that a false length costs no more than what arrives.
constexpr int32_t ReadPiece = 1 << 20;

} // namespace

Bim::Bim() = default;

Bim::Bim(const Bim& other) { copyFrom(other.m_buffer); }

Bim::Bim(const uint8_t* buffer) { copyFrom(buffer); }

Bim::~Bim() { clear(); }

Bim& Bim::operator=(const Bim& other)
{
    if (&other != this && other.m_buffer != m_buffer)
        copyFrom(other.m_buffer);
    return *this;
}

Bim& Bim::operator=(const uint8_t* buffer)
{
    if (buffer != m_buffer)
        copyFrom(buffer);
    return *this;
}

bool Bim::copyFrom(const uint8_t* buffer)
{
    uint8_t* copy = nullptr;
    if (buffer) {
        const int32_t length = lengthField(buffer);
        if (!validLength(length)) {
            NB_ERR(1);
        } else {
            copy = new (std::nothrow) uint8_t[size_t(length) + HeadSize];
            if (copy)
                std::memcpy(copy, buffer, size_t(length) + HeadSize);
            else
                NB_ERR(2);
        }
    }
    clear();
    m_buffer = copy;
    return copy != nullptr;
}

void Bim::clear()
{
    delete[] m_buffer;
    m_buffer = nullptr;
}

int32_t Bim::length() const { return m_buffer ? lengthField(m_buffer) : 0; }

Uuid Bim::id() const
{
    Uuid id;
    if (m_buffer)
        std::memcpy(id.data(), m_buffer + 4, Uuid::Size);
    return id;
}

bool Bim::attach(uint8_t* buffer)
{
    if (m_buffer || !buffer) {
        NB_ERR(1);
        return false;
    }
    if (!validLength(lengthField(buffer))) {
        NB_ERR(2);
        return false;
    }
    m_buffer = buffer;
    return true;
}

uint8_t* Bim::release()
{
    uint8_t* buffer = m_buffer;
    m_buffer = nullptr;
    return buffer;
}

bool Bim::create(const Uuid& id, int32_t length)
{
    clear();
    if (!validLength(length)) {
        NB_ERR(1);
        return false;
    }
    m_buffer = new (std::nothrow) uint8_t[size_t(length) + HeadSize];
    if (!m_buffer) {
        NB_ERR(2);
        return false;
    }
    qToLittleEndian<int32_t>(length, m_buffer);
    std::memcpy(m_buffer + 4, id.data(), Uuid::Size);
    return true;
}

int32_t Bim::write(QDataStream& stream) const
{
    if (!m_buffer) {
        NB_ERR(1);
        return -1;
    }
    const int32_t n = byteSize();
    if (stream.writeRawData(reinterpret_cast<const char*>(m_buffer), n) != n ||
        stream.status() != QDataStream::Ok) {
        NB_ERR(2);
        return -1;
    }
    return n;
}

int32_t Bim::read(QDataStream& stream)
{
    clear();
    uint8_t head[HeadSize];
    if (stream.readRawData(reinterpret_cast<char*>(head), HeadSize) != HeadSize) {
        stream.setStatus(QDataStream::ReadPastEnd);
        NB_ERR(1);
        return -1;
    }
    const int32_t length = lengthField(head);
    Uuid id;
    std::memcpy(id.data(), head + 4, Uuid::Size);
    if (!validLength(length)) {
        stream.setStatus(QDataStream::ReadCorruptData);
        NB_ERR(2);
        return -1;
    }
    QIODevice* device = stream.device();
    if (!device) {
        NB_ERR(3);
        return -1;
    }
    if (!device->isSequential()) {
        // The length is checked against what the device holds before
        // anything is allocated for it.
        if (device->bytesAvailable() < length) {
            stream.setStatus(QDataStream::ReadPastEnd);
            NB_ERR(4);
            return -1;
        }
        if (!create(id, length))
            return -1;
        if (stream.readRawData(reinterpret_cast<char*>(data()), length) != length ||
            stream.status() != QDataStream::Ok) {
            clear();
            NB_ERR(5);
            return -1;
        }
        return HeadSize + length;
    }
    QByteArray bytes;
    while (bytes.size() < length) {
        const int32_t piece = qMin(ReadPiece, length - int32_t(bytes.size()));
        const int32_t at = int32_t(bytes.size());
        bytes.resize(at + piece);
        if (stream.readRawData(bytes.data() + at, piece) != piece) {
            stream.setStatus(QDataStream::ReadPastEnd);
            NB_ERR(6);
            return -1;
        }
    }
    if (stream.status() != QDataStream::Ok || !create(id, length)) {
        NB_ERR(7);
        clear();
        return -1;
    }
    if (length > 0)
        std::memcpy(data(), bytes.constData(), size_t(length));
    return HeadSize + length;
}

QDebug operator<<(QDebug dbg, const Bim& bim)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace().noquote();
    if (bim.isNull()) {
        dbg << "(Nil)";
        return dbg;
    }
    QString bytes;
    const int32_t shown = qMin(bim.length(), 4);
    for (int32_t i = 0; i < shown; ++i)
        bytes += QStringLiteral("%1").arg(bim.data()[i], 2, 16, QLatin1Char('0'));
    dbg << "Bim(" << static_cast<const void*>(bim.buffer()) << ": " << bim.length()
        << QStringLiteral(" [%1..] ").arg(bytes) << " " << bim.id() << ")";
    return dbg;
}

QDebug operator<<(QDebug dbg, const Bims& bims)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace().noquote();
    dbg << "[";
    for (int32_t i = 0; i < bims.size(); ++i) {
        if (i)
            dbg << "\n";
        dbg << i << ":" << bims.at(i);
    }
    dbg << "]";
    return dbg;
}

} // namespace Nb
