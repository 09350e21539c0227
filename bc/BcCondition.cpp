#include "bc/BcCondition.h"

#include <cstring>

namespace Bc {

namespace {

constexpr uint16_t FlagHandDown = 0x40;
constexpr uint16_t ForbiddenFlags = 0xB0;

// The first 32-bit integer of cell j; the row's cells are checked to hold one.
int32_t score(const Nb::Matrix::Row& row, int32_t j)
{
    int32_t v = 0;
    std::memcpy(&v, row.at(j), sizeof v);
    return v;
}

// The row has at least n cells of at least one 32-bit integer each.
bool holdsScores(const Nb::Matrix::Row& row, int32_t n)
{
    if (row.cols() < n || row.meta().size() < int32_t(sizeof(int32_t)) || (n > 0 && !row.data()))
        return false;
    for (int32_t j = 0; j < n; ++j)
        if (row.data()[j].isNull())
            return false;
    return true;
}

} // namespace

bool BcCondition::update()
{
    if (!BcSlot::update()) {
        BC_ERR(1);
        return false;
    }
    const int32_t selectors = int32_t(Nb::SlotIds(*this, Nb::StSpIn).size());
    m_mode = selectors == 0 ? ModeFirst : selectors == 1 ? ModeSelect : ModeScore;
    return true;
}

bool BcCondition::validate()
{
    if (!Nb::Slot::validate()) {
        BC_ERR(1);
        return false;
    }
    if (!m_owner)
        return true;
    BcSlots in, spIn, spOut, self;
    inputSlots(&in, &spIn, &spOut, &self);
    if (m_inputs.size() != m_links.size() || in.size() < 2) {
        BC_ERR(2);
        return error(Nb::EcCScheme);
    }
    if (spIn.size() != 0 && spIn.size() != 1 && spIn.size() != in.size()) {
        BC_ERR(3);
        return error(Nb::EcCScheme);
    }
    if (!spOut.isEmpty()) {
        BC_ERR(4);
        return error(Nb::EcCScheme);
    }
    if (self.size() != 1 || self.first() != this) {
        BC_ERR(5);
        return error(Nb::EcCScheme);
    }
    if (m_meta.size() <= 0) {
        BC_ERR(6);
        return error(Nb::EcMeta);
    }
    for (const BcSlot* input : in)
        if (input->meta() != m_meta) {
            BC_ERR(7);
            return error(Nb::EcMeta);
        }
    // Selection reads one 32-bit integer from every cell of a selecting input.
    for (const BcSlot* input : spIn) {
        const Nb::Meta& meta = input->meta();
        if (meta.format != Nb::MfI32 || meta.type != Nb::MtDO || meta.count < 1) {
            BC_ERR(8);
            return error(Nb::EcMeta);
        }
    }
    if (m_flags & ForbiddenFlags) {
        BC_ERR(8);
        return error(Nb::EcBlockFlag);
    }
    if (m_state > Nb::BsTrained) {
        BC_ERR(9);
        return error(Nb::EcBlockState);
    }
    return true;
}

BcCondition::Availability BcCondition::available(BcSlot* input, Nb::ConstraintType ct, bool build)
{
    if (!input)
        return Failed;
    if (input->constraintCols(ct) > 0)
        return Available;
    if (build && input->emulate(ct, ct, true) && input->constraintCols(ct) > 0)
        return Available;
    const Nb::Status s = status();
    if (Nb::isFailure(s) && Nb::statusCode(s) != Nb::EcNoData)
        return Failed;
    setStatus(Nb::ScOk);
    return Missing;
}

bool BcCondition::emulate(Nb::ConstraintType in, Nb::ConstraintType out, bool build)
{
    const Nb::Matrix::Row result = constraint(out);
    if (result.isNull())
        return false;
    if (result.cols() > 0)
        return true;
    if (m_state == Nb::BsUntrained) {
        BC_ERR(1);
        return false;
    }
    BcSlots ins, sps;
    inputSlots(&ins, &sps, nullptr, nullptr);
    // Without an alternative there is nothing to select from.
    if (ins.isEmpty()) {
        BC_ERR(13);
        return error(Nb::EcCScheme);
    }

    BcSlot* selected = nullptr;
    // Mode 3: the pairs that take part.
    BcSlots pairIn, pairSp;
    int32_t n = 0;
    switch (m_mode) {
    case ModeFirst:
        for (BcSlot* input : ins) {
            const Availability a = available(input, in, build);
            if (a == Failed) {
                BC_ERR(2);
                return false;
            }
            if (a == Available) {
                selected = input;
                break;
            }
        }
        if (!selected) {
            BC_ERR(3);
            return error(Nb::EcNoData);
        }
        n = selected->constraintCols(in);
        break;
    case ModeSelect: {
        const Nb::Matrix::Row choice = sps.isEmpty() ? Nb::Matrix::Row() : sps.first()->constraint(Nb::CtAny);
        if (choice.cols() != 1 || !holdsScores(choice, 1)) {
            BC_ERR(10);
            return error(Nb::EcNoData);
        }
        const int32_t w = score(choice, 0);
        // The selecting value comes from outside: it must name one of the inputs.
        if (w < 0 || w >= ins.size()) {
            BC_ERR(11);
            return error(Nb::EcUnboundIndex);
        }
        selected = ins.at(w);
        const Availability a = available(selected, in, build);
        if (a != Available) {
            BC_ERR(4);
            return a == Failed ? false : error(Nb::EcNoData);
        }
        n = selected->constraintCols(in);
        if (n <= 0)
            return false;
        break;
    }
    case ModeScore:
        for (int32_t i = 0; i < ins.size() && i < sps.size(); ++i) {
            const Availability a = available(ins.at(i), in, build);
            if (a == Failed) {
                BC_ERR(5);
                return false;
            }
            const Availability b = available(sps.at(i), in, build);
            if (b == Failed) {
                BC_ERR(6);
                return false;
            }
            if (a != Available || b != Available)
                continue;
            const int32_t cols = ins.at(i)->constraintCols(in);
            if ((!pairIn.isEmpty() && cols != n) || sps.at(i)->constraintCols(in) != cols) {
                BC_ERR(7);
                return false;
            }
            n = cols;
            pairIn.append(ins.at(i));
            pairSp.append(sps.at(i));
        }
        if (pairIn.isEmpty()) {
            BC_ERR(8);
            return error(Nb::EcNoData);
        }
        break;
    default:
        BC_ERR(10);
        return false;
    }

    if (!result.resize(n)) {
        BC_ERR(9);
        return error(Nb::EcOutOfMemory);
    }
    bool copied = true;
    if (selected) {
        copied = result.copy(selected->constraint(in));
    } else {
        Nb::Rows values, scores;
        constraintRows(pairIn, in, values);
        constraintRows(pairSp, in, scores);
        for (const Nb::Matrix::Row& s : scores)
            copied = copied && holdsScores(s, n);
        for (int32_t j = 0; copied && j < n; ++j) {
            int32_t best = 0;
            for (int32_t k = 1; k < scores.size(); ++k)
                if (score(scores.at(k), j) > score(scores.at(best), j))
                    best = k;
            copied = result.copyCell(values.at(best), j, j);
        }
    }
    if (!copied) {
        // No half-made output may pass for a cached result.
        result.resize(0);
        BC_ERR(12);
        return error(Nb::EcFail);
    }
    return true;
}

bool BcCondition::train(Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags)
{
    if (!trainArgs(mode, state, flags, ForbiddenFlags, 0, 1))
        return false;
    bool freeOnly = false;
    if (!takeFreeFlags(mode, flags, 2, freeOnly))
        return false;
    if (freeOnly)
        return true;
    BcSlots ins;
    inputSlots(&ins, nullptr, nullptr, nullptr);
    // Neither handing down nor taking over means anything without an input.
    if (ins.isEmpty()) {
        BC_ERR(4);
        return error(Nb::EcCScheme);
    }
    const Nb::Matrix::Row code(&m_own, 0);
    if (flags & FlagHandDown) {
        if (code.cols() < 1)
            return error(Nb::EcNoDataOwn);
        for (BcSlot* input : ins) {
            const Nb::Matrix::Row target = input->constraint(Nb::CtOwn);
            if (target.isNull() || !target.resize(code.cols()) || !target.copy(code)) {
                BC_ERR(3);
                return error(Nb::EcNoDataOwn);
            }
        }
    } else {
        BcSlots self{this};
        int32_t n = 0;
        if (!actualize(self, Nb::CtOwn, n, true) || !code.resize(n) ||
            !code.copy(ins.first()->constraint(Nb::CtOwn)))
            return error(Nb::EcNoDataOwn);
    }
    m_flags = flags;
    m_state = state;
    return true;
}

bool BcCondition::test()
{
    if (m_tst.cols() > 0)
        return true;
    BcSlots ins;
    inputSlots(&ins, nullptr, nullptr, nullptr);
    // The figures are the inputs'; none would read as a perfect converter.
    if (ins.isEmpty()) {
        BC_ERR(2);
        return error(Nb::EcCScheme);
    }
    float* figures = startTestFigures(1);
    if (!figures)
        return false;
    for (int32_t i = 0; i < ins.size(); ++i) {
        const float* f = testFiguresOf(ins.at(i)->constraint(Nb::CtTst));
        // Inputs are tested first; without their figures there are none here.
        if (!f) {
            m_tst.resize(0);
            return false;
        }
        figures[Nb::TmE1Bio] += f[Nb::TmE1Bio];
        if (i == 0 || f[Nb::TmE2Bio] > figures[Nb::TmE2Bio])
            figures[Nb::TmE2Bio] = f[Nb::TmE2Bio];
    }
    for (int32_t i = Nb::TmE2BioHumanC; i <= Nb::TmE2Conv; ++i)
        figures[i] = figures[Nb::TmE2Bio];
    return true;
}

int32_t BcCondition::writeParams(Nb::Container& out, const Nb::Uuid*, const Nb::BlockType*) const
{
    if (m_state == Nb::BsUntrained)
        return 0;
    Nb::Block block(Nb::BtCondition);
    block.updateLength();
    out.push(block);
    return 1;
}

int32_t BcCondition::readParams(const Nb::Container& in, int32_t index, const Nb::Uuid*)
{
    const Nb::Block* block = in.at(index);
    if (!block || block->type() != Nb::BtCondition) {
        BC_ERR(1);
        error(Nb::EcBlockType);
        return -1;
    }
    if (!block->isEmpty()) {
        error(Nb::EcConsistencyFail);
        BC_ERR(2);
        return -1;
    }
    return 1;
}

} // namespace Bc
