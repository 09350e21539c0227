#include "bc/BcNeuralConverter.h"

#include <cstring>
#include <utility>

#include "qtnb/Scheme.h"

namespace Bc {

namespace {

// Flag bits a neural converter does not know.
constexpr uint16_t ForbiddenFlags = 0xF0;

constexpr int32_t MinOwn = 2;
constexpr int32_t MaxOwn = 64;
constexpr int32_t MinAlien = 2;
constexpr int32_t Connections = 32;

} // namespace

BcSlot* BcNeuralConverter::paramInput() const
{
    BcSlots in;
    inputSlots(&in, nullptr, nullptr, nullptr);
    return in.size() == 1 ? in.first() : nullptr;
}

bool BcNeuralConverter::layerFits() const
{
    if (m_layer.neurons.empty() || m_layer.outputs() != m_meta.count || m_layer.in < 1)
        return false;
    if (const BcSlot* input = paramInput())
        if (m_layer.in != input->meta().count)
            return false;
    for (const Neuron& n : m_layer.neurons) {
        if (n.inputs.empty() || n.weights.size() < n.inputs.size())
            return false;
        for (int32_t index : n.inputs)
            if (index < 0 || index >= m_layer.in)
                return false;
    }
    return true;
}

bool BcNeuralConverter::validate()
{
    if (!Nb::Slot::validate())
        return false;
    if (m_flags & ForbiddenFlags) {
        BC_ERR(1);
        return error(Nb::EcBlockFlag);
    }
    if (m_state > Nb::BsTrained) {
        BC_ERR(2);
        return error(Nb::EcBlockState);
    }
    if (!m_owner)
        return true;
    BcSlots in, spIn, spOut;
    inputSlots(&in, &spIn, &spOut, nullptr);
    if (m_inputs.size() != m_links.size() || in.size() != 1 || !spIn.isEmpty() || !spOut.isEmpty()) {
        BC_ERR(3);
        return error(Nb::EcCScheme);
    }
    if (!m_meta.match(Nb::Meta(0, Nb::MfI1, Nb::MtDO))) {
        BC_ERR(4);
        return error(Nb::EcMeta);
    }
    if (m_meta.count % 8 != 0) {
        BC_ERR(5);
        return error(Nb::EcMeta);
    }
    if (!in.first()->meta().match(Nb::Meta(0, Nb::MfR32, Nb::MtC))) {
        BC_ERR(6);
        return error(Nb::EcMeta);
    }
    return true;
}

bool BcNeuralConverter::reset()
{
    BcSlot::reset();
    m_layer.clear();
    return true;
}

bool BcNeuralConverter::retrain(BcSlot* input, bool protect)
{
    // Whatever fails from here on leaves no half-made layer behind.
    m_state = Nb::BsUntrained;
    const uint8_t lf = 0;
    if (!m_layer.init(Nb::NilUuid, input->meta().count, m_meta.count, Connections, lf, CdaRandom, 16,
                      false, 32, true)) {
        m_layer.clear();
        BC_ERR(13);
        return error(Nb::EcFail);
    }
    const Nb::Matrix::Row code(&m_own, 0);
    if (!m_layer.train(input->constraint(Nb::CtOwn), input->constraint(Nb::CtAll), code, false)) {
        m_layer.clear();
        BC_ERR(14);
        return error(Nb::EcNoDataOwn);
    }
    if (protect && !m_layer.protect(code)) {
        m_layer.clear();
        BC_ERR(15);
        return error(Nb::EcFail);
    }
    return true;
}

bool BcNeuralConverter::setProtection(bool on)
{
    const bool folded = (m_layer.lf & LfProt) != 0;
    if (on == folded)
        return true;
    const Nb::Matrix::Row code(&m_own, 0);
    if (on)
        return m_layer.protect(code);
    // The code bits are +1 and -1: folding them in a second time takes them out.
    Nb::Cell* cells = code.data();
    if (code.cols() < 1 || !cells || cells[0].isNull() || code.meta().format != Nb::MfI1 ||
        code.meta().count < m_layer.outputs())
        return false;
    for (int32_t i = 1; i < m_layer.outputs(); ++i) {
        const float x = float(cells[0].sign(uint32_t(i - 1)));
        for (float& w : m_layer.neurons[size_t(i)].weights)
            w *= x;
    }
    m_layer.lf = uint8_t(m_layer.lf & ~LfProt);
    return true;
}

bool BcNeuralConverter::train(Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags)
{
    if (!trainArgs(mode, state, flags, ForbiddenFlags, 1, 3))
        return false;
    const uint16_t changed = uint16_t(flags ^ m_flags);
    // A slot marked trained without a usable layer counts as untrained.
    const bool trained = m_state == Nb::BsTrained && layerFits();
    if (changed & FreeFlags) {
        if (!trained) {
            BC_ERR(2);
            return error(Nb::EcBlockFlag);
        }
        if (mode & Nb::TmCheckOnly)
            return true;
        // A protection change that comes along is made as well, below.
        if (!(changed & FlagProtected)) {
            m_flags = flags;
            return true;
        }
    }

    BcSlot* input = paramInput();
    if (!input) {
        BC_ERR(7);
        return error(Nb::EcCScheme);
    }
    BcSlots list{input};
    int32_t own = 0;
    if (!actualize(list, Nb::CtOwn, own, true) || own < MinOwn || own > MaxOwn) {
        BC_ERR(4);
        return error(Nb::EcNoDataOwn);
    }
    int32_t alien = 0;
    if (!actualize(list, Nb::CtAll, alien, true) || alien < MinAlien) {
        BC_ERR(5);
        return error(Nb::EcNoDataAll);
    }
    if (m_own.cols() != 1) {
        BC_ERR(6);
        return error(Nb::EcNoDataOwn);
    }

    const bool protect = (flags & FlagProtected) != 0;
    if (flags == m_flags || !trained) {
        if (!retrain(input, protect))
            return false;
    } else if (changed & FlagProtected) {
        if (!setProtection(protect)) {
            BC_ERR(15);
            return error(Nb::EcFail);
        }
    }
    // The figures of the layer as it is now; the outcome does not decide
    // the training.
    m_tst.resize(0);
    const Nb::Status before = status();
    test();
    setStatus(before);
    m_flags = flags;
    m_state = state;
    return true;
}

bool BcNeuralConverter::emulate(Nb::ConstraintType in, Nb::ConstraintType out, bool build)
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
    if (!layerFits()) {
        BC_ERR(8);
        return error(Nb::EcConsistencyFail);
    }
    BcSlots list;
    inputSlots(&list, nullptr, nullptr, nullptr);
    int32_t n = 0;
    if (list.isEmpty() || !actualize(list, in, n, build)) {
        BC_ERR(2);
        return false;
    }
    if (!result.resize(n)) {
        BC_ERR(3);
        return error(Nb::EcOutOfMemory);
    }
    Nb::Matrix::Row codes = result;
    if (!m_layer.emulate(list.first()->constraint(in), codes, (m_flags & FlagProtected) != 0)) {
        // No half-made codes may pass for a cached result.
        result.resize(0);
        BC_ERR(7);
        return error(Nb::EcFail);
    }
    return true;
}

