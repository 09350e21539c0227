#include "qtnb/Data.h"

#include "qtnb/Enums.h"
#include "qtnb/Error.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <QIODevice>
#include <QtEndian>

namespace Nb {

namespace {

// One array of capacity + 4 bytes: the size word, then the bytes.
uint8_t* allocate(int32_t capacity)
{
    uint8_t* block = new (std::nothrow) uint8_t[size_t(uint32_t(capacity)) + 4];
    if (!block)
        return nullptr;
    setLengthWord(block + 4, 0);
    return block + 4;
}

void deallocate(uint8_t* data)
{
    if (data)
        delete[] (data - 4);
}

int32_t storedSize(const uint8_t* data) { return data ? lengthWord(data) : 0; }

} // namespace

namespace detail {

bool readRawInto(QDataStream& stream, int32_t n, char* out)
{
    if (n < 0) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return false;
    }
    if (n == 0)
        return stream.status() == QDataStream::Ok;
    if (stream.readRawData(out, n) != n) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return false;
    }
    return stream.status() == QDataStream::Ok;
}

bool readRawBytes(QDataStream& stream, int32_t n, QByteArray& out)
{
    out.clear();
    if (n < 0) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return false;
    }
    QIODevice* device = stream.device();
    if (!device || stream.status() != QDataStream::Ok) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return false;
    }
    if (!device->isSequential()) {
        if (device->bytesAvailable() < n) {
            stream.setStatus(QDataStream::ReadPastEnd);
            return false;
        }
        out.resize(n);
        if (!readRawInto(stream, n, out.data())) {
            out.clear();
            return false;
        }
        return true;
    }
    // A sequential device cannot say how much is coming: grow with what arrives.
    constexpr int32_t Chunk = 1 << 16;
    while (out.size() < n) {
        const int32_t old = out.size();
        const int32_t k = std::min(Chunk, n - old);
        out.resize(old + k);
        const int got = stream.readRawData(out.data() + old, k);
        if (got != k) {
            stream.setStatus(QDataStream::ReadPastEnd);
            out.resize(old + std::max(got, 0));
            return false;
        }
    }
    return stream.status() == QDataStream::Ok;
}

} // namespace detail

Data::Data() = default;

Data::Data(int32_t n) { resize(n); }

Data::Data(const uint8_t* buffer)
{
    const int32_t n = storedSize(buffer);
    if (!buffer || n < 0) {
        if (buffer)
            NB_ERR(1);
        return;
    }
    set(buffer, n);
}

Data::Data(const QString& text)
{
    int32_t length = 0;
    fromString(text, length, true);
}

Data::Data(uint8_t* buffer, int32_t capacity)
{
    if (!buffer)
        return;
    const int32_t n = storedSize(buffer);
    if (capacity != 0) {
        // A size word that claims more than the buffer holds is refused.
        if (capacity < 0 || n > capacity) {
            NB_ERR(1);
            return;
        }
    } else {
        capacity = std::max(n, 0);
    }
    m_data = buffer;
    m_capacity = int32_t(uint32_t(capacity) | ViewBit);
}

Data::Data(const QByteArray& array)
{
    if (array.size() < 4) {
        if (!array.isNull())
            NB_ERR(1);
        return;
    }
    uint8_t* bytes = reinterpret_cast<uint8_t*>(const_cast<char*>(array.constData())) + 4;
    const int32_t n = storedSize(bytes);
    const int32_t room = array.size() - 4;
    if (n < 0 || n > room) {
        NB_ERR(2);
        return;
    }
    int32_t capacity = array.capacity() - 4;
    if (capacity <= 0)
        capacity = n;
    m_data = bytes;
    m_capacity = int32_t(uint32_t(std::max(capacity, room)) | ViewBit);
}

Data::Data(const Data& other)
{
    if (other.isNull())
        return;
    if (other.isView()) {
        m_data = other.m_data;
        m_capacity = other.m_capacity;
        return;
    }
    // NUL-terminated text (size -1) is made of the whole capacity.
    const int32_t n = other.size() == -1 ? other.capacity() : other.usableSize();
    m_data = allocate(std::max(other.capacity(), n));
    if (!m_data) {
        NB_ERR(1);
        return;
    }
    m_capacity = std::max(other.capacity(), n);
    std::memcpy(m_data, other.m_data, size_t(n));
    setLengthWord(m_data, other.size());
}

Data::~Data()
{
    if (!isView())
        deallocate(m_data);
}

bool Data::operator=(const Data& other) { return set(other.m_data, other.usableSize()); }

void Data::view(const Data& other)
{
    // Viewing one's own bytes (through another view) changes nothing: freeing
    // them first would leave both pointing at freed memory.
    if (&other == this || (other.m_data && other.m_data == m_data))
        return;
    if (!isView())
        deallocate(m_data);
    m_data = other.m_data;
    if (!m_data) {
        m_capacity = 0;
        return;
    }
    const int32_t capacity = other.capacity() ? other.capacity() : std::max(other.size(), 0);
    m_capacity = int32_t(uint32_t(capacity) | ViewBit);
}

bool Data::attach(uint8_t* buffer)
{
    if (!isNull() || !buffer)
        return false;
    const int32_t n = storedSize(buffer);
    if (n < 0) {
        NB_ERR(1);
        return false;
    }
    m_data = buffer;
    m_capacity = n;
    return true;
}

uint8_t* Data::release()
{
    uint8_t* p = m_data;
    m_data = nullptr;
    m_capacity = 0;
    return p;
}

int32_t Data::size() const { return storedSize(m_data); }

int32_t Data::usableSize() const { return std::clamp(size(), 0, capacity()); }

