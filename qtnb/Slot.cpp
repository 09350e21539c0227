#include "qtnb/Slot.h"

#include <QtEndian>

#include "qtnb/Data.h"
#include "qtnb/Scheme.h"

namespace Nb {

namespace {

using detail::readLe;
using detail::writeLe;

// A nested converter's result feeds the outer scheme like a special output.
SlotType pairKind(SlotId nestedId)
{
    return nestedId.type() == StConv ? StSpOut : nestedId.type();
}

// The most ids one record can carry: the count byte is 8 bits and 255 is
// refused when reading.
constexpr int kMaxRecordIds = 254;

// Reads the little-endian fields when room (bytes) holds them all.
template <typename... T>
bool readFieldsLe(QDataStream& stream, uint32_t room, T&... fields)
{
    if (room < (sizeof(T) + ...))
        return false;
    (readLe(stream, fields), ...);
    return stream.status() == QDataStream::Ok;
}

} // namespace

Slot::Slot() = default;

Slot::Slot(SlotId id, const Meta& meta) : m_id(id), m_meta(meta) {}

Slot::Slot(SlotId id, const Meta& meta, const SlotIds& links, BlockFlags flags, BlockState state)
    : m_id(id), m_meta(meta), m_flags(flags), m_state(state), m_links(links)
{
}

Slot::Slot(SlotId id, const Meta& meta, const SlotIds& links, const SlotIds& nestedIds, BlockFlags flags,
           BlockState state, Scheme* nested)
    : m_id(id), m_meta(meta), m_flags(flags), m_state(state)
{
    if (links.size() == nestedIds.size() && links.size() <= 127) {
        m_links = links;
        m_nestedIds = nestedIds;
    }
    setNested(nested);
}

Slot::~Slot() = default;

bool Slot::assign(const Slot& other)
{
    m_owner = other.m_owner;
    m_id = other.m_id;
    m_meta = other.m_meta;
    m_flags = other.m_flags;
    m_state = other.m_state;
    m_links = other.m_links;
    m_nested = other.m_nested;
    m_nestedIds = other.m_nestedIds;
    return true;
}

int32_t Slot::size(bool asResult) const
{
    if (asResult || type() != StConv)
        return 8;
    if (m_id.block() != 0)
        return 12 + 2 * int32_t(m_links.size());
    return 12 + 4 * int32_t(m_links.size());
}

int32_t Slot::write(QDataStream& stream, bool asResult) const
{
    const bool convForm = (asResult ? NilSlotId.type() : type()) == StConv;
    const bool nestedForm = m_id.block() == 0;
    if (convForm) {
        // Refuse what the reader could not give back as it is: too many ids
        // for the count byte, unpaired lists of a nested converter, nested
        // ids on a converter that has no nested scheme.
        const int total = int(m_links.size() + m_nestedIds.size());
        const bool pairsOk = nestedForm ? m_links.size() == m_nestedIds.size() : m_nestedIds.isEmpty();
        if (total > kMaxRecordIds || !pairsOk) {
            error(EcCScheme);
            return -1;
        }
    }

    int32_t written = writeLe<uint16_t>(stream, m_id.value());
    written += writeLe<int32_t>(stream, m_meta.count);
    written += writeLe<uint8_t>(stream, uint8_t(m_meta.format));
    written += writeLe<uint8_t>(stream, uint8_t(m_meta.type));
    if (convForm) {
        written += writeLe<uint16_t>(stream, uint16_t(m_flags));
        written += writeLe<uint8_t>(stream, uint8_t(m_state));
        written += writeLe<uint8_t>(stream, uint8_t(m_links.size() + m_nestedIds.size()));
        if (!nestedForm) {
            for (SlotId link : m_links)
                written += writeLe<uint16_t>(stream, link.value());
        } else {
            for (int k = 0; k < m_links.size(); ++k) {
                written += writeLe<uint16_t>(stream, m_links.at(k).value());
                written += writeLe<uint16_t>(stream, m_nestedIds.at(k).value());
            }
        }
    }
    if (stream.status() != QDataStream::Ok) {
        error(EcIo);
        return -1;
    }
    return written;
}

int32_t Slot::read(SlotId id, QDataStream& stream, int32_t available, bool asResult)
{
    m_id = id;
    const bool convForm = (asResult ? NilSlotId.type() : type()) == StConv;

    int32_t count = 0;
    uint8_t format = 0;
    uint8_t mtype = 0;
    if (!readFieldsLe(stream, uint32_t(available), count, format, mtype)) {
        error(EcIo);
        return -1;
    }
    m_meta.set(count, MetaFormat(format), MetaType(mtype));
    if (!convForm)
        return 6;

    uint16_t flags = 0;
    uint8_t state = 0;
    uint8_t n = 0;
    if (!readFieldsLe(stream, uint32_t(available) - 6u, flags, state, n)) {
        error(EcIo);
        return -1;
    }
    if (n == 255)
        return -1;
    const bool nestedForm = m_id.block() == 0;
    // A nested converter's ids come in pairs: an odd count cannot be split.
    if (nestedForm && (n & 1)) {
        error(EcIo);
        return -1;
    }
    if (int64_t(available) - 10 < 2 * int64_t(n)) {
        error(EcIo);
        return -1;
    }
    m_flags = BlockFlags(flags);
    m_state = BlockState(state);
    if (!nestedForm) {
        for (int k = 0; k < n; ++k) {
            uint16_t v = 0;
            readLe(stream, v);
            m_links.append(SlotId(v));
        }
    } else {
        for (int k = 0; k < n / 2; ++k) {
            uint16_t link = 0;
            uint16_t nestedId = 0;
            readLe(stream, link);
            readLe(stream, nestedId);
            m_links.append(SlotId(link));
            m_nestedIds.append(SlotId(nestedId));
        }
    }
    if (stream.status() != QDataStream::Ok) {
        error(EcIo);
        return -1;
    }
    return nestedForm ? 10 + 4 * (n / 2) : 10 + 2 * n;
}

bool Slot::validate()
{
    if (type() != StConv) {
        if (m_flags != 0 || m_state != 0 || !m_links.isEmpty() || !m_nestedIds.isEmpty() || m_nested)
            return error(EcCScheme);
        if (!m_owner)
            return true;
        if (m_owner->at(m_id) != this)
            return error(EcCScheme);
        if (type() == StSpOut) {
            Slots writers;
            m_owner->linkedBy(writers, m_id, false);
            if (writers.size() > 1)
                return error(EcCScheme);
        }
        return true;
    }

    for (SlotId link : m_links)
        if (link.type() == StConv)
            return error(EcCScheme);
    if (m_owner) {
        for (SlotId link : m_links) {
            if (m_owner->lookup(link) == NilSlotId)
                return error(EcCScheme);
            if (link.type() == StSpOut) {
                const Slot* target = m_owner->at(link);
                if (!target || target->type() != StSpOut)
                    return error(EcCScheme);
            }
        }
    }
    if (m_id.block() != 0) {
        if (m_nested || !m_nestedIds.isEmpty())
            return error(EcCScheme);
        return true;
    }
    if (m_links.size() != m_nestedIds.size())
        return error(EcCScheme);
    for (int k = 0; k < m_links.size(); ++k)
        if (m_links.at(k).type() != pairKind(m_nestedIds.at(k)))
            return error(EcCScheme);
    return true;
}

bool Slot::validateNested()
{
    if (type() != StConv || m_id.block() != 0 || !m_nested)
        return true;
    for (SlotId nestedId : m_nestedIds)
        if (nestedId == NilSlotId || m_nested->lookup(nestedId) != nestedId)
            return error(EcCScheme);
    if (!m_owner)
        return true;
    for (int k = 0; k < m_links.size(); ++k) {
        if (k >= m_nestedIds.size())
            return error(EcCScheme);
        const Slot* outer = m_owner->at(m_links.at(k));
        const Slot* inner = m_nested->at(m_nestedIds.at(k));
        if (!outer || !inner || !(outer->meta() == inner->meta()))
            return error(EcCScheme);
    }
    return true;
}

bool Slot::update() { return true; }

bool Slot::updateNested() { return true; }

bool Slot::setOwner(Scheme* owner)
{
    if (owner == m_owner)
        return true;
    m_owner = owner;
    if (!update())
        return false;
    return validate();
}

bool Slot::setNested(Scheme* nested)
{
    if (nested == m_nested)
        return true;
    if (nested && (type() != StConv || m_id.block() != 0))
        return error(EcCScheme);
    m_nested = nested;
    if (!updateNested())
        return false;
    return validateNested();
}

Status Slot::status() const { return m_owner ? m_owner->status() : ScOk; }

bool Slot::error(ErrorCode code) const
{
    if (m_owner)
        m_owner->setStatus(slotStatus(m_id.value(), code));
    return false;
}

bool Slot::setStatus(const Status& status) const
{
    if (m_owner)
        m_owner->setStatus(status);
    return !isFailure(status);
}

void Slot::countLinks(int32_t counts[4]) const
{
    for (int i = 0; i < 4; ++i)
        counts[i] = 0;
    for (SlotId link : m_links)
        ++counts[link.type() >> 14];
}

void Slot::countNested(int32_t counts[4]) const
{
    for (int i = 0; i < 4; ++i)
        counts[i] = 0;
    for (SlotId nestedId : m_nestedIds)
        ++counts[nestedId.type() >> 14];
}

void Slot::find(SlotIds* in, SlotIds* spIn, SlotIds* spOut, SlotIds* conv) const
{
    SlotIds* lists[4] = {in, spIn, spOut, conv};
    for (SlotId link : m_links)
        if (SlotIds* list = lists[link.type() >> 14])
            list->append(link);
    if (conv)
        conv->append(m_id);
}

SlotIds::SlotIds(const Slot& slot, SlotType kind)
{
    for (SlotId link : slot.links())
        if (link.type() == kind)
            append(link);
}

namespace {
// Positions of the ids in a scheme with one, else the ids themselves.
void dumpIds(QDebug& dbg, const SlotIds& ids, const Scheme* scheme)
{
    if (!scheme) {
        dbg << " " << ids;
        return;
    }
    dbg << " [";
    for (int k = 0; k < ids.size(); ++k) {
        if (k)
            dbg << " ";
        dbg << scheme->indexOf(ids.at(k));
    }
    dbg << "]";
}
} // namespace

void Slot::dump(QDebug dbg) const
{
    dbg.nospace() << "Slot(" << m_id << " " << m_meta << " " << m_flags << " " << m_state;
    dumpIds(dbg, m_links, m_owner);
    dumpIds(dbg, m_nestedIds, m_nested);
    if (m_owner)
        dbg << " " << static_cast<const void*>(m_owner);
    else
        dbg << " Nil";
    if (m_nested)
        dbg << " " << static_cast<const void*>(m_nested);
    else
        dbg << " Nil";
    dbg << ")";
}

QDebug operator<<(QDebug dbg, const Slot& slot)
{
    slot.dump(dbg);
    return dbg;
}

QDebug operator<<(QDebug dbg, const Slots& list)
{
    dbg.nospace() << "[";
    for (int i = 0; i < list.size(); ++i) {
        if (i)
            dbg << "\n";
        dbg << i << ":";
        if (list.at(i))
            list.at(i)->dump(dbg);
        else
            dbg << "Nil";
    }
    dbg << "]";
    return dbg;
}

} // namespace Nb
