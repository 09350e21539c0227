#include "modules/finger/FlowFrame.h"

#include <algorithm>
#include <cmath>

#include "modules/finger/Parallel.h"
#include "modules/finger/PrintCore.h"

namespace Finger {

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr float Degree = Pi / 180.0f;
// Core strengths below Faint are an arch's; from Clear on a loop's or a
// whorl's (PrintCore.h). Only clear cores place the mean flow's core.
constexpr float Faint = 0.36f;
constexpr float Clear = 0.44f;
// Prints that build the first mean flow one after the other.
constexpr int Seeds = 40;

float cellX(int i) { return (float(i) - (FlowFrame::Cols - 1) / 2.0f) * FlowFrame::Step; }
float cellY(int j) { return (float(j) - (FlowFrame::Rows - 1) / 2.0f) * FlowFrame::Step; }

// The flow of a field at a frame point, turned into the frame.
void flowAt(const RidgeField& field, const Placement& p, float fx, float fy, float& re, float& im, float& w)
{
    const float c = std::cos(p.angle), s = std::sin(p.angle);
    float a, b;
    field.sample(c * fx - s * fy + p.tx, s * fx + c * fy + p.ty, a, b, w);
    const float c2 = std::cos(2 * p.angle), s2 = std::sin(2 * p.angle);
    re = a * c2 + b * s2;
    im = b * c2 - a * s2;
}

} // namespace

Placement FlowFrame::centred(const RidgeField& field)
{
    Placement p;
    if (!field.centre(p.tx, p.ty)) {
        p.tx = float(field.width()) / 2;
        p.ty = float(field.height()) / 2;
    }
    return p;
}

void FlowFrame::cellList()
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

