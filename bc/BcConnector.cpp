#include "bc/BcConnector.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "bc/RandomRows.h"
#include "qtnb/Wipe.h"

namespace Bc {

namespace {

constexpr uint16_t FlagGivenCode = 0x40;
constexpr uint16_t FlagRandom = 0x20;
constexpr uint16_t ForbiddenFlags = 0x80;

const Nb::Meta BitVector(0, Nb::MfI1, Nb::MtDO);
const Nb::Meta SaltMeta(128, Nb::MfI1, Nb::MtDO);

} // namespace

BcConnector::~BcConnector()
{
    m_mask.clear();
    m_salt.clear();
}

BcSlots BcConnector::boundInputs() const
{
    // One list for both kinds keeps them in link order.
    BcSlots out;
    inputSlots(&out, &out, nullptr, nullptr);
    return out;
}

bool BcConnector::update()
{
    const bool ok = BcSlot::update();
    if (ok && m_owner) {
        int64_t bits = 0;
        for (const BcSlot* input : boundInputs())
            bits += input->meta().count;
        m_mode = bits == m_meta.count ? ModeJoin : ModeDigest;
        m_salt.create(SaltMeta);
        m_mask.create(m_meta);
    }
    return ok;
}

bool BcConnector::validate()
{
    if (!Nb::Slot::validate())
        return false;
    if (m_owner) {
        BcSlots in, spIn, spOut;
        inputSlots(&in, &spIn, &spOut, nullptr);
        if (m_inputs.size() != m_links.size() || in.size() + spIn.size() < 2 || !spOut.isEmpty()) {
            BC_ERR(1);
            return error(Nb::EcCScheme);
        }
        if (!m_meta.match(BitVector)) {
            BC_ERR(2);
            return error(Nb::EcCScheme);
        }
        // The code's length must fit the length byte of the parameter block.
        if (m_meta.size() > 255 || m_meta.count % 8 != 0) {
            BC_ERR(3);
            return error(Nb::EcMeta);
        }
        for (const BcSlot* input : boundInputs())
            if (!input->meta().match(BitVector) || input->meta().count % 8 != 0) {
                BC_ERR(4);
                return error(Nb::EcMeta);
            }
    }
    if (m_flags & ForbiddenFlags) {
        BC_ERR(5);
        return error(Nb::EcBlockFlag);
    }
    if (m_state > Nb::BsTrained) {
        BC_ERR(6);
        return error(Nb::EcBlockState);
    }
    return true;
}

bool BcConnector::trainDigest(Nb::BlockFlags flags, BcSlots& inputs)
{
    const Nb::Matrix::Row code(&m_own, 0);
    Nb::Rows targets;
    constraintRows(inputs, Nb::CtOwn, targets);
    int32_t n = 0;
    if (flags & FlagGivenCode) {
        if (code.cols() < 1) {
            BC_ERR(7);
            return error(Nb::EcNoDataOwn);
        }
        if ((flags & FlagRandom) && (!resizeConstraints(inputs, Nb::CtOwn, 1) || !fillRandomRows(targets))) {
            BC_ERR(8);
            return error(Nb::EcNoDataOwn);
        }
        if (!actualize(inputs, Nb::CtOwn, n, true) || n != 1) {
            BC_ERR(9);
            return error(Nb::EcNoDataOwn);
        }
    } else {
        if (!actualize(inputs, Nb::CtOwn, n, true) || n != 1) {
            BC_ERR(9);
            return error(Nb::EcNoDataOwn);
        }
        if ((flags & FlagRandom) && (!code.resize(1) || !fillRandom(code))) {
            BC_ERR(8);
            return error(Nb::EcNoDataOwn);
        }
        if (code.cols() < 1) {
            BC_ERR(7);
            return error(Nb::EcNoDataOwn);
        }
    }
    // Parameters read from a block may have left other layouts behind.
    const Nb::Matrix::Row salt(&m_salt, 0);
    const Nb::Matrix::Row mask(&m_mask, 0);
    if (!m_salt.create(SaltMeta) || !salt.resize(1) || !fillRandom(salt) || !m_mask.create(m_meta) ||
        !mask.resize(1)) {
        m_salt.resize(0);
        m_mask.resize(0);
        BC_ERR(10);
        return error(Nb::EcNoDataOwn);
    }
    if (!keyStream(targets, mask, code, salt)) {
        m_salt.resize(0);
        m_mask.resize(0);
        BC_ERR(11);
        return error(Nb::EcFail);
    }
    return true;
}

bool BcConnector::trainJoin(Nb::BlockFlags flags, BcSlots& inputs)
{
    const Nb::Matrix::Row code(&m_own, 0);
    if (flags & FlagGivenCode) {
        if (code.cols() < 1 || !resizeConstraints(inputs, Nb::CtOwn, 1)) {
            BC_ERR(12);
            return error(Nb::EcNoDataOwn);
        }
        Nb::Rows targets;
        constraintRows(inputs, Nb::CtOwn, targets);
        if (!splitRow(code, targets)) {
            BC_ERR(13);
            return error(Nb::EcFail);
        }
        return true;
    }
    int32_t n = 0;
    if (!actualize(inputs, Nb::CtOwn, n, true) || n < 1 || !code.resize(n)) {
        BC_ERR(14);
        return error(Nb::EcNoDataOwn);
    }
    Nb::Rows parts;
    constraintRows(inputs, Nb::CtOwn, parts);
    if (!joinRows(parts, code)) {
        BC_ERR(15);
        return error(Nb::EcFail);
    }
    return true;
}

bool BcConnector::train(Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags)
{
    if (!trainArgs(mode, state, flags, ForbiddenFlags, 16, 17))
        return false;
    bool freeOnly = false;
    if (!takeFreeFlags(mode, flags, 18, freeOnly))
        return false;
    if (freeOnly)
        return true;
    BcSlots inputs = boundInputs();
    if (m_mode == ModeDigest && !trainDigest(flags, inputs))
        return false;
    if (m_mode == ModeJoin && !trainJoin(flags, inputs))
        return false;
    m_state = Nb::BsTrained;
    m_flags = flags;
    return true;
}

bool BcConnector::emulate(Nb::ConstraintType in, Nb::ConstraintType out, bool build)
{
    const Nb::Matrix::Row result = constraint(out);
    if (result.isNull())
        return false;
    if (result.cols() > 0)
        return true;
    if (m_state == Nb::BsUntrained) {
        BC_ERR(1);
        return error(Nb::EcBlockState);
    }
    if (m_mode != ModeDigest && m_mode != ModeJoin)
        return false;
    BcSlots inputs = boundInputs();
    int32_t n = 0;
    if (inputs.isEmpty() || !actualize(inputs, in, n, build) || n < 1 || !result.resize(n)) {
        BC_ERR(2);
        return error(Nb::EcNoData);
    }
    Nb::Rows rows;
    constraintRows(inputs, in, rows);
    const bool ok = m_mode == ModeDigest
                        ? keyStream(rows, result, Nb::Matrix::Row(&m_mask, 0), Nb::Matrix::Row(&m_salt, 0))
                        : joinRows(rows, result);
    if (!ok) {
        // No half-made code may pass for a cached result.
        result.resize(0);
        BC_ERR(3);
        return error(Nb::EcFail);
    }
    return true;
}

bool BcConnector::test()
{
    if (m_tst.cols() > 0)
        return true;
    float* figures = startTestFigures(4);
    if (!figures)
        return false;
    float missed = 1.0f;
    float accepted = 1.0f;
    for (BcSlot* input : boundInputs()) {
        const float* f = testFiguresOf(input->constraint(Nb::CtTst));
        // Inputs are tested first; without their figures there are none here.
        if (!f) {
            m_tst.resize(0);
            return false;
        }
        missed *= 1.0f - f[Nb::TmE1Bio];
        accepted *= f[Nb::TmE2Bio];
    }
    figures[Nb::TmE1Bio] = 1.0f - missed;
    // Never better than guessing the code, nor below 2^-128.
    float e2 = std::ldexp(1.0f, -128);
    const float guess = std::ldexp(1.0f, -m_meta.count);
    if (guess > e2)
        e2 = guess;
    if (accepted > e2)
        e2 = accepted;
    for (int32_t i = Nb::TmE2Bio; i <= Nb::TmE2Conv; ++i)
        figures[i] = e2;
    return true;
}

int32_t BcConnector::writeParams(Nb::Container& out, const Nb::Uuid*, const Nb::BlockType*) const
{
    if (!(m_state & Nb::BsTrained))
        return 0;
    Nb::Block block(Nb::BtConnector);
    if (m_mode == ModeDigest) {
        const int32_t s = m_salt.rows() == 1 ? m_salt.meta(0).size() : 0;
        const int32_t m = m_mask.rows() == 1 ? m_mask.meta(0).size() : 0;
        if (s < 1 || s > 255 || m != m_meta.size() || m > 255 || m_salt.cols() < 1 || m_mask.cols() < 1 ||
            m_salt.data()[0][0].isNull() || m_mask.data()[0][0].isNull()) {
            BC_ERR(5);
            error(Nb::EcConsistencyFail);
            return -1;
        }
        block.push(uint8_t(s)).push(m_salt.at(0, 0), s).push(uint8_t(m)).push(m_mask.at(0, 0), m);
    } else if (m_mode != ModeJoin) {
        BC_ERR(6);
        return -1;
    }
    block.updateLength();
    out.push(block);
    return 1;
}

int32_t BcConnector::readParams(const Nb::Container& in, int32_t index, const Nb::Uuid*)
{
    const Nb::Block* block = in.at(index);
    if (!block || block->type() != Nb::BtConnector) {
        BC_ERR(7);
        error(Nb::EcBlockType);
        return -1;
    }
    // A join stores nothing, so nothing of the block is read.
    if (m_mode == ModeJoin)
        return 1;
    if (m_mode != ModeDigest) {
        BC_ERR(8);
        return -1;
    }
    int32_t pos = 0;
    uint8_t s = 0;
    block->pop(pos, s);
    std::vector<uint8_t> salt(s);
    block->pop(pos, salt.data(), s);
    uint8_t m = 0;
    block->pop(pos, m);
    std::vector<uint8_t> mask(m);
    block->pop(pos, mask.data(), m);
    // The block holds exactly the two fields, and the mask covers the code.
    if (pos < 0 || pos != block->size()) {
        Nb::wipe(mask);
        BC_ERR(9);
        error(Nb::EcConsistencyFail);
        return -1;
    }
    if (s == 0 || int32_t(m) != m_meta.size()) {
        Nb::wipe(mask);
        BC_ERR(10);
        error(Nb::EcMeta);
        return -1;
    }
    if (!m_salt.create(Nb::Meta(int32_t(s) * 8, Nb::MfI1, Nb::MtDO)) || !m_mask.create(m_meta)) {
        Nb::wipe(mask);
        BC_ERR(11);
        error(Nb::EcMeta);
        return -1;
    }
    if (!m_salt.resize(1) || !m_mask.resize(1) || m_salt.data()[0][0].isNull() || m_mask.data()[0][0].isNull()) {
        m_salt.resize(0);
        m_mask.resize(0);
        Nb::wipe(mask);
        BC_ERR(12);
        error(Nb::EcOutOfMemory);
        return -1;
    }
    std::memcpy(m_salt.at(0, 0), salt.data(), s);
    std::memcpy(m_mask.at(0, 0), mask.data(), m);
    Nb::wipe(mask);
    return 1;
}

} // namespace Bc
