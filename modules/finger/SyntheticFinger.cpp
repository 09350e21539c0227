#include "modules/finger/SyntheticFinger.h"

#include "modules/finger/Gabor.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace Finger {

namespace {

constexpr float Pi = 3.14159265358979f;

// Draws that do not depend on the standard library's distributions, so that
// a seed gives the same finger with every compiler.
class Draw {
public:
    explicit Draw(uint32_t seed) : m_gen(seed) {}
    float unit() { return float(double(m_gen()) / 4294967296.0); }
    float uniform(float a, float b) { return a + (b - a) * unit(); }
    float normal()
    {
        const float u = std::max(unit(), 1e-7f);
        return std::sqrt(-2.0f * std::log(u)) * std::cos(2.0f * Pi * unit());
    }
    uint32_t next() { return uint32_t(m_gen()); }

private:
    std::mt19937 m_gen;
};

float sampleBilinear(const std::vector<float>& f, int w, int h, float x, float y, float outside)
{
    if (!(x >= 0.0f && y >= 0.0f && x <= float(w - 1) && y <= float(h - 1)))
        return outside;
    const int x0 = std::min(int(x), w - 2);
    const int y0 = std::min(int(y), h - 2);
    const float fx = x - float(x0);
    const float fy = y - float(y0);
    const float* p = f.data() + size_t(y0) * size_t(w) + size_t(x0);
    return (p[0] * (1 - fx) + p[1] * fx) * (1 - fy) + (p[w] * (1 - fx) + p[w + 1] * fx) * fy;
}

// A smooth random field in [0, 1]: a few waves of long wavelength.
struct Smooth {
    explicit Smooth(Draw& draw, float wavelength)
    {
        for (int i = 0; i < 4; ++i) {
            const float a = draw.uniform(0.0f, 2.0f * Pi);
            const float k = 2.0f * Pi / (wavelength * draw.uniform(0.7f, 1.4f));
            kx[i] = k * std::cos(a);
            ky[i] = k * std::sin(a);
            phase[i] = draw.uniform(0.0f, 2.0f * Pi);
        }
    }
    float operator()(float x, float y) const
    {
        float s = 0;
        for (int i = 0; i < 4; ++i)
            s += std::sin(kx[i] * x + ky[i] * y + phase[i]);
        return 0.5f + s / 8.0f;
    }
    float kx[4], ky[4], phase[4];
};

} // namespace

Press Press::random(uint32_t seed, float maxDegrees)
{
    Draw draw(seed ^ 0x9E3779B9u);
    Press p;
    p.dx = draw.uniform(-0.1f, 0.1f) * float(SyntheticFinger::Width);
    p.dy = draw.uniform(-0.1f, 0.1f) * float(SyntheticFinger::Height);
    p.angle = draw.uniform(-maxDegrees, maxDegrees) * Pi / 180.0f;
    p.pressure = draw.uniform(-0.8f, 0.8f);
    p.noise = draw.uniform(4.0f, 14.0f);
    p.seed = draw.next();
    p.stretch = draw.uniform(1.0f, 6.0f);
    if (draw.unit() < 1.0f / 3.0f) {
        p.cut = draw.uniform(0.1f, 0.33f);
        p.side = int(draw.unit() * 4.0f) % 4;
    }
    return p;
}

SyntheticFinger::SyntheticFinger(uint32_t seed)
{
    Draw draw(seed * 2654435761u + 12345u);
    const float mx = float(MasterWidth) / 2.0f;
    const float my = float(MasterHeight) / 2.0f;
    m_cx = mx + draw.uniform(-10.0f, 10.0f);
    m_cy = my + draw.uniform(-8.0f, 8.0f);
    m_ax = draw.uniform(108.0f, 124.0f);
    m_ay = draw.uniform(146.0f, 166.0f);
    m_period = draw.uniform(8.4f, 10.8f);

    // Pattern classes roughly as often as people have them.
    const float c = draw.unit();
    m_pattern = c < 0.06f ? Arch : c < 0.11f ? TentedArch : c < 0.42f ? LeftLoop : c < 0.73f ? RightLoop : Whorl;
    const float coreX = m_cx + draw.uniform(-14.0f, 14.0f);
    const float coreY = m_cy + draw.uniform(-40.0f, 0.0f);
    switch (m_pattern) {
    case Arch:
        m_archX = coreX;
        m_archWidth = draw.uniform(45.0f, 75.0f);
        m_archHeight = draw.uniform(0.6f, 1.3f);
        break;
    case TentedArch:
        m_cores = {coreX, coreY};
        m_deltas = {coreX + draw.uniform(-6.0f, 6.0f), coreY + draw.uniform(28.0f, 45.0f)};
        break;
    case LeftLoop:
    case RightLoop: {
        const float side = m_pattern == LeftLoop ? 1.0f : -1.0f;
        m_cores = {coreX, coreY};
        m_deltas = {coreX + side * draw.uniform(55.0f, 90.0f), coreY + draw.uniform(60.0f, 100.0f)};
        break;
    }
    case Whorl: {
        const float gap = draw.uniform(14.0f, 30.0f);
        const float tilt = draw.uniform(-10.0f, 10.0f);
        m_cores = {coreX - tilt / 2, coreY + 10.0f - gap / 2, coreX + tilt / 2, coreY + 10.0f + gap / 2};
        m_deltas = {coreX - draw.uniform(60.0f, 90.0f), coreY + draw.uniform(65.0f, 100.0f),
                    coreX + draw.uniform(60.0f, 90.0f), coreY + draw.uniform(65.0f, 100.0f)};
        break;
    }
    }
    for (int i = 0; i < 4; ++i) {
        const float a = draw.uniform(0.0f, 2.0f * Pi);
        const float k = 2.0f * Pi / draw.uniform(140.0f, 420.0f);
        m_waves.insert(m_waves.end(), {draw.uniform(0.03f, 0.10f), k * std::cos(a), k * std::sin(a),
                                       draw.uniform(0.0f, 2.0f * Pi)});
    }
    grow(draw.next());
}

