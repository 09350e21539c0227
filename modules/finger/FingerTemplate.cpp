#include "modules/finger/FingerTemplate.h"

#include <algorithm>
#include <cmath>

namespace Finger {

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr float Degree = Pi / 180.0f;

// The flow is read on five rings around the print's centre, 8, 16, 24, 32
// and 40 points, taller than wide like a fingertip and small enough that a
// finger shifted by a tenth of the reader still covers them; the ridge
// frequency in the inner and the outer band, eight sectors each.
constexpr int RingCount = 5;
constexpr float RingStep = 17.0f;
constexpr float Tall = 1.2f;
constexpr int FlowPoints = 120;
constexpr int FlowFeatures = 2 * FlowPoints;
constexpr int Sectors = 8;

struct Layout {
    Layout()
    {
        int k = 0;
        for (int r = 1; r <= RingCount; ++r)
            for (int a = 0; a < 8 * r; ++a, ++k) {
                const float t = 2.0f * Pi * (float(a) + 0.5f * float(r % 2)) / float(8 * r);
                x[k] = RingStep * float(r) * std::cos(t);
                y[k] = Tall * RingStep * float(r) * std::sin(t);
            }
        for (float fy = -Tall * RingStep * RingCount; fy <= Tall * RingStep * RingCount; fy += 8)
            for (float fx = -RingStep * RingCount; fx <= RingStep * RingCount; fx += 8) {
                const float rx = fx / RingStep, ry = fy / (Tall * RingStep);
                const float r = std::sqrt(rx * rx + ry * ry);
                if (r > RingCount)
                    continue;
                const float t = std::atan2(ry, rx) + Pi;
                const int sector = std::min(Sectors - 1, int(t / (2 * Pi) * Sectors));
                freqX.push_back(fx);
                freqY.push_back(fy);
                region.push_back((r > RingCount / 2.0f ? Sectors : 0) + sector);
            }
    }
    float x[FlowPoints], y[FlowPoints];
    std::vector<float> freqX, freqY;
    std::vector<int> region;
};

const Layout& layout()
{
    static const Layout l;
    return l;
}

// Frame point of template cell (i, j).
float cellX(int i) { return (float(i) - (FingerTemplate::Cols - 1) / 2.0f) * FingerTemplate::Step; }
float cellY(int j) { return (float(j) - (FingerTemplate::Rows - 1) / 2.0f) * FingerTemplate::Step; }

void toImage(const Placement& p, float fx, float fy, float& x, float& y)
{
    const float c = std::cos(p.angle), s = std::sin(p.angle);
    x = c * fx - s * fy + p.tx;
    y = s * fx + c * fy + p.ty;
}

// The flow of a field at a frame point, turned into the frame.
void flowAt(const RidgeField& field, const Placement& p, float fx, float fy, float& re, float& im, float& w)
{
    float x, y;
    toImage(p, fx, fy, x, y);
    float a, b;
    field.sample(x, y, a, b, w);
    const float c = std::cos(2 * p.angle), s = std::sin(2 * p.angle);
    re = a * c + b * s;
    im = b * c - a * s;
}

RawFeatures featuresAt(const RidgeField& field, const Placement& p, float ox, float oy)
{
    const Layout& l = layout();
    RawFeatures raw;
    for (int k = 0; k < FlowPoints; ++k) {
        float re, im, w;
        flowAt(field, p, ox + l.x[k], oy + l.y[k], re, im, w);
        if (w < 0.5f)
            continue;
        raw.value[size_t(2 * k)] = re / w;
        raw.value[size_t(2 * k + 1)] = im / w;
        raw.present[size_t(2 * k)] = raw.present[size_t(2 * k + 1)] = true;
    }
    float sum[2 * Sectors] = {};
    int n[2 * Sectors] = {};
    for (size_t k = 0; k < l.region.size(); ++k) {
        float x, y;
        toImage(p, ox + l.freqX[k], oy + l.freqY[k], x, y);
        const float f = field.frequency(x, y);
        if (f > 0) {
            sum[l.region[k]] += f;
            ++n[l.region[k]];
        }
    }
    for (int r = 0; r < 2 * Sectors; ++r)
        if (n[r] >= 6) {
            raw.value[size_t(FlowFeatures + r)] = 100.0f * sum[r] / float(n[r]);
            raw.present[size_t(FlowFeatures + r)] = true;
        }
    return raw;
}

} // namespace

