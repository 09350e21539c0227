#include "qtnb/SlotId.h"

namespace Nb {

const SlotId NilSlotId;

SlotIds::SlotIds(const SlotId* ids, int32_t count)
{
    if (!ids || count <= 0)
        return;
    reserve(count);
    for (int32_t i = 0; i < count; ++i)
        append(ids[i]);
}

QDebug operator<<(QDebug dbg, SlotId id)
{
    dbg.nospace();
    if (id.type() == StConv)
        dbg << "(" << id.type() << " " << BlockType(id.block()) << " " << unsigned(id.slot()) << ")";
    else
        dbg << "(" << id.type() << " " << unsigned(id.number()) << ")";
    return dbg;
}

QDebug operator<<(QDebug dbg, const SlotIds& ids)
{
    dbg.nospace() << "[";
    for (int i = 0; i < ids.size(); ++i) {
        if (i)
            dbg << " ";
        dbg << ids.at(i);
    }
    dbg << "]";
    return dbg;
}

} // namespace Nb
