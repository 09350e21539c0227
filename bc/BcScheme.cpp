#include "bc/BcScheme.h"

#include "bc/BcCondition.h"
#include "bc/BcConnector.h"
#include "bc/BcNeuralConverter.h"
#include "bc/BcParam.h"

namespace Bc {

// ---- factory

Nb::Slot* BcScheme::BcFactory::create(Nb::SlotId id)
{
    const Nb::SlotType kind = id.type();
    if (kind == Nb::StSpIn || kind == Nb::StSpOut || kind == Nb::StIn)
        return new BcParam(id, Nb::NilMeta);
    switch (id.block()) {
    case Nb::BtConnector:
        return new BcConnector(id, Nb::NilMeta);
    case Nb::BtNeuralConv:
        return new BcNeuralConverter(id, Nb::NilMeta);
    case Nb::BtCondition:
        return new BcCondition(id, Nb::NilMeta);
    default:
        return nullptr;
    }
}

void BcScheme::BcFactory::destroy(Nb::Slot* slot) { delete slot; }

BcScheme::BcFactory* BcScheme::factory()
{
    static BcFactory instance;
    return &instance;
}

// {30413CB1-53A7-4B62-9F01-0E430E7E3EF8}
const Nb::Uuid BcScheme::paramId(0x30413CB1u, 0x53A7, 0x4B62, 0x9F, 0x01, 0x0E, 0x43, 0x0E, 0x7E, 0x3E, 0xF8);

BcScheme::BcScheme() : Nb::Scheme(factory()) {}

BcScheme::BcScheme(Nb::Scheme::Factory* factory) : Nb::Scheme(factory) {}

BcScheme::~BcScheme() = default;

// ---- slot lists

bool BcScheme::fail(Nb::ErrorCode code, const BcSlot* slot)
{
    if (!Nb::isFailure(m_status))
        m_status = slot ? Nb::slotStatus(slot->id(), code) : Nb::schemeStatus(code);
    return false;
}

BcSlot* BcScheme::bcSlot(Nb::SlotId id) const
{
    const int32_t index = indexOf(id);
    if (index < 0 || index >= count())
        return nullptr;
    return dynamic_cast<BcSlot*>(m_slots.at(index));
}

BcSlots BcScheme::converterSlots() const
{
    BcSlots list;
    for (Nb::Slot* slot : m_slots)
        if (slot && slot->type() == Nb::StConv)
            if (BcSlot* s = dynamic_cast<BcSlot*>(slot))
                list.append(s);
    return list;
}

BcSlots BcScheme::inputSlots() const
{
    BcSlots list;
    for (Nb::Slot* slot : m_slots)
        if (slot && slot->type() == Nb::StIn)
            if (BcSlot* s = dynamic_cast<BcSlot*>(slot))
                list.append(s);
    return list;
}

Nb::SlotIds BcScheme::inputIds() const { return Nb::SlotIds(*this, Nb::StIn, 255); }

// ---- whole-scheme operations

void BcScheme::clear()
{
    m_flags = 0;
    m_kept.clear();
    Nb::Scheme::clear();
}

bool BcScheme::validate()
{
    const bool ok = Nb::Scheme::validate();
    m_flags = ok ? uint16_t(m_flags | FlagValid) : uint16_t(m_flags & ~FlagValid);
    return ok;
}

bool BcScheme::clear(Nb::SchemeParts parts)
{
    m_status = Nb::ScOk;
    if (parts & Nb::SsScheme) {
        clear();
        return true;
    }
    if (parts & Nb::SsTrained) {
        for (BcSlot* slot : converterSlots()) {
            slot->reset();
            slot->clearConstraint(Nb::CtTst);
        }
    }
    for (Nb::Slot* s : m_slots) {
        BcSlot* slot = dynamic_cast<BcSlot*>(s);
        if (!slot)
            continue;
        const Nb::SlotType kind = slot->type();
        const bool in = kind == Nb::StIn || kind == Nb::StSpIn;
        const Nb::SchemeParts any = in ? Nb::SsInAny : Nb::SsOutAny;
        const Nb::SchemeParts own = in ? Nb::SsInOwn : Nb::SsOutOwn;
        if (parts & any)
            slot->clearConstraint(Nb::CtAny);
        if (parts & own) {
            slot->clearConstraint(Nb::CtAll);
            slot->clearConstraint(Nb::CtOwn);
        }
    }
    updateState();
    return true;
}

bool BcScheme::updateState()
{
    m_flags &= FlagValid;
    const BcSlots conv = converterSlots();
    int32_t trained = 0;
    int32_t partly = 0;
    int32_t outer = 0;
    for (BcSlot* slot : conv) {
        const bool inner = slot->id().block() == 0;
        const Nb::BlockState state = slot->state();
        if (inner)
            slot->notify();
        if ((state == Nb::BsUntrained || (inner && state == Nb::BsPartially)) && outer > 0)
            break;
        if (!inner) {
            if (state != Nb::BsUntrained)
                ++outer;
        } else if (state == Nb::BsTrained) {
            ++trained;
        } else if (state == Nb::BsPartially) {
            ++partly;
        }
    }
    if (conv.isEmpty())
        return true;
    if (outer > 0)
        m_flags |= FlagOuterTrained;
    if (trained + outer == int32_t(conv.size()))
        m_flags |= FlagTrained;
    else if (trained + outer + partly > 0)
        m_flags |= FlagPartly;
    return true;
}

// ---- rows

bool BcScheme::setConstraint(Nb::SlotId id, Nb::ConstraintType ct, const Nb::Matrix::Row& row, bool check)
{
    BcSlot* slot = bcSlot(id);
    if (!slot) {
        BC_ERR(1);
        m_status = Nb::schemeStatus(Nb::EcSlotId);
        return false;
    }
    if (check && row.isNil())
        return true;
    return slot->set(ct, row) || fail(Nb::EcConstraint, slot);
}

bool BcScheme::getConstraint(Nb::SlotId id, Nb::ConstraintType ct, Nb::Matrix::Row& row)
{
    BcSlot* slot = bcSlot(id);
    if (!slot) {
        BC_ERR(1);
        m_status = Nb::schemeStatus(Nb::EcSlotId);
        return false;
    }
    if (row.isNil())
        return true;
    return slot->get(ct, row) || fail(Nb::EcConstraint, slot);
}

int32_t BcScheme::constraintCols(Nb::SlotId id, Nb::ConstraintType ct)
{
    BcSlot* slot = bcSlot(id);
    if (!slot) {
        BC_ERR(1);
        m_status = Nb::schemeStatus(Nb::EcSlotId);
        return 0;
    }
    return slot->constraintCols(ct);
}

bool BcScheme::emulateSlot(Nb::SlotId id, Nb::ConstraintType ct)
{
    BcSlot* slot = bcSlot(id);
    if (!slot) {
        BC_ERR(1);
        m_status = Nb::schemeStatus(Nb::EcSlotId);
        return false;
    }
    return slot->emulate(ct, ct, true) || fail(Nb::EcFail, slot);
}

// The slots of the ids, one per row; checks 1 (row count) and 2 (unknown id)
// of the constraint operations.
bool BcScheme::constraintTargets(const Nb::SlotIds& ids, int32_t rowCount, BcSlots& targets)
{
    if (rowCount != int32_t(ids.size())) {
        BC_ERR(1);
        m_status = Nb::schemeStatus(Nb::EcParam);
        return false;
    }
    for (Nb::SlotId id : ids) {
        BcSlot* slot = bcSlot(id);
        if (!slot) {
            BC_ERR(2);
            m_status = Nb::schemeStatus(Nb::EcSlotId);
            return false;
        }
        targets.append(slot);
    }
    return true;
}

bool BcScheme::setConstraints(const Nb::SlotIds& ids, Nb::ConstraintType ct, const Nb::Rows& rows, bool check)
{
    BcSlots targets;
    if (!constraintTargets(ids, int32_t(rows.size()), targets))
        return false;
    for (int32_t i = 0; i < int32_t(targets.size()); ++i) {
        if (check && rows.at(i).isNil())
            continue;
        if (!targets.at(i)->set(ct, rows.at(i)))
            return fail(Nb::EcConstraint, targets.at(i));
    }
    return true;
}

bool BcScheme::getConstraints(const Nb::SlotIds& ids, Nb::ConstraintType ct, Nb::Rows& rows)
{
    BcSlots targets;
    if (!constraintTargets(ids, int32_t(rows.size()), targets))
        return false;
    for (int32_t i = 0; i < int32_t(targets.size()); ++i) {
        Nb::Matrix::Row& row = rows[i];
        if (row.isNil())
            continue;
        if (!targets.at(i)->get(ct, row))
            return fail(Nb::EcConstraint, targets.at(i));
    }
    return true;
}

bool BcScheme::clearConstraint(Nb::ConstraintType ct)
{
    for (Nb::Slot* s : m_slots) {
        BcSlot* slot = dynamic_cast<BcSlot*>(s);
        if (slot && !slot->clearConstraint(ct))
            return fail(Nb::EcConstraint, slot);
    }
    return true;
}

bool BcScheme::clearConstraint(const Nb::SlotIds& ids, Nb::ConstraintType ct)
{
    for (Nb::SlotId id : ids) {
        BcSlot* slot = bcSlot(id);
        if (!slot) {
            BC_ERR(1);
            m_status = Nb::schemeStatus(Nb::EcSlotId);
            return false;
        }
        if (!slot->clearConstraint(ct))
            return fail(Nb::EcConstraint, slot);
    }
    return true;
}

bool BcScheme::emulate(const Nb::SlotIds& outputs, Nb::ConstraintType ct)
{
    BcSlots targets;
    for (Nb::SlotId id : outputs) {
        BcSlot* slot = bcSlot(id);
        if (!slot) {
            BC_ERR(1);
            m_status = Nb::schemeStatus(Nb::EcSlotId);
            return false;
        }
        targets.append(slot);
    }
    for (BcSlot* slot : targets)
        if (!slot->emulate(ct, ct, true))
            return fail(Nb::EcFail, slot);
    return true;
}

// ---- training, quality and test

bool BcScheme::train()
{
    BcSlots list;
    for (BcSlot* slot : converterSlots())
        if (!(slot->flags() & 0x4))
            list.append(slot);
    for (BcSlot* slot : list)
        slot->reset();
    // A slot that cannot train yet may need what a later slot hands down to
    // it (a connector splitting the code into its inputs' targets): the back
    // of the list is trained then, and the front tried again.
    int32_t j = 0;
    int32_t i = int32_t(list.size()) - 1;
    while (j <= i) {
        m_status = Nb::ScOk;
        if (list.at(j)->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0))) {
            ++j;
            continue;
        }
        fail(Nb::EcFail, list.at(j));
        const Nb::Status front = m_status;
        if (j == i) {
            BC_ERR(1);
            return false;
        }
        m_status = Nb::ScOk;
        if (!list.at(i)->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0))) {
            BC_ERR(2);
            m_status = front;
            return false;
        }
        --i;
    }
    m_status = Nb::ScOk;
    updateState();
    return true;
}

