#include "qtnb/Scheme.h"

#include <QtEndian>

#include "qtnb/Container.h"
#include "qtnb/Data.h"

namespace Nb {

namespace {

using detail::readLe;
using detail::writeLe;

constexpr int32_t kMaxSlots = 0x4000;

// Sorts the keys ascending, moving each slot pointer with its key.
void sortByKey(QList<int32_t>& keys, Slots& list, int32_t lo, int32_t hi)
{
    while (lo < hi) {
        const int32_t pivot = keys.at(lo + (hi - lo + 1) / 2);
        int32_t i = lo;
        int32_t j = hi;
        while (i <= j) {
            while (keys.at(i) < pivot)
                ++i;
            while (keys.at(j) > pivot)
                --j;
            if (i <= j) {
                keys.swapItemsAt(i, j);
                list.swapItemsAt(i, j);
                ++i;
                --j;
            }
        }
        if (lo < j)
            sortByKey(keys, list, lo, j);
        lo = i;
    }
}

} // namespace

// ---- factory

Slot* Scheme::Factory::create(SlotId id) { return new Slot(id, NilMeta); }

void Scheme::Factory::destroy(Slot* slot) { delete slot; }

Scheme::Factory* Scheme::defaultFactory()
{
    static Factory factory;
    return &factory;
}

// ---- construction

Scheme::Scheme() : m_factory(defaultFactory()) {}

Scheme::Scheme(Factory* factory) : m_factory(factory) {}

Scheme::~Scheme() { destroyAll(); }

void Scheme::destroyAll()
{
    const Slots list = m_slots;
    m_slots.clear();
    for (Slot* slot : list)
        m_factory->destroy(slot);
    m_out = -1;
}

void Scheme::clear() { destroyAll(); }

bool Scheme::assign(const Scheme& other)
{
    // Clearing first would destroy the very slots to be copied.
    if (&other == this)
        return !isFailure(m_status);
    clear();
    for (const Slot* slot : other.m_slots)
        if (slot)
            push(*slot);
    m_out = other.m_out;
    return !isFailure(m_status);
}

// ---- queries

SlotId Scheme::slotId(int32_t index) const
{
    if (index < 0 || index >= count() || !m_slots.at(index))
        return NilSlotId;
    return m_slots.at(index)->id();
}

int32_t Scheme::indexOf(SlotId id, int32_t start) const
{
    if (id == NilSlotId)
        return m_out >= 0 ? m_out : count() - 1;
    const uint16_t number = id.number();
    for (int32_t i = qMax(start, 0); i < count(); ++i) {
        const Slot* slot = m_slots.at(i);
        if (slot && slot->id().number() == number)
            return i;
    }
    return -1;
}

int32_t Scheme::lastIndexOf(SlotType kind, uint8_t block) const
{
    for (int32_t i = count() - 1; i >= 0; --i) {
        const Slot* slot = m_slots.at(i);
        if (slot && slot->type() == kind && (block == 255 || slot->id().block() == block))
            return i;
    }
    return -1;
}

Slot* Scheme::at(int32_t index) const
{
    if (index < 0 || index >= count()) {
        NB_DEBUG_LINE << "@err" << 1 << "Scheme::at" << " line:" << int(__LINE__);
        return nullptr;
    }
    return m_slots.at(index);
}

Slot* Scheme::at(SlotId id) const
{
    const int32_t index = indexOf(id);
    if (index < 0 || index >= count()) {
        NB_DEBUG_LINE << "@err" << 1 << "Scheme::at" << " line:" << int(__LINE__);
        return nullptr;
    }
    return m_slots.at(index);
}

SlotId Scheme::lookup(SlotId id) const
{
    const Slot* slot = at(id);
    return slot ? slot->id() : NilSlotId;
}

bool Scheme::collect(Slots& out, const SlotIds& ids, bool chained) const
{
    bool all = true;
    int32_t start = 0;
    for (SlotId id : ids) {
        const int32_t index = indexOf(id, chained ? start : 0);
        if (index < 0 || index >= count()) {
            out.append(nullptr);
            all = false;
            continue;
        }
        out.append(m_slots.at(index));
        start = index;
    }
    return all;
}

void Scheme::linkedBy(Slots& out, SlotId id, bool once) const
{
    for (Slot* slot : m_slots) {
        if (!slot || slot->type() != StConv)
            continue;
        for (SlotId link : slot->links()) {
            if (link != id)
                continue;
            out.append(slot);
            if (once)
                break;
        }
    }
}

SlotIds::SlotIds(const Scheme& scheme)
{
    for (int32_t i = 0; i < scheme.count(); ++i)
        append(scheme.slotId(i));
}

SlotIds::SlotIds(const Scheme& scheme, SlotType kind, uint8_t block)
{
    for (int32_t i = 0; i < scheme.count(); ++i) {
        const SlotId id = scheme.slotId(i);
        if (id.type() == kind && (block == 255 || id.block() == block))
            append(id);
    }
}

bool Scheme::find(Slots* in, Slots* spIn, Slots* spOut, Slots* conv) const
{
    Slots* lists[4] = {in, spIn, spOut, conv};
    for (Slot* slot : m_slots) {
        if (!slot) {
            NB_ERR(1);
            continue;
        }
        if (Slots* list = lists[slot->type() >> 14])
            list->append(slot);
    }
    return true;
}

bool Scheme::order(Slots& list) const
{
    QList<int32_t> keys;
    Slots kept;
    for (Slot* slot : list) {
        if (!slot)
            continue;
        const int32_t key = indexOf(slot->id());
        if (key < 0) {
            NB_ERR(1);
            return false;
        }
        keys.append(key);
        kept.append(slot);
    }
    if (!keys.isEmpty())
        sortByKey(keys, kept, 0, int32_t(keys.size()) - 1);
    list = kept;
    return true;
}

bool Scheme::circled() const
{
    for (int32_t i = 0; i < count(); ++i) {
        const Slot* conv = m_slots.at(i);
        if (!conv || conv->type() != StConv)
            continue;
        for (SlotId link : conv->links()) {
            if (link.type() != StIn && link.type() != StSpIn)
                continue;
            const int32_t j = indexOf(link);
            if (j < 0 || j >= count()) {
                NB_ERR(1);
                return true;
            }
            if (j >= i)
                return true;
            const Slot* input = m_slots.at(j);
            if (input && input->type() == StSpOut) {
                // A special output is read only after an earlier converter
                // has written it.
                Slots writers;
                linkedBy(writers, input->id(), true);
                if (writers.isEmpty() || m_slots.indexOf(writers.first()) >= i)
                    return true;
            }
        }
    }
    return false;
}

int32_t Scheme::size() const
{
    if (!hasOut() || m_out >= count() || !m_slots.at(m_out))
        return 0;
    int64_t total = m_slots.at(m_out)->size(true);
    for (const Slot* slot : m_slots)
        if (slot)
            total += slot->size(false);
    return int32_t(qMin<int64_t>(total, INT32_MAX));
}

// ---- result

Scheme& Scheme::setOut(int32_t index)
{
    if (m_out < 0 && index >= 0 && index < count())
        m_out = index;
    return *this;
}

Scheme& Scheme::setOut(SlotId id)
{
    if (m_out < 0)
        m_out = indexOf(id);
    return *this;
}

// ---- adding slots

Scheme& Scheme::push(const Slot& slot)
{
    if (m_out >= 0)
        return *this;
    Slot* copy = m_factory->create(slot.id());
    if (!copy) {
        NB_ERR(1);
        m_status = schemeStatus(EcOutOfMemory);
        return *this;
    }
    if (!copy->assign(slot)) {
        NB_ERR(2);
        m_status = schemeStatus(EcParam);
        m_factory->destroy(copy);
        return *this;
    }
    m_slots.append(copy);
    copy->setOwner(this);
    return *this;
}

Scheme& Scheme::push(SlotType kind, Meta meta)
{
    if (kind == StConv) {
        NB_ERR(1);
        m_status = schemeStatus(EcCScheme);
        return *this;
    }
    const int32_t last =
        qMax(lastIndexOf(StSpOut, 255), qMax(lastIndexOf(StSpIn, 255), lastIndexOf(StIn, 255)));
    const uint32_t number = last < 0 ? 1u : uint32_t(slotId(last).number()) + 1u;
    // A number that reached the kind bits would name another kind of slot.
    if (number > 0x3FFF) {
        NB_ERR(2);
        m_status = schemeStatus(EcCScheme);
        return *this;
    }
    return push(Slot(SlotId::make(kind, uint16_t(number)), meta));
}

bool Scheme::convSlotLinks(uint8_t block, const SlotTypes& kinds, const SlotNums& positions,
                           uint32_t& instance, SlotIds& links)
{
    const int32_t last = lastIndexOf(StConv, block);
    instance = last < 0 ? 1u : uint32_t(slotId(last).slot()) + 1u;
    if (instance > 0x7F) {
        NB_ERR(7);
        m_status = schemeStatus(EcCScheme);
        return false;
    }
    for (int k = 0; k < kinds.size(); ++k) {
        if (kinds.at(k) == StConv) {
            NB_ERR(3);
            m_status = schemeStatus(EcCScheme);
            return false;
        }
        const SlotId target = slotId(positions.at(k));
        if (target == NilSlotId) {
            NB_ERR(4);
            m_status = schemeStatus(EcCScheme);
            return false;
        }
        links.append(target.retyped(kinds.at(k)));
    }
    return true;
}

Scheme& Scheme::push(BlockType type, Meta meta, const SlotTypes& kinds, const SlotNums& positions,
                     BlockFlags flags)
{
    if (type == 0) {
        NB_ERR(1);
        m_status = schemeStatus(EcCScheme);
        return *this;
    }
    if (kinds.size() != positions.size()) {
        NB_ERR(2);
        m_status = schemeStatus(EcCScheme);
        return *this;
    }
    // Only seven bits of the block type fit the id: a larger type would
    // pose as another converter.
    if (type >= 128) {
        NB_ERR(5);
        m_status = schemeStatus(EcCScheme);
        return *this;
    }
    uint32_t instance = 0;
    SlotIds links;
    if (!convSlotLinks(uint8_t(type), kinds, positions, instance, links))
        return *this;
    const SlotId id = SlotId::conv(uint8_t(type), uint8_t(instance));
    return push(Slot(id, meta, links, flags, BsUntrained));
}

Scheme& Scheme::push(Scheme& nested, Meta meta, const SlotTypes& kinds, const SlotNums& positions,
                     const SlotNums& nestedPositions, BlockFlags flags)
{
    if (kinds.size() != positions.size() || kinds.size() != nestedPositions.size()) {
        NB_ERR(1);
        m_status = schemeStatus(EcCScheme);
        return *this;
    }
    uint32_t instance = 0;
    SlotIds links;
    if (!convSlotLinks(0, kinds, positions, instance, links))
        return *this;
    SlotIds nestedIds;
    for (int k = 0; k < nestedPositions.size(); ++k) {
        const SlotId inner = nested.slotId(nestedPositions.at(k));
        if (inner == NilSlotId) {
            NB_ERR(6);
            m_status = schemeStatus(EcCScheme);
            return *this;
        }
        nestedIds.append(inner);
    }
    // The slot's own constructor would silently drop more than 127 pairs.
    if (links.size() > 127) {
        NB_ERR(8);
        m_status = schemeStatus(EcCScheme);
        return *this;
    }
    const SlotId id = SlotId::conv(0, uint8_t(instance));
    return push(Slot(id, meta, links, nestedIds, flags, BsUntrained, &nested));
}

// ---- validation

bool Scheme::validate()
{
    m_status = ScOk;
    if (m_slots.isEmpty())
        return true;
    if (!at(m_out)) {
        NB_ERR(1);
        m_status = schemeStatus(EcCScheme);
        return false;
    }
    for (int32_t i = 0; i < count(); ++i) {
        const Slot* slot = m_slots.at(i);
        if (!slot || indexOf(slot->id(), i + 1) != -1) {
            NB_ERR(2);
            m_status = schemeStatus(EcCScheme);
            return false;
        }
    }
    for (Slot* slot : m_slots) {
        if (!slot->validate()) {
            NB_ERR(3);
            return false;
        }
    }
    if (circled()) {
        NB_ERR(4);
        m_status = schemeStatus(EcCScheme);
        return false;
    }
    return true;
}

bool Scheme::rvalidate()
{
    m_status = ScOk;
    for (Slot* slot : m_slots) {
        if (slot && !slot->validateNested()) {
            NB_ERR(1);
            return false;
        }
    }
    return true;
}

// ---- record stream

int32_t Scheme::writeScheme(QDataStream& stream, bool withSize) const
{
    if (m_slots.isEmpty()) {
        NB_ERR(1);
        return -1;
    }
    if (m_out < 0) {
        NB_ERR(2);
        return -1;
    }
    if (withSize && !writeLe<int32_t>(stream, size())) {
        NB_ERR(3);
        return -1;
    }
    const Slot* result = m_out < count() ? m_slots.at(m_out) : nullptr;
    const int32_t head = result ? result->write(stream, true) : -1;
    if (head < 0) {
        NB_ERR(4);
        return -1;
    }
    int64_t total = head;
    for (const Slot* slot : m_slots) {
        const int32_t n = slot ? slot->write(stream, false) : -1;
        if (n < 0) {
            NB_ERR(5);
            return -1;
        }
        total += n;
    }
    return int32_t(qMin<int64_t>(total, INT32_MAX));
}

int32_t Scheme::readScheme(QDataStream& stream, int32_t size)
{
    m_status = ScOk;
    SlotId resultId = NilSlotId;
    Meta resultMeta = NilMeta;
    clear();

    auto fail = [this]() {
        clear();
        m_status = schemeStatus(EcIo);
        return -1;
    };

    if (uint32_t(size) < 2u) {
        NB_ERR(1);
        return fail();
    }
    // Wide enough that a hostile size cannot overflow it.
    int64_t remaining = size;
    do {
        uint16_t raw = 0;
        readLe(stream, raw);
        if (stream.status() != QDataStream::Ok) {
            NB_ERR(2);
            return fail();
        }
        remaining -= 2;
        const SlotId id(raw);
        Slot* slot = m_factory->create(id);
        if (!slot)
            return fail();
        const bool first = resultId == NilSlotId;
        const int32_t available = int32_t(qBound<int64_t>(INT32_MIN, remaining, INT32_MAX));
        const int32_t used = slot->read(id, stream, available, first);
        if (used < 0) {
            m_factory->destroy(slot);
            NB_ERR(3);
            return fail();
        }
        remaining -= used;
        if (first) {
            if (id == NilSlotId) {
                m_factory->destroy(slot);
                NB_ERR(4);
                m_status = schemeStatus(EcCScheme);
                return -1;
            }
            resultId = id;
            resultMeta = slot->meta();
            m_factory->destroy(slot);
        } else {
            // Slot numbers are 14 bits: a longer list cannot be a valid
            // scheme, and checking it would only cost quadratic time.
            if (count() >= kMaxSlots) {
                m_factory->destroy(slot);
                NB_ERR(9);
                return fail();
            }
            m_slots.append(slot);
            if (!slot->setOwner(this)) {
                NB_ERR(5);
                return -1;
            }
        }
    } while (remaining > 0);

    if (remaining < 0) {
        NB_ERR(6);
        return fail();
    }
    m_out = indexOf(resultId);
    if (m_out < 0) {
        NB_ERR(7);
        return fail();
    }
    if (!(m_slots.at(m_out)->meta() == resultMeta)) {
        NB_ERR(8);
        return fail();
    }
    return size;
}

bool Scheme::toData(Data& out) const
{
    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        if (writeScheme(stream, true) < 0) {
            NB_ERR(1);
            return false;
        }
    }
    QDataStream in(bytes);
    if (out.read(in, true) < 0) {
        NB_ERR(2);
        return false;
    }
    return true;
}

