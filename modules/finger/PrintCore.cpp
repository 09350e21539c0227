#include "modules/finger/PrintCore.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "qtnb/Wipe.h"

namespace Finger {

namespace {

// The filters' reach: a Gaussian of two cells, cut at five.
constexpr float Sigma = 2.0f;
constexpr int Reach = 5;
constexpr int Side = 2 * Reach + 1;
// A whorl's centre fits its pattern about half as well as a loop's core
// fits its own; doubled, the two compare.
constexpr float WhorlWeight = 2.0f;
// Only cells well inside the print are candidates: at the print's edge the
// flow is cut off and fits anything.
constexpr float Inside = 0.9f;

struct Kernels {
    Kernels()
    {
        for (int v = -Reach; v <= Reach; ++v)
            for (int u = -Reach; u <= Reach; ++u) {
                const size_t k = size_t(v + Reach) * Side + size_t(u + Reach);
                const float r = std::sqrt(float(u * u + v * v));
                const float g = std::exp(-r * r / (2 * Sigma * Sigma));
                // (u + iv) g and (u + iv)^2 / r g: both of magnitude r g.
                loopRe[k] = float(u) * g;
                loopIm[k] = float(v) * g;
                whorlRe[k] = r > 0 ? float(u * u - v * v) / r * g : 0.0f;
                whorlIm[k] = r > 0 ? 2.0f * float(u * v) / r * g : 0.0f;
                deltaRe[k] = float(u) * g;
                deltaIm[k] = -float(v) * g;
                norm += r * g;
            }
    }
    float loopRe[Side * Side], loopIm[Side * Side], whorlRe[Side * Side], whorlIm[Side * Side];
    float deltaRe[Side * Side], deltaIm[Side * Side];
    float norm = 0;
};

const Kernels& kernels()
{
    static const Kernels k;
    return k;
}

// The offset of a peak from its cell: the vertex of the parabola through the
// cell and its two neighbours.
float vertex(float left, float mid, float right)
{
    if (left < 0 || right < 0)
        return 0.0f;
    const float d = left - 2 * mid + right;
    return d < 0 ? std::clamp(0.5f * (left - right) / d, -0.5f, 0.5f) : 0.0f;
}

// The field's flow and weight at the centre of every cell.
struct CellFlow {
    explicit CellFlow(const RidgeField& field) : cols(field.cols()), rows(field.rows())
    {
        const size_t n = size_t(cols) * size_t(rows);
        re.resize(n);
        im.resize(n);
        weight.resize(n);
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < cols; ++i) {
                const size_t k = size_t(j) * size_t(cols) + size_t(i);
                field.sample((float(i) + 0.5f) * RidgeField::Cell, (float(j) + 0.5f) * RidgeField::Cell, re[k],
                             im[k], weight[k]);
            }
    }
    ~CellFlow()
    {
        for (std::vector<float>* v : {&re, &im, &weight})
            Nb::wipe(v->data(), v->size() * sizeof(float));
    }
    // The magnitude of the flow's correlation with a pattern at cell (i, j);
    // cells off the image count as no flow.
    float fit(int i, int j, const float* hr, const float* hi) const
    {
        float sr = 0, si = 0;
        for (int v = std::max(-Reach, -j); v <= std::min(Reach, rows - 1 - j); ++v)
            for (int u = std::max(-Reach, -i); u <= std::min(Reach, cols - 1 - i); ++u) {
                const size_t at = size_t(j + v) * size_t(cols) + size_t(i + u);
                const size_t k = size_t(v + Reach) * Side + size_t(u + Reach);
                sr += re[at] * hr[k] + im[at] * hi[k];
                si += im[at] * hr[k] - re[at] * hi[k];
            }
        return std::sqrt(sr * sr + si * si) / kernels().norm;
    }
    int cols, rows;
    std::vector<float> re, im, weight;
};

} // namespace

