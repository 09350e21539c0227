#include "qtnb/Uuid.h"

#include <cstring>
#include <QUuid>
#include <QtEndian>

namespace Nb {

constexpr Uuid NilUuidValue;
const Uuid NilUuid = NilUuidValue;

// The three integers are stored little-endian whatever the host
// (QUuid::toRfc4122 would be big-endian).
Uuid::Uuid(uint32_t l, uint16_t w1, uint16_t w2, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4,
           uint8_t b5, uint8_t b6, uint8_t b7, uint8_t b8)
    : m_bytes{}
{
    qToLittleEndian<uint32_t>(l, m_bytes);
    qToLittleEndian<uint16_t>(w1, m_bytes + 4);
    qToLittleEndian<uint16_t>(w2, m_bytes + 6);
    const uint8_t tail[8] = {b1, b2, b3, b4, b5, b6, b7, b8};
    std::memcpy(m_bytes + 8, tail, 8);
}

Uuid::Uuid(const QString& text) : m_bytes{}
{
    const QUuid q(text);
    if (!q.isNull())
        *this = Uuid(q.data1, q.data2, q.data3, q.data4[0], q.data4[1], q.data4[2], q.data4[3], q.data4[4],
                     q.data4[5], q.data4[6], q.data4[7]);
}

Uuid::Uuid(const char* text) : Uuid(text ? QString::fromLatin1(text) : QString()) {}

QString Uuid::toString() const
{
    const QUuid q(qFromLittleEndian<uint32_t>(m_bytes), qFromLittleEndian<uint16_t>(m_bytes + 4),
                  qFromLittleEndian<uint16_t>(m_bytes + 6), m_bytes[8], m_bytes[9], m_bytes[10],
                  m_bytes[11], m_bytes[12], m_bytes[13], m_bytes[14], m_bytes[15]);
    return q.toString();
}

bool Uuid::operator==(const Uuid& other) const { return std::memcmp(m_bytes, other.m_bytes, Size) == 0; }

QDebug operator<<(QDebug dbg, const Uuid& id)
{
    dbg.nospace();
    if (id == NilUuid)
        dbg << "{Nil}";
    else
        dbg << id.toString().toLatin1().constData();
    return dbg;
}

} // namespace Nb
