#include "modules/pen/PenSynth.h"

#include <algorithm>
#include <cmath>

namespace Pen {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Subdivisions = 16;

struct Dense {
    double x;
    double y;
    double speed;
};

// Catmull-Rom through the control points, ends repeated.
template <class C>
std::vector<Dense> spline(const std::vector<C>& c)
{
    std::vector<Dense> out;
    const int n = int(c.size());
    if (n == 1) {
        out.push_back({c[0].x, c[0].y, c[0].speed});
        return out;
    }
    for (int i = 0; i + 1 < n; ++i) {
        const C& p0 = c[size_t(std::max(i - 1, 0))];
        const C& p1 = c[size_t(i)];
        const C& p2 = c[size_t(i + 1)];
        const C& p3 = c[size_t(std::min(i + 2, n - 1))];
        for (int k = 0; k < Subdivisions; ++k) {
            const double u = double(k) / Subdivisions;
            const double u2 = u * u;
            const double u3 = u2 * u;
            auto at = [&](double a, double b, double c2, double d) {
                return 0.5 * (2 * b + (c2 - a) * u + (2 * a - 5 * b + 4 * c2 - d) * u2 + (3 * b - a - 3 * c2 + d) * u3);
            };
            out.push_back({at(p0.x, p1.x, p2.x, p3.x), at(p0.y, p1.y, p2.y, p3.y),
                           p1.speed + (p2.speed - p1.speed) * u});
        }
    }
    out.push_back({c.back().x, c.back().y, c.back().speed});
    return out;
}

// A smooth bump of local speed along the writing.
struct Bump {
    double at;
    double width;
    double amount;
};

struct Rest {
    double at;       // fraction of the ink
    double duration; // milliseconds
};

} // namespace

double Random::normal()
{
    // Box-Muller, one value per call.
    double u = unit();
    if (u < 1e-12)
        u = 1e-12;
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * Pi * unit());
}

Writer::Writer(uint32_t seed) : m_seed(seed)
{
    Random r(seed * 2654435761u + 0x3C6EF372u);
    std::vector<Control> stroke;
    double x = 0;
    stroke.push_back({x, r.uniform(0.0, 0.4), r.uniform(0.7, 1.3)});
    const int letters = r.range(4, 7);
    for (int l = 0; l < letters; ++l) {
        const double w = r.uniform(0.5, 0.95);
        const int peaks = r.range(1, 3);
        for (int k = 0; k < peaks; ++k) {
            const double u = x + w * (k + 0.4) / peaks + r.uniform(-0.06, 0.06) * w;
            const double kind = r.unit();
            if (kind < 0.18) {
                // An ascender with its loop: the down stroke runs left of the up stroke.
                const double h = r.uniform(1.6, 2.2);
                stroke.push_back({u, h, r.uniform(0.7, 1.3)});
                stroke.push_back({u - r.uniform(0.08, 0.16), h * 0.55, r.uniform(0.7, 1.3)});
            } else {
                stroke.push_back({u, r.uniform(0.6, 1.05), r.uniform(0.7, 1.3)});
            }
            const double low = kind > 0.9 ? r.uniform(-0.95, -0.6) : r.uniform(-0.05, 0.2);
            stroke.push_back({u + w * 0.5 / peaks, low, r.uniform(0.7, 1.3)});
        }
        x += w;
        if (l + 1 < letters && r.chance(0.25)) {
            m_strokes.push_back(stroke);
            stroke.clear();
            x += r.uniform(0.05, 0.25);
            stroke.push_back({x, r.uniform(0.1, 0.6), r.uniform(0.7, 1.3)});
        }
    }
    m_strokes.push_back(stroke);
    m_words = m_strokes.size();
    if (r.chance(0.5)) {
        // A bar above one of the letters, written last.
        const double at = r.uniform(0.2, std::max(0.3, x - 0.2));
        const double h = r.uniform(1.3, 1.7);
        m_strokes.push_back({{at - 0.2, h, 1.0}, {at, h + r.uniform(-0.1, 0.1), 1.2}, {at + 0.25, h + r.uniform(-0.1, 0.1), 1.0}});
    }
    m_slant = r.uniform(-0.1, 0.45);
    m_size = std::exp(r.uniform(std::log(24.0), std::log(44.0)));
    m_tempo = r.uniform(0.006, 0.014);
    m_pause = r.uniform(60, 250);
    m_pressure = r.uniform(0.35, 0.85);
    // Most people write with the mouse; it moves slower and shakes.
    m_device = r.chance(0.6) ? Mouse : Tablet;
    if (m_device == Mouse) {
        m_tempo *= 0.6;
        m_interval = 10;
        m_shake = r.uniform(0.3, 1.5);
    } else {
        m_interval = r.uniform(5, 10);
        m_shake = 0;
    }
}

