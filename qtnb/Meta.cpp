#include "qtnb/Meta.h"

#include <limits>

namespace Nb {

const Meta NilMeta;

namespace {
// Bits per element, indexed by the low seven bits of the format byte. The two
// unnamed entries (40: 80 bits, 54: 32 bits) are part of the table as kept.
struct WidthTable {
    uint8_t bits[128] = {};
    constexpr WidthTable()
    {
        bits[MfI1] = 1; bits[MfI2] = 2; bits[MfI4] = 4; bits[MfI8] = 8;
        bits[MfI16] = 16; bits[MfI32] = 32; bits[MfI64] = 64;
        bits[MfU1] = 1; bits[MfU2] = 2; bits[MfU4] = 4; bits[MfU8] = 8;
        bits[MfU16] = 16; bits[MfU32] = 32; bits[MfU64] = 64;
        bits[MfR16] = 16; bits[MfR32] = 32; bits[MfR64] = 64;
        bits[40] = 80; bits[54] = 32;
    }
};
constexpr WidthTable widths;
} // namespace

uint8_t formatBits(uint8_t format) { return widths.bits[format & 0x7F]; }

Meta::Meta(int32_t c, MetaFormat f, MetaType t) : count(c), format(f), type(t) {}

void Meta::set(int32_t c, MetaFormat f, MetaType t)
{
    count = c;
    format = f;
    type = t;
}

bool Meta::match(const Meta& pattern) const
{
    if (pattern.count != 0 && pattern.count != count)
        return false;
    if (pattern.format != 0 && pattern.format != format)
        return false;
    if (pattern.type != 0 && pattern.type != type)
        return false;
    return true;
}

bool Meta::operator==(const Meta& other) const
{
    return count == other.count && format == other.format && type == other.type;
}

bool Meta::isLike(const Meta& other) const { return format == other.format && type == other.type; }

bool Meta::isPattern() const { return count == 0 || format == 0 || type == 0; }

bool Meta::isNil() const { return count == 0 && format == 0 && type == 0; }

uint8_t Meta::bits() const { return formatBits(format); }

int32_t Meta::size() const
{
    // Signed 32-bit product, as the cell size has always been computed.
    const int32_t n = int32_t(uint32_t(count) * uint32_t(bits()));
    return (n >> 3) + ((n & 7) ? 1 : 0);
}

int64_t Meta::checkedSize() const
{
    if (count < 0)
        return -1;
    const int64_t n = int64_t(count) * bits();
    if (n > std::numeric_limits<int32_t>::max())
        return -1;
    return (n + 7) >> 3;
}

} // namespace Nb

namespace Nb {

QDebug operator<<(QDebug dbg, const Meta& m)
{
    dbg.nospace() << "(" << uint32_t(m.count) << " " << m.format << " " << m.type << ")";
    return dbg;
}

} // namespace Nb
