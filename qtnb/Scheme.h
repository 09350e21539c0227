#pragma once
// The converter scheme: an ordered list of slots, one of them the result,
// with its slot factory, lookups, feed-forward test, ordering, validation
// and its record stream.

#include <cstdint>
#include <QDataStream>
#include <QDebug>
#include <QList>

#include "qtnb/Enums.h"
#include "qtnb/Error.h"
#include "qtnb/Meta.h"
#include "qtnb/Slot.h"
#include "qtnb/SlotId.h"

namespace Nb {

class Data;

using SlotTypes = QList<SlotType>;
// Positions in a scheme's slot list.
using SlotNums = QList<int32_t>;

class Scheme {
public:
    // Makes and destroys a scheme's slots. The base makes plain slots; a
    // scheme never owns its factory.
    class Factory {
    public:
        virtual ~Factory() = default;
        // A new slot with that id, owned by the caller, or null.
        virtual Slot* create(SlotId id);
        virtual void destroy(Slot* slot);
    };

    static Factory* defaultFactory();

    Scheme();
    explicit Scheme(Factory* factory);
    virtual ~Scheme();

    Scheme(const Scheme&) = delete;
    Scheme& operator=(const Scheme&) = delete;

    virtual void clear();
    virtual bool assign(const Scheme& other);
    virtual bool validate();
    virtual bool rvalidate();
    // Reads `size` bytes of records; returns size or -1.
    virtual int32_t readScheme(QDataStream& stream, int32_t size);
    // Returns the record bytes written (the size word not counted) or -1.
    virtual int32_t writeScheme(QDataStream& stream, bool withSize) const;
    virtual void dump(QDebug dbg) const;

    Factory* factory() const { return m_factory; }
    int32_t count() const { return int32_t(m_slots.size()); }
    int32_t out() const { return m_out; }
    bool hasOut() const { return !m_slots.isEmpty() && m_out >= 0; }
    Status status() const { return m_status; }
    void setStatus(Status status) { m_status = status; }

    SlotId slotId(int32_t index) const;
    int32_t indexOf(SlotId id, int32_t start = 0) const;
    int32_t lastIndexOf(SlotType kind, uint8_t block) const;
    Slot* at(int32_t index) const;
    Slot* at(SlotId id) const;
    SlotId lookup(SlotId id) const;
    bool collect(Slots& out, const SlotIds& ids, bool chained) const;
    void linkedBy(Slots& out, SlotId id, bool once) const;
    bool find(Slots* in, Slots* spIn, Slots* spOut, Slots* conv) const;
    bool order(Slots& list) const;
    bool circled() const;
    // Bytes of the record stream without the size word.
    int32_t size() const;

    Scheme& setOut(int32_t index);
    Scheme& setOut(SlotId id);

    Scheme& push(const Slot& slot);
    Scheme& push(SlotType kind, Meta meta);
    Scheme& push(BlockType type, Meta meta, const SlotTypes& kinds, const SlotNums& positions,
                 BlockFlags flags);
    Scheme& push(Scheme& nested, Meta meta, const SlotTypes& kinds, const SlotNums& positions,
                 const SlotNums& nestedPositions, BlockFlags flags);

    bool toData(Data& out) const;
    bool fromData(const Data& in);

protected:
    void destroyAll();
    // The next instance number of a converter of that block and the links
    // the kinds and positions give; false (the status set) when there is none.
    bool convSlotLinks(uint8_t block, const SlotTypes& kinds, const SlotNums& positions, uint32_t& instance,
                       SlotIds& links);

    Factory* m_factory = nullptr;
    Slots m_slots;
    int32_t m_out = -1;
    Status m_status = ScOk;
};

QDebug operator<<(QDebug dbg, const Scheme& scheme);

} // namespace Nb