FeatureSpace FeatureSpace::fit(const std::vector<RawFeatures>& foreign)
{
    FeatureSpace space;
    for (int f = 0; f < FeatureCount; ++f) {
        double sum = 0, squares = 0;
        int n = 0;
        for (const RawFeatures& r : foreign)
            if (r.present[size_t(f)]) {
                sum += r.value[size_t(f)];
                squares += double(r.value[size_t(f)]) * r.value[size_t(f)];
                ++n;
            }
        if (n < 8)
            continue; // strangers never reach this point: it says nothing
        const double mean = sum / n;
        const double sigma = std::sqrt(std::max(0.0, squares / n - mean * mean));
        const double floor = f < FlowFeatures ? 0.08 : 0.4;
        space.centre[size_t(f)] = float(mean);
        space.scale[size_t(f)] = float(1.0 / std::max(sigma, floor));
    }
    space.m_null = foreign.empty();
    return space;
}

FeatureSpace FeatureSpace::fit(const std::vector<RawFeatures>& foreign, const std::vector<RawFeatures>& own)
{
    FeatureSpace space = fit(foreign);
    if (own.empty() || int(foreign.size()) <= Neighbours)
        return space;
    std::vector<float> mean(FeatureCount, 0.0f), v(FeatureCount);
    for (const RawFeatures& r : own) {
        space.apply(r, v.data());
        for (int f = 0; f < FeatureCount; ++f)
            mean[size_t(f)] += v[size_t(f)] / float(own.size());
    }
    std::vector<std::pair<float, size_t>> distance;
    for (size_t i = 0; i < foreign.size(); ++i) {
        space.apply(foreign[i], v.data());
        float d = 0;
        for (int f = 0; f < FeatureCount; ++f)
            d += (v[size_t(f)] - mean[size_t(f)]) * (v[size_t(f)] - mean[size_t(f)]);
        distance.emplace_back(d, i);
    }
    std::sort(distance.begin(), distance.end());
    std::vector<RawFeatures> near;
    for (int i = 0; i < Neighbours; ++i)
        near.push_back(foreign[distance[size_t(i)].second]);
    const FeatureSpace local = fit(near);
    for (int f = 0; f < FeatureCount; ++f)
        if (local.scale[size_t(f)] > 0)
            space.centre[size_t(f)] = local.centre[size_t(f)];
    return space;
}

void FeatureSpace::apply(const RawFeatures& raw, float* out) const
{
    for (int f = 0; f < FeatureCount; ++f)
        out[f] = raw.present[size_t(f)]
                     ? std::clamp((raw.value[size_t(f)] - centre[size_t(f)]) * scale[size_t(f)], -5.0f, 5.0f)
                     : 0.0f;
}

Placement FingerTemplate::selfPlacement(const RidgeField& field)
{
    Placement p;
    if (!field.centre(p.tx, p.ty)) {
        p.tx = float(field.width()) / 2;
        p.ty = float(field.height()) / 2;
    }
    return p;
}

RawFeatures FingerTemplate::selfFeatures(const RidgeField& field)
{
    return featuresAt(field, selfPlacement(field), 0.0f, 0.0f);
}

RawFeatures FingerTemplate::features(const RidgeField& field, const Placement& placement) const
{
    return featuresAt(field, placement, m_ox, m_oy);
}

void FingerTemplate::cellList()
{
    m_fine.clear();
    m_coarse.clear();
    for (int j = 0; j < Rows; ++j)
        for (int i = 0; i < Cols; ++i) {
            const size_t k = size_t(j) * Cols + size_t(i);
            if (m_cover[k] < 0.3f)
                continue;
            const float cell[4] = {cellX(i), cellY(j), m_re[k], m_im[k]};
            m_fine.insert(m_fine.end(), cell, cell + 4);
            if (i % 2 == 0 && j % 2 == 0)
                m_coarse.insert(m_coarse.end(), cell, cell + 4);
        }
}

