// Evaluation of a layer over sample sets, the two test figures, and the
// ranking of samples by their spread from the set's mean.

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "bc/Layer.h"
#include "bc/NeuralMath.h"
#include "qtnb/Error.h"

namespace Bc {

namespace {

inline const float* floats(const Nb::Cell& c) { return reinterpret_cast<const float*>(c.at(0)); }

inline Nb::Cell cellOf(void* p) { return Nb::Cell(static_cast<uint8_t*>(p)); }

// Every cell of the first `cols` columns of the row holds a buffer.
bool cellsPresent(const Nb::Matrix::Row& row, int32_t cols)
{
    Nb::Cell* cells = row.data();
    if (cols > 0 && !cells)
        return false;
    for (int32_t c = 0; c < cols; ++c)
        if (cells[c].isNull())
            return false;
    return true;
}

} // namespace

void Neuron::eval(const Nb::Cell* samples, uint32_t count, float* out) const
{
    const size_t k = std::min(inputs.size(), weights.size());
    for (uint32_t s = 0; s < count; ++s) {
        const float* x = floats(samples[s]);
        long double sum = bias;
        for (size_t j = 0; j < k; ++j)
            sum += (long double)weights[j] * x[inputs[j]];
        out[s] = float(sum);
    }
}

void Neuron::partialEval(int32_t k, const Nb::Cell* samples, uint32_t count, float* out) const
{
    const size_t n = std::min(inputs.size(), weights.size());
    for (uint32_t s = 0; s < count; ++s) {
        const float* x = floats(samples[s]);
        long double sum = bias;
        for (size_t j = 0; j < n; ++j)
            if (int64_t(j) != k)
                sum += (long double)weights[j] * x[inputs[j]];
        out[s] = float(sum);
    }
}

bool Layer::emulate(const Nb::Matrix::Row& input, Nb::Matrix::Row& out, bool chained) const
{
    const int32_t samples = out.cols();
    if (samples == 0)
        return true;
    const Nb::Meta inMeta = input.meta();
    const Nb::Meta outMeta = out.meta();
    // The samples must be reals wide enough for every connection, and the
    // codes bit vectors long enough for every neuron.
    if (input.cols() < samples || inMeta.format != Nb::MfR32 || !cellsPresent(input, samples)) {
        BC_ERR(1);
        return false;
    }
    if (outMeta.bits() != 1 || outMeta.count < outputs() || !cellsPresent(out, samples)) {
        BC_ERR(2);
        return false;
    }
    for (const Neuron& n : neurons) {
        if (n.weights.size() < n.inputs.size()) {
            BC_ERR(3);
            return false;
        }
        for (int32_t index : n.inputs)
            if (index < 0 || index >= inMeta.count) {
                BC_ERR(4);
                return false;
            }
    }
    const Nb::Cell* x = input.data();
    Nb::Cell* codes = out.data();
    std::vector<float> cur(static_cast<size_t>(samples));
    std::vector<float> prev(static_cast<size_t>(samples), 1.0f);
    for (size_t i = 0; i < neurons.size(); ++i) {
        neurons[i].eval(x, uint32_t(samples), cur.data());
        for (float& v : cur)
            v = v > 0.0f ? 1.0f : -1.0f;
        if (chained)
            for (int32_t j = 0; j < samples; ++j)
                cur[size_t(j)] *= prev[size_t(j)];
        for (int32_t j = 0; j < samples; ++j)
            codes[j].setBit(uint32_t(i), cur[size_t(j)] > 0.0f ? 1 : 0);
        if (chained)
            std::swap(cur, prev);
    }
    return true;
}

namespace {

// Emulates the samples into a working row shaped like the reference code
// (at least one bit per neuron); false when the code is not a bit vector.
bool emulateAgainst(const Layer& layer, const Nb::Matrix::Row& samples,
                    const Nb::Matrix::Row& code, Nb::Matrix& work)
{
    const Nb::Meta codeMeta = code.meta();
    if (codeMeta.bits() != 1 || code.cols() < 1 || !cellsPresent(code, 1))
        return false;
    Nb::Meta meta = codeMeta;
    meta.count = std::max(codeMeta.count, layer.outputs());
    if (!work.create(meta) || !work.resize(samples.cols()))
        return false;
    Nb::Matrix::Row out(&work, 0);
    out.zero();
    return layer.emulate(samples, out, (layer.lf & LfProt) != 0);
}

} // namespace

bool Layer::testErrors(const Nb::Matrix::Row& samples, const Nb::Matrix::Row& code,
                       float* rate) const
{
    Nb::Matrix work;
    if (!emulateAgainst(*this, samples, code, work)) {
        BC_ERR(1);
        return false;
    }
    const int32_t n = work.cols();
    const uint32_t bits = uint32_t(code.meta().count);
    const Nb::Cell& ref = code.data()[0];
    int32_t wrong = 0;
    for (int32_t j = 0; j < n; ++j)
        if (NeuralMath::hamming(work.cell(0, j), ref, bits) != 0)
            ++wrong;
    // No samples measure nothing: 0 / 0 gives NaN, not a perfect rate.
    if (rate)
        *rate = float(wrong) / float(n);
    return true;
}

bool Layer::testDistances(const Nb::Matrix::Row& samples, const Nb::Matrix::Row& code,
                          float* figure) const
{
    Nb::Matrix work;
    if (!emulateAgainst(*this, samples, code, work)) {
        BC_ERR(1);
        return false;
    }
    const int32_t n = work.cols();
    const uint32_t bits = uint32_t(code.meta().count);
    const Nb::Cell& ref = code.data()[0];
    std::vector<int32_t> d(size_t(std::max(n, 1)), 0);
    for (int32_t j = 0; j < n; ++j)
        d[size_t(j)] = int32_t(NeuralMath::hamming(work.cell(0, j), ref, bits));
    if (n == 0) {
        // The spread of no distances is undefined, and so is the figure.
        if (figure)
            *figure = std::numeric_limits<float>::quiet_NaN();
        return true;
    }
    float mean = 0.0f, sigma = 0.0f, quality = 0.0f;
    NeuralMath::statsI32(cellOf(d.data()), uint32_t(n), mean, sigma, quality);
    // The ratio of finite distances is finite and not negative; one beyond
    // 32 bits keeps the largest q rather than wrapping to a small one.
    const uint32_t q = quality < 4294967296.0f ? uint32_t(quality) : 0xFFFFFFFFu;
    const long double e = (long double)q * ((long double)q * 0.221f) + 0.87f;
    if (figure)
        *figure = float(std::pow(10.0L, -e));
    return true;
}

bool rankSamplesBySpread(const Nb::Cell* samples, uint32_t count, uint32_t n, uint8_t** sorted,
                         uint32_t* accepted, const Nb::Cell* scores)
{
    if (count < 2 || !samples || !sorted || !accepted)
        return false;
    std::vector<float> means(std::max<size_t>(n, 1));
    std::vector<float> sigmas(std::max<size_t>(n, 1));
    if (n > 0)
        NeuralMath::columnsStats(samples, count, n, cellOf(means.data()), cellOf(sigmas.data()));
    std::vector<float> s(count);
    const float tiny = 0.00001f;
    for (uint32_t i = 0; i < count; ++i) {
        const float* x = floats(samples[i]);
        long double sum = 0;
        for (uint32_t j = 0; j < n; ++j) {
            const float diff = means[j] - x[j];
            if (std::fabs(sigmas[j]) >= tiny) {
                const long double z = (long double)diff / sigmas[j];
                sum += z * z;
            } else if (!(std::fabs(diff) < tiny)) {
                sum += 1024;
            }
        }
        s[i] = n > 0 ? float(sum / n) : 0.0f;
        if (scores)
            *reinterpret_cast<float*>(scores[i].at(0)) = s[i];
    }
    // Indices, not pointers, ride along with the scores through the sort.
    std::vector<int32_t> order(count);
    for (uint32_t i = 0; i < count; ++i)
        order[i] = int32_t(i);
    NeuralMath::sort(s.data(), order.data(), count);
    for (uint32_t i = 0; i < count; ++i)
        sorted[i] = samples[order[i]].at(0);

    const uint32_t m = (count + 1) / 2;
    // With two or three samples there is no score after the middle one; the
    // last score stands in for it.
    const float next = s[std::min(m + 1, count - 1)];
    const float t = next + (s[m] - s[0]);
    uint32_t acc = m + 1;
    if (acc < count && s[m + 1] < t) {
        acc = count;
        for (uint32_t k = m + 2; k < count; ++k)
            if (s[k] >= t) {
                acc = k;
                break;
            }
    }
    *accepted = std::min(acc, count);
    // A zero or non-finite threshold would leave infinite or NaN scores.
    if (scores && t != 0.0f && std::isfinite(t))
        for (uint32_t i = 0; i < count; ++i)
            *reinterpret_cast<float*>(scores[i].at(0)) /= t;
    return true;
}

} // namespace Bc
