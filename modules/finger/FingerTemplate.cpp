#include "modules/finger/FingerTemplate.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "modules/finger/PrintCore.h"
#include "qtnb/Wipe.h"

namespace Finger {

namespace {

constexpr float Pi = 3.14159265358979f;
// A spread below this says nothing about a stranger: it is not magnified.
constexpr double SpreadFloor = 0.08;
// Scales above this come from no population.
constexpr float MaxScale = 1.0f / float(SpreadFloor) + 1.0f;
// The noise of a measured parameter, in the population's units: how far the
// fill trusts what a print shows over what the population expects.
constexpr double Noise = 0.2;
// 160 prints say little about how 256 parameters go together: the
// covariances between parameters are shrunk by this share.
constexpr double Shrink = 0.1;
// The marks' units: about the population's spread of each.
constexpr float MarkScale = 30.0f;
constexpr float PeriodScale = 0.7f;
// A delta left of this (pixels on the frame's x axis) is the left one.
constexpr float LeftOf = -6.0f;
// The marks' noise in those units: the fill keeps what a print shows.
constexpr double MarkNoise = 0.02;
// The texture's, in its logarithm.
constexpr double TextureNoise = 0.05;
// A texture response is never taken below this before its logarithm.
constexpr float TextureFloor = 1e-3f;
// How far the marks may move before a wave turns by a radian, in the marks'
// units: a few times their noise between impressions.
constexpr float WaveWidth = 0.5f;
// The waves' frequencies and phases come from this seed.
constexpr uint32_t WaveSeed = 0x57415645u;

// The waves over the marks: which marks each reads, its frequencies and
// phase. Wave k reads the period alone (k % 4 == 0), the left delta and the
// period (1), the right delta and the period (2), or all marks (3).
struct Waves {
    Waves()
    {
        std::mt19937 gen(WaveSeed);
        auto unit = [&gen] { return float(double(gen()) / 4294967296.0); };
        for (int k = 0; k < IdentityCount; ++k) {
            float* w = freq[k];
            for (int m = 0; m < Marks; ++m) {
                const float u = std::max(unit(), 1e-7f);
                w[m] = std::sqrt(-2.0f * std::log(u)) * std::cos(2.0f * Pi * unit()) / WaveWidth;
            }
            const int group = k % 4;
            if (group == 0)
                w[0] = w[1] = w[2] = w[3] = 0;
            else if (group == 1)
                w[2] = w[3] = 0;
            else if (group == 2)
                w[0] = w[1] = 0;
            phase[k] = 2.0f * Pi * unit();
        }
    }
    float freq[IdentityCount][Marks];
    float phase[IdentityCount];
};

const Waves& waves()
{
    static const Waves w;
    return w;
}

struct Layout {
    Layout()
    {
        int k = 0;
        for (int r = 1; r <= Rings; ++r) {
            const int count = r == Rings ? Points - 4 * Rings * (Rings - 1) : 8 * r;
            for (int a = 0; a < count; ++a, ++k) {
                const float t = 2.0f * Pi * (float(a) + 0.5f * float(r % 2)) / float(count);
                x[k] = RingStep * float(r) * std::cos(t);
                y[k] = Tall * RingStep * float(r) * std::sin(t);
            }
        }
    }
    float x[Points], y[Points];
};

const Layout& layout()
{
    static const Layout l;
    return l;
}

} // namespace

float ringCover(const RidgeField& field, const Placement& frame)
{
    const Layout& l = layout();
    const float c = std::cos(frame.angle), s = std::sin(frame.angle);
    int covered = 0;
    for (int k = 0; k < Points; ++k) {
        float a, b, w;
        field.sample(c * l.x[k] - s * l.y[k] + frame.tx, s * l.x[k] + c * l.y[k] + frame.ty, a, b, w);
        covered += w >= MinCover;
    }
    return float(covered) / float(Points);
}

RawFeatures ringFlow(const RidgeField& field, const Placement& frame)
{
    RawFeatures raw;
    const Layout& l = layout();
    const float c = std::cos(frame.angle), s = std::sin(frame.angle);
    const float c2 = std::cos(2 * frame.angle), s2 = std::sin(2 * frame.angle);
    for (int k = 0; k < Points; ++k) {
        float a, b, w;
        field.sample(c * l.x[k] - s * l.y[k] + frame.tx, s * l.x[k] + c * l.y[k] + frame.ty, a, b, w);
        if (w < MinCover)
            continue;
        // The doubled angle turned back by the frame's turn.
        raw.value[size_t(2 * k)] = (a * c2 + b * s2) / w;
        raw.value[size_t(2 * k + 1)] = (b * c2 - a * s2) / w;
        raw.present[size_t(2 * k)] = raw.present[size_t(2 * k + 1)] = true;
    }
    // The deltas in the frame, the strongest on each side.
    const PrintCore core = findCore(field);
    for (const PrintDelta& d : findDeltas(field, core, 3)) {
        const float dx = d.x - frame.tx, dy = d.y - frame.ty;
        const float x = c * dx + s * dy, y = -s * dx + c * dy;
        const size_t at = FlowCount + (x < LeftOf ? 0 : 2);
        if (raw.present[at])
            continue;
        raw.value[at] = x / MarkScale;
        raw.value[at + 1] = y / MarkScale;
        raw.present[at] = raw.present[at + 1] = true;
    }
    const float period = field.period();
    if (period > 0) {
        raw.value[FlowCount + 4] = period / PeriodScale;
        raw.present[FlowCount + 4] = true;
    }
    return raw;
}

RawFeatures printFeatures(const GreyImage& image, const RidgeField& field, const Placement& frame)
{
    RawFeatures raw = ringFlow(field, frame);
    ridgeTexture(image, field, frame, raw.value.data() + TextureAt, raw.present.data() + TextureAt);
    for (int i = TextureAt; i < RawCount; ++i)
        if (raw.present[size_t(i)])
            raw.value[size_t(i)] = std::log(std::max(raw.value[size_t(i)], TextureFloor));
    return raw;
}

FillModel FillModel::fit(const std::vector<RawFeatures>& population)
{
    FillModel m;
    if (population.size() < 8)
        return m;
    const size_t n = RawCount;
    m.m_mean.assign(n, 0.0);
    std::vector<double> count(n, 0.0);
    for (const RawFeatures& r : population)
        for (size_t i = 0; i < n; ++i)
            if (r.present[i]) {
                m.m_mean[i] += r.value[i];
                count[i] += 1;
            }
    for (size_t i = 0; i < n; ++i)
        m.m_mean[i] /= std::max(1.0, count[i]);
    // A missing value counts as the mean: the covariance stays positive
    // semi-definite.
    m.m_cov.assign(n * n, 0.0);
    std::vector<double> d(n);
    for (const RawFeatures& r : population) {
        for (size_t i = 0; i < n; ++i)
            d[i] = r.present[i] ? r.value[i] - m.m_mean[i] : 0.0;
        for (size_t i = 0; i < n; ++i)
            if (d[i] != 0.0)
                for (size_t j = 0; j < n; ++j)
                    m.m_cov[i * n + j] += d[i] * d[j];
    }
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            m.m_cov[i * n + j] *= (i == j ? 1.0 : 1.0 - Shrink) / double(population.size());
    return m;
}

double FillModel::noise(size_t i)
{
    return i < FlowCount ? Noise : i < TextureAt ? MarkNoise : TextureNoise;
}

void FillModel::fill(RawFeatures& raw) const
{
    if (isNull())
        return;
    const size_t n = RawCount;
    std::vector<size_t> seen;
    for (size_t i = 0; i < n; ++i)
        if (raw.present[i])
            seen.push_back(i);
    const size_t o = seen.size();
    // y = (cov over the seen ones + noise)^-1 (seen values - their means),
    // by Cholesky; then every value = mean + cov(value, seen) y.
    std::vector<double> L(o * o, 0.0), y(o);
    for (size_t a = 0; a < o; ++a)
        for (size_t b = 0; b <= a; ++b) {
            double v = m_cov[seen[a] * n + seen[b]] + (a == b ? noise(seen[a]) : 0.0);
            for (size_t k = 0; k < b; ++k)
                v -= L[a * o + k] * L[b * o + k];
            L[a * o + b] = a == b ? std::sqrt(std::max(v, 1e-12)) : v / L[b * o + b];
        }
    for (size_t a = 0; a < o; ++a) {
        double v = raw.value[seen[a]] - m_mean[seen[a]];
        for (size_t k = 0; k < a; ++k)
            v -= L[a * o + k] * y[k];
        y[a] = v / L[a * o + a];
    }
    for (size_t a = o; a-- > 0;) {
        double v = y[a];
        for (size_t k = a + 1; k < o; ++k)
            v -= L[k * o + a] * y[k];
        y[a] = v / L[a * o + a];
    }
    for (size_t i = 0; i < n; ++i) {
        double v = m_mean[i];
        for (size_t a = 0; a < o; ++a)
            v += m_cov[i * n + seen[a]] * y[a];
        raw.value[i] = float(v);
        raw.present[i] = true;
    }
    Nb::wipe(L.data(), L.size() * sizeof(double));
    Nb::wipe(y.data(), y.size() * sizeof(double));
}

void FeatureSpace::expand(const RawFeatures& raw, float* out)
{
    std::copy(raw.value.begin(), raw.value.begin() + FlowCount, out);
    const Waves& w = waves();
    const float* marks = raw.value.data() + FlowCount;
    for (int k = 0; k < IdentityCount; ++k) {
        float t = w.phase[k];
        for (int m = 0; m < Marks; ++m)
            t += w.freq[k][m] * marks[m];
        out[FlowCount + k] = std::cos(t);
    }
    std::copy(raw.value.begin() + TextureAt, raw.value.end(), out + FeatureCount);
}

FeatureSpace FeatureSpace::fit(const std::vector<RawFeatures>& foreign)
{
    FeatureSpace space;
    if (foreign.size() < 8)
        return space;
    std::vector<std::array<float, SpaceCount>> expanded(foreign.size());
    for (size_t i = 0; i < foreign.size(); ++i)
        expand(foreign[i], expanded[i].data());
    for (int f = 0; f < SpaceCount; ++f) {
        double sum = 0, squares = 0;
        for (const std::array<float, SpaceCount>& r : expanded) {
            sum += r[size_t(f)];
            squares += double(r[size_t(f)]) * r[size_t(f)];
        }
        const double n = double(foreign.size());
        const double mean = sum / n;
        const double sigma = std::sqrt(std::max(0.0, squares / n - mean * mean));
        space.centre[size_t(f)] = float(mean);
        space.scale[size_t(f)] = float(1.0 / std::max(sigma, SpreadFloor));
    }
    space.m_null = false;
    return space;
}

void FeatureSpace::apply(const RawFeatures& raw, float* out) const
{
    expand(raw, out);
    for (int f = 0; f < SpaceCount; ++f)
        out[f] = Gain * std::clamp((out[f] - centre[size_t(f)]) * scale[size_t(f)], -5.0f, 5.0f);
}

FingerTemplate::FingerTemplate(const FeatureSpace& s) : space(s) {}

Nb::Matrix* FingerTemplate::toMatrix() const
{
    if (isNull())
        return nullptr;
    Nb::Matrix* m = new Nb::Matrix(1, Nb::Meta(MatrixLength, Nb::MfR32, Nb::MtC));
    float* v = reinterpret_cast<float*>(m->at(0, 0));
    const float head[Head] = {Version,      Rings,         Points,       SpaceCount,  RingStep,   Tall,
                              Gain,         IdentityCount, TextureRings, TextureAngles, Orientations, TextureBand};
    std::copy(head, head + Head, v);
    std::copy(space.centre.begin(), space.centre.end(), v + Head);
    std::copy(space.scale.begin(), space.scale.end(), v + Head + SpaceCount);
    return m;
}

bool FingerTemplate::fromMatrix(const Nb::Matrix& m)
{
    if (m.rows() < 1 || m.cols() < 1 || m.meta(0).format != Nb::MfR32 || m.meta(0).count != MatrixLength ||
        !m.data() || m.data()[0][0].isNull())
        return false;
    const float* v = reinterpret_cast<const float*>(m.at(0, 0));
    for (int k = 0; k < MatrixLength; ++k)
        if (!std::isfinite(v[k]))
            return false;
    if (v[0] != Version || v[1] != Rings || v[2] != Points || v[3] != SpaceCount || v[4] != RingStep ||
        v[5] != Tall || v[6] != Gain || v[7] != IdentityCount || v[8] != TextureRings || v[9] != TextureAngles ||
        v[10] != Orientations || v[11] != TextureBand)
        return false;
    for (int f = 0; f < SpaceCount; ++f)
        if (std::fabs(v[Head + f]) > 100.0f || !(v[Head + SpaceCount + f] > 0.0f) ||
            v[Head + SpaceCount + f] > MaxScale)
            return false;
    FeatureSpace s;
    std::copy(v + Head, v + Head + SpaceCount, s.centre.begin());
    std::copy(v + Head + SpaceCount, v + MatrixLength, s.scale.begin());
    s.m_null = false;
    space = s;
    return true;
}

} // namespace Finger