float FingerTemplate::score(const RidgeField& field, const Placement& p, bool coarse) const
{
    const std::vector<float>& cells = coarse ? m_coarse : m_fine;
    const float c = std::cos(p.angle), s = std::sin(p.angle);
    const float c2 = std::cos(2 * p.angle), s2 = std::sin(2 * p.angle);
    // The agreement is averaged over the part of the template the print
    // covers, so that a print cut off by the reader's edge is not pulled
    // towards the middle; the small share of the whole keeps a sliver of
    // overlap from winning.
    float total = 0, overlap = 0, all = 0;
    for (size_t k = 0; k + 3 < cells.size(); k += 4) {
        const float magnitude = std::sqrt(cells[k + 2] * cells[k + 2] + cells[k + 3] * cells[k + 3]);
        all += magnitude;
        float a, b, w;
        if (!field.sample(c * cells[k] - s * cells[k + 1] + p.tx, s * cells[k] + c * cells[k + 1] + p.ty, a, b, w))
            continue;
        total += cells[k + 2] * (a * c2 + b * s2) + cells[k + 3] * (b * c2 - a * s2);
        overlap += magnitude * w;
    }
    return total / (overlap + 0.05f * all + 1e-6f);
}

Placement FingerTemplate::place(const RidgeField& field) const
{
    float cx = float(field.width()) / 2, cy = float(field.height()) / 2;
    field.centre(cx, cy);
    Placement best;
    float bestScore = -1e30f;
    // Coarse over turns up to 18 degrees and shifts up to 56 pixels around
    // where the print's centre says, then finer around the best.
    for (int a = -5; a <= 5; ++a) {
        const float angle = float(a) * 4.0f * Degree;
        const float c = std::cos(angle), s = std::sin(angle);
        const float bx = cx - (c * m_ox - s * m_oy), by = cy - (s * m_ox + c * m_oy);
        for (int dy = -9; dy <= 9; ++dy)
            for (int dx = -9; dx <= 9; ++dx) {
                const Placement p{angle, bx + 6.0f * float(dx), by + 6.0f * float(dy)};
                const float v = score(field, p, true);
                if (v > bestScore) {
                    bestScore = v;
                    best = p;
                }
            }
    }
    const struct {
        float angle, shift;
        int steps;
    } refine[] = {{2.0f * Degree, 3.0f, 2}, {1.0f * Degree, 1.0f, 2}, {0.5f * Degree, 0.5f, 1}};
    for (const auto& r : refine) {
        const Placement centre = best;
        bestScore = -1e30f;
        for (int a = -r.steps; a <= r.steps; ++a)
            for (int dy = -r.steps; dy <= r.steps; ++dy)
                for (int dx = -r.steps; dx <= r.steps; ++dx) {
                    const Placement p{centre.angle + float(a) * r.angle, centre.tx + float(dx) * r.shift,
                                      centre.ty + float(dy) * r.shift};
                    const float v = score(field, p, false);
                    if (v > bestScore) {
                        bestScore = v;
                        best = p;
                    }
                }
    }
    return best;
}