float SyntheticFinger::orientation(float x, float y) const
{
    float theta = 0.0f;
    if (m_pattern == Arch) {
        // Ridges y = y0 - h(y0) * exp(-u^2 / 2): a bump that flattens towards the base.
        const float u = (x - m_archX) / m_archWidth;
        const float fall = std::clamp((y - (m_cy - m_ay)) / (2.0f * m_ay), 0.0f, 1.0f);
        const float slope = m_archHeight * (1.0f - fall) * u * std::exp(-u * u / 2.0f);
        theta = std::atan(slope);
    } else {
        // Each core turns the flow by half its angle, each delta back.
        for (size_t i = 0; i + 1 < m_cores.size(); i += 2)
            theta += 0.5f * std::atan2(y - m_cores[i + 1], x - m_cores[i]);
        for (size_t i = 0; i + 1 < m_deltas.size(); i += 2)
            theta -= 0.5f * std::atan2(y - m_deltas[i + 1], x - m_deltas[i]);
    }
    for (size_t i = 0; i + 3 < m_waves.size(); i += 4)
        theta += m_waves[i] * std::sin(m_waves[i + 1] * x + m_waves[i + 2] * y + m_waves[i + 3]);
    return theta;
}

// Ridges grow from noise under filters tuned to the local flow and the
// finger's ridge period, on a grid of half the resolution; the result is
// brought up to full resolution.
void SyntheticFinger::grow(uint32_t seed)
{
    constexpr int Bins = 32;
    constexpr int R = 4;
    constexpr int K = 2 * R + 1;
    const int w = MasterWidth / 2;
    const int h = MasterHeight / 2;
    const float period = m_period / 2.0f;
    const float sigma = 0.42f * period;

    std::vector<float> kernels(size_t(Bins) * K * K);
    for (int b = 0; b < Bins; ++b) {
        const float t = Pi * float(b) / float(Bins);
        const float nx = -std::sin(t), ny = std::cos(t);
        zeroMeanGabor<float>(kernels.data() + size_t(b) * K * K, R, sigma, period, nx, ny);
    }
    std::vector<uint8_t> bin(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float t = orientation(2.0f * float(x) + 0.5f, 2.0f * float(y) + 0.5f);
            t = std::fmod(t, Pi);
            if (t < 0)
                t += Pi;
            bin[size_t(y) * size_t(w) + size_t(x)] = uint8_t(int(t / Pi * Bins + 0.5f) % Bins);
        }

    // Only the footprint and a rim around it need ridges.
    std::vector<uint8_t> inside(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float ex = (2.0f * float(x) - m_cx) / (m_ax * 1.12f + 2.0f * R);
            const float ey = (2.0f * float(y) - m_cy) / (m_ay * 1.12f + 2.0f * R);
            inside[size_t(y) * size_t(w) + size_t(x)] = ex * ex + ey * ey <= 1.0f;
        }

    Draw draw(seed);
    std::vector<float> img(size_t(w) * size_t(h)), out(img.size());
    for (float& v : img)
        v = draw.uniform(-1.0f, 1.0f);
    for (int it = 0; it < 6; ++it) {
        double energy = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t at = size_t(y) * size_t(w) + size_t(x);
                if (!inside[at]) {
                    out[at] = 0.0f;
                    continue;
                }
                const float* k = kernels.data() + size_t(bin[at]) * K * K;
                // One running sum per column keeps the additions independent.
                float acc[K] = {};
                for (int v = -R; v <= R; ++v) {
                    const int yy = std::clamp(y + v, 0, h - 1);
                    const float* kr = k + (v + R) * K;
                    if (x >= R && x < w - R) {
                        const float* row = img.data() + size_t(yy) * size_t(w) + size_t(x - R);
                        for (int u = 0; u < K; ++u)
                            acc[u] += kr[u] * row[u];
                    } else {
                        for (int u = 0; u < K; ++u)
                            acc[u] += kr[u] * img[size_t(yy) * size_t(w) + size_t(std::clamp(x + u - R, 0, w - 1))];
                    }
                }
                float s = 0;
                for (int u = 0; u < K; ++u)
                    s += acc[u];
                out[at] = s;
                energy += double(s) * s;
            }
        const float scale = 1.8f / float(std::sqrt(energy / double(out.size())) + 1e-9);
        for (size_t i = 0; i < img.size(); ++i)
            img[i] = std::clamp(out[i] * scale, -1.0f, 1.0f);
    }

    m_master.assign(size_t(MasterWidth) * size_t(MasterHeight), 0.0f);
    for (int y = 0; y < MasterHeight; ++y)
        for (int x = 0; x < MasterWidth; ++x)
            m_master[size_t(y) * size_t(MasterWidth) + size_t(x)] =
                sampleBilinear(img, w, h, (float(x) - 0.5f) / 2.0f, (float(y) - 0.5f) / 2.0f, 0.0f);
}

