#include "bc/Layer.h"

#include <random>

#include <QUuid>

#include "qtnb/Error.h"

namespace Bc {

void Layer::clear()
{
    neurons.clear();
    lf = 0;
    cda = CdaRandom;
    in = 0;
    con = 0;
    salt = Nb::NilUuid;
    bpc = 16;
    bpw = 32;
}

bool Layer::init(const Nb::Uuid& seedSalt, int32_t inputs, int32_t out, int32_t connections, const uint8_t& flags,
                 uint8_t drawing, uint8_t bpcBits, bool bpcDelta, uint8_t bpwBits, bool bpwSigned)
{
    clear();
    // A neuron needs at least one input to read, and can read each input
    // only once: a larger connection count would run past the inputs.
    if (inputs < 1) {
        BC_ERR(1);
        return false;
    }
    if (out < 0 || connections < 0) {
        BC_ERR(2);
        return false;
    }
    if (connections > inputs)
        connections = inputs;
    neurons.resize(size_t(out));
    in = inputs;
    con = connections;
    lf = flags;
    cda = drawing;
    bpc = uint8_t((bpcBits & 0xFF) | (bpcDelta ? 0x80 : 0));
    bpw = uint8_t((bpwSigned ? 0x80 : 0) | bpwBits);
    switch (cda) {
    case CdaFixTable:
        salt = Nb::NilUuid;
        break;
    case CdaFixAlg:
        salt = seedSalt;
        break;
    case CdaRandom:
        salt = Nb::Uuid(QUuid::createUuid().toString());
        break;
    default:
        return false;
    }
    return connect(in, con, salt);
}

bool Layer::connect(int32_t inputs, int32_t connections, const Nb::Uuid& seedSalt)
{
    if (inputs < 0 || connections < 0 || connections > inputs) {
        BC_ERR(1);
        return false;
    }
    const uint8_t* b = seedSalt.data();
    uint32_t seed = 0;
    for (int w = 0; w < 4; ++w)
        seed ^= uint32_t(b[4 * w]) | uint32_t(b[4 * w + 1]) << 8 | uint32_t(b[4 * w + 2]) << 16 |
                uint32_t(b[4 * w + 3]) << 24;
    // Seeded by value, std::mt19937 is the reference generator: the same
    // initialisation and tempering, so tables agree with other builds.
    std::mt19937 gen(seed);
    // The permutation starts as the identity for every neuron. Only the
    // entries a neuron's swaps touched are put back afterwards, so a wide
    // layer of many neurons costs connections, not inputs, per neuron.
    std::vector<int32_t> p(static_cast<size_t>(inputs));
    for (int32_t i = 0; i < inputs; ++i)
        p[size_t(i)] = i;
    std::vector<int32_t> swapped(static_cast<size_t>(connections));
    for (Neuron& n : neurons) {
        n.inputs.resize(size_t(connections));
        for (int32_t i = 0; i < connections; ++i) {
            const uint64_t u = uint32_t(gen());
            const int32_t j = int32_t((u * uint64_t(inputs - i)) >> 32);
            std::swap(p[size_t(i)], p[size_t(i + j)]);
            swapped[size_t(i)] = i + j;
        }
        std::copy(p.begin(), p.begin() + connections, n.inputs.begin());
        for (int32_t i = 0; i < connections; ++i) {
            p[size_t(i)] = i;
            p[size_t(swapped[size_t(i)])] = swapped[size_t(i)];
        }
    }
    return true;
}

// ------------------------------------------------------------- printers

namespace {

const char* cdaName(uint8_t v)
{
    switch (v) {
    case CdaRandom: return "CdaRandom";
    case CdaFixTable: return "CdaFixTable";
    case CdaFixAlg: return "CdaFixAlg";
    case CdaFixByQual: return "CdaFixByQual";
    case CdaFixByCorr: return "CdaFixByCorr";
    case CdaDynByQual: return "CdaDynByQual";
    case CdaDynByCorr: return "CdaDynByCorr";
    default: return nullptr;
    }
}

} // namespace

QDebug operator<<(QDebug dbg, CdaType v)
{
    QDebugStateSaver saver(dbg);
    if (const char* name = cdaName(v))
        dbg.nospace() << name;
    else
        dbg.nospace() << "Cda" << int(v);
    return dbg;
}

QDebug operator<<(QDebug dbg, WtaType v)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace();
    if (v == WtaFullUsing)
        dbg << "WtaFullUsing";
    else if (v == WtaMinAndSuff)
        dbg << "WtaMinAndSuff";
    else
        dbg << "Wta" << int(v);
    return dbg;
}

QDebug operator<<(QDebug dbg, LayerFlag v)
{
    QDebugStateSaver saver(dbg);
    static const struct {
        uint8_t bit;
        const char* name;
    } names[] = {{LfCOwn, "LfCOwn"}, {LfWOwn, "LfWOwn"}, {LfBInc, "LfBInc"},
                 {LfMdInc, "LfMdInc"}, {LfProt, "LfProt"}};
    dbg.nospace() << "{";
    bool first = true;
    for (const auto& n : names) {
        if (uint8_t(v) & n.bit) {
            dbg << (first ? "" : "|") << n.name;
            first = false;
        }
    }
    dbg << "}";
    return dbg;
}

QDebug operator<<(QDebug dbg, const Neuron& n)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace() << "Neuron(count=" << n.inputs.size() << " b=" << n.bias << " bpc=" << int(n.bpc);
    if (!n.inputs.empty()) {
        dbg << "\n[";
        for (size_t i = 0; i < n.inputs.size(); ++i)
            dbg << (i ? " " : "") << n.inputs[i];
        dbg << "]";
    }
    if (!n.weights.empty()) {
        dbg << "\n[";
        for (size_t i = 0; i < n.weights.size(); ++i)
            dbg << (i ? " " : "") << n.weights[i];
        dbg << "]";
    }
    dbg << ")";
    return dbg;
}

QDebug operator<<(QDebug dbg, const Layer& l)
{
    QDebugStateSaver saver(dbg);
    dbg.nospace() << "Layer(out=" << l.outputs() << " lf=" << LayerFlag(l.lf)
                  << " cda=" << CdaType(l.cda) << " in=" << l.in << " con=" << l.con
                  << " salt" << l.salt << " bpc=" << int(l.bpc) << " bpw=" << int(l.bpw);
    for (int32_t i = 0; i < l.outputs() && i < 5; ++i)
        dbg << "\n" << i << ":" << l.neurons[size_t(i)];
    dbg << ")";
    return dbg;
}

} // namespace Bc