FingerTemplate FingerTemplate::build(const std::vector<const RidgeField*>& fields)
{
    std::vector<const RidgeField*> prints;
    for (const RidgeField* f : fields)
        if (f && !f->isEmpty() && f->coverage() > 0.05f)
            prints.push_back(f);
    FingerTemplate t;
    if (prints.empty())
        return t;
    std::vector<float> re(Cells), im(Cells), cover(Cells);
    auto add = [&](const RidgeField& field, const Placement& p) {
        for (int j = 0; j < Rows; ++j)
            for (int i = 0; i < Cols; ++i) {
                float a, b, w;
                flowAt(field, p, cellX(i), cellY(j), a, b, w);
                const size_t k = size_t(j) * Cols + size_t(i);
                re[k] += a;
                im[k] += b;
                cover[k] += w;
            }
    };
    auto take = [&](float n) {
        t.m_re.resize(Cells);
        t.m_im.resize(Cells);
        t.m_cover.resize(Cells);
        double sx = 0, sy = 0, sw = 0;
        for (int k = 0; k < Cells; ++k) {
            t.m_re[size_t(k)] = re[size_t(k)] / n;
            t.m_im[size_t(k)] = im[size_t(k)] / n;
            t.m_cover[size_t(k)] = cover[size_t(k)] / n;
            const double w = t.m_cover[size_t(k)];
            sx += w * cellX(k % Cols);
            sy += w * cellY(k / Cols);
            sw += w;
        }
        t.m_ox = sw > 0 ? float(sx / sw) : 0.0f;
        t.m_oy = sw > 0 ? float(sy / sw) : 0.0f;
        t.cellList();
        std::fill(re.begin(), re.end(), 0.0f);
        std::fill(im.begin(), im.end(), 0.0f);
        std::fill(cover.begin(), cover.end(), 0.0f);
    };

    // The first impression sets the frame; each further one joins the mean
    // of those before it; then all are placed once more on the mean.
    add(*prints[0], selfPlacement(*prints[0]));
    take(1.0f);
    std::vector<float> sumRe(t.m_re), sumIm(t.m_im), sumCover(t.m_cover);
    for (size_t n = 1; n < prints.size(); ++n) {
        const Placement p = t.place(*prints[n]);
        add(*prints[n], p);
        for (int k = 0; k < Cells; ++k) {
            re[size_t(k)] += sumRe[size_t(k)];
            im[size_t(k)] += sumIm[size_t(k)];
            cover[size_t(k)] += sumCover[size_t(k)];
        }
        sumRe = re;
        sumIm = im;
        sumCover = cover;
        take(float(n + 1));
    }
    std::vector<Placement> placements;
    for (const RidgeField* f : prints)
        placements.push_back(t.place(*f));
    for (size_t n = 0; n < prints.size(); ++n)
        add(*prints[n], placements[n]);
    take(float(prints.size()));
    t.m_null = false;
    return t;
}

Nb::Matrix* FingerTemplate::toMatrix() const
{
    if (m_null)
        return nullptr;
    Nb::Matrix* m = new Nb::Matrix(1, Nb::Meta(MatrixLength, Nb::MfR32, Nb::MtC));
    float* v = reinterpret_cast<float*>(m->at(0, 0));
    const float head[8] = {1, Cols, Rows, Step, m_ox, m_oy, FeatureCount, 0};
    std::copy(head, head + 8, v);
    for (int k = 0; k < Cells; ++k) {
        v[8 + 3 * k] = m_re[size_t(k)];
        v[9 + 3 * k] = m_im[size_t(k)];
        v[10 + 3 * k] = m_cover[size_t(k)];
    }
    std::copy(space.centre.begin(), space.centre.end(), v + 8 + 3 * Cells);
    std::copy(space.scale.begin(), space.scale.end(), v + 8 + 3 * Cells + FeatureCount);
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
    if (v[0] != 1 || v[1] != Cols || v[2] != Rows || v[3] != Step || v[6] != FeatureCount || v[7] != 0 ||
        std::fabs(v[4]) > 1000 || std::fabs(v[5]) > 1000)
        return false;
    for (int k = 0; k < Cells; ++k)
        if (std::fabs(v[8 + 3 * k]) > 1.5f || std::fabs(v[9 + 3 * k]) > 1.5f || v[10 + 3 * k] < 0 ||
            v[10 + 3 * k] > 1.5f)
            return false;
    for (int f = 0; f < FeatureCount; ++f)
        if (v[8 + 3 * Cells + FeatureCount + f] < 0)
            return false;
    FingerTemplate t;
    t.m_ox = v[4];
    t.m_oy = v[5];
    t.m_re.resize(Cells);
    t.m_im.resize(Cells);
    t.m_cover.resize(Cells);
    for (int k = 0; k < Cells; ++k) {
        t.m_re[size_t(k)] = v[8 + 3 * k];
        t.m_im[size_t(k)] = v[9 + 3 * k];
        t.m_cover[size_t(k)] = v[10 + 3 * k];
    }
    std::copy(v + 8 + 3 * Cells, v + 8 + 3 * Cells + FeatureCount, t.space.centre.begin());
    std::copy(v + 8 + 3 * Cells + FeatureCount, v + MatrixLength, t.space.scale.begin());
    t.space.m_null = false;
    t.cellList();
    t.m_null = false;
    *this = t;
    return true;
}

} // namespace Finger