Sample Writer::sample(uint32_t seed, const Variation& v, uint16_t padWidth, uint16_t padHeight) const
{
    Random r(seed * 0x85EBCA77u + m_seed * 0xC2B2AE3Du + 0x27D4EB2Fu);
    const double size = m_size * std::exp(r.uniform(-v.size, v.size));
    const double rot = r.uniform(-v.rotate, v.rotate);
    const double shear = m_slant + r.uniform(-v.shear, v.shear);
    const double aspect = 1.0 + r.uniform(-v.aspect, v.aspect);
    const double tempo = m_tempo * (1.0 + r.uniform(-v.tempo, v.tempo));
    const double pressure = m_pressure * r.uniform(0.9, 1.1);
    const double cr = std::cos(rot);
    const double sr = std::sin(rot);
    Bump bumps[3];
    for (Bump& b : bumps)
        b = {r.uniform(0.0, 1.0), r.uniform(0.05, 0.25), r.uniform(-v.hurry, v.hurry)};
    std::vector<Rest> rests;
    for (int i = 0; i < 3; ++i)
        if (r.chance(v.rest / 3.0))
            rests.push_back({r.uniform(0.05, 0.95), r.uniform(60.0, 300.0)});
    const bool tail = r.chance(v.tail);
    const bool cut = r.chance(0.5);
    const double tailAmount = r.uniform(0.3, 1.0);
    // The hand's shake: two slow waves and a little noise, in pixels.
    const double shakeA = m_shake * v.shake * r.uniform(0.5, 1.0);
    const double shakeF1 = r.uniform(0.003, 0.008), shakeF2 = r.uniform(0.003, 0.008);
    const double shakeP1 = r.uniform(0, 2 * Pi), shakeP2 = r.uniform(0, 2 * Pi);

    // Every stroke traced densely, with the tail changed on the word's last.
    std::vector<std::vector<Dense>> paths;
    double inkLength = 0;
    for (size_t si = 0; si < m_strokes.size(); ++si) {
        std::vector<Control> c = m_strokes[si];
        for (Control& p : c) {
            p.x += v.jitter * r.normal();
            p.y += v.jitter * r.normal();
        }
        const bool last = si + 1 == m_words;
        if (tail && last && !cut && c.size() >= 2) {
            // A flourish: the last move carried on a little further.
            const Control& a = c[c.size() - 2];
            const Control& b = c.back();
            const double dx = b.x - a.x, dy = b.y - a.y;
            const double d = std::max(1e-6, std::hypot(dx, dy));
            const double ext = 0.45 * tailAmount;
            c.push_back({b.x + ext * (dx / d) + 0.1 * ext, b.y + ext * (dy / d) + 0.15 * ext, b.speed});
        }
        std::vector<Dense> d = spline(c);
        if (tail && last && cut && d.size() > 2 * Subdivisions) {
            const size_t drop = size_t(double(Subdivisions) * 1.2 * tailAmount);
            d.resize(d.size() - drop);
        }
        for (Dense& p : d) {
            const double sx = (p.x + shear * p.y) * aspect;
            const double sy = p.y;
            p.x = cr * sx - sr * sy;
            p.y = sr * sx + cr * sy;
        }
        for (size_t i = 1; i < d.size(); ++i)
            inkLength += std::hypot(d[i].x - d[i - 1].x, d[i].y - d[i - 1].y);
        paths.push_back(std::move(d));
    }

    struct Timed {
        double x;
        double y;
        double t;
        double p;
    };
    std::vector<std::vector<Timed>> strokes;
    double clock = 0;
    double done = 0; // ink so far
    for (const std::vector<Dense>& d : paths) {
        // Time along the path: slower in tight turns, with the writer's
        // rhythm, the sample's hurries and the pen's rests.
        std::vector<double> times(d.size(), 0.0);
        std::vector<double> rested(d.size(), 0.0); // a rest begins at this point
        for (size_t i = 1; i < d.size(); ++i) {
            const double dx = d[i].x - d[i - 1].x;
            const double dy = d[i].y - d[i - 1].y;
            const double ds = std::hypot(dx, dy);
            double turn = 0;
            if (i + 1 < d.size()) {
                const double a = std::atan2(dy, dx);
                const double b = std::atan2(d[i + 1].y - d[i].y, d[i + 1].x - d[i].x);
                turn = std::fabs(std::remainder(b - a, 2 * Pi));
            }
            const double u = inkLength > 0 ? done / inkLength : 0.0;
            double hurry = 0;
            for (const Bump& b : bumps)
                hurry += b.amount * std::exp(-((u - b.at) / b.width) * ((u - b.at) / b.width));
            const double curvature = ds > 1e-9 ? turn / ds : 0.0;
            const double speed = tempo * d[i].speed * std::exp(hurry) / std::cbrt(1.0 + 0.5 * curvature);
            times[i] = times[i - 1] + ds / speed;
            const double before = done;
            done += ds;
            for (const Rest& rest : rests)
                if (inkLength > 0 && before / inkLength < rest.at && done / inkLength >= rest.at) {
                    rested[i] += rest.duration;
                    times[i] += rest.duration;
                }
        }
        std::vector<Timed> points;
        const double total = times.back();
        size_t j = 0;
        const double step = m_interval;
        for (double t = 0;; t += m_device == Mouse ? (r.chance(0.1) ? 2 * step : step) : step * r.uniform(0.9, 1.1)) {
            const bool last = t >= total;
            if (last)
                t = total;
            while (j + 1 < d.size() && times[j + 1] < t)
                ++j;
            double x = d[j].x;
            double y = d[j].y;
            if (j + 1 < d.size() && times[j + 1] > times[j]) {
                // During a rest the pen stays where the rest began.
                const double start = times[j];
                const double moving = times[j + 1] - rested[j + 1] - start;
                const double f = moving > 0 ? std::min(1.0, (t - start) / moving) : 1.0;
                x += f * (d[j + 1].x - x);
                y += f * (d[j + 1].y - y);
            }
            const double ramp = std::min(1.0, std::min(t, total - t) / 30.0);
            const double p = pressure * (0.3 + 0.7 * ramp) + 0.02 * r.normal();
            points.push_back({x, y, clock + t, std::min(1.0, std::max(0.02, p))});
            if (last)
                break;
        }
        strokes.push_back(points);
        clock += total + m_pause * std::exp(r.uniform(-std::log(v.gap), std::log(v.gap)));
    }

    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (const auto& s : strokes)
        for (const Timed& p : s) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
    const double w = (maxX - minX) * size;
    const double h = (maxY - minY) * size;
    const double margin = 8;
    const double left = w + 2 * margin < padWidth ? r.uniform(margin, padWidth - w - margin) : (padWidth - w) / 2;
    const double top = h + 2 * margin < padHeight ? r.uniform(margin, padHeight - h - margin) : (padHeight - h) / 2;

    Sample out;
    out.width = padWidth;
    out.height = padHeight;
    for (const auto& s : strokes) {
        Stroke stroke;
        stroke.device = m_device;
        for (const Timed& p : s) {
            double x = left + (p.x - minX) * size;
            double y = top + (maxY - p.y) * size;
            Point q;
            if (m_device == Mouse) {
                x += shakeA * std::sin(shakeP1 + 2 * Pi * shakeF1 * p.t) + 0.3 * m_shake * v.shake * r.normal();
                y += shakeA * std::sin(shakeP2 + 2 * Pi * shakeF2 * p.t) + 0.3 * m_shake * v.shake * r.normal();
                // Whole pixels, and no event while the mouse stands still.
                q.x = int32_t(std::lround(x)) * 100;
                q.y = int32_t(std::lround(y)) * 100;
                if (!stroke.points.empty() && stroke.points.back().x == q.x && stroke.points.back().y == q.y)
                    continue;
            } else {
                q.x = int32_t(std::lround((x + 0.004 * size * r.normal()) * 100.0));
                q.y = int32_t(std::lround((y + 0.004 * size * r.normal()) * 100.0));
                q.pressure = uint16_t(std::lround(p.p * 65535.0));
            }
            q.t = uint32_t(std::lround(p.t));
            stroke.points.push_back(q);
        }
        out.strokes.push_back(std::move(stroke));
    }
    return out;
}

} // namespace Pen
