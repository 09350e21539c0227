#pragma once
// 16-bit slot identifiers of a converter scheme and lists of them.
//
//   bits 14-15  kind (Nb::SlotType)
//   bits 0-13   number of a plain slot
//   bits 7-13   block type of a converter (7 bits; 0 = nested scheme)
//   bits 0-6    instance number of a converter, from 1

#include <cstdint>
#include <initializer_list>
#include <QDebug>
#include <QList>

#include "qtnb/Enums.h"

namespace Nb {

class Scheme;
class Slot;

class SlotId {
public:
    constexpr SlotId() = default;
    constexpr SlotId(uint16_t value) : m_value(value) {}
    // The number loses any kind bits it carries.
    constexpr SlotId(uint16_t number, SlotType kind) : m_value(uint16_t((number & 0x3FFF) | kind)) {}
    // Kind and number combined bit by bit, nothing masked.
    constexpr SlotId(SlotType kind, uint16_t number) : m_value(uint16_t(kind | number)) {}

    constexpr operator uint16_t() const { return m_value; }
    constexpr uint16_t value() const { return m_value; }

    constexpr SlotType type() const { return SlotType(m_value & 0xC000); }
    constexpr uint16_t number() const { return uint16_t(m_value & 0x3FFF); }
    // Meaningful only for converters.
    constexpr uint8_t block() const { return uint8_t((m_value & 0x3F80) >> 7); }
    constexpr uint8_t slot() const { return uint8_t(m_value & 0x7F); }
    constexpr SlotId retyped(SlotType kind) const { return SlotId(uint16_t((m_value & 0x3FFF) | kind)); }

    static constexpr SlotId make(SlotType kind, uint16_t number) { return SlotId(uint16_t(kind | number)); }
    static constexpr uint16_t number(uint16_t value) { return uint16_t(value & 0x3FFF); }
    static constexpr SlotId retyped(uint16_t value, SlotType kind)
    {
        return SlotId(uint16_t((value & 0x3FFF) | kind));
    }
    static constexpr SlotId conv(uint8_t block, uint8_t slot)
    {
        return SlotId(uint16_t(((block << 7) & 0x3F80) | (slot & 0x7F) | 0xC000));
    }
    static constexpr SlotId head(uint8_t block) { return SlotId(uint16_t(((block << 7) & 0x3F80) | 0xC000)); }
    static constexpr SlotId spIn(uint16_t number) { return SlotId(uint16_t((number & 0x3FFF) | 0x4000)); }
    static constexpr SlotId spOut(uint16_t number) { return SlotId(uint16_t((number & 0x3FFF) | 0x8000)); }

private:
    uint16_t m_value = 0;
};

// The nil identifier: what lookups that find nothing return, and the
// scheme's name for its result slot.
extern const SlotId NilSlotId;

class SlotIds : public QList<SlotId> {
public:
    SlotIds() = default;
    SlotIds(const QList<SlotId>& list) : QList<SlotId>(list) {}
    SlotIds(std::initializer_list<SlotId> list) : QList<SlotId>(list) {}
    SlotIds(const SlotId* ids, int32_t count);
    // The ids of all slots of a scheme, in scheme order.
    explicit SlotIds(const Scheme& scheme);
    // The ids of the slots of one kind, and of one block field unless the
    // block is 255, in scheme order.
    SlotIds(const Scheme& scheme, SlotType kind, uint8_t block);
    // A slot's links of one kind, in list order.
    SlotIds(const Slot& slot, SlotType kind);
};

QDebug operator<<(QDebug dbg, SlotId id);
QDebug operator<<(QDebug dbg, const SlotIds& ids);

} // namespace Nb

Q_DECLARE_TYPEINFO(Nb::SlotId, Q_PRIMITIVE_TYPE);
