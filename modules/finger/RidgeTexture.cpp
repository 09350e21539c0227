#include "modules/finger/RidgeTexture.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "modules/finger/Gabor.h"
#include "qtnb/Wipe.h"

namespace Finger {

namespace {

constexpr float Pi = 3.14159265358979f;
// The image is read every Step pixels of the frame.
constexpr float Step = 3.0f;
// Shares of a sector's points on the print for it to count.
constexpr float MinShare = 0.7f;
constexpr float MinCover = 0.8f;
// Gaussian width of the filters in ridge periods.
constexpr float Width = 0.45f;

} // namespace

void ridgeTexture(const GreyImage& image, const RidgeField& field, const Placement& frame, float* value,
                  bool* present)
{
    std::fill(value, value + TextureCount, 0.0f);
    std::fill(present, present + TextureCount, false);
    if (image.isNull() || field.isEmpty() || image.dpi != RidgeField::Resolution)
        return;
    const float period = field.period() > 0 ? field.period() : 9.5f;
    const float sigma = Width * period;
    const int r = int(std::ceil(2.0f * sigma));
    const int side = 2 * r + 1;
    // The filters, their orientation turned with the frame, mean removed.
    std::vector<float> kernels(size_t(Orientations) * size_t(side * side));
    for (int o = 0; o < Orientations; ++o) {
        const float t = frame.angle + Pi * float(o) / Orientations;
        const float nx = std::cos(t), ny = std::sin(t);
        zeroMeanGabor<double>(kernels.data() + size_t(o) * size_t(side * side), r, sigma, period, nx, ny);
    }
    constexpr int Sectors = TextureRings * TextureAngles;
    // Per sector: points, points on the print, grey sum and squares, and per
    // orientation the responses' sum and absolute sum.
    std::vector<double> acc(size_t(Sectors) * (4 + 2 * Orientations), 0.0);
    std::vector<float> response(static_cast<size_t>(Orientations));
    const float c = std::cos(frame.angle), s = std::sin(frame.angle);
    const float outer = TextureInner + TextureRings * TextureBand;
    for (float fy = -Tall * outer; fy <= Tall * outer; fy += Step)
        for (float fx = -outer; fx <= outer; fx += Step) {
            const float e = std::sqrt(fx * fx + fy * fy / (Tall * Tall));
            const int ring = int(std::floor((e - TextureInner) / TextureBand));
            if (ring < 0 || ring >= TextureRings)
                continue;
            float a = std::atan2(fy / Tall, fx);
            if (a < 0)
                a += 2 * Pi;
            const int sector = ring * TextureAngles + std::min(int(a / (2 * Pi) * TextureAngles), TextureAngles - 1);
            double* q = acc.data() + size_t(sector) * (4 + 2 * Orientations);
            q[0] += 1;
            const float x = c * fx - s * fy + frame.tx, y = s * fx + c * fy + frame.ty;
            const int px = int(std::lround(x)), py = int(std::lround(y));
            float re, im, w;
            if (px < r || py < r || px >= image.width - r || py >= image.height - r || !field.sample(x, y, re, im, w) ||
                w < MinCover)
                continue;
            q[1] += 1;
            const double grey = image.at(px, py);
            q[2] += grey;
            q[3] += grey * grey;
            std::fill(response.begin(), response.end(), 0.0f);
            for (int v = -r; v <= r; ++v) {
                const uint8_t* row = image.pixels.data() + size_t(py + v) * size_t(image.width) + size_t(px - r);
                for (int o = 0; o < Orientations; ++o) {
                    const float* k = kernels.data() + size_t(o) * size_t(side * side) + size_t((v + r) * side);
                    float sum = 0;
                    for (int u = 0; u < side; ++u)
                        sum += k[u] * float(row[u]);
                    response[size_t(o)] += sum;
                }
            }
            for (int o = 0; o < Orientations; ++o) {
                q[4 + 2 * o] += response[size_t(o)];
                q[5 + 2 * o] += std::fabs(response[size_t(o)]);
            }
        }
    for (int sector = 0; sector < Sectors; ++sector) {
        const double* q = acc.data() + size_t(sector) * (4 + 2 * Orientations);
        if (q[0] < 1 || q[1] < MinShare * q[0])
            continue;
        const double n = q[1];
        const double spread = std::sqrt(std::max(0.0, q[3] / n - (q[2] / n) * (q[2] / n)));
        if (spread < 1.0)
            continue;
        for (int o = 0; o < Orientations; ++o) {
            // The responses' mean is near 0: their mean absolute value
            // stands for the deviation.
            value[sector * Orientations + o] = float(q[5 + 2 * o] / n / spread);
            present[sector * Orientations + o] = true;
        }
    }
    Nb::wipe(acc.data(), acc.size() * sizeof(double));
    Nb::wipe(response.data(), response.size() * sizeof(float));
}

} // namespace Finger
