#include "TemplateRead.h"

#include <algorithm>
#include <cmath>

namespace attack {

namespace {

constexpr int Cols = 24;
constexpr int Rows = 26;
constexpr float Step = 16.0f;
constexpr int Features = 256;
constexpr int Head = 8;
constexpr int Length = Head + 3 * Cols * Rows + 2 * Features;
constexpr double Pi = 3.14159265358979;

} // namespace

std::vector<float> readFingerTemplate(const Nb::Matrix& templ)
{
    if (templ.rows() < 1 || templ.cols() < 1 || templ.meta(0).format != Nb::MfR32 || templ.meta(0).count != Length)
        return {};
    const float* v = reinterpret_cast<const float*>(templ.at(0, 0));
    if (v[0] != 1 || v[1] != Cols || v[2] != Rows || v[3] != Step || v[6] != Features)
        return {};
    const float ox = v[4], oy = v[5];
    const float* cells = v + Head;
    const float* centre = cells + 3 * Cols * Rows;
    const float* scale = centre + Features;
    // The grid's flow, bilinear between cell centres, at a frame point.
    auto flow = [&](float x, float y, float& re, float& im, float& w) {
        const float gx = x / Step + (Cols - 1) / 2.0f, gy = y / Step + (Rows - 1) / 2.0f;
        re = im = w = 0;
        if (!(gx >= 0 && gy >= 0 && gx <= Cols - 1 && gy <= Rows - 1))
            return;
        const int i = std::min(int(gx), Cols - 2), j = std::min(int(gy), Rows - 2);
        const float fx = gx - float(i), fy = gy - float(j);
        const float share[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
        const int at[4] = {j * Cols + i, j * Cols + i + 1, (j + 1) * Cols + i, (j + 1) * Cols + i + 1};
        for (int k = 0; k < 4; ++k) {
            re += share[k] * cells[3 * at[k]];
            im += share[k] * cells[3 * at[k] + 1];
            w += share[k] * cells[3 * at[k] + 2];
        }
    };
    std::vector<float> out(Features, 0.0f);
    int k = 0;
    for (int r = 1; r <= 5; ++r)
        for (int a = 0; a < 8 * r; ++a, ++k) {
            const double t = 2 * Pi * (a + 0.5 * (r % 2)) / (8.0 * r);
            float re, im, w;
            flow(ox + float(17.0 * r * std::cos(t)), oy + float(1.2 * 17.0 * r * std::sin(t)), re, im, w);
            if (w < 0.5f)
                continue;
            out[size_t(2 * k)] = std::clamp((re / w - centre[2 * k]) * scale[2 * k], -5.0f, 5.0f);
            out[size_t(2 * k + 1)] = std::clamp((im / w - centre[2 * k + 1]) * scale[2 * k + 1], -5.0f, 5.0f);
        }
    return out;
}

} // namespace attack
