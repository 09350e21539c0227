#pragma once
// The 16-byte identifier of containers, runs, technologies, components,
// interfaces and layer salts: the memory image of a GUID (uint32, uint16,
// uint16 little-endian, then eight single bytes), which is also its byte form
// in every block, file and buffer.

#include <cstdint>
#include <QDebug>
#include <QString>

namespace Nb {

class Uuid {
public:
    constexpr Uuid() : m_bytes{} {}
    Uuid(uint32_t l, uint16_t w1, uint16_t w2, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4,
         uint8_t b5, uint8_t b6, uint8_t b7, uint8_t b8);
    // Parsed as QUuid parses text; text that does not parse gives the null id.
    Uuid(const QString& text);
    Uuid(const char* text);
    Uuid(const Uuid& other) = default;
    Uuid& operator=(const Uuid& other) = default;

    // The braced lower-case form, "{00000001-0002-0003-0405-060708090a0b}".
    QString toString() const;

    const uint8_t* data() const { return m_bytes; }
    uint8_t* data() { return m_bytes; }

    bool operator==(const Uuid& other) const;
    bool operator!=(const Uuid& other) const { return !(*this == other); }

    static constexpr int32_t Size = 16;

private:
    uint8_t m_bytes[Size];
};

// The null identifier, 16 zero bytes; constant-initialised, so it is valid
// before any other static initialiser runs.
extern const Uuid NilUuid;

// "{Nil}" for the null identifier, else the braced text form.
QDebug operator<<(QDebug dbg, const Uuid& id);

} // namespace Nb
