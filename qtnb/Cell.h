#pragma once
// One cell's byte buffer: count elements of one element format packed
// without gaps. Packed 1-, 2- and 4-bit elements start at the lowest bit of
// the first byte. The holder does not know the buffer's length; callers pass
// counts taken from the row's Meta.

#include <cstdint>

#include "qtnb/Meta.h"

namespace Nb {

class Cell {
public:
    Cell() = default;
    explicit Cell(uint8_t* data) : m_data(data) {}

    // Takes the pointer if the cell is empty; false (nothing changed) otherwise.
    bool attach(uint8_t* data);
    // Returns the pointer and empties the cell; nothing is freed.
    uint8_t* detach();
    // Size 0 leaves the cell empty. A cell that holds a buffer, a negative
    // size or a failed allocation gives false and changes nothing.
    bool allocate(int32_t size);
    bool allocate(const Meta& meta);
    void release();

    bool isNull() const { return m_data == nullptr; }
    uint8_t* at(int32_t offset) const { return m_data + offset; }

    int32_t bit(uint32_t i) const { return (m_data[i >> 3] >> (i & 7)) & 1; }
    void putBit(uint32_t i, int32_t v) const
    {
        uint8_t& b = m_data[i >> 3];
        b = uint8_t((b & ~(1u << (i & 7))) | ((uint32_t(v) & 1u) << (i & 7)));
    }
    void setBit(uint32_t i, int32_t v) const { putBit(i, v > 0 ? 1 : 0); }
    int32_t sign(uint32_t i) const { return bit(i) ? 1 : -1; }
    int32_t bits2(uint32_t i) const { return (m_data[i >> 2] >> ((i & 3) * 2)) & 3; }
    void putBits2(uint32_t i, int32_t v) const
    {
        const uint32_t shift = (i & 3) * 2;
        uint8_t& b = m_data[i >> 2];
        b = uint8_t((b & ~(3u << shift)) | ((uint32_t(v) & 3u) << shift));
    }
    int32_t bits4(uint32_t i) const { return (m_data[i >> 1] >> ((i & 1) * 4)) & 15; }
    void putBits4(uint32_t i, int32_t v) const
    {
        const uint32_t shift = (i & 1) * 4;
        uint8_t& b = m_data[i >> 1];
        b = uint8_t((b & ~(15u << shift)) | ((uint32_t(v) & 15u) << shift));
    }

    // Copies n bytes to the start of the buffer; returns n (0 when nothing
    // could be copied).
    int32_t copy(const void* src, int32_t n) const;

    // Converts count elements of src (format `source`) into this cell
    // (format `target`). Only conversions to and from MfR32 exist. Equal
    // formats copy the bytes and still give false; other pairs change nothing.
    bool convert(const Cell& src, int32_t count, MetaFormat target, MetaFormat source) const;

    // The element converters, one per supported pair: count elements of src
    // into dst. Bit targets keep the other bits of a partly used last byte.
    // Reals that do not fit an integer target saturate; NaN gives 0.
    using Converter = void (*)(Cell dst, Cell src, int32_t count);
    static void i1ToR32(Cell dst, Cell src, int32_t count);
    static void u1ToR32(Cell dst, Cell src, int32_t count);
    static void i16ToR32(Cell dst, Cell src, int32_t count);
    static void u16ToR32(Cell dst, Cell src, int32_t count);
    static void i32ToR32(Cell dst, Cell src, int32_t count);
    static void u32ToR32(Cell dst, Cell src, int32_t count);
    static void r32ToI1(Cell dst, Cell src, int32_t count);
    static void r32ToU1(Cell dst, Cell src, int32_t count);
    static void r32ToI16(Cell dst, Cell src, int32_t count);
    static void r32ToU16(Cell dst, Cell src, int32_t count);
    static void r32ToI32(Cell dst, Cell src, int32_t count);
    static void r32ToU32(Cell dst, Cell src, int32_t count);
    // The converter for a pair, or null when the pair does not convert.
    static Converter converter(MetaFormat target, MetaFormat source);

    // 1-bit elements to int32 +1/-1, and int32 to bits (set when > 0).
    static void toSigns(Cell dst, Cell src, int32_t count);
    static void fromSigns(Cell dst, Cell src, int32_t count);

private:
    uint8_t* m_data = nullptr;
};

} // namespace Nb
