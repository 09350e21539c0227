#include "modules/pen/PenFeatures.h"

#include <cmath>

#include "modules/pen/PenSynth.h"

namespace Pen {

namespace {

constexpr int32_t PopulationCount = 256;
// Below this a feature counts as constant over the population (the time at
// the first and the last point).
constexpr float MinScale = 1e-3f;

struct Ink {
    double x;
    double y;
    double t;
    double s; // arc length so far
};

// The ink lightly smoothed along each stroke, with its arc length; the
// first point of a stroke continues the length of the stroke before.
Wiped<Ink> ink(const Sample& sample)
{
    Wiped<Ink> out;
    out.reserve(sample.pointCount());
    double s = 0;
    for (const Stroke& stroke : sample.strokes) {
        const auto& p = stroke.points;
        const size_t n = p.size();
        for (size_t i = 0; i < n; ++i) {
            double x = p[i].x;
            double y = p[i].y;
            if (i > 0 && i + 1 < n) {
                x = 0.25 * (double(p[i - 1].x) + 2.0 * x + double(p[i + 1].x));
                y = 0.25 * (double(p[i - 1].y) + 2.0 * y + double(p[i + 1].y));
            }
            x /= 100.0;
            y /= 100.0;
            if (i > 0)
                s += std::hypot(x - out.back().x, y - out.back().y);
            out.push_back({x, y, double(p[i].t), s});
        }
    }
    return out;
}

} // namespace

bool features(const Sample& sample, float* out)
{
    const Wiped<Ink> p = ink(sample);
    if (p.size() < 2)
        return false;
    const double length = p.back().s;
    // Less than a pixel of ink is no writing.
    if (!(length >= 1.0) || !std::isfinite(length))
        return false;

    const size_t n = static_cast<size_t>(Points);
    Wiped<double> xs(n), ys(n), ts(n);
    size_t j = 0;
    for (int32_t k = 0; k < Points; ++k) {
        const double target = length * double(k) / double(Points - 1);
        // The segment that holds the target; steps of no length (pen-up
        // jumps, repeated points) are passed over.
        while (j + 2 < p.size() && (p[j + 1].s < target || p[j + 1].s <= p[j].s))
            ++j;
        const Ink& a = p[j];
        const Ink& b = p[j + 1];
        const double d = b.s - a.s;
        const double f = d > 0 ? std::min(1.0, std::max(0.0, (target - a.s) / d)) : 1.0;
        xs[size_t(k)] = a.x + f * (b.x - a.x);
        ys[size_t(k)] = a.y + f * (b.y - a.y);
        ts[size_t(k)] = a.t + f * (b.t - a.t);
    }

    double mx = 0, my = 0;
    for (int32_t k = 0; k < Points; ++k) {
        mx += xs[size_t(k)];
        my += ys[size_t(k)];
    }
    mx /= Points;
    my /= Points;
    double r = 0;
    for (int32_t k = 0; k < Points; ++k)
        r += (xs[size_t(k)] - mx) * (xs[size_t(k)] - mx) + (ys[size_t(k)] - my) * (ys[size_t(k)] - my);
    r = std::sqrt(r / Points);
    if (!(r >= 0.5))
        return false;
    const double t0 = ts.front();
    const double span = ts.back() - t0;
    for (int32_t k = 0; k < Points; ++k) {
        out[k] = float((xs[size_t(k)] - mx) / r);
        out[Points + k] = float((ys[size_t(k)] - my) / r);
        // Without usable times the pen counts as moving evenly.
        out[2 * Points + k] = float(span > 0 ? (ts[size_t(k)] - t0) / span : double(k) / (Points - 1));
    }
    return true;
}

const Norm& builtInNorm()
{
    static const Norm norm = [] {
        Norm n;
        std::vector<double> sum(size_t(Features), 0.0), sq(size_t(Features), 0.0);
        std::vector<float> f(static_cast<size_t>(Features));
        int32_t count = 0;
        for (int32_t i = 0; i < PopulationCount; ++i) {
            const Writer writer(PopulationSeed + uint32_t(i));
            if (!features(writer.sample(1), f.data()))
                continue;
            ++count;
            for (size_t k = 0; k < f.size(); ++k) {
                sum[k] += f[k];
                sq[k] += double(f[k]) * f[k];
            }
        }
        for (size_t k = 0; k < f.size(); ++k) {
            const double mean = sum[k] / count;
            const double var = std::max(0.0, sq[k] / count - mean * mean);
            n.mean[k] = float(mean);
            n.scale[k] = std::max(MinScale, float(std::sqrt(var)));
        }
        return n;
    }();
    return norm;
}

void normalise(const float* raw, const Norm& norm, float* out)
{
    for (int32_t k = 0; k < Features; ++k)
        out[k] = (raw[k] - norm.mean[size_t(k)]) / norm.scale[size_t(k)];
}

void toTemplate(const Norm& norm, float* out)
{
    out[0] = 1.0f;
    out[1] = float(Points);
    out[2] = 3.0f;
    out[3] = 0.0f;
    for (int32_t k = 0; k < Features; ++k) {
        out[TemplateHead + k] = norm.mean[size_t(k)];
        out[TemplateHead + Features + k] = norm.scale[size_t(k)];
    }
}

bool fromTemplate(const float* in, int32_t count, Norm& norm)
{
    if (!in || count != TemplateSize || in[0] != 1.0f || in[1] != float(Points) || in[2] != 3.0f)
        return false;
    Norm n;
    for (int32_t k = 0; k < Features; ++k) {
        const float mean = in[TemplateHead + k];
        const float scale = in[TemplateHead + Features + k];
        if (!std::isfinite(mean) || !std::isfinite(scale) || !(scale >= MinScale))
            return false;
        n.mean[size_t(k)] = mean;
        n.scale[size_t(k)] = scale;
    }
    norm = n;
    return true;
}

const std::vector<float>& alienFeatures()
{
    static const std::vector<float> aliens = [] {
        std::vector<float> all;
        all.reserve(size_t(AlienCount) * Features);
        std::vector<float> f(static_cast<size_t>(Features));
        for (uint32_t seed = AlienSeed; all.size() < size_t(AlienCount) * Features; ++seed) {
            const Writer writer(seed);
            if (features(writer.sample(seed), f.data()))
                all.insert(all.end(), f.begin(), f.end());
        }
        return all;
    }();
    return aliens;
}

} // namespace Pen
