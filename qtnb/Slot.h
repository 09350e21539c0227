#pragma once
// One node of a converter scheme: an input, a special input, a special
// output or a converter block, with its byte record in the scheme stream.

#include <cstdint>
#include <QDataStream>
#include <QDebug>
#include <QList>

#include "qtnb/Enums.h"
#include "qtnb/Error.h"
#include "qtnb/Meta.h"
#include "qtnb/SlotId.h"

namespace Nb {

class Scheme;

class Slot {
public:
    Slot();
    Slot(SlotId id, const Meta& meta);
    Slot(SlotId id, const Meta& meta, const SlotIds& links, BlockFlags flags, BlockState state);
    // Both lists are taken only when they are of equal length and hold at
    // most 127 ids each; otherwise both stay empty.
    Slot(SlotId id, const Meta& meta, const SlotIds& links, const SlotIds& nestedIds, BlockFlags flags,
         BlockState state, Scheme* nested);
    virtual ~Slot();

    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    // Copies owner, id, meta, flags, state, links, nested scheme and nested ids.
    virtual bool assign(const Slot& other);
    // Bytes of the record, identifier included.
    virtual int32_t size(bool asResult) const;
    // Reads the record after its identifier; returns the bytes read or -1.
    virtual int32_t read(SlotId id, QDataStream& stream, int32_t available, bool asResult);
    // Writes the record, identifier included; returns the bytes written or -1.
    virtual int32_t write(QDataStream& stream, bool asResult) const;
    virtual bool validate();
    virtual bool validateNested();
    virtual void dump(QDebug dbg) const;
    // Hooks run on a new owner and a new nested scheme.
    virtual bool update();
    virtual bool updateNested();

    bool setOwner(Scheme* owner);
    bool setNested(Scheme* nested);
    // The owner's status word; ScOk without an owner.
    Status status() const;
    // Stores the failure with this slot's id in the owner's status word;
    // always false.
    bool error(ErrorCode code) const;
    bool setStatus(const Status& status) const;
    // Counters indexed by kind >> 14.
    void countLinks(int32_t counts[4]) const;
    void countNested(int32_t counts[4]) const;
    // Appends each link to the list of its kind; conv also gets the slot's
    // own id at the end.
    void find(SlotIds* in, SlotIds* spIn, SlotIds* spOut, SlotIds* conv) const;

    Scheme* owner() const { return m_owner; }
    Scheme* nested() const { return m_nested; }
    SlotId id() const { return m_id; }
    SlotType type() const { return m_id.type(); }
    const Meta& meta() const { return m_meta; }
    BlockFlags flags() const { return m_flags; }
    BlockState state() const { return m_state; }
    const SlotIds& links() const { return m_links; }
    const SlotIds& nestedIds() const { return m_nestedIds; }

protected:
    Scheme* m_owner = nullptr;
    Scheme* m_nested = nullptr;
    SlotId m_id;
    Meta m_meta;
    BlockFlags m_flags = BlockFlags(0);
    BlockState m_state = BsUntrained;
    SlotIds m_links;
    SlotIds m_nestedIds;
};

// Slot pointers, not owned by the list.
using Slots = QList<Slot*>;

QDebug operator<<(QDebug dbg, const Slot& slot);
QDebug operator<<(QDebug dbg, const Slots& slots);

} // namespace Nb
