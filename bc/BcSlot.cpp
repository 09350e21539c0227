#include "bc/BcSlot.h"

#include "qtnb/Scheme.h"

namespace Bc {

BcSlot::BcSlot() = default;

BcSlot::BcSlot(Nb::SlotId id, const Nb::Meta& meta) : Nb::Slot(id, meta) {}

BcSlot::~BcSlot() = default;

bool BcSlot::update()
{
    m_ge.create(Nb::Meta(1, Nb::MfR32, Nb::MtCO));
    m_tst.create(Nb::Meta(TestFigures, Nb::MfR32, Nb::MtCO));
    m_any.create(m_meta);
    m_own.create(m_meta);
    m_all.create(m_meta);
    m_inputs.clear();
    if (!m_owner)
        return true;
    for (Nb::SlotId link : m_links) {
        BcSlot* input = dynamic_cast<BcSlot*>(m_owner->at(link));
        if (!input) {
            m_inputs.clear();
            BC_ERR(1);
            return error(Nb::EcCScheme);
        }
        m_inputs.append(input);
    }
    return true;
}

bool BcSlot::updateNested()
{
    m_nestedSlots.clear();
    if (!m_nested)
        return true;
    for (Nb::SlotId id : m_nestedIds) {
        BcSlot* slot = dynamic_cast<BcSlot*>(m_nested->at(id));
        if (!slot) {
            m_nestedSlots.clear();
            BC_ERR(1);
            return error(Nb::EcCScheme);
        }
        m_nestedSlots.append(slot);
    }
    return true;
}

Nb::Matrix* BcSlot::matrixOf(Nb::ConstraintType ct)
{
    return const_cast<Nb::Matrix*>(static_cast<const BcSlot*>(this)->matrixOf(ct));
}

const Nb::Matrix* BcSlot::matrixOf(Nb::ConstraintType ct) const
{
    switch (ct) {
    case Nb::CtGe:
        return &m_ge;
    case Nb::CtTst:
        return &m_tst;
    case Nb::CtAny:
        return &m_any;
    case Nb::CtOwn:
        return &m_own;
    case Nb::CtAll:
        return &m_all;
    }
    return nullptr;
}

Nb::Matrix::Row BcSlot::constraint(Nb::ConstraintType ct)
{
    Nb::Matrix* m = matrixOf(ct);
    if (!m) {
        BC_ERR(1);
        error(Nb::EcConstraint);
        return Nb::Matrix::Row();
    }
    return Nb::Matrix::Row(m, 0);
}

bool BcSlot::clearConstraints()
{
    for (Nb::ConstraintType ct : {Nb::CtGe, Nb::CtTst, Nb::CtAny, Nb::CtOwn, Nb::CtAll})
        if (!clearConstraint(ct))
            return false;
    return true;
}

bool BcSlot::clearConstraint(Nb::ConstraintType ct)
{
    Nb::Matrix* m = matrixOf(ct);
    if (!m) {
        BC_ERR(1);
        return error(Nb::EcConstraint);
    }
    return m->resize(0);
}

bool BcSlot::set(Nb::ConstraintType ct, const Nb::Matrix::Row& in)
{
    const Nb::Matrix::Row target = constraint(ct);
    if (target.isNull()) {
        BC_ERR(1);
        return error(Nb::EcConstraint);
    }
    if (in.isNil())
        return clearConstraint(ct);
    if (in.meta() != target.meta()) {
        BC_ERR(2);
        return error(Nb::EcMeta);
    }
    // A row set onto itself is already what it should be.
    if (in.matrix() == target.matrix() && in.index() == target.index())
        return true;
    if (!target.resize(in.cols())) {
        BC_ERR(3);
        return error(Nb::EcOutOfMemory);
    }
    if (!target.copy(in)) {
        BC_ERR(4);
        return error(Nb::EcNoData);
    }
    return true;
}

bool BcSlot::get(Nb::ConstraintType ct, Nb::Matrix::Row& out) const
{
    const Nb::Matrix* m = matrixOf(ct);
    if (!m) {
        BC_ERR(1);
        return error(Nb::EcConstraint);
    }
    const Nb::Matrix::Row source(m, 0);
    if (out.meta() != source.meta()) {
        BC_ERR(2);
        return error(Nb::EcMeta);
    }
    if (!out.copy(source)) {
        BC_ERR(3);
        return error(Nb::EcNoData);
    }
    return true;
}

int32_t BcSlot::constraintCols(Nb::ConstraintType ct) const
{
    const Nb::Matrix* m = matrixOf(ct);
    return m ? m->cols() : 0;
}

bool BcSlot::reset()
{
    m_state = Nb::BsUntrained;
    return true;
}

bool BcSlot::qeval() { return false; }

void BcSlot::notify() {}

bool BcSlot::actualize(BcSlots& list, Nb::ConstraintType ct, int32_t& cols, bool emulate)
{
    cols = 0;
    for (int32_t i = 0; i < list.size(); ++i) {
        BcSlot* slot = list.at(i);
        if (!slot) {
            BC_ERR(3);
            return false;
        }
        if (slot->constraintCols(ct) == 0 && (!emulate || !slot->emulate(ct, ct, true))) {
            BC_ERR(1);
            return false;
        }
        const int32_t n = slot->constraintCols(ct);
        if (i == 0) {
            cols = n;
        } else if (n != cols) {
            BC_ERR(2);
            return false;
        }
    }
    return true;
}

bool BcSlot::resizeConstraints(BcSlots& list, Nb::ConstraintType ct, int32_t cols)
{
    for (BcSlot* slot : list) {
        if (!slot)
            return false;
        const Nb::Matrix::Row r = slot->constraint(ct);
        if (r.isNull() || !r.resize(cols))
            return false;
    }
    return true;
}

void BcSlot::inputSlots(BcSlots* in, BcSlots* spIn, BcSlots* spOut, BcSlots* self) const
{
    BcSlots* lists[4] = {in, spIn, spOut, nullptr};
    const int32_t n = int32_t(qMin(m_links.size(), m_inputs.size()));
    for (int32_t k = 0; k < n; ++k)
        if (BcSlots* list = lists[m_links.at(k).type() >> 14])
            list->append(m_inputs.at(k));
    if (self)
        self->append(const_cast<BcSlot*>(this));
}

Nb::Rows& constraintRows(const BcSlots& list, Nb::ConstraintType ct, Nb::Rows& rows)
{
    for (BcSlot* slot : list)
        rows.append(slot ? slot->constraint(ct) : Nb::Matrix::Row());
    return rows;
}

} // namespace Bc