bool BcNeuralConverter::test()
{
    if (m_tst.cols() > 0)
        return true;
    const Nb::Matrix::Row code(&m_own, 0);
    if (code.isNil()) {
        BC_ERR(1);
        return false;
    }
    if (!layerFits()) {
        BC_ERR(3);
        return error(m_state == Nb::BsUntrained ? Nb::EcBlockState : Nb::EcConsistencyFail);
    }
    float* figures = startTestFigures(2);
    if (!figures)
        return false;
    if (const BcSlot* input = paramInput()) {
        BcSlot* in = const_cast<BcSlot*>(input);
        const Nb::Matrix::Row own = in->constraint(Nb::CtOwn);
        if (!own.isNil())
            m_layer.testErrors(own, code, &figures[Nb::TmE1Bio]);
        const Nb::Matrix::Row alien = in->constraint(Nb::CtAll);
        if (!alien.isNil()) {
            m_layer.testDistances(alien, code, &figures[Nb::TmE2Bio]);
            for (int32_t i = Nb::TmE2BioHumanC; i <= Nb::TmE2Conv; ++i)
                figures[i] = figures[Nb::TmE2Bio];
        }
    }
    return true;
}

int32_t BcNeuralConverter::writeParams(Nb::Container& out, const Nb::Uuid*, const Nb::BlockType*) const
{
    if (!(m_state & Nb::BsTrained))
        return 0;
    if (!layerFits()) {
        BC_ERR(2);
        error(Nb::EcConsistencyFail);
        return -1;
    }
    // Written aside, so that a failure leaves the container as it was.
    Nb::Block block(Nb::BtNeuralConv);
    bool written = false;
    block.pushStream([&](QDataStream& s) { written = m_layer.write(s, s) && s.status() == QDataStream::Ok; });
    if (!written || block.isEmpty()) {
        BC_ERR(1);
        return -1;
    }
    out.push(block);
    return 1;
}

int32_t BcNeuralConverter::readParams(const Nb::Container& in, int32_t index, const Nb::Uuid*)
{
    const Nb::Block* block = in.at(index);
    if (!block || block->type() != Nb::BtNeuralConv) {
        BC_ERR(2);
        error(Nb::EcBlockType);
        return -1;
    }
    Layer layer;
    bool read = false;
    int32_t pos = 0;
    block->popStream(pos, [&](QDataStream& s) {
        read = layer.read(s, s) && s.status() == QDataStream::Ok;
        return read ? int32_t(s.device()->pos()) : -1;
    });
    if (!read || pos < 0) {
        BC_ERR(1);
        return -1;
    }
    std::swap(m_layer, layer);
    // The slot flag alone says whether the outputs are chained.
    if (m_flags & FlagProtected)
        m_layer.lf = uint8_t(m_layer.lf | LfProt);
    else
        m_layer.lf = uint8_t(m_layer.lf & ~LfProt);
    if (!layerFits()) {
        std::swap(m_layer, layer);
        BC_ERR(3);
        error(Nb::EcConsistencyFail);
        return -1;
    }
    return 1;
}

} // namespace Bc