bool Data::setSize(int32_t n)
{
    if (isNull() || n < -1 || n > capacity())
        return false;
    setLengthWord(m_data, n);
    return true;
}

void Data::clear()
{
    if (isView())
        return;
    deallocate(m_data);
    m_data = nullptr;
    m_capacity = 0;
}

bool Data::reserve(int32_t n)
{
    if (capacity() >= n && (m_data || n <= 0))
        return true;
    if (isView())
        return false;
    uint8_t* fresh = allocate(n);
    if (!fresh)
        return false;
    deallocate(m_data);
    m_data = fresh;
    m_capacity = n;
    return true;
}

bool Data::resize(int32_t n)
{
    if (n < 0)
        return false;
    if (isNull() && n == 0)
        return true;
    if (size() < n && !reserve(n))
        return false;
    setLengthWord(m_data, n);
    return true;
}

bool Data::set(const uint8_t* bytes, int32_t n)
{
    if (n < 0 || (!bytes && n > 0))
        return false;
    if (n > capacity() && !isView()) {
        // Copy before the old array goes: the source may lie inside it.
        uint8_t* fresh = allocate(n);
        if (!fresh)
            return false;
        std::memcpy(fresh, bytes, size_t(n));
        deallocate(m_data);
        m_data = fresh;
        m_capacity = n;
        setLengthWord(m_data, n);
        return true;
    }
    if (!resize(n))
        return false;
    if (n > 0)
        std::memmove(m_data, bytes, size_t(n));
    return true;
}

int32_t Data::compare(const Data& other) const
{
    if (m_data == other.m_data)
        return 0;
    const int32_t a = usableSize();
    const int32_t b = other.usableSize();
    const int32_t common = std::min(a, b);
    if (common > 0) {
        const int r = std::memcmp(m_data, other.m_data, size_t(common));
        if (r != 0)
            return r;
    }
    return a - b;
}

int32_t Data::read(QDataStream& stream, bool withSize, int32_t n)
{
    if (withSize) {
        char word[4];
        if (!detail::readRawInto(stream, 4, word))
            return -1;
        n = qFromLittleEndian<int32_t>(word);
    }
    if (stream.status() != QDataStream::Ok)
        return -1;
    if (n < 0) {
        NB_ERR(1);
        stream.setStatus(QDataStream::ReadCorruptData);
        return -1;
    }
    QIODevice* device = stream.device();
    if (!device) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return -1;
    }
    if (device->isSequential()) {
        QByteArray bytes;
        if (!detail::readRawBytes(stream, n, bytes))
            return -1;
        if (!set(reinterpret_cast<const uint8_t*>(bytes.constData()), n))
            return -1;
    } else {
        // Refuse a size the stream cannot hold before allocating for it.
        if (device->bytesAvailable() < n) {
            NB_ERR(2);
            stream.setStatus(QDataStream::ReadPastEnd);
            return -1;
        }
        if (!resize(n))
            return -1;
        if (!detail::readRawInto(stream, n, reinterpret_cast<char*>(m_data)))
            return -1;
    }
    return withSize ? n + 4 : n;
}

int32_t Data::write(QDataStream& stream, bool withSize) const
{
    const int32_t n = usableSize();
    int32_t written = 0;
    if (isNull() || (withSize && n == 0)) {
        const char zero[4] = {0, 0, 0, 0};
        stream.writeRawData(zero, 4);
        written = 4;
    } else if (withSize) {
        char word[4];
        qToLittleEndian<int32_t>(n, word);
        if (size() == n) {
            // Size word and bytes in one piece.
            stream.writeRawData(reinterpret_cast<const char*>(m_data) - 4, n + 4);
        } else {
            stream.writeRawData(word, 4);
            stream.writeRawData(reinterpret_cast<const char*>(m_data), n);
        }
        written = n + 4;
    } else if (n > 0) {
        stream.writeRawData(reinterpret_cast<const char*>(m_data), n);
        written = n;
    }
    return stream.status() == QDataStream::Ok ? written : -1;
}

QString Data::toString() const
{
    if (isNull())
        return QString();
    if (size() == -1) {
        // The text ends at its first NUL, and never past a known capacity.
        const char* text = reinterpret_cast<const char*>(m_data);
        const int32_t cap = capacity();
        const bool bounded = cap > 0 || !isView();
        return QString::fromUtf8(text, bounded ? int(qstrnlen(text, uint(cap))) : int(qstrlen(text)));
    }
    return QString::fromUtf8(reinterpret_cast<const char*>(m_data), usableSize());
}

int32_t Data::textLength() const { return toString().size(); }

int32_t Data::toUtf16(char16_t* out) const
{
    if (!out)
        return 0;
    const QString text = toString();
    if (text.isEmpty()) {
        out[0] = 0;
        return 1;
    }
    std::memcpy(out, text.utf16(), size_t(text.size()) * sizeof(char16_t));
    return text.size();
}

bool Data::fromString(const QString& text, int32_t& length, bool grow)
{
    const QByteArray utf8 = text.toUtf8();
    length = utf8.size();
    if (size() < length && !grow)
        return false;
    return set(reinterpret_cast<const uint8_t*>(utf8.constData()), length);
}

QDebug operator<<(QDebug dbg, const Data& data)
{
    dbg.nospace();
    if (data.isNull()) {
        dbg << "Data(Nil)";
        return dbg;
    }
    dbg << "Data(" << static_cast<const void*>(data.data()) << ": " << data.size() << " "
        << data.capacity();
    const int32_t total = std::clamp(data.size(), 0, data.capacity());
    if (total > 0)
        dbg << " [" << byteListing(data.data(), total) << "]";
    dbg << ")";
    return dbg;
}

} // namespace Nb
