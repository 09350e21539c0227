#include "modules/pen/PenFeatures.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

#include "modules/common/Discriminant.h"
#include "modules/pen/PenSynth.h"

namespace Pen {

namespace {

// The built-in population: writers, and samples of each, every one with a
// tail added or cut short. A tail is what moves a writer's own samples most,
// and an owner's fresh sample fails mostly by one; the discriminant, seeing
// it in every sample, leans the least on what it moves.
constexpr int32_t PopulationCount = 1024;
constexpr int32_t PopulationSamples = 4;
constexpr double PopulationTail = 1.0;
// Of the within-writer covariances this share goes towards their diagonal.
constexpr double Shrink = 0.7;
// A writer's own spread maps to this many units. The converter's training
// counts outliers against a window with a fixed slack, which on a much
// smaller scale swamps the samples' spread; measured, one unit and more give
// the same own rate, a fiftieth of it far less.
constexpr double Unit = 1.0;
// The points are averaged along the writing with a Gaussian whose width, in
// points, grows from the first width at the start to the last at the end. A
// control point a little off, or an end drawn longer or shorter, moves every
// later point along the ink; unsmoothed, that shows as sharp and independent
// changes in many features, which a dozen enrolment samples cannot span. A
// tail added or cut short moves the points the more the later they lie, so
// the later points are averaged over more of the writing. Measured, the
// owner's fresh samples then fail far less; a last width much wider lets
// look-alike writers in more often.
constexpr double SmoothingFirst = 2.0;
constexpr double SmoothingLast = 3.5;
// The centroid, the line and the radius are taken over this share of
// the points, from the start: the end of a word is where it is drawn out or
// cut short, and would move them all.
constexpr double Steady = 0.7;
// The most the ink is turned back to its line, in radians.
constexpr double MaxTurn = 0.5;
// The least writing time per length counted at a point, as a share of the
// sample's average: no point is taken as faster (its logarithm stays
// finite where the times stand still).
constexpr double MinPace = 0.05;
// Below this a feature counts as constant over the population.
constexpr float MinScale = 1e-3f;
// No feature's population mean lies this far out (the ink is measured in
// its own radii, the pace on a log scale): a template saying so is damaged,
// and would normalise samples past what a float holds.
constexpr float MaxMean = 1e3f;
// A turn of the pen across the line counts once it comes back this share of
// the writing's radius. Measured on the tuning writers, a lower share lets
// look-alike writers in more often, a higher one fails more of the owner's
// samples.
constexpr double TurnThreshold = 0.15;
// A lift of the pen counts in full where it comes down again this share of
// the writing's radius away, in part where nearer. Measured on the tuning
// writers, counting every lift in full lets look-alike writers in as often
// (and a lift in place breaks the sample), counting only lifts past it far
// more often; counting in full from a far smaller share fails more of the
// owner's samples.
constexpr double LiftThreshold = 0.15;

struct Ink {
    double x;
    double y;
    double t; // time the pen spent writing so far: rests and pen-up gaps left out
    double s; // arc length so far
    size_t stroke; // the stroke it lies on
};

// The ink lightly smoothed along each stroke, with its arc length and its
// writing time. A step that takes far longer than the sample's usual pace
// is the pen resting: it counts as written at a third of that pace, so
// that a pause here or there or a longer gap between strokes leaves the
// rest of the timing as it was.
Wiped<Ink> ink(const Sample& sample)
{
    Wiped<Ink> out;
    out.reserve(sample.pointCount());
    Wiped<double> dt, ds; // per step inside a stroke
    double s = 0;
    size_t begun = 0;
    for (const Stroke& stroke : sample.strokes) {
        const auto& p = stroke.points;
        if (p.empty())
            continue;
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
            double step = 0;
            if (i > 0) {
                step = std::hypot(x - out.back().x, y - out.back().y);
                s += step;
                ds.push_back(step);
                dt.push_back(double(p[i].t) - double(p[i - 1].t));
            }
            out.push_back({x, y, double(p[i].t), s, begun});
        }
        ++begun;
    }
    // The usual pace: the median of the steps' speeds, each step weighted
    // by its length.
    Wiped<std::pair<double, double>> speeds;
    double inked = 0;
    for (size_t k = 0; k < ds.size(); ++k)
        if (ds[k] > 0 && dt[k] > 0) {
            speeds.push_back({ds[k] / dt[k], ds[k]});
            inked += ds[k];
        }
    double pace = 0;
    if (!speeds.empty()) {
        std::sort(speeds.begin(), speeds.end());
        double acc = 0;
        for (const auto& v : speeds) {
            acc += v.second;
            if (acc >= inked / 2) {
                pace = v.first;
                break;
            }
        }
    }
    // Writing time: inside strokes only, no step slower than a third of
    // the pace.
    double t = 0;
    size_t k = 0;
    size_t at = 0;
    for (const Stroke& stroke : sample.strokes) {
        for (size_t i = 0; i < stroke.points.size(); ++i, ++at) {
            if (i > 0) {
                double d = std::max(0.0, dt[k]);
                if (pace > 0)
                    d = std::min(d, 3.0 * ds[k] / pace);
                t += d;
                ++k;
            }
            out[at].t = t;
        }
    }
    return out;
}

// A Gaussian average over the neighbouring points of each channel, its
// width growing along the writing, cut at three widths and weighed anew at
// the ends.
void smooth(std::initializer_list<Wiped<double>*> channels)
{
    const int32_t n = Points;
    Wiped<double> kernel;
    Wiped<Wiped<double>> in;
    for (const Wiped<double>* c : channels)
        in.push_back(*c);
    for (int32_t k = 0; k < n; ++k) {
        const double width = SmoothingFirst + (SmoothingLast - SmoothingFirst) * double(k) / double(n - 1);
        const int32_t reach = int32_t(3.0 * width);
        const int32_t lo = std::max(0, k - reach), hi = std::min(n - 1, k + reach);
        kernel.assign(size_t(hi - lo + 1), 0.0);
        double weight = 0;
        for (int32_t q = lo; q <= hi; ++q) {
            const double d = double(q - k) / width;
            kernel[size_t(q - lo)] = std::exp(-0.5 * d * d);
            weight += kernel[size_t(q - lo)];
        }
        size_t c = 0;
        for (Wiped<double>* out : channels) {
            double sum = 0;
            for (int32_t q = lo; q <= hi; ++q)
                sum += kernel[size_t(q - lo)] * in[c][size_t(q)];
            (*out)[size_t(k)] = sum / weight;
            ++c;
        }
    }
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
    Wiped<size_t> at(n);
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
        at[size_t(k)] = f < 0.5 ? j : j + 1;
    }