bool BcScheme::qeval(const Nb::Matrix::Row& quality)
{
    const Nb::Meta meta = quality.meta();
    if (meta.count != 1 || meta.format != Nb::MfR32) {
        BC_ERR(1);
        m_status = Nb::schemeStatus(Nb::EcMeta);
        return false;
    }
    const BcSlots inputs = inputSlots();
    Nb::Rows taken;
    for (BcSlot* slot : inputs) {
        const Nb::Status before = m_status;
        if (slot->qeval())
            taken.append(slot->constraint(Nb::CtGe));
        // An input that cannot rate its samples is left out, not a failure.
        m_status = before;
    }
    const int32_t cols = quality.cols();
    Nb::Cell* cells = quality.data();
    if (cols > 0 && !cells) {
        BC_ERR(2);
        m_status = Nb::schemeStatus(Nb::EcNoData);
        return false;
    }
    for (int32_t c = 0; c < cols; ++c) {
        if (cells[c].isNull()) {
            BC_ERR(3);
            m_status = Nb::schemeStatus(Nb::EcNoData);
            return false;
        }
        *quality.r32(c) = 0.0f;
    }
    int32_t added = 0;
    for (const Nb::Matrix::Row& row : taken) {
        const int32_t n = row.cols();
        Nb::Cell* src = row.data();
        if (n < 1 || !src)
            continue;
        ++added;
        for (int32_t c = 0; c < cols; ++c) {
            const int32_t k = c < n ? c : n - 1;
            if (!src[k].isNull())
                *quality.r32(c) += *row.r32(k);
        }
    }
    if (added > 0)
        for (int32_t c = 0; c < cols; ++c)
            *quality.r32(c) /= float(added);
    for (BcSlot* slot : inputs)
        slot->clearConstraint(Nb::CtGe);
    return true;
}

