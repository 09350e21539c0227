#include "modules/finger/Discriminant.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "qtnb/Wipe.h"

namespace Finger {

namespace {

// Some scores of fingers pressed a few times each say little about how 256
// parameters vary together within a finger: the within-finger covariances
// are shrunk by this share towards their diagonal.
constexpr double Shrink = 0.3;
// Outputs in units of the within-finger spread times this: about the size
// of the scaled parameters the converter was tuned on.
constexpr double OutGain = 0.04;

} // namespace

void symmetricEigen(std::vector<double> a, int n, std::vector<double>& values, std::vector<double>& vectors)
{
    const size_t N = size_t(n);
    // The eigenvectors as rows while rotating: each rotation then runs along
    // two rows, and a stays symmetric, so its columns are copies of its rows.
    std::vector<double> rows(N * N, 0.0);
    for (size_t i = 0; i < N; ++i)
        rows[i * N + i] = 1.0;
    double total = 0;
    for (double v : a)
        total += v * v;
    for (int sweep = 0; sweep < 60; ++sweep) {
        double off = 0;
        for (size_t p = 0; p < N; ++p)
            for (size_t q = p + 1; q < N; ++q)
                off += a[p * N + q] * a[p * N + q];
        if (off <= 1e-26 * total)
            break;
        for (size_t p = 0; p < N; ++p)
            for (size_t q = p + 1; q < N; ++q) {
                const double apq = a[p * N + q];
                if (apq == 0.0)
                    continue;
                const double app = a[p * N + p], aqq = a[q * N + q];
                const double theta = (aqq - app) / (2.0 * apq);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                double* rp = a.data() + p * N;
                double* rq = a.data() + q * N;
                for (size_t k = 0; k < N; ++k) {
                    const double pk = rp[k], qk = rq[k];
                    rp[k] = c * pk - s * qk;
                    rq[k] = s * pk + c * qk;
                }
                rp[p] = app - t * apq;
                rq[q] = aqq + t * apq;
                rp[q] = rq[p] = 0.0;
                for (size_t k = 0; k < N; ++k) {
                    a[k * N + p] = rp[k];
                    a[k * N + q] = rq[k];
                }
                double* vp = rows.data() + p * N;
                double* vq = rows.data() + q * N;
                for (size_t k = 0; k < N; ++k) {
                    const double pk = vp[k], qk = vq[k];
                    vp[k] = c * pk - s * qk;
                    vq[k] = s * pk + c * qk;
                }
            }
    }
    std::vector<size_t> order(N);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&a, N](size_t i, size_t j) { return a[i * N + i] > a[j * N + j]; });
    values.resize(N);
    vectors.assign(N * N, 0.0);
    for (size_t k = 0; k < N; ++k) {
        values[k] = a[order[k] * N + order[k]];
        for (size_t i = 0; i < N; ++i)
            vectors[i * N + k] = rows[order[k] * N + i];
    }
}