    smooth({&xs, &ys, &ts});

    const int32_t steady = int32_t(Steady * Points);
    double mx = 0, my = 0;
    for (int32_t k = 0; k < steady; ++k) {
        mx += xs[size_t(k)];
        my += ys[size_t(k)];
    }
    mx /= steady;
    my /= steady;
    // The writing turned back to its line, the way from the centroid of the
    // first half of it to that of the second: a sample written a few degrees
    // askew gives the same features. The main axis would not do: a short
    // word of tall letters stands about as high as it is wide, and its axis
    // swings from one sample to the next, upright leaning either way.
    const int32_t half = steady / 2;
    double ax = 0, ay = 0, bx = 0, by = 0;
    for (int32_t k = 0; k < half; ++k) {
        ax += xs[size_t(k)];
        ay += ys[size_t(k)];
        bx += xs[size_t(half + k)];
        by += ys[size_t(half + k)];
    }
    double angle = std::atan2(by - ay, bx - ax);
    // It is turned no further than a line of writing leans, and a little
    // more lean turns it a little more, not back to upright at once.
    if (!std::isfinite(angle))
        angle = 0;
    angle = std::max(-MaxTurn, std::min(MaxTurn, angle));
    const double c = std::cos(angle), sn = std::sin(angle);
    double r = 0;
    for (int32_t k = 0; k < Points; ++k) {
        const double dx = xs[size_t(k)] - mx, dy = ys[size_t(k)] - my;
        xs[size_t(k)] = c * dx + sn * dy;
        ys[size_t(k)] = -sn * dx + c * dy;
        if (k < steady)
            r += dx * dx + dy * dy;
    }
    r = std::sqrt(r / steady);
    if (!(r >= 0.5))
        return false;
    const double span = ts.back() - ts.front();
    // The pace: writing time per length of ink at each point, on a log
    // scale; the length in radii of the writing, so that its size does not
    // matter, its speed does. Without usable times the pen counts as moving
    // evenly at a millisecond per radius.
    const double even = span / double(Points - 1);
    const double perRadius = span > 0 ? std::log(span / (length / r)) : 0.0;
    for (int32_t k = 0; k < Points; ++k) {
        out[k] = float(xs[size_t(k)] / r);
        out[Points + k] = float(ys[size_t(k)] / r);
        const int32_t a = std::max(0, k - 1), b = std::min(Points - 1, k + 1);
        const double pace = span > 0 ? (ts[size_t(b)] - ts[size_t(a)]) / (double(b - a) * even) : 1.0;
        out[2 * Points + k] = float(std::log(std::max(MinPace, pace)) + perRadius);
    }
    // The pen's lifts, its turns up and down across the line, and the height
    // of the last turn. Smoothed along the ink, x and y keep little more than
    // a word's centre line, and zigzag words of any count of peaks share much
    // the same one; these count the strokes and peaks wherever each falls.
    // A turn counts where the pen comes back from its last extreme by more
    // than a share of the writing's radius, well above a mouse hand's shake;
    // the count starts at the first point, and a jump between strokes moves
    // the pen like ink does (a writer keeps the order of strokes). A lift
    // counts by how far the pen comes down again from where it rose, in full
    // from a share of the radius on: a mouse button let go for a moment moves
    // nothing, and a lift that goes a little further one time than the next
    // moves the count a little, not by one.
    const double threshold = TurnThreshold * r;
    Wiped<double> lifted(p.size()), counted(p.size()), height(p.size());
    {
        double up = 0;
        const double start = -sn * p[0].x + c * p[0].y;
        double extreme = start, hi = start, lo = start, count = 0;
        int dir = 0;
        for (size_t i = 0; i < p.size(); ++i) {
            if (i > 0 && p[i].stroke != p[i - 1].stroke)
                up += std::min(1.0, std::hypot(p[i].x - p[i - 1].x, p[i].y - p[i - 1].y) / (LiftThreshold * r));
            lifted[i] = up;
            const double v = -sn * p[i].x + c * p[i].y;
            if (dir == 0) {
                if (std::fabs(v - start) > threshold) {
                    dir = v > start ? 1 : -1;
                    extreme = v;
                }
            } else if (dir * (v - extreme) > 0) {
                extreme = v;
            } else if (dir * (extreme - v) > threshold) {
                dir = -dir;
                extreme = v;
                count += 1;
            }
            if (dir == 1)
                hi = extreme;
            else if (dir == -1)
                lo = extreme;
            counted[i] = count;
            height[i] = (hi - lo) / r;
        }
    }
    Wiped<double> lifts(n), turns(n), heights(n);
    for (int32_t k = 0; k < Points; ++k) {
        lifts[size_t(k)] = lifted[at[size_t(k)]];
        turns[size_t(k)] = counted[at[size_t(k)]];
        heights[size_t(k)] = height[at[size_t(k)]];
    }
    smooth({&lifts, &turns, &heights});
    for (int32_t k = 0; k < Points; ++k) {
        out[3 * Points + k] = float(lifts[size_t(k)]);
        out[4 * Points + k] = float(turns[size_t(k)]);
        out[5 * Points + k] = float(heights[size_t(k)]);
    }
    return true;
}

