#pragma once
// MD5 message digest (RFC 1321), computed by the engine itself, and a
// 16-byte digest value.

#include <cstdint>
#include <QString>

namespace Bc {

class Md5 {
public:
    Md5() { init(); }

    void init();
    // Accepts any length; the block step is fed in pieces of at most 32768 bytes.
    void update(const void* bytes, uint32_t length);
    // Writes the 16-byte digest, then clears the whole context to zeros.
    void final(uint8_t digest[16]);

    // init, update and final in one call.
    static void digest(const void* bytes, uint32_t length, uint8_t out[16]);

private:
    void updatePiece(const uint8_t* bytes, uint16_t length);
    void transform(const uint8_t block[64]);

    uint32_t m_state[4];
    uint32_t m_bits[2]; // message length in bits, low word first
    uint8_t m_buffer[64];
};

class Md5Digest {
public:
    Md5Digest() { clear(); }

    void clear();
    void copy(const Md5Digest& other);
    bool equal(const Md5Digest& other) const;
    bool operator==(const Md5Digest& other) const { return equal(other); }
    bool isNull() const;
    // Clears the value, then copies up to 16 bytes to its front.
    void fromBytes(const uint8_t* bytes, uint32_t length);
    // For n below 128 every byte from byte n / 8 on becomes zero.
    void keepFirstBits(uint32_t n);
    // 32 upper-case hexadecimal characters, high nibble first.
    void toHex(QString& text) const;
    QString toHex() const;
    // False for a text shorter than 32 characters or a character outside
    // "0123456789ABCDEF".
    bool fromHex(const QString& text);

    uint8_t* data() { return m_bytes; }
    const uint8_t* data() const { return m_bytes; }

private:
    uint8_t m_bytes[16];
};

} // namespace Bc
