#pragma once
// Element layout of one cell: element count, element format and element type.

#include <cstdint>
#include <QDebug>

namespace Nb {

enum MetaFormat : uint8_t {
    MfI1 = 1,
    MfI2 = 2,
    MfI4 = 3,
    MfI8 = 4,
    MfI16 = 5,
    MfI32 = 6,
    MfI64 = 7,
    MfU1 = 17,
    MfU2 = 18,
    MfU4 = 19,
    MfU8 = 20,
    MfU16 = 21,
    MfU32 = 22,
    MfU64 = 23,
    MfR16 = 37,
    MfR32 = 38,
    MfR64 = 39
};

enum MetaType : uint8_t { MtC = 1, MtD = 3, MtCO = 5, MtDO = 6 };

class Meta {
public:
    Meta() = default;
    Meta(int32_t count, MetaFormat format, MetaType type);
    Meta(const Meta&) = default;
    Meta& operator=(const Meta&) = default;

    void set(int32_t count, MetaFormat format, MetaType type);

    // True when every non-zero field of the pattern equals this Meta's field.
    bool match(const Meta& pattern) const;
    bool operator==(const Meta& other) const;
    bool operator!=(const Meta& other) const { return !(*this == other); }
    // Format and type equal; the count is not compared.
    bool isLike(const Meta& other) const;
    bool isPattern() const;
    bool isNil() const;
    // Bits per element of the format; 0 for an unlisted format.
    uint8_t bits() const;
    // Bytes of one cell: count * bits rounded up to whole bytes.
    int32_t size() const;
    // The same in 64 bits, -1 when the count is negative or the element bits
    // overflow the 32-bit product: for sizes taken from untrusted bytes.
    int64_t checkedSize() const;

    int32_t count = 0;
    MetaFormat format = MetaFormat(0);
    MetaType type = MetaType(0);
};

// Bits per element for a format byte (the low seven bits index the table).
uint8_t formatBits(uint8_t format);

extern const Meta NilMeta;

QDebug operator<<(QDebug dbg, MetaFormat v);
QDebug operator<<(QDebug dbg, MetaType v);
QDebug operator<<(QDebug dbg, const Meta& m);

} // namespace Nb
