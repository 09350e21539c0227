#include "qtnb/Uuid.h"

#include <cstring>
#include <QUuid>
#include <QtEndian>

namespace Nb {

constexpr Uuid NilUuidValue;
const Uuid NilUuid = NilUuidValue;

namespace {
// QUuid keeps its three integers as native numbers; the byte image here is
// little-endian whatever the host (QUuid::toRfc4122 would be big-endian).
void fromQUuid(const QUuid& q, uint8_t* out)
{
    qToLittleEndian<uint32_t>(q.data1, out);
    qToLittleEndian<uint16_t>(q.data2, out + 4);
    qToLittleEndian<uint16_t>(q.data3, out + 6);
    std::memcpy(out + 8, q.data4, 8);
}
} // namespace

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
        fromQUuid(q, m_bytes);
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