namespace {

// The built-in population's normalisation, and the discriminant over the
// normalised features of its writers' samples.
struct Population {
    Population()
    {
        const size_t F = size_t(Features);
        std::vector<std::vector<std::vector<float>>> writers;
        std::vector<float> f(F);
        Variation v;
        v.tail = PopulationTail;
        for (int32_t i = 0; i < PopulationCount; ++i) {
            const Writer writer(PopulationSeed + uint32_t(i));
            std::vector<std::vector<float>> own;
            for (uint32_t k = 1; k <= uint32_t(PopulationSamples); ++k)
                if (features(writer.sample(k, v), f.data()))
                    own.push_back(f);
            if (own.size() >= 2)
                writers.push_back(std::move(own));
        }
        // Centred on the population's mean, scaled by the spread of a
        // writer's own samples (averaged over the population): a feature
        // that wanders from one sample to the next weighs less.
        std::vector<double> sum(F, 0.0), within(F, 0.0);
        double count = 0;
        for (const std::vector<std::vector<float>>& own : writers) {
            const double n = double(own.size());
            for (size_t j = 0; j < F; ++j) {
                double ws = 0, wq = 0;
                for (const std::vector<float>& x : own) {
                    ws += x[j];
                    wq += double(x[j]) * x[j];
                }
                sum[j] += ws;
                const double m = ws / n;
                within[j] += std::max(0.0, wq / n - m * m) * n / (n - 1);
            }
            count += n;
        }
        if (writers.empty())
            return;
        for (size_t j = 0; j < F; ++j) {
            norm.mean[j] = float(sum[j] / count);
            norm.scale[j] = std::max(MinScale, float(std::sqrt(within[j] / double(writers.size())) / Unit));
        }
        std::vector<const float*> all;
        std::vector<std::vector<const float*>> repeats(writers.size());
        for (size_t w = 0; w < writers.size(); ++w)
            for (std::vector<float>& x : writers[w]) {
                f = x;
                normalise(f.data(), norm, x.data());
                all.push_back(x.data());
                repeats[w].push_back(x.data());
            }
        Common::Discriminant::Shape shape;
        shape.size = Features;
        shape.outputs = Features;
        shape.used = Directions;
        shape.turned = true;
        shape.shrink = Shrink;
        shape.gain = Unit;
        discriminant = Common::Discriminant::fit(shape, all, repeats);
    }
    Norm norm;
    Common::Discriminant discriminant;
};

const Population& population()
{
    static const Population p;
    return p;
}

} // namespace

