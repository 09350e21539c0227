#pragma once
// A byte buffer whose int32 size (little-endian) always stands in the 4 bytes
// in front of its first byte: the length-prefixed buffer that crosses the
// engine's interface. A buffer is null, owned (one heap array of capacity + 4
// bytes) or a view over someone else's length-prefixed bytes; a view never
// reallocates, so writing into it succeeds only within its capacity.

#include <cstdint>
#include <QByteArray>
#include <QDataStream>
#include <QtEndian>
#include <QDebug>
#include <QString>

namespace Nb {

// The int32 little-endian byte count in the four bytes in front of a
// length-prefixed buffer's first byte.
inline int32_t lengthWord(const void* buffer)
{
    return qFromLittleEndian<int32_t>(static_cast<const uint8_t*>(buffer) - 4);
}

inline void setLengthWord(void* buffer, int32_t n) { qToLittleEndian<int32_t>(n, static_cast<uint8_t*>(buffer) - 4); }

class Data {
public:
    Data();
    // resize to n; 0 leaves the buffer null.
    explicit Data(int32_t n);
    // Owned copy of a length-prefixed buffer (size read from the word in front).
    explicit Data(const uint8_t* buffer);
    // Owned buffer with the text's UTF-8 bytes.
    explicit Data(const QString& text);
    // View over an outside length-prefixed buffer; capacity is the given value
    // when both pointer and value are non-zero, else the stored size.
    Data(uint8_t* buffer, int32_t capacity);
    // View over an array holding a size word and then the bytes.
    explicit Data(const QByteArray& array);
    // An owned buffer is copied; a view gives another view of the same bytes.
    Data(const Data& other);
    ~Data();

    // Copies the other buffer's bytes and size in; true on success.
    bool operator=(const Data& other);
    bool operator==(const Data& other) const { return compare(other) == 0; }
    bool operator!=(const Data& other) const { return compare(other) != 0; }

    // Makes this a view of the other buffer's bytes.
    void view(const Data& other);
    // Takes ownership of a length-prefixed array allocated as new uint8_t[cap + 4]
    // (buffer pointing 4 bytes in); false when this buffer is not null.
    bool attach(uint8_t* buffer);
    // Returns the data pointer and leaves this null without freeing anything.
    uint8_t* release();

    bool isNull() const { return m_data == nullptr; }
    bool hasData() const { return m_data != nullptr && size() != 0; }
    uint8_t* data() const { return m_data; }
    int32_t size() const;
    int32_t capacity() const { return int32_t(uint32_t(m_capacity) & 0x7FFFFFFFu); }
    bool setSize(int32_t n);

    void clear();
    bool reserve(int32_t n);
    bool resize(int32_t n);
    bool set(const uint8_t* bytes, int32_t n);
    // Byte order; 0 for the same bytes, else the first difference or the size difference.
    int32_t compare(const Data& other) const;

    // Raw stream forms: with the flag the int32 size word precedes the bytes.
    // read returns the bytes consumed (n, or n + 4) or -1.
    int32_t read(QDataStream& stream, bool withSize, int32_t n = 0);
    int32_t write(QDataStream& stream, bool withSize) const;

    QString toString() const;
    int32_t textLength() const;
    // Writes the UTF-16 units of the text, no terminator (a single 0 unit for
    // empty text); returns the units written.
    int32_t toUtf16(char16_t* out) const;
    bool fromString(const QString& text, int32_t& length, bool grow);

private:
    static constexpr uint32_t ViewBit = 0x80000000u;
    bool isView() const { return (uint32_t(m_capacity) & ViewBit) != 0; }
    // Bytes of the buffer that may be listed or compared.
    int32_t usableSize() const;

    uint8_t* m_data = nullptr;
    int32_t m_capacity = 0;
};

QDebug operator<<(QDebug dbg, const Data& data);

namespace detail {
// Reads exactly n raw bytes into out without trusting n: on a random-access
// device n is checked against what is there before anything is allocated, on
// a sequential one the bytes are read in bounded chunks. False (with the
// stream's status set) when they are not all there.
bool readRawBytes(QDataStream& stream, int32_t n, QByteArray& out);
// The same into a caller's buffer of at least n bytes.
bool readRawInto(QDataStream& stream, int32_t n, char* out);

// Integers of the byte forms are raw little-endian bytes, never the stream's
// own big-endian number encoding. The write gives the bytes written (0 when
// it failed); the read leaves the value alone on a short read.
template <typename T>
int32_t writeLe(QDataStream& stream, T value)
{
    const T le = qToLittleEndian(value);
    const int n = stream.writeRawData(reinterpret_cast<const char*>(&le), int(sizeof(T)));
    return n == int(sizeof(T)) ? n : 0;
}

template <typename T>
bool readLe(QDataStream& stream, T& value)
{
    T le{};
    if (stream.readRawData(reinterpret_cast<char*>(&le), int(sizeof(T))) != int(sizeof(T)))
        return false;
    value = qFromLittleEndian(le);
    return true;
}
} // namespace detail

} // namespace Nb