std::vector<PrintDelta> findDeltas(const RidgeField& field, const PrintCore& core, int most)
{
    std::vector<PrintDelta> found;
    if (field.isEmpty())
        return found;
    const CellFlow flow(field);
    const int cols = flow.cols, rows = flow.rows;
    const Kernels& h = kernels();
    std::vector<float> fit(size_t(cols) * size_t(rows), -1.0f);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i)
            if (flow.weight[size_t(j) * size_t(cols) + size_t(i)] >= Inside)
                fit[size_t(j) * size_t(cols) + size_t(i)] = flow.fit(i, j, h.deltaRe, h.deltaIm);
    // Peaks: the best cell within three cells around.
    constexpr int Apart = 3;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            const size_t k = size_t(j) * size_t(cols) + size_t(i);
            if (fit[k] < MinDeltaStrength)
                continue;
            bool peak = true;
            for (int v = -Apart; v <= Apart && peak; ++v)
                for (int u = -Apart; u <= Apart && peak; ++u) {
                    const int a = i + u, b = j + v;
                    if ((u || v) && a >= 0 && b >= 0 && a < cols && b < rows) {
                        const float o = fit[size_t(b) * size_t(cols) + size_t(a)];
                        peak = o < fit[k] || (o == fit[k] && (v > 0 || (v == 0 && u > 0)));
                    }
                }
            if (!peak)
                continue;
            PrintDelta d;
            const float dx = i > 0 && i + 1 < cols ? vertex(fit[k - 1], fit[k], fit[k + 1]) : 0.0f;
            const float dy = j > 0 && j + 1 < rows ? vertex(fit[k - size_t(cols)], fit[k], fit[k + size_t(cols)]) : 0.0f;
            d.x = (float(i) + 0.5f + dx) * RidgeField::Cell;
            d.y = (float(j) + 0.5f + dy) * RidgeField::Cell;
            d.strength = std::min(1.0f, fit[k]);
            const float cx = d.x - core.x, cy = d.y - core.y;
            if (core.strength > 0 && cx * cx + cy * cy < float(Apart * Apart * RidgeField::Cell * RidgeField::Cell))
                continue;
            found.push_back(d);
        }
    std::sort(found.begin(), found.end(),
              [](const PrintDelta& a, const PrintDelta& b) { return a.strength > b.strength; });
    if (found.size() > size_t(std::max(0, most)))
        found.resize(size_t(std::max(0, most)));
    Nb::wipe(fit.data(), fit.size() * sizeof(float));
    return found;
}

PrintCore findCore(const RidgeField& field)
{
    PrintCore core;
    const int cols = field.cols(), rows = field.rows();
    if (field.isEmpty())
        return core;
    const size_t n = size_t(cols) * size_t(rows);
    std::vector<float> re(n), im(n), weight(n), fit(n, -1.0f);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            const size_t k = size_t(j) * size_t(cols) + size_t(i);
            field.sample((float(i) + 0.5f) * RidgeField::Cell, (float(j) + 0.5f) * RidgeField::Cell, re[k], im[k],
                         weight[k]);
        }
    const Kernels& h = kernels();
    int bi = -1, bj = -1;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            if (weight[size_t(j) * size_t(cols) + size_t(i)] < Inside)
                continue;
            // Correlation of the flow with each pattern; cells off the image
            // count as no flow, so that a core at the image's edge is weak.
            float lr = 0, li = 0, wr = 0, wi = 0;
            for (int v = std::max(-Reach, -j); v <= std::min(Reach, rows - 1 - j); ++v)
                for (int u = std::max(-Reach, -i); u <= std::min(Reach, cols - 1 - i); ++u) {
                    const size_t at = size_t(j + v) * size_t(cols) + size_t(i + u);
                    const size_t k = size_t(v + Reach) * Side + size_t(u + Reach);
                    const float zr = re[at], zi = im[at];
                    lr += zr * h.loopRe[k] + zi * h.loopIm[k];
                    li += zi * h.loopRe[k] - zr * h.loopIm[k];
                    wr += zr * h.whorlRe[k] + zi * h.whorlIm[k];
                    wi += zi * h.whorlRe[k] - zr * h.whorlIm[k];
                }
            const float loop = std::sqrt(lr * lr + li * li) / h.norm;
            const float whorl = WhorlWeight * std::sqrt(wr * wr + wi * wi) / h.norm;
            const size_t k = size_t(j) * size_t(cols) + size_t(i);
            fit[k] = std::max(loop, whorl);
            if (bi < 0 || fit[k] > fit[size_t(bj) * size_t(cols) + size_t(bi)]) {
                bi = i;
                bj = j;
            }
        }
    if (bi >= 0) {
        const size_t k = size_t(bj) * size_t(cols) + size_t(bi);
        const float dx = bi > 0 && bi + 1 < cols ? vertex(fit[k - 1], fit[k], fit[k + 1]) : 0.0f;
        const float dy = bj > 0 && bj + 1 < rows ? vertex(fit[k - size_t(cols)], fit[k], fit[k + size_t(cols)]) : 0.0f;
        core.x = (float(bi) + 0.5f + dx) * RidgeField::Cell;
        core.y = (float(bj) + 0.5f + dy) * RidgeField::Cell;
        core.strength = std::min(1.0f, fit[k]);
    }
    for (std::vector<float>* v : {&re, &im, &weight, &fit})
        Nb::wipe(v->data(), v->size() * sizeof(float));
    return core;
}

} // namespace Finger
