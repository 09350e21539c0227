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
    return resolve(m_owner, m_links, m_inputs);
}

bool BcSlot::updateNested() { return resolve(m_nested, m_nestedIds, m_nestedSlots); }

bool BcSlot::resolve(const Nb::Scheme* scheme, const Nb::SlotIds& ids, BcSlots& out)
{
    out.clear();
    if (!scheme)
        return true;
    for (Nb::SlotId id : ids) {
        BcSlot* slot = dynamic_cast<BcSlot*>(scheme->at(id));
        if (!slot) {
            out.clear();
            BC_ERR(1);
            return error(Nb::EcCScheme);
        }
        out.append(slot);
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

bool BcSlot::trainArgs(Nb::TrainMode mode, Nb::BlockState& state, Nb::BlockFlags& flags, uint16_t forbidden,
                       int stateCheck, int flagCheck) const
{
    if (mode & Nb::TmWithoutFlags)
        flags = m_flags;
    if (mode & Nb::TmWithoutState)
        state = m_state;
    if (state != Nb::BsTrained) {
        if (stateCheck)
            BC_ERR(stateCheck);
        return error(Nb::EcBlockState);
    }
    if (flags & forbidden) {
        BC_ERR(flagCheck);
        return error(Nb::EcBlockFlag);
    }
    return true;
}

bool BcSlot::takeFreeFlags(Nb::TrainMode mode, Nb::BlockFlags flags, int check, bool& done)
{
    done = ((flags ^ m_flags) & FreeFlags) != 0;
    if (!done)
        return true;
    if (m_state != Nb::BsTrained) {
        BC_ERR(check);
        return error(Nb::EcBlockFlag);
    }
    if (!(mode & Nb::TmCheckOnly))
        m_flags = flags;
    return true;
}

float* BcSlot::startTestFigures(int check)
{
    if (!m_tst.resize(1) || !m_tst.data() || m_tst.data()[0][0].isNull()) {
        m_tst.resize(0);
        BC_ERR(check);
        return nullptr;
    }
    float* figures = reinterpret_cast<float*>(m_tst.at(0, 0));
    for (int32_t i = 0; i < TestFigures; ++i)
        figures[i] = 0.0f;
    return figures;
}

const float* BcSlot::testFiguresOf(const Nb::Matrix::Row& t)
{
    if (t.cols() < 1 || t.meta().count < TestFigures || !t.data() || t.data()[0].isNull())
        return nullptr;
    return t.r32(0);
}

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
