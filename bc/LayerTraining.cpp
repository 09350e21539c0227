// Training of a set-up layer on the user's own samples towards the code,
// and the protection that folds the code into the trained weights.
//
// The stored weights must not give the code away. Weights whose signs all
// follow sign(code bit x feature mean) would: two neurons that read the same
// feature would then show the product of their bits in the product of their
// signs, and a vote over the shared features recovers the whole code. So
// each neuron starts from weights of secret random signs, flips the whole
// vector when its mean output has the wrong sign, turns just enough randomly
// chosen weights towards the code to reach its starting quality, and then
// lowers the quality to its target by adding a weight of secret sign on its
// noisiest input, which costs the owner least. The weights' signs then agree
// with the code little more than a coin does, except in a neuron whose
// features are weak: it needs most of its weights on the code's side.
//
// All draws come from one generator seeded with a digest of the own samples
// and the code, which nothing stored reveals; equal inputs still give equal
// weights.

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bc/Layer.h"
#include "bc/Md5.h"
#include "bc/NeuralMath.h"
#include "qtnb/Error.h"
#include "qtnb/Wipe.h"

namespace Bc {

namespace {

// No input may keep the refinement going for ever.
constexpr int32_t MaxRefinementPasses = 10000;

// A neuron lands at TargetScale times the quality its fully code-aligned
// weights would reach, within [LowestTarget, HighestTarget]; it starts at
// StartScale times that quality, within [target, HighestStart]. A neuron
// that the features make weak so takes fewer code-aligned weights, a strong
// one more, which the owner's fresh samples reward. The floor is what a
// weak neuron must reach: at 4.5, when the owner's samples spread wider
// (copies of a fingerprint enrolment stretched as skin is), weak neurons
// needed most of their weights on the code's side, and a vote over a stolen
// container's weight signs found the key.
constexpr float TargetScale = 0.4f;
constexpr float LowestTarget = 4.0f;
constexpr float HighestTarget = 4.9f;
constexpr float StartScale = 0.25f;
constexpr float HighestStart = 7.0f;
// How far a layer leans to its code: over its neurons, the mean share of
// weights on the code's side beyond half. Votes over the inputs that
// neurons share read the code from a stolen layer as far as it leans, and
// the layers such votes came close to opening leaned more than MaxLean:
// owners whose features tell them little from the population have weak
// neurons, each turning about TargetScale of its weights to the code. Such
// a layer's neurons that a lower scale would start lower are trained once
// more, at the largest of LowerScales whose lean, foreseen from the first
// training, is within MaxLean (else the lowest). A neuron's lean follows its
// starting quality over the quality of its fully code-aligned weights, so
// the foresight costs nothing, and neurons at the floor, which a lower
// scale does not move, are not trained again. The floor stays: below it a
// dozen samples' weak neurons turned the owner's fresh samples away most
// of the time.
constexpr float MaxLean = 0.25f;
constexpr float LowerScales[] = {0.35f, 0.3f, 0.25f, 0.2f};
// A feature's weight is |mean| / sd^2, the sd kept above this share of the
// features' root mean square sd, so that a feature that happened to vary
// little in a dozen samples does not take over.
constexpr float SdFloor = 0.1f;
// The noise goes on the input of largest sd among those whose mean lies
// within NoisyQuality sds of zero: it adds spread without moving the mean.
constexpr float NoisyQuality = 1.0f;

inline Nb::Cell cellOf(void* p) { return Nb::Cell(static_cast<uint8_t*>(p)); }
inline Nb::Cell cellOf(const void* p) { return cellOf(const_cast<void*>(p)); }

// The first cell of the code row as one 32-bit real per neuron.
bool codeValues(const Nb::Matrix::Row& code, int32_t need, std::vector<float>& x)
{
    const Nb::Meta meta = code.meta();
    Nb::Cell* cells = code.data();
    if (code.cols() < 1 || !cells || cells[0].isNull() || meta.count < need || meta.count < 0)
        return false;
    x.assign(size_t(meta.count) + 1, 0.0f);
    if (meta.format == Nb::MfR32) {
        std::memcpy(x.data(), cells[0].at(0), size_t(meta.count) * sizeof(float));
        return true;
    }
    const Nb::Cell::Converter f = Nb::Cell::converter(Nb::MfR32, meta.format);
    if (!f)
        return false;
    f(cellOf(x.data()), cells[0], meta.count);
    return true;
}

struct OutStats {
    float quality = -1.0f;
    int32_t outliers = 0;
    int32_t errors = 0;
    float mean = 0.0f;
    float sigma = 0.0f;
};

struct Choice {
    int32_t position = -1;
    float weight = 0.0f;
    int32_t errors = 0;
    int32_t outliers = 0;
};

// Trains one neuron at a time over the own samples. The samples' values at
// the neuron's inputs are gathered once per neuron (values[s * con + j]);
// sums run in the same order as Neuron::eval.
// Seeds the generator from the owner's digest without leaving a copy in
// freed memory, as std::seed_seq would: each run of four state words is
// the MD5 of the digest and the run's number.
class DigestSeed {
public:
    using result_type = uint32_t;
    explicit DigestSeed(const uint8_t digest[16]) { std::memcpy(m_digest, digest, sizeof(m_digest)); }
    ~DigestSeed() { Nb::wipe(m_digest, sizeof(m_digest)); }
    DigestSeed(const DigestSeed&) = delete;
    DigestSeed& operator=(const DigestSeed&) = delete;

