#include "bc/BitStream.h"

namespace Bc {

const uint32_t BitStream::Mask[33] = {
    0x00000000u, 0x00000001u, 0x00000003u, 0x00000007u, 0x0000000Fu, 0x0000001Fu, 0x0000003Fu,
    0x0000007Fu, 0x000000FFu, 0x000001FFu, 0x000003FFu, 0x000007FFu, 0x00000FFFu, 0x00001FFFu,
    0x00003FFFu, 0x00007FFFu, 0x0000FFFFu, 0x0001FFFFu, 0x0003FFFFu, 0x0007FFFFu, 0x000FFFFFu,
    0x001FFFFFu, 0x003FFFFFu, 0x007FFFFFu, 0x00FFFFFFu, 0x01FFFFFFu, 0x03FFFFFFu, 0x07FFFFFFu,
    0x0FFFFFFFu, 0x1FFFFFFFu, 0x3FFFFFFFu, 0x7FFFFFFFu, 0xFFFFFFFFu};

BitStream::BitStream(QDataStream* stream, int32_t lsbFirst) : m_stream(stream), m_lsbFirst(lsbFirst)
{
}

bool BitStream::put(uint32_t value, int n)
{
    if (n < 0 || n > 32 || !m_stream)
        return false;
    value &= Mask[n];
    while (n > 0) {
        // As many of the value's bits as still fit into the pending byte.
        const int take = n < m_writeFree ? n : m_writeFree;
        uint32_t part;
        if (m_lsbFirst) {
            part = value & Mask[take];
            value = take < 32 ? value >> take : 0;
            m_writeByte |= part << (8 - m_writeFree);
        } else {
            part = (value >> (n - take)) & Mask[take];
            m_writeByte |= part << (m_writeFree - take);
        }
        n -= take;
        m_writeFree -= take;
        if (m_writeFree == 0) {
            const char byte = char(uint8_t(m_writeByte));
            m_writeByte = 0;
            m_writeFree = 8;
            if (m_stream->writeRawData(&byte, 1) != 1)
                return false;
        }
    }
    return true;
}

bool BitStream::get(uint32_t* value, int n)
{
    if (n < 0 || n > 32 || !m_stream || !value)
        return false;
    uint32_t v = 0;
    int done = 0;
    while (done < n) {
        if (m_readLeft == 0) {
            char byte;
            if (m_stream->readRawData(&byte, 1) != 1)
                return false;
            m_readBuffer = uint8_t(byte);
            m_readLeft = 8;
        }
        const int take = (n - done) < m_readLeft ? (n - done) : m_readLeft;
        if (m_lsbFirst) {
            // Unread bits sit at the bottom of the buffer.
            v |= (m_readBuffer & Mask[take]) << done;
            m_readBuffer >>= take;
        } else {
            // Unread bits sit at the top of the low byte.
            const uint32_t part = (m_readBuffer >> (8 - take)) & Mask[take];
            v = take < 32 ? (v << take) | part : part;
            m_readBuffer = (m_readBuffer << take) & 0xFFu;
        }
        m_readLeft -= take;
        done += take;
    }
    *value = v;
    return true;
}

bool BitStream::flush()
{
    if (m_writeFree == 8 || !m_stream)
        return true;
    const char byte = char(uint8_t(m_writeByte));
    m_writeByte = 0;
    m_writeFree = 8;
    return m_stream->writeRawData(&byte, 1) == 1;
}

void BitStream::reset()
{
    m_readBuffer = 0;
    m_readLeft = 0;
}

} // namespace Bc