bool Scheme::fromData(const Data& in)
{
    // A view's size word comes from outside: read no further than its capacity.
    const int32_t n = qMax(0, qMin(in.size(), in.capacity()));
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(in.data()), n);
    QDataStream stream(bytes);
    return readScheme(stream, n) >= 0;
}

Block& Block::push(const Scheme& scheme)
{
    // Written aside first, so that a failed write leaves no partial records
    // in the block.
    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        if (scheme.writeScheme(stream, false) < 0) {
            NB_ERR(1);
            return *this;
        }
    }
    return pushStream([&](QDataStream& s) { s.writeRawData(bytes.constData(), int(bytes.size())); });
}

const Block& Block::pop(int32_t& pos, Scheme& scheme) const
{
    return popStream(pos, [&](QDataStream& s) {
        return scheme.readScheme(s, int32_t(s.device()->bytesAvailable()));
    });
}

// ---- debug output

void Scheme::dump(QDebug dbg) const
{
    dbg << "Scheme(" << static_cast<const void*>(this) << " count:" << count() << " out:" << m_out
        << " rslt:" << m_status << "\n"
        << m_slots << ")";
}

QDebug operator<<(QDebug dbg, const Scheme& scheme)
{
    scheme.dump(dbg);
    return dbg;
}

} // namespace Nb