    template <typename It>
    void generate(It begin, It end)
    {
        uint8_t out[16];
        for (uint32_t run = 0; begin != end; ++run) {
            Md5 md5;
            md5.update(m_digest, sizeof(m_digest));
            md5.update(&run, sizeof(run));
            md5.final(out);
            for (int i = 0; i < 4 && begin != end; ++i, ++begin) {
                uint32_t word = 0;
                std::memcpy(&word, out + 4 * i, sizeof(word));
                *begin = word;
            }
        }
        Nb::wipe(out, sizeof(out));
    }

private:
    uint8_t m_digest[16];
};

class NeuronTrainer {
public:
    NeuronTrainer(const Nb::Cell* samples, uint32_t n, const float* means, const float* qualities,
                  const float* strengths, const float* sigmas, bool grow, DigestSeed& secret)
        : m_samples(samples), m_n(int32_t(n)), m_means(means), m_qualities(qualities), m_strengths(strengths),
          m_sigmas(sigmas), m_grow(grow), m_gen(secret), m_out(n), m_partial(n), m_signs(n + 2), m_counts(n + 1)
    {
    }
    // The generator's state and the signs drawn from it give the code
    // away with the stored weights.
    ~NeuronTrainer()
    {
        Nb::wipe(&m_gen, sizeof(m_gen));
        Nb::wipe(m_sign);
        Nb::wipe(m_order);
    }
    NeuronTrainer(const NeuronTrainer&) = delete;
    NeuronTrainer& operator=(const NeuronTrainer&) = delete;

    OutStats train(Neuron& neuron, float x, float scale);
    // The starting quality of the last neuron trained and the quality its
    // fully code-aligned weights would reach.
    float start() const { return m_start; }
    float aligned() const { return m_aligned; }
    const std::mt19937& generator() const { return m_gen; }
    void setGenerator(const std::mt19937& gen) { m_gen = gen; }
    void evaluate(const Neuron& neuron, float* out) const { neuron.eval(m_samples, uint32_t(m_n), out); }
    int32_t samples() const { return m_n; }

private:
    float uniform(float a, float b)
    {
        const uint32_t u = uint32_t(m_gen());
        return float(double(a) + double(u) * (1.0 / 4294967296.0) * (double(b) - double(a)));
    }
    float v(int32_t s, int32_t j) const { return m_values[size_t(s) * size_t(m_con) + size_t(j)]; }

    void eval(float* out) const;
    void partial(int32_t j, float* out) const;
    // out = partial + t * value at connection j.
    void complete(int32_t j, float t, float* out) const
    {
        for (int32_t s = 0; s < m_n; ++s)
            out[s] = m_partial[size_t(s)] + t * v(s, j);
    }
    OutStats stats(const float* out) const;
    OutStats evalStats()
    {
        eval(m_out.data());
        return stats(m_out.data());
    }
    bool codeAligned(int32_t j, const Neuron& neuron) const
    {
        return (m_w[size_t(j)] > 0.0f) == (m_x * m_means[neuron.inputs[size_t(j)]] > 0.0f);
    }
    bool fits(const OutStats& s, float quality) const { return (s.mean > 0.0f) == (m_x > 0.0f) && s.quality >= quality; }