float FlowFrame::score(const RidgeField& field, const Placement& p, bool coarse) const
{
    const std::vector<float>& cells = coarse ? m_coarse : m_fine;
    const float c = std::cos(p.angle), s = std::sin(p.angle);
    const float c2 = std::cos(2 * p.angle), s2 = std::sin(2 * p.angle);
    // The agreement is averaged over the part of the mean flow the print
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

Placement FlowFrame::place(const RidgeField& field) const
{
    if (m_null || field.isEmpty())
        return centred(field);
    float cx = float(field.width()) / 2, cy = float(field.height()) / 2;
    field.centre(cx, cy);
    Placement best;
    float bestScore = -1e30f;
    // Coarse over turns up to 36 degrees and shifts up to 54 pixels around
    // where the print's centre says, then finer around the best. A finger
    // that leans on its own and is pressed askew needs more than the 15
    // degrees people turn their fingers by.
    for (int a = -9; a <= 9; ++a) {
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
    best = refined(field, best, false, bestScore);
    if (m_kinds.empty())
        return best;
    // The kinds' flows start from the mean's placement; the best fit wins.
    const Placement start = best;
    float kindBest = -1e30f;
    for (const FlowFrame& kind : m_kinds) {
        if (kind.m_null)
            continue;
        float v = 0;
        const Placement p = kind.refined(field, start, true, v);
        if (v > kindBest) {
            kindBest = v;
            best = p;
        }
    }
    return best;
}

Placement FlowFrame::refined(const RidgeField& field, Placement best, bool wide, float& bestScore) const
{
    // Steps of turn and shift, how many each way, on the coarse cells or
    // all. The wide search reaches 20 degrees, as far as the mean of all
    // kinds may turn a print cut off below its core.
    const struct {
        float angle;
        int turns;
        float shift;
        int shifts;
        bool coarse;
    } narrow[] = {{2.0f * Degree, 2, 3.0f, 2, false}, {1.0f * Degree, 2, 1.0f, 2, false},
                  {0.5f * Degree, 1, 0.5f, 1, false}},
      broad[] = {{2.5f * Degree, 8, 4.0f, 3, true}, {1.0f * Degree, 2, 1.5f, 2, false},
                 {0.5f * Degree, 1, 0.5f, 1, false}};
    bestScore = -1e30f;
    for (const auto& r : wide ? broad : narrow) {
        const Placement centre = best;
        bestScore = -1e30f;
        for (int a = -r.turns; a <= r.turns; ++a)
            for (int dy = -r.shifts; dy <= r.shifts; ++dy)
                for (int dx = -r.shifts; dx <= r.shifts; ++dx) {
                    const Placement p{centre.angle + float(a) * r.angle, centre.tx + float(dx) * r.shift,
                                      centre.ty + float(dy) * r.shift};
                    const float v = score(field, p, r.coarse);
                    if (v > bestScore) {
                        bestScore = v;
                        best = p;
                    }
                }
    }
    return best;
}

FlowFrame FlowFrame::build(const std::vector<const RidgeField*>& fields, std::vector<Placement>* placed,
                           const std::vector<int>* kinds)
{
    std::vector<const RidgeField*> prints;
    std::vector<int> printKinds;
    for (size_t i = 0; i < fields.size(); ++i) {
        const RidgeField* f = fields[i];
        if (f && !f->isEmpty() && f->coverage() > 0.05f) {
            prints.push_back(f);
            printKinds.push_back(kinds && i < kinds->size() ? (*kinds)[i] : -1);
        }
    }
    FlowFrame t;
    if (placed) {
        placed->clear();
        for (const RidgeField* f : fields)
            placed->push_back(f ? centred(*f) : Placement());
    }
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
    // The sums so far, over n prints, become the flow of into.
    auto takeInto = [&](FlowFrame& into, float n) {
        into.m_re.resize(Cells);
        into.m_im.resize(Cells);
        into.m_cover.resize(Cells);
        double sx = 0, sy = 0, sw = 0;
        for (int k = 0; k < Cells; ++k) {
            into.m_re[size_t(k)] = re[size_t(k)] / n;
            into.m_im[size_t(k)] = im[size_t(k)] / n;
            into.m_cover[size_t(k)] = cover[size_t(k)] / n;
            const double w = into.m_cover[size_t(k)];
            sx += w * cellX(k % Cols);
            sy += w * cellY(k / Cols);
            sw += w;
        }
        into.m_ox = sw > 0 ? float(sx / sw) : 0.0f;
        into.m_oy = sw > 0 ? float(sy / sw) : 0.0f;
        into.m_null = false;
        into.cellList();
        std::fill(re.begin(), re.end(), 0.0f);
        std::fill(im.begin(), im.end(), 0.0f);
        std::fill(cover.begin(), cover.end(), 0.0f);
    };
    auto take = [&](float n) { takeInto(t, n); };

    // The first print sets the frame; each of the next few joins the mean
    // of those before it; then all are placed on that mean.
    add(*prints[0], centred(*prints[0]));
    take(1.0f);
    std::vector<float> sumRe(t.m_re), sumIm(t.m_im), sumCover(t.m_cover);
    const size_t seeds = std::min(prints.size(), size_t(Seeds));
    for (size_t n = 1; n < seeds; ++n) {
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
    std::vector<Placement> placements(prints.size());
    parallel(int(prints.size()), [&](int n) { placements[size_t(n)] = t.place(*prints[size_t(n)]); });
    for (size_t n = 0; n < prints.size(); ++n)
        add(*prints[n], placements[n]);
    take(float(prints.size()));

    // Where clear cores lie on the mean flow.
    std::vector<PrintCore> cores(prints.size());
    parallel(int(prints.size()), [&](int n) {
        placements[size_t(n)] = t.place(*prints[size_t(n)]);
        cores[size_t(n)] = findCore(*prints[size_t(n)]);
    });
    std::vector<float> xs, ys;
    for (size_t n = 0; n < prints.size(); ++n) {
        const Placement& p = placements[n];
        if (cores[n].strength < Clear)
            continue;
        const float c = std::cos(p.angle), s = std::sin(p.angle);
        const float dx = cores[n].x - p.tx, dy = cores[n].y - p.ty;
        xs.push_back(c * dx + s * dy);
        ys.push_back(-s * dx + c * dy);
    }
    if (!xs.empty()) {
        std::nth_element(xs.begin(), xs.begin() + long(xs.size() / 2), xs.end());
        std::nth_element(ys.begin(), ys.begin() + long(ys.size() / 2), ys.end());
        t.m_coreX = xs[xs.size() / 2];
        t.m_coreY = ys[ys.size() / 2];
    }

    // Each kind's flow: its prints as they lie on the mean flow.
    if (kinds) {
        std::vector<FlowFrame> own(Kinds);
        for (int k = 0; k < Kinds; ++k) {
            // A kind of too few prints keeps no flow of its own.
            const long n = std::count(printKinds.begin(), printKinds.end(), k);
            if (n < 4)
                continue;
            for (size_t i = 0; i < prints.size(); ++i)
                if (printKinds[i] == k)
                    add(*prints[i], placements[i]);
            takeInto(own[size_t(k)], float(n));
        }
        t.m_kinds = std::move(own);
        // The frames handed out are those a live print gets.
        parallel(int(prints.size()), [&](int n) { placements[size_t(n)] = t.place(*prints[size_t(n)]); });
    }
    if (placed) {
        size_t n = 0;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (n < prints.size() && fields[i] == prints[n]) {
                (*placed)[i] = t.anchored(placements[n], cores[n]);
                ++n;
            } else if (fields[i]) {
                (*placed)[i] = t.frame(*fields[i]);
            }
        }
    }
    return t;
}

Placement FlowFrame::frame(const RidgeField& field) const { return anchored(place(field), findCore(field)); }

Placement FlowFrame::anchored(Placement p, const PrintCore& core) const
{
    const float c = std::cos(p.angle), s = std::sin(p.angle);
    const float x = c * m_coreX - s * m_coreY + p.tx, y = s * m_coreX + c * m_coreY + p.ty;
    const float clear = std::clamp((core.strength - Faint) / (Clear - Faint), 0.0f, 1.0f);
    p.tx = clear * core.x + (1 - clear) * x;
    p.ty = clear * core.y + (1 - clear) * y;
    return p;
}

} // namespace Finger
