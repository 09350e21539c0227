#pragma once
// The oriented filter that both grows synthetic ridges and reads a print's
// ridge texture.

#include <cmath>

namespace Finger {

// Fills k (side 2r + 1, rows first) with a Gaussian of width sigma times a
// wave of the given period running along (nx, ny), less the Gaussian's share
// of its mean, so that flat grey gives no response. The sums are kept in
// Acc.
template <typename Acc>
void zeroMeanGabor(float* k, int r, float sigma, float period, float nx, float ny)
{
    constexpr float Pi = 3.14159265358979f;
    const int side = 2 * r + 1;
    Acc sum = 0, weight = 0;
    for (int v = -r; v <= r; ++v)
        for (int u = -r; u <= r; ++u) {
            const float g = std::exp(-float(u * u + v * v) / (2 * sigma * sigma));
            k[(v + r) * side + u + r] = g * std::cos(2 * Pi * (nx * float(u) + ny * float(v)) / period);
            sum += k[(v + r) * side + u + r];
            weight += g;
        }
    for (int v = -r; v <= r; ++v)
        for (int u = -r; u <= r; ++u)
            k[(v + r) * side + u + r] -= float(sum / weight) * std::exp(-float(u * u + v * v) / (2 * sigma * sigma));
}

} // namespace Finger
