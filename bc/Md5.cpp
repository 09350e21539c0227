#include "bc/Md5.h"

#include <cstring>

#include "qtnb/Wipe.h"

namespace Bc {

namespace {

inline uint32_t rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

inline uint32_t load32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void store32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Per-step shift amounts and sine-derived constants of RFC 1321.
const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

} // namespace

void Md5::init()
{
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_bits[0] = m_bits[1] = 0;
    std::memset(m_buffer, 0, sizeof m_buffer);
}

void Md5::transform(const uint8_t block[64])
{
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = load32(block + 4 * i);
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        const uint32_t next = b + rotl(a + f + kSine[i] + m[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void Md5::updatePiece(const uint8_t* bytes, uint16_t length)
{
    uint32_t index = (m_bits[0] >> 3) & 0x3F;
    const uint32_t added = uint32_t(length) << 3;
    m_bits[0] += added;
    if (m_bits[0] < added)
        ++m_bits[1];
    uint32_t i = 0;
    const uint32_t room = 64 - index;
    if (length >= room) {
        std::memcpy(m_buffer + index, bytes, room);
        transform(m_buffer);
        for (i = room; i + 63 < length; i += 64)
            transform(bytes + i);
        index = 0;
    }
    std::memcpy(m_buffer + index, bytes + i, length - i);
}

void Md5::update(const void* bytes, uint32_t length)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    while (length > 0) {
        const uint16_t piece = uint16_t(length > 32768 ? 32768 : length);
        updatePiece(p, piece);
        p += piece;
        length -= piece;
    }
}

void Md5::final(uint8_t digest[16])
{
    uint8_t lengthBytes[8];
    store32(lengthBytes, m_bits[0]);
    store32(lengthBytes + 4, m_bits[1]);
    const uint32_t index = (m_bits[0] >> 3) & 0x3F;
    const uint32_t padding = index < 56 ? 56 - index : 120 - index;
    static const uint8_t pad[64] = {0x80};
    updatePiece(pad, uint16_t(padding));
    updatePiece(lengthBytes, 8);
    for (int i = 0; i < 4; ++i)
        store32(digest + 4 * i, m_state[i]);
    // The context held the input, which may be key material.
    Nb::wipe(m_state, sizeof m_state);
    Nb::wipe(m_bits, sizeof m_bits);
    Nb::wipe(m_buffer, sizeof m_buffer);
}

void Md5::digest(const void* bytes, uint32_t length, uint8_t out[16])
{
    Md5 md5;
    md5.update(bytes, length);
    md5.final(out);
}

void Md5Digest::clear() { std::memset(m_bytes, 0, sizeof m_bytes); }

void Md5Digest::copy(const Md5Digest& other) { std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes); }

bool Md5Digest::equal(const Md5Digest& other) const
{
    return std::memcmp(m_bytes, other.m_bytes, sizeof m_bytes) == 0;
}

bool Md5Digest::isNull() const
{
    for (uint8_t b : m_bytes)
        if (b)
            return false;
    return true;
}

void Md5Digest::fromBytes(const uint8_t* bytes, uint32_t length)
{
    clear();
    if (bytes)
        std::memcpy(m_bytes, bytes, length > 16 ? 16 : length);
}

void Md5Digest::keepFirstBits(uint32_t n)
{
    if (n >= 128)
        return;
    std::memset(m_bytes + n / 8, 0, 16 - n / 8);
}

namespace {
const char kHex[] = "0123456789ABCDEF";
}

void Md5Digest::toHex(QString& text) const
{
    text.resize(32);
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = QLatin1Char(kHex[m_bytes[i] >> 4]);
        text[2 * i + 1] = QLatin1Char(kHex[m_bytes[i] & 15]);
    }
}

QString Md5Digest::toHex() const
{
    QString text;
    toHex(text);
    return text;
}

bool Md5Digest::fromHex(const QString& text)
{
    if (text.size() < 32)
        return false;
    uint8_t bytes[16];
    for (int i = 0; i < 32; ++i) {
        const char* found = std::strchr(kHex, text.at(i).toLatin1());
        if (!found || *found == 0 || text.at(i).unicode() > 127)
            return false;
        const uint8_t nibble = uint8_t(found - kHex);
        if (i % 2 == 0)
            bytes[i / 2] = uint8_t(nibble << 4);
        else
            bytes[i / 2] |= nibble;
    }
    std::memcpy(m_bytes, bytes, sizeof m_bytes);
    return true;
}

} // namespace Bc