    OutStats startWeights(const Neuron& neuron, int32_t k, float scale, float& target);
    bool addNoise(const Neuron& neuron, int32_t k, float target, OutStats& st);

    bool weightSearch(int32_t j, float lo, float hi, const OutStats& entry, float& w, OutStats& best);
    Choice chooseConnection(int32_t k, float lo, float hi);
    int32_t signErrorInterval(int32_t j, float& lo, float& hi);
    int32_t outlierSearch(int32_t j, float lo, float hi, float& t);

    const Nb::Cell* m_samples;
    int32_t m_n;
    const float* m_means;
    const float* m_qualities;
    const float* m_strengths;
    const float* m_sigmas;
    bool m_grow;
    std::mt19937 m_gen;
    std::vector<float> m_sign; // the neuron's secret sign per connection
    std::vector<int32_t> m_order;

    // The neuron being trained.
    float m_x = 0.0f;
    float m_start = 0.0f;
    float m_aligned = 0.0f;
    int32_t m_con = 0;
    std::vector<float> m_w;
    std::vector<float> m_values;
    std::vector<float> m_out;
    std::vector<float> m_partial;
    std::vector<float> m_signs;
    std::vector<int32_t> m_counts;
};

void NeuronTrainer::eval(float* out) const
{
    for (int32_t s = 0; s < m_n; ++s) {
        long double sum = 0.0f; // the bias of a trained neuron
        for (int32_t j = 0; j < m_con; ++j)
            sum += (long double)m_w[size_t(j)] * v(s, j);
        out[s] = float(sum);
    }
}

void NeuronTrainer::partial(int32_t k, float* out) const
{
    for (int32_t s = 0; s < m_n; ++s) {
        long double sum = 0.0f;
        for (int32_t j = 0; j < m_con; ++j)
            if (j != k)
                sum += (long double)m_w[size_t(j)] * v(s, j);
        out[s] = float(sum);
    }
}

OutStats NeuronTrainer::stats(const float* out) const
{
    OutStats r;
    NeuralMath::stats(cellOf(out), uint32_t(m_n), r.mean, r.sigma, r.quality);
    const float low = r.mean - 3.0f * r.sigma + 0.01f;
    const float high = r.mean + 3.0f * r.sigma - 0.01f;
    int32_t inside = 0;
    int32_t agree = 0;
    const bool positive = m_x > 0.0f;
    for (int32_t s = 0; s < m_n; ++s) {
        if (out[s] > low && out[s] < high)
            ++inside;
        if ((out[s] > 0.0f) == positive)
            ++agree;
    }
    r.outliers = m_n - inside;
    r.errors = m_n - agree;
    return r;
}

bool NeuronTrainer::weightSearch(int32_t j, float lo, float hi, const OutStats& entry, float& w,
                                 OutStats& best)
{
    partial(j, m_partial.data());
    best = entry;
    w = m_w[size_t(j)];
    bool accepted = false;
    for (int draw = 0; draw < 5; ++draw) {
        const float t = uniform(lo, hi);
        if (!std::isfinite(t))
            continue;
        complete(j, t, m_out.data());
        const OutStats s = stats(m_out.data());
        if (s.outliers + s.errors > entry.outliers + entry.errors)
            continue;
        // Quality moves towards just above 4.5; on a tie the smaller weight wins.
        bool take;
        if (best.quality <= 4.5f)
            take = s.quality > best.quality || (s.quality == best.quality && std::fabs(w) > std::fabs(t));
        else
            take = s.quality > 4.5f &&
                   (s.quality < best.quality || (s.quality == best.quality && std::fabs(w) > std::fabs(t)));
        if (take) {
            best = s;
            w = t;
            accepted = true;
        }
    }
    return accepted;
}

int32_t NeuronTrainer::signErrorInterval(int32_t j, float& lo, float& hi)
{
    const int32_t n = m_n;
    float* g = m_signs.data();
    // The weight at which each sample's output changes sign.
    for (int32_t s = 0; s < n; ++s)
        g[s + 1] = -m_partial[size_t(s)] / v(s, j);
    NeuralMath::sort(g + 1, uint32_t(n));
    g[0] = g[1] - 1000.0f;
    g[n + 1] = g[n] + 1000.0f;
    const bool positive = m_x > 0.0f;
    int32_t best = n + 1;
    for (int32_t i = 0; i <= n; ++i) {
        const float t = (g[i] + g[i + 1]) / 2.0f;
        int32_t agree = 0;
        for (int32_t s = 0; s < n; ++s)
            if ((m_partial[size_t(s)] + t * v(s, j) > 0.0f) == positive)
                ++agree;
        m_counts[size_t(i)] = n - agree;
        if (m_counts[size_t(i)] < best)
            best = m_counts[size_t(i)];
    }
    int32_t first = 0;
    while (m_counts[size_t(first)] != best)
        ++first;
    int32_t last = first;
    while (last + 1 <= n && m_counts[size_t(last + 1)] == best)
        ++last;
    lo = g[first];
    hi = g[last + 1];
    if (first == 0)
        lo -= 1000.0f;
    if (last + 1 == n + 1)
        hi += 1000.0f;
    return best;
}

int32_t NeuronTrainer::outlierSearch(int32_t j, float lo, float hi, float& t)
{
    int32_t best = m_n + 1;
    t = lo;
    int32_t tries = lo == hi ? 1 : 256;
    while (tries > 0) {
        const float u = uniform(lo, hi);
        if (u == lo || !std::isfinite(u)) {
            --tries;
            continue;
        }
        complete(j, u, m_out.data());
        const int32_t o = stats(m_out.data()).outliers;
        if (o < best || (o == best && std::fabs(t) > std::fabs(u))) {
            best = o;
            t = u;
            tries >>= 1;
            if (u > 0.0f)
                hi = u;
            else
                lo = u;
        } else {
            --tries;
        }
    }
    return best;
}

Choice NeuronTrainer::chooseConnection(int32_t k, float lo, float hi)
{
    Choice c;
    c.errors = m_n;
    c.outliers = m_n;
    for (int32_t j = 0; j < k; ++j) {
        partial(j, m_partial.data());
        float a0 = 0.0f, a1 = 0.0f;
        const int32_t a = signErrorInterval(j, a0, a1);
        if (a > c.errors)
            continue;
        float t = 0.0f;
        const int32_t b = outlierSearch(j, a0, a1, t);
        const bool take = c.position < 0 || a < c.errors ||
                          (a == c.errors && (b < c.outliers ||
                                             (b == c.outliers && std::fabs(t) >= std::fabs(c.weight))));
        if (!take)
            continue;
        c.position = j;
        c.weight = t;
        c.errors = a;
        c.outliers = b;
        if (t < lo && t < hi && a == 0 && b == 0)
            break;
    }
    return c;
}

// Weights of the first k connections: secret signs, magnitudes by feature
// strength, the whole vector turned to the code's side, then randomly
// chosen weights turned towards the code until the starting quality.
float targetAt(float scale, float aligned) { return std::min(HighestTarget, std::max(LowestTarget, scale * aligned)); }
float startAt(float scale, float aligned)
{
    return std::min(HighestStart, std::max(targetAt(scale, aligned), StartScale * aligned));
}

OutStats NeuronTrainer::startWeights(const Neuron& neuron, int32_t k, float scale, float& target)
{
    const int32_t con = m_con;
    for (int32_t j = 0; j < con; ++j) {
        float w = 0.0f;
        if (j < k) {
            const int32_t f = neuron.inputs[size_t(j)];
            w = (m_x * m_means[f] > 0.0f ? 1.0f : -1.0f) * m_strengths[f];
        }
        m_w[size_t(j)] = w;
    }
    int32_t index = -1;
    const float h = NeuralMath::maximumAbs(cellOf(m_w.data()), uint32_t(con), index);
    if (h != 0.0f && std::isfinite(h))
        for (float& w : m_w)
            w /= h;
    // The quality of the code-aligned weights sets this neuron's targets.
    const float best = evalStats().quality;
    target = targetAt(scale, best);
    const float start = startAt(scale, best);
    m_aligned = best;
    m_start = start;

    for (int32_t j = 0; j < k; ++j)
        m_w[size_t(j)] *= m_sign[size_t(j)];
    OutStats st = evalStats();
    if ((st.mean > 0.0f) != (m_x > 0.0f)) {
        for (float& w : m_w)
            w = -w;
        st = evalStats();
    }
    m_order.resize(size_t(k));
    for (int32_t j = 0; j < k; ++j)
        m_order[size_t(j)] = j;
    for (int32_t j = k - 1; j > 0; --j)
        std::swap(m_order[size_t(j)], m_order[size_t(m_gen() % uint32_t(j + 1))]);
    for (int32_t t = 0; t < k && !fits(st, start); ++t) {
        const int32_t j = m_order[size_t(t)];
        if (codeAligned(j, neuron))
            continue;
        m_w[size_t(j)] = -m_w[size_t(j)];
        st = evalStats();
    }
    return st;
}

// Lowers the quality to the target by a weight of secret sign added on the
// noisiest input; false (weights unchanged) when it cannot.
bool NeuronTrainer::addNoise(const Neuron& neuron, int32_t k, float target, OutStats& st)
{
    int32_t noisy = -1;
    for (int32_t j = 0; j < k; ++j) {
        const int32_t f = neuron.inputs[size_t(j)];
        if (noisy < 0) {
            noisy = j;
            continue;
        }
        const int32_t g = neuron.inputs[size_t(noisy)];
        const bool calm = m_qualities[f] < NoisyQuality, calmBest = m_qualities[g] < NoisyQuality;
        if (calm != calmBest ? calm : calm ? m_sigmas[f] > m_sigmas[g] : m_qualities[f] < m_qualities[g])
            noisy = j;
    }
    const float sign = (m_gen() >> 31) ? 1.0f : -1.0f;
    if (noisy < 0 || !fits(st, target))
        return false;
    const float base = m_w[size_t(noisy)];
    auto at = [&](float d) {
        m_w[size_t(noisy)] = base + sign * d;
        return evalStats();
    };
    // Grow the added weight until the quality falls below the target, then
    // halve the interval down to the last weight that still meets it.
    float lo = 0.0f, hi = 1.0f;
    while (fits(at(hi), target)) {
        lo = hi;
        hi *= 2.0f;
        if (!std::isfinite(hi) || hi > 1e12f) {
            m_w[size_t(noisy)] = base;
            return false;
        }
    }
    for (int i = 0; i < 40; ++i) {
        const float mid = 0.5f * (lo + hi);
        if (fits(at(mid), target))
            lo = mid;
        else
            hi = mid;
    }
    st = at(lo);
    return true;
}

OutStats NeuronTrainer::train(Neuron& neuron, float x, float scale)
{
    m_x = x;
    m_con = int32_t(neuron.inputs.size());
    const int32_t con = m_con;
    m_w.assign(size_t(con), 0.0f);
    m_values.resize(size_t(m_n) * size_t(con));
    for (int32_t s = 0; s < m_n; ++s) {
        const float* sample = reinterpret_cast<const float*>(m_samples[s].at(0));
        for (int32_t j = 0; j < con; ++j)
            m_values[size_t(s) * size_t(con) + size_t(j)] = sample[neuron.inputs[size_t(j)]];
    }

    OutStats result;
    result.quality = -1.0f;
    result.outliers = m_n + 1;
    result.errors = m_n + 1;
    neuron.bias = 0.0f;
    int32_t k = con;
    if (m_grow) {
        if (con <= 0)
            return result;
        k = 1;
    }
    m_sign.resize(size_t(con));
    for (float& r : m_sign)
        r = (m_gen() >> 31) ? 1.0f : -1.0f;
    for (; k <= con; ++k) {
        float target = LowestTarget;
        OutStats st = startWeights(neuron, k, scale, target);
        const bool landed = addNoise(neuron, k, target, st);
        const float hi = std::fabs(st.mean) + st.sigma + 1.0f;
        const float lo = -hi;
        result = st;

        // Where the noise could not land the quality, the random search does.
        if (k > 1 && !landed) {
            bool done = false;
            for (int32_t pass = 0; pass < MaxRefinementPasses && !done; ++pass) {
                bool any = false;
                for (int32_t j = 1; j < k; ++j) {
                    float w = 0.0f;
                    OutStats s;
                    if (!weightSearch(j, lo, hi, st, w, s))
                        continue;
                    m_w[size_t(j)] = w;
                    st = s;
                    result = s;
                    any = true;
                    if (s.errors == 0 && s.outliers == 0 && s.quality < 5.0f) {
                        done = true;
                        break;
                    }
                }
                if (!any)
                    break;
            }
        }

        if (result.errors != 0 || result.outliers != 0) {
            for (int32_t step = 0; step < k; ++step) {
                const Choice c = chooseConnection(k, lo, hi);
                // A weight that is not finite is never kept.
                if (c.position < 0 || !std::isfinite(c.weight))
                    break;
                m_w[size_t(c.position)] = c.weight;
                result.quality = st.quality;
                result.outliers = c.outliers;
                result.errors = c.errors;
                if (c.errors == 0 && c.outliers == 0)
                    break;
            }
            if (result.errors != 0 || result.outliers != 0)
                continue;
        }
        if (result.quality > 5.0f && k < con)
            continue;
        if (result.quality > 4.0f)
            break;
    }
    std::copy(m_w.begin(), m_w.end(), neuron.weights.begin());
    return result;
}

// Divides the weights by d unless d is zero or not finite or the quotients
// would not all be finite.
void divideWeights(Neuron& neuron, float d)
{
    d = std::fabs(d);
    if (d == 0.0f || !std::isfinite(d))
        return;
    std::vector<float> w(neuron.weights);
    for (float& v : w) {
        v /= d;
        if (!std::isfinite(v))
            return;
    }
    neuron.weights.swap(w);
}

// 2a / c - 1, a of the neuron's c weights on the code's side (the sign of
// its wanted value times the feature's mean).
double lean(const Neuron& n, const float* means, float x)
{
    if (n.inputs.empty())
        return 0.0;
    size_t aligned = 0;
    for (size_t j = 0; j < n.inputs.size(); ++j)
        aligned += (n.weights[j] > 0.0f) == (x * means[size_t(n.inputs[j])] > 0.0f);
    return 2.0 * double(aligned) / double(n.inputs.size()) - 1.0;
}

// Trains the neurons; a layer that leans more than MaxLean has the neurons
// a lower scale would start lower trained again, each from the generator's
// state it first started from.
void trainNeurons(NeuronTrainer& trainer, std::vector<Neuron>& neurons, const float* x, const float* means)
{
    const size_t n = neurons.size();
    std::vector<std::mt19937> states(n);
    std::vector<float> starts(n), aligned(n);
    std::vector<double> leans(n);
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        states[i] = trainer.generator();
        trainer.train(neurons[i], x[i], TargetScale);
        starts[i] = trainer.start();
        aligned[i] = trainer.aligned();
        leans[i] = lean(neurons[i], means, x[i]);
        sum += leans[i];
    }
    if (n > 0 && sum / double(n) > MaxLean) {
        float scale = TargetScale;
        for (float s : LowerScales) {
            scale = s;
            double foreseen = 0.0;
            for (size_t i = 0; i < n; ++i)
                foreseen += starts[i] > 0.0f ? leans[i] * double(startAt(s, aligned[i]) / starts[i]) : leans[i];
            if (foreseen / double(n) <= MaxLean)
                break;
        }
        for (size_t i = 0; i < n; ++i)
            if (startAt(scale, aligned[i]) < starts[i]) {
                trainer.setGenerator(states[i]);
                trainer.train(neurons[i], x[i], scale);
            }
    }
    // The states give the code away with the stored weights.
    for (std::mt19937& g : states)
        Nb::wipe(&g, sizeof(g));
}

} // namespace