GreyImage SyntheticFinger::impression(const Press& press) const
{
    Draw draw(press.seed);
    const Smooth contact(draw, 90.0f);
    const Smooth stretchX(draw, 220.0f), stretchY(draw, 220.0f);
    // Dry skin breaks ridges at a finer grain than the contact patches.
    const Smooth breaks(draw, 16.0f);
    const float stretch = std::clamp(press.stretch, 0.0f, 12.0f);
    const float cut = std::clamp(press.cut, 0.0f, 0.6f);
    const float pressure = std::clamp(press.pressure, -1.0f, 1.0f);
    const float footprint = 1.0f + 0.06f * pressure;
    const float c = std::cos(press.angle), s = std::sin(press.angle);
    const float wx = float(Width) / 2.0f, wy = float(Height) / 2.0f;
    const float mx = float(MasterWidth) / 2.0f, my = float(MasterHeight) / 2.0f;

    // Skin stretch and contact vary slowly: worked out on a coarse grid.
    constexpr int G = 8;
    const int gw = Width / G + 2, gh = Height / G + 2;
    std::vector<float> grid(size_t(gw) * size_t(gh) * 3);
    for (int j = 0; j < gh; ++j)
        for (int i = 0; i < gw; ++i) {
            float* g = grid.data() + (size_t(j) * size_t(gw) + size_t(i)) * 3;
            const float x = float(i * G), y = float(j * G);
            g[0] = stretch * (2.0f * stretchX(x, y) - 1.0f);
            g[1] = stretch * (2.0f * stretchY(x, y) - 1.0f);
            g[2] = contact(x, y);
        }

    GreyImage image;
    image.width = Width;
    image.height = Height;
    image.dpi = 500;
    image.pixels.resize(size_t(Width) * size_t(Height));
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            float local[3];
            {
                const int i = x / G, j = y / G;
                const float u = float(x % G) / G, v = float(y % G) / G;
                const float* g = grid.data() + (size_t(j) * size_t(gw) + size_t(i)) * 3;
                const float* d = g + size_t(gw) * 3;
                for (int q = 0; q < 3; ++q)
                    local[q] = (g[q] * (1 - u) + g[q + 3] * u) * (1 - v) + (d[q] * (1 - u) + d[q + 3] * u) * v;
            }
            // Window point to finger point: undo the shift, then the turn.
            const float px = float(x) - wx - press.dx, py = float(y) - wy - press.dy;
            const float fx = c * px + s * py + mx + local[0];
            const float fy = -s * px + c * py + my + local[1];
            const float ex = (fx - m_cx) / (m_ax * footprint), ey = (fy - m_cy) / (m_ay * footprint);
            const float e = ex * ex + ey * ey;
            const float mask = std::clamp((1.0f - e) / 0.18f, 0.0f, 1.0f);
            // The part of the window the finger misses, with a soft edge.
            const float across = press.side == 0   ? float(x) / Width
                                 : press.side == 1 ? float(y) / Height
                                 : press.side == 2 ? 1.0f - float(x) / Width
                                                   : 1.0f - float(y) / Height;
            const float touch = cut > 0.0f ? std::clamp((across - cut) * 25.0f, 0.0f, 1.0f) : 1.0f;
            float grey = 232.0f;
            if (mask > 0.0f && touch > 0.0f) {
                const float ridge = sampleBilinear(m_master, MasterWidth, MasterHeight, fx, fy, 0.0f);
                // Light presses touch the skin in patches and leave thin ridges.
                const float patch =
                    pressure < 0 ? -pressure * (0.9f * (local[2] - 0.35f) + 0.5f * (breaks(float(x), float(y)) - 0.45f))
                                 : 0.0f;
                const float ink = std::clamp(0.5f + 1.3f * (ridge + 0.45f * pressure - patch), 0.0f, 1.0f);
                grey -= touch * mask * 190.0f * ink;
            }
            grey += press.noise * draw.normal();
            image.pixels[size_t(y) * size_t(Width) + size_t(x)] = uint8_t(std::clamp(grey, 0.0f, 255.0f) + 0.5f);
        }
    return image;
}

} // namespace Finger