Discriminant Discriminant::fit(const std::vector<Vector>& population, const std::vector<std::vector<Vector>>& repeats)
{
    Discriminant d;
    constexpr size_t N = Size;
    if (population.size() < 8 || repeats.size() < 8)
        return d;
    d.m_mean.assign(N, 0.0);
    for (const Vector& x : population)
        for (size_t i = 0; i < N; ++i)
            d.m_mean[i] += x[i] / double(population.size());
    std::vector<double> st(N * N, 0.0), sw(N * N, 0.0), e(N);
    auto add = [&e](std::vector<double>& s) {
        for (size_t i = 0; i < N; ++i)
            for (size_t j = 0; j <= i; ++j)
                s[i * N + j] += e[i] * e[j];
    };
    for (const Vector& x : population) {
        for (size_t i = 0; i < N; ++i)
            e[i] = x[i] - d.m_mean[i];
        add(st);
    }
    double freedom = 0;
    for (const std::vector<Vector>& finger : repeats) {
        if (finger.size() < 2)
            continue;
        std::vector<double> mean(N, 0.0);
        for (const Vector& x : finger)
            for (size_t i = 0; i < N; ++i)
                mean[i] += x[i] / double(finger.size());
        for (const Vector& x : finger) {
            for (size_t i = 0; i < N; ++i)
                e[i] = x[i] - mean[i];
            add(sw);
        }
        freedom += double(finger.size() - 1);
    }
    if (freedom < 8)
        return d;
    double trace = 0;
    for (size_t i = 0; i < N; ++i)
        trace += sw[i * N + i] / freedom;
    for (size_t i = 0; i < N; ++i)
        for (size_t j = 0; j <= i; ++j) {
            st[i * N + j] /= double(population.size());
            st[j * N + i] = st[i * N + j];
            sw[i * N + j] *= (i == j ? 1.0 : 1.0 - Shrink) / freedom;
            // A parameter that never moves within a finger would be
            // magnified without bound.
            if (i == j)
                sw[i * N + i] += 1e-3 * trace / double(N);
            sw[j * N + i] = sw[i * N + j];
        }
    // Sw = L L^T; the eigenvectors v of L^-1 St L^-T give w = L^-T v.
    std::vector<double> l(N * N, 0.0);
    for (size_t i = 0; i < N; ++i)
        for (size_t j = 0; j <= i; ++j) {
            double v = sw[i * N + j];
            for (size_t k = 0; k < j; ++k)
                v -= l[i * N + k] * l[j * N + k];
            l[i * N + j] = i == j ? std::sqrt(std::max(v, 1e-300)) : v / l[j * N + j];
        }
    // Columns of X = L^-1 St, then C = L^-1 X^T.
    auto lowerSolve = [&l](std::vector<double>& m) {
        for (size_t c = 0; c < N; ++c)
            for (size_t i = 0; i < N; ++i) {
                double v = m[i * N + c];
                for (size_t k = 0; k < i; ++k)
                    v -= l[i * N + k] * m[k * N + c];
                m[i * N + c] = v / l[i * N + i];
            }
    };
    lowerSolve(st);
    std::vector<double> c(N * N);
    for (size_t i = 0; i < N; ++i)
        for (size_t j = 0; j < N; ++j)
            c[i * N + j] = st[j * N + i];
    lowerSolve(c);
    for (size_t i = 0; i < N; ++i)
        for (size_t j = 0; j < i; ++j)
            c[i * N + j] = c[j * N + i] = 0.5 * (c[i * N + j] + c[j * N + i]);
    std::vector<double> vectors;
    symmetricEigen(c, int(N), d.m_ratio, vectors);
    d.m_rows.assign(N * N, 0.0f);
    std::vector<double> w(N);
    for (size_t k = 0; k < N; ++k) {
        // L^T w = v, from the last row up.
        for (size_t i = N; i-- > 0;) {
            double v = vectors[i * N + k];
            for (size_t j = i + 1; j < N; ++j)
                v -= l[j * N + i] * w[j];
            w[i] = v / l[i * N + i];
        }
        for (size_t i = 0; i < N; ++i)
            d.m_rows[k * N + i] = float(OutGain * w[i]);
    }
    return d;
}

void Discriminant::apply(const float* in, float* out) const
{
    constexpr size_t N = Size;
    if (isNull()) {
        std::copy(in, in + N, out);
        return;
    }
    double centred[N];
    for (size_t i = 0; i < N; ++i)
        centred[i] = double(in[i]) - m_mean[i];
    double y[Used];
    for (size_t k = 0; k < size_t(Used); ++k) {
        double v = 0;
        for (size_t i = 0; i < N; ++i)
            v += double(m_rows[k * N + i]) * centred[i];
        y[k] = v;
    }
    for (size_t k = 0; k < N; ++k)
        out[k] = float(y[k % size_t(Used)]);
    Nb::wipe(centred, sizeof centred);
    Nb::wipe(y, sizeof y);
}

} // namespace Finger