const Norm& builtInNorm() { return population().norm; }

void toParameters(const float* raw, const Norm& norm, float* out)
{
    Wiped<float> scaled(static_cast<size_t>(Features));
    normalise(raw, norm, scaled.data());
    population().discriminant.apply(scaled.data(), out);
}

void normalise(const float* raw, const Norm& norm, float* out)
{
    for (int32_t k = 0; k < Features; ++k)
        out[k] = (raw[k] - norm.mean[size_t(k)]) / norm.scale[size_t(k)];
}

void toTemplate(const Norm& norm, float* out)
{
    out[0] = float(TemplateVersion);
    out[1] = float(Points);
    out[2] = float(Channels);
    out[3] = 0.0f;
    for (int32_t k = 0; k < Features; ++k) {
        out[TemplateHead + k] = norm.mean[size_t(k)];
        out[TemplateHead + Features + k] = norm.scale[size_t(k)];
    }
}

bool fromTemplate(const float* in, int32_t count, Norm& norm)
{
    if (!in || count != TemplateSize || in[0] != float(TemplateVersion) || in[1] != float(Points) || in[2] != float(Channels))
        return false;
    Norm n;
    for (int32_t k = 0; k < Features; ++k) {
        const float mean = in[TemplateHead + k];
        const float scale = in[TemplateHead + Features + k];
        if (!(std::fabs(mean) <= MaxMean) || !std::isfinite(scale) || !(scale >= MinScale))
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
