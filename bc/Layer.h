#pragma once
// One layer of threshold neurons: the neural converter's map from a feature
// vector to code bits. Each neuron reads a few chosen inputs, weighs them,
// and its output bit is 1 when the weighted sum is positive.

#include <cstdint>
#include <vector>

#include <QDataStream>
#include <QDebug>

#include "qtnb/Cell.h"
#include "qtnb/Matrix.h"
#include "qtnb/Uuid.h"

namespace Bc {

// How the connections of a layer are assigned.
enum CdaType : uint8_t {
    CdaRandom = 0,    // drawn from a fresh random salt; the indices are stored
    CdaFixTable = 1,  // drawn from the null salt; nothing stored
    CdaFixAlg = 2,    // drawn from a given salt; only the salt is stored
    CdaFixByQual = 3, // the rest are named only and refused
    CdaFixByCorr = 4,
    CdaDynByQual = 5,
    CdaDynByCorr = 6
};

// Bits of a layer's flags byte.
enum LayerFlag : uint8_t {
    LfCOwn = 0x01,  // each neuron stores its own connection count and index width
    LfWOwn = 0x02,  // each neuron stores its own weight count, trailing zeros dropped
    LfBInc = 0x04,  // not supported
    LfMdInc = 0x08, // not supported
    LfProt = 0x80   // outputs are chained on evaluation
};

enum WtaType : uint8_t { WtaFullUsing = 0, WtaMinAndSuff = 1 };

class Neuron {
public:
    // out[s] = bias + sum of weights[k] * sample_s[inputs[k]] over every
    // connection, summed in extended precision and rounded once.
    void eval(const Nb::Cell* samples, uint32_t count, float* out) const;
    // The same sum without connection k.
    void partialEval(int32_t k, const Nb::Cell* samples, uint32_t count, float* out) const;

    // count weights in `bits` bits each (32: raw little-endian floats; below
    // 32 truncated integers, two's complement or the code without zero).
    bool wencode(QDataStream& stream, int32_t count, uint8_t bits, bool twosComplement) const;
    bool wdecode(QDataStream& stream, int32_t count, uint8_t bits, bool twosComplement);
    // count input indices in `bits` bits each, plain or delta coded; both
    // refuse an index that is not below `in`, writing also a plain index
    // wider than `bits`.
    bool writeInputs(QDataStream& stream, int32_t count, uint8_t bits, bool delta, int32_t in) const;
    bool readInputs(QDataStream& stream, int32_t count, uint8_t bits, bool delta, int32_t in);

    float bias = 0.0f;
    std::vector<float> weights;
    std::vector<int32_t> inputs;
    uint8_t bpc = 16; // bits 0-6 bits per stored index, bit 7 delta coding
};

class Layer {
public:
    Layer() = default;

    void clear();
    // Sets the layer up and draws its connections. Fewer than one input is
    // refused; more connections than inputs are cut to the inputs.
    bool init(const Nb::Uuid& seedSalt, int32_t inputs, int32_t out, int32_t connections, const uint8_t& flags,
              uint8_t drawing, uint8_t bpcBits, bool bpcDelta, uint8_t bpwBits, bool bpwSigned);
    // Fills every neuron's inputs with con distinct inputs drawn from the
    // salt; refuses con outside 0..in.
    bool connect(int32_t inputs, int32_t connections, const Nb::Uuid& seedSalt);

    bool write(QDataStream& structure, QDataStream& connections) const;
    bool read(QDataStream& structure, QDataStream& connections);

    bool train(const Nb::Matrix::Row& own, const Nb::Matrix::Row& alien,
               const Nb::Matrix::Row& code, bool grow);
    bool protect(const Nb::Matrix::Row& code);

    bool emulate(const Nb::Matrix::Row& input, Nb::Matrix::Row& out, bool chained) const;
    bool testErrors(const Nb::Matrix::Row& samples, const Nb::Matrix::Row& code, float* rate) const;
    bool testDistances(const Nb::Matrix::Row& samples, const Nb::Matrix::Row& code,
                       float* figure) const;

    int32_t outputs() const { return int32_t(neurons.size()); }

    std::vector<Neuron> neurons;
    uint8_t lf = 0;
    uint8_t cda = CdaRandom;
    int32_t in = 0;
    int32_t con = 0;
    Nb::Uuid salt;
    uint8_t bpc = 16;
    uint8_t bpw = 32;
};

// Ranks count samples of n features by their spread from the set's mean:
// sorted receives the sample pointers in ascending order of score, accepted
// how many lie within the threshold, scores (when given) each sample's score
// divided by the threshold. False for fewer than two samples.
bool rankSamplesBySpread(const Nb::Cell* samples, uint32_t count, uint32_t n, uint8_t** sorted,
                         uint32_t* accepted, const Nb::Cell* scores = nullptr);

QDebug operator<<(QDebug dbg, CdaType v);
QDebug operator<<(QDebug dbg, WtaType v);
// The flags byte as "{LfCOwn|LfProt}".
QDebug operator<<(QDebug dbg, LayerFlag v);
QDebug operator<<(QDebug dbg, const Neuron& n);
QDebug operator<<(QDebug dbg, const Layer& l);

} // namespace Bc
