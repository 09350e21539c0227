#pragma once
// A small bit packer over a data stream: values of 0..32 bits are written
// and read one byte at a time through the stream's raw-data operations.

#include <cstdint>

#include <QDataStream>

namespace Bc {

class BitStream {
public:
    // lsbFirst non-zero: bytes fill from bit 0 and values start with their
    // lowest bit (the order of every layer field); zero: the reverse.
    explicit BitStream(QDataStream* stream, int32_t lsbFirst = 1);

    // False when a byte cannot be written or read, or n is above 32.
    bool put(uint32_t value, int n);
    bool get(uint32_t* value, int n);
    // Writes a partly filled byte, its unused bits 0; nothing when no bit is
    // pending.
    bool flush();
    // Drops the bits left in the read buffer.
    void reset();

    // (2^k - 1) for k = 0..32.
    static const uint32_t Mask[33];

private:
    QDataStream* m_stream;
    uint32_t m_readBuffer = 0;
    int32_t m_writeFree = 8;
    uint32_t m_writeByte = 0;
    int32_t m_readLeft = 0;
    int32_t m_lsbFirst;
};

} // namespace Bc
