#pragma once
// One captured biometric image with its identifier, kept in a single heap
// buffer that is also its stream form:
//
//   offset 0   int32 little-endian   length of the image bytes
//   offset 4   16 bytes              identifier (Nb::Uuid)
//   offset 20  length bytes          the image

#include <cstdint>
#include <QDataStream>
#include <QDebug>
#include <QList>

#include "qtnb/Uuid.h"

namespace Nb {

class Bim {
public:
    static constexpr int32_t HeadSize = 4 + Uuid::Size;
    // The largest length whose buffer size still fits an int32.
    static constexpr int32_t MaxLength = INT32_MAX - HeadSize;

    Bim();
    Bim(const Bim& other);
    // A copy of a buffer of the layout above; a null buffer, or one whose
    // length field is negative or too large, gives a null image.
    explicit Bim(const uint8_t* buffer);
    ~Bim();

    Bim& operator=(const Bim& other);
    Bim& operator=(const uint8_t* buffer);

    void clear();
    bool isNull() const { return m_buffer == nullptr; }
    bool isEmpty() const { return length() == 0; }
    int32_t length() const;
    int32_t byteSize() const { return m_buffer ? length() + HeadSize : 0; }
    Uuid id() const;
    uint8_t* data() const { return m_buffer ? m_buffer + HeadSize : nullptr; }
    uint8_t* buffer() const { return m_buffer; }

    // Takes ownership of a buffer of the layout above allocated as an array;
    // false, and nothing changes, when this image is not null or the
    // buffer's length field is negative or too large.
    bool attach(uint8_t* buffer);
    // Returns the buffer and leaves the image null without freeing it.
    uint8_t* release();
    // A fresh buffer for length image bytes, which the caller fills; false,
    // before anything is allocated, for a negative or too large length.
    bool create(const Uuid& id, int32_t length);

    // The whole buffer raw: its size in bytes, or -1 (a null image writes nothing).
    int32_t write(QDataStream& stream) const;
    // 20 + length, or -1 with the image left null.
    int32_t read(QDataStream& stream);

private:
    bool copyFrom(const uint8_t* buffer);

    uint8_t* m_buffer = nullptr;
};

using Bims = QList<Bim>;

QDebug operator<<(QDebug dbg, const Bim& bim);
QDebug operator<<(QDebug dbg, const Bims& bims);

} // namespace Nb
