#include "qtnb/Cell.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace Nb {

// Rows keep their cells as arrays of Cell, so a cell must stay one pointer.
static_assert(sizeof(Cell) == sizeof(uint8_t*), "Cell is one pointer");

bool Cell::attach(uint8_t* data)
{
    if (m_data)
        return false;
    m_data = data;
    return true;
}

uint8_t* Cell::detach()
{
    uint8_t* p = m_data;
    m_data = nullptr;
    return p;
}

// Allocation and release stay here, out of line, so that a cell filled in one
// library and freed in another always goes through the same allocator.
// A cell that already holds a buffer refuses: cells are copied as plain
// pointers, so freeing here could pull a buffer from under another holder
// (a matrix row), and overwriting the pointer would leak it.
bool Cell::allocate(int32_t size)
{
    if (size < 0 || m_data)
        return false;
    if (size == 0)
        return true;
    m_data = new (std::nothrow) uint8_t[size_t(size)];
    return m_data != nullptr;
}

bool Cell::allocate(const Meta& meta) { return allocate(meta.size()); }

void Cell::release()
{
    delete[] m_data;
    m_data = nullptr;
}

int32_t Cell::copy(const void* src, int32_t n) const
{
    if (!m_data || !src || n <= 0)
        return 0;
    std::memmove(m_data, src, size_t(n));
    return n;
}

namespace {

template <typename T>
inline T load(const uint8_t* p, int32_t i)
{
    T v;
    std::memcpy(&v, p + size_t(i) * sizeof(T), sizeof(T));
    return v;
}

template <typename T>
inline void store(uint8_t* p, int32_t i, T v)
{
    std::memcpy(p + size_t(i) * sizeof(T), &v, sizeof(T));
}

// Truncation toward zero that is defined for every real: NaN gives 0,
// values beyond the integer's range give its nearest bound.
template <typename I>
inline I truncated(float v)
{
    constexpr I lo = std::numeric_limits<I>::min();
    constexpr I hi = std::numeric_limits<I>::max();
    if (std::isnan(v))
        return 0;
    if (v >= -float(lo)) // -lo is a power of two, exact as a float
        return hi;
    if (v < float(lo))
        return lo;
    return I(v);
}

template <typename S>
inline void toR32(Cell dst, Cell src, int32_t count)
{
    const uint8_t* s = src.at(0);
    uint8_t* d = dst.at(0);
    for (int32_t i = 0; i < count; ++i)
        store<float>(d, i, float(load<S>(s, i)));
}

// Each real truncated within W, then wrapped into D (unsigned D keeps the
// low bits).
template <typename D, typename W>
inline void fromR32(Cell dst, Cell src, int32_t count)
{
    const uint8_t* s = src.at(0);
    uint8_t* d = dst.at(0);
    for (int32_t i = 0; i < count; ++i)
        store<D>(d, i, D(truncated<W>(load<float>(s, i))));
}

} // namespace

void Cell::i1ToR32(Cell dst, Cell src, int32_t count)
{
    uint8_t* d = dst.at(0);
    for (int32_t i = 0; i < count; ++i)
        store<float>(d, i, src.bit(uint32_t(i)) ? 1.0f : -1.0f);
}

void Cell::u1ToR32(Cell dst, Cell src, int32_t count)
{
    uint8_t* d = dst.at(0);
    for (int32_t i = 0; i < count; ++i)
        store<float>(d, i, src.bit(uint32_t(i)) ? 1.0f : 0.0f);
}

void Cell::i16ToR32(Cell dst, Cell src, int32_t count) { toR32<int16_t>(dst, src, count); }
void Cell::u16ToR32(Cell dst, Cell src, int32_t count) { toR32<uint16_t>(dst, src, count); }
void Cell::i32ToR32(Cell dst, Cell src, int32_t count) { toR32<int32_t>(dst, src, count); }
void Cell::u32ToR32(Cell dst, Cell src, int32_t count) { toR32<uint32_t>(dst, src, count); }

void Cell::r32ToI1(Cell dst, Cell src, int32_t count)
{
    const uint8_t* s = src.at(0);
    for (int32_t i = 0; i < count; ++i)
        dst.putBit(uint32_t(i), load<float>(s, i) > 0.0f ? 1 : 0); // NaN: clear
}

void Cell::r32ToU1(Cell dst, Cell src, int32_t count)
{
    const uint8_t* s = src.at(0);
    for (int32_t i = 0; i < count; ++i)
        dst.putBit(uint32_t(i), load<float>(s, i) != 0.0f ? 1 : 0); // NaN: set
}

void Cell::r32ToI16(Cell dst, Cell src, int32_t count) { fromR32<int16_t, int16_t>(dst, src, count); }
void Cell::r32ToU16(Cell dst, Cell src, int32_t count) { fromR32<uint16_t, int32_t>(dst, src, count); }
void Cell::r32ToI32(Cell dst, Cell src, int32_t count) { fromR32<int32_t, int32_t>(dst, src, count); }
void Cell::r32ToU32(Cell dst, Cell src, int32_t count) { fromR32<uint32_t, int64_t>(dst, src, count); }

Cell::Converter Cell::converter(MetaFormat target, MetaFormat source)
{
    if (target == MfR32) {
        switch (source) {
        case MfI1: return &Cell::i1ToR32;
        case MfU1: return &Cell::u1ToR32;
        case MfI16: return &Cell::i16ToR32;
        case MfU16: return &Cell::u16ToR32;
        case MfI32: return &Cell::i32ToR32;
        case MfU32: return &Cell::u32ToR32;
        default: return nullptr;
        }
    }
    if (source == MfR32) {
        switch (target) {
        case MfI1: return &Cell::r32ToI1;
        case MfU1: return &Cell::r32ToU1;
        case MfI16: return &Cell::r32ToI16;
        case MfU16: return &Cell::r32ToU16;
        case MfI32: return &Cell::r32ToI32;
        case MfU32: return &Cell::r32ToU32;
        default: return nullptr;
        }
    }
    return nullptr;
}

bool Cell::convert(const Cell& src, int32_t count, MetaFormat target, MetaFormat source) const
{
    if (count < 0)
        return false;
    if (target == source) {
        const int32_t n = Meta(count, target, MetaType(0)).size();
        if (n > 0 && m_data && !src.isNull())
            std::memmove(m_data, src.m_data, size_t(n));
        return false;
    }
    const Converter f = converter(target, source);
    if (!f)
        return false;
    if (count == 0)
        return true;
    if (!m_data || src.isNull())
        return false;
    f(*this, src, count);
    return true;
}

void Cell::toSigns(Cell dst, Cell src, int32_t count)
{
    uint8_t* d = dst.at(0);
    for (int32_t i = 0; i < count; ++i)
        store<int32_t>(d, i, src.sign(uint32_t(i)));
}

void Cell::fromSigns(Cell dst, Cell src, int32_t count)
{
    const uint8_t* s = src.at(0);
    for (int32_t i = 0; i < count; ++i)
        dst.setBit(uint32_t(i), load<int32_t>(s, i));
}

} // namespace Nb
