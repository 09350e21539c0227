#include "modules/finger/FingerTemplate.h"

#include <algorithm>
#include <cmath>

namespace Finger {

namespace {

constexpr double Pi = 3.14159265358979323846;
// A spread below this says nothing about a stranger: it is not magnified.
constexpr double SpreadFloor = 0.05;
// Scales above this come from no population.
constexpr float MaxScale = 1.0f / float(SpreadFloor) + 1.0f;

struct Grid {
    Grid()
    {
        for (int w = 0; w < Wavelengths; ++w) {
            const double l = double(ShortestWavelength) *
                             std::pow(double(LongestWavelength) / ShortestWavelength, double(w) / (Wavelengths - 1));
            for (int d = 0; d < Directions; ++d) {
                const double a = Pi * d / Directions;
                kx[size_t(w * Directions + d)] = 2 * Pi * std::cos(a) / l;
                ky[size_t(w * Directions + d)] = 2 * Pi * std::sin(a) / l;
            }
        }
    }
    std::array<double, FeatureCount> kx, ky;
};

const Grid& grid()
{
    static const Grid g;
    return g;
}

} // namespace

RawFeatures spectrum(const std::vector<Minutia>& minutiae, const Placement& frame)
{
    RawFeatures raw;
    if (int(minutiae.size()) < MinMinutiae)
        return raw;
    // Into the frame: only the turn matters, the spectrum ignores shifts.
    const double c = std::cos(frame.angle), s = std::sin(frame.angle);
    std::vector<double> u(minutiae.size()), v(minutiae.size());
    for (size_t i = 0; i < minutiae.size(); ++i) {
        const double x = minutiae[i].x - frame.tx, y = minutiae[i].y - frame.ty;
        u[i] = c * x + s * y;
        v[i] = -s * x + c * y;
    }
    const Grid& g = grid();
    for (int k = 0; k < FeatureCount; ++k) {
        double re = 0, im = 0;
        for (size_t i = 0; i < u.size(); ++i) {
            const double phase = g.kx[size_t(k)] * u[i] + g.ky[size_t(k)] * v[i];
            re += std::cos(phase);
            im += std::sin(phase);
        }
        raw.value[size_t(k)] = float(std::log1p((re * re + im * im) / double(u.size())));
    }
    std::fill(u.begin(), u.end(), 0.0);
    std::fill(v.begin(), v.end(), 0.0);
    raw.present = true;
    return raw;
}

FeatureSpace FeatureSpace::fit(const std::vector<RawFeatures>& foreign)
{
    FeatureSpace space;
    int n = 0;
    std::array<double, FeatureCount> sum{}, squares{};
    for (const RawFeatures& r : foreign) {
        if (!r.present)
            continue;
        ++n;
        for (int f = 0; f < FeatureCount; ++f) {
            sum[size_t(f)] += r.value[size_t(f)];
            squares[size_t(f)] += double(r.value[size_t(f)]) * r.value[size_t(f)];
        }
    }
    if (n < 8)
        return space;
    for (int f = 0; f < FeatureCount; ++f) {
        const double mean = sum[size_t(f)] / n;
        const double sigma = std::sqrt(std::max(0.0, squares[size_t(f)] / n - mean * mean));
        space.centre[size_t(f)] = float(mean);
        space.scale[size_t(f)] = float(1.0 / std::max(sigma, SpreadFloor));
    }
    space.m_null = false;
    return space;
}

void FeatureSpace::apply(const RawFeatures& raw, float* out) const
{
    for (int f = 0; f < FeatureCount; ++f)
        out[f] = raw.present ? Gain * std::clamp((raw.value[size_t(f)] - centre[size_t(f)]) * scale[size_t(f)],
                                                 -5.0f, 5.0f)
                             : 0.0f;
}

FingerTemplate::FingerTemplate(const FeatureSpace& s) : space(s) {}

Nb::Matrix* FingerTemplate::toMatrix() const
{
    if (isNull())
        return nullptr;
    Nb::Matrix* m = new Nb::Matrix(1, Nb::Meta(MatrixLength, Nb::MfR32, Nb::MtC));
    float* v = reinterpret_cast<float*>(m->at(0, 0));
    const float head[8] = {Version,         Wavelengths, Directions, FeatureCount, ShortestWavelength,
                           LongestWavelength, Gain,      0};
    std::copy(head, head + 8, v);
    std::copy(space.centre.begin(), space.centre.end(), v + 8);
    std::copy(space.scale.begin(), space.scale.end(), v + 8 + FeatureCount);
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
    if (v[0] != Version || v[1] != Wavelengths || v[2] != Directions || v[3] != FeatureCount ||
        v[4] != ShortestWavelength || v[5] != LongestWavelength || v[6] != Gain || v[7] != 0)
        return false;
    for (int f = 0; f < FeatureCount; ++f)
        if (std::fabs(v[8 + f]) > 100.0f || !(v[8 + FeatureCount + f] > 0.0f) || v[8 + FeatureCount + f] > MaxScale)
            return false;
    FeatureSpace s;
    std::copy(v + 8, v + 8 + FeatureCount, s.centre.begin());
    std::copy(v + 8 + FeatureCount, v + MatrixLength, s.scale.begin());
    s.m_null = false;
    space = s;
    return true;
}

} // namespace Finger