bool Layer::train(const Nb::Matrix::Row& own, const Nb::Matrix::Row& alien,
                  const Nb::Matrix::Row& code, bool grow)
{
    std::vector<float> x;
    if (!codeValues(code, outputs(), x)) {
        BC_ERR(1);
        return false;
    }
    for (Neuron& n : neurons)
        n.weights.assign(n.inputs.size(), 0.0f);

    const int32_t samples = own.cols();
    const Nb::Meta meta = own.meta();
    const int32_t features = meta.count;
    bool ok = samples >= 2 && alien.cols() >= 2 && features >= 2 && meta.format == Nb::MfR32;
    const Nb::Cell* cells = own.data();
    if (ok && !cells)
        ok = false;
    // Every sample must be present and finite, and every connection must
    // read a feature that is there.
    for (int32_t s = 0; ok && s < samples; ++s) {
        if (cells[s].isNull()) {
            ok = false;
            break;
        }
        const float* v = reinterpret_cast<const float*>(cells[s].at(0));
        for (int32_t f = 0; f < features; ++f)
            if (!std::isfinite(v[f])) {
                ok = false;
                break;
            }
    }
    for (const Neuron& n : neurons)
        for (int32_t index : n.inputs)
            if (index < 0 || index >= features)
                ok = false;
    if (!ok) {
        for (Neuron& n : neurons)
            n.weights.clear();
        BC_ERR(2);
        return false;
    }

    const size_t width = size_t(features);
    std::vector<float> means(width), sigmas(width), qualities(width), strengths(width);
    NeuralMath::columnsStats(cells, uint32_t(samples), uint32_t(features), cellOf(means.data()),
                             cellOf(sigmas.data()), cellOf(qualities.data()));
    long double square = 0;
    for (float sd : sigmas)
        square += (long double)sd * sd;
    const float floor = SdFloor * float(std::sqrt(square / (long double)width));
    for (size_t f = 0; f < width; ++f) {
        const float sd = std::max(sigmas[f], floor);
        strengths[f] = sd > 0.0f ? std::fabs(means[f]) / (sd * sd) : (means[f] != 0.0f ? 1.0f : 0.0f);
        if (!std::isfinite(strengths[f]))
            strengths[f] = 0.0f;
    }

    // The secret generator: a digest of what only the owner holds.
    Md5 md5;
    for (int32_t s = 0; s < samples; ++s)
        md5.update(cells[s].at(0), uint32_t(width * sizeof(float)));
    md5.update(x.data(), uint32_t(neurons.size() * sizeof(float)));
    uint8_t digest[16];
    md5.final(digest);
    DigestSeed secret(digest);
    Nb::wipe(digest, sizeof(digest));
    NeuronTrainer trainer(cells, uint32_t(samples), means.data(), qualities.data(), strengths.data(),
                          sigmas.data(), grow, secret);
    trainNeurons(trainer, neurons, x.data(), means.data());

    std::vector<float> out(static_cast<size_t>(samples));
    for (Neuron& n : neurons) {
        float mean = 0.0f, sigma = 0.0f, quality = 0.0f;
        trainer.evaluate(n, out.data());
        NeuralMath::stats(cellOf(out.data()), uint32_t(samples), mean, sigma, quality);
        divideWeights(n, sigma);
        trainer.evaluate(n, out.data());
        NeuralMath::stats(cellOf(out.data()), uint32_t(samples), mean, sigma, quality);
        divideWeights(n, mean);
    }
    return true;
}

bool Layer::protect(const Nb::Matrix::Row& code)
{
    std::vector<float> x;
    if (!codeValues(code, outputs(), x)) {
        BC_ERR(1);
        return false;
    }
    // Folding twice would undo the first fold while the flag stays set; a
    // non-finite code value would leave non-finite weights.
    if (lf & LfProt) {
        BC_ERR(2);
        return false;
    }
    for (int32_t i = 0; i + 1 < outputs(); ++i)
        if (!std::isfinite(x[size_t(i)])) {
            BC_ERR(3);
            return false;
        }
    for (size_t i = 1; i < neurons.size(); ++i)
        for (float& w : neurons[i].weights)
            w *= x[i - 1];
    lf |= LfProt;
    return true;
}

} // namespace Bc