bool BcScheme::test(Nb::Matrix::Row& out)
{
    const BcSlots conv = converterSlots();
    if (conv.isEmpty()) {
        BC_ERR(1);
        m_status = Nb::schemeStatus(Nb::EcCScheme);
        return false;
    }
    // Indicators are tested right behind the slot they watch.
    BcSlots order;
    for (BcSlot* slot : conv) {
        const uint8_t block = slot->id().block();
        if (block != Nb::BtSoftIndicator && block != Nb::BtHardIndicator) {
            order.append(slot);
            continue;
        }
        int32_t at = -1;
        if (!slot->links().isEmpty()) {
            const BcSlot* watched = bcSlot(slot->links().first());
            at = watched ? int32_t(order.indexOf(const_cast<BcSlot*>(watched))) : -1;
        }
        if (at < 0) {
            BC_ERR(2);
            m_status = Nb::schemeStatus(Nb::EcCScheme);
            return false;
        }
        order.insert(at + 1, slot);
    }
    for (BcSlot* slot : order) {
        if (!slot->test()) {
            BC_ERR(3);
            return fail(Nb::EcFail, slot);
        }
    }
    // A result that holds no figures (a scheme whose result is not a
    // converter) has nothing to report.
    BcSlot* result = bcSlot(Nb::NilSlotId);
    if (!result || result->constraintCols(Nb::CtTst) < 1 || !result->get(Nb::CtTst, out)) {
        BC_ERR(4);
        return fail(Nb::EcNoData, result);
    }
    return true;
}

} // namespace Bc
