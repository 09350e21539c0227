#include "modules/common/Discriminant.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "qtnb/Wipe.h"

namespace Common {

void symmetricEigen(std::vector<double> a, int n, std::vector<double>& values, std::vector<double>& vectors)
{
    const size_t N = size_t(n);
    values.assign(N, 0.0);
    vectors.assign(N * N, 0.0);
    if (N == 0)
        return;
    // Householder reflections bring a to tridiagonal form (diagonal d, off
    // diagonal e), then implicit QL steps with shifts take that apart: a
    // few times n^3 steps where rotating pair by pair takes dozens.
    std::vector<double>& d = values;
    std::vector<double> e(N, 0.0);
    auto at = [&a, N](size_t i, size_t j) -> double& { return a[i * N + j]; };
    for (size_t i = N - 1; i > 0; --i) {
        const size_t l = i - 1;
        double h = 0;
        if (l > 0) {
            double scale = 0;
            for (size_t k = 0; k <= l; ++k)
                scale += std::fabs(at(i, k));
            if (scale == 0.0) {
                e[i] = at(i, l);
            } else {
                for (size_t k = 0; k <= l; ++k) {
                    at(i, k) /= scale;
                    h += at(i, k) * at(i, k);
                }
                double f = at(i, l);
                double g = f >= 0 ? -std::sqrt(h) : std::sqrt(h);
                e[i] = scale * g;
                h -= f * g;
                at(i, l) = f - g;
                f = 0;
                for (size_t j = 0; j <= l; ++j) {
                    at(j, i) = at(i, j) / h;
                    g = 0;
                    for (size_t k = 0; k <= j; ++k)
                        g += at(j, k) * at(i, k);
                    for (size_t k = j + 1; k <= l; ++k)
                        g += at(k, j) * at(i, k);
                    e[j] = g / h;
                    f += e[j] * at(i, j);
                }
                const double hh = f / (h + h);
                for (size_t j = 0; j <= l; ++j) {
                    f = at(i, j);
                    e[j] = g = e[j] - hh * f;
                    for (size_t k = 0; k <= j; ++k)
                        at(j, k) -= f * e[k] + g * at(i, k);
                }
            }
        } else {
            e[i] = at(i, l);
        }
        d[i] = h;
    }
    d[0] = 0;
    e[0] = 0;
    // The reflections multiplied out; their transpose holds the basis as
    // rows, so that each rotation below runs along two rows.
    std::vector<double> rows(N * N, 0.0);
    for (size_t i = 0; i < N; ++i) {
        if (d[i] != 0.0)
            for (size_t j = 0; j < i; ++j) {
                double g = 0;
                for (size_t k = 0; k < i; ++k)
                    g += at(i, k) * at(k, j);
                for (size_t k = 0; k < i; ++k)
                    at(k, j) -= g * at(k, i);
            }
        d[i] = at(i, i);
        at(i, i) = 1;
        for (size_t j = 0; j < i; ++j)
            at(j, i) = at(i, j) = 0;
    }
    for (size_t i = 0; i < N; ++i)
        for (size_t k = 0; k < N; ++k)
            rows[i * N + k] = at(k, i);
    for (size_t i = 1; i < N; ++i)
        e[i - 1] = e[i];
    e[N - 1] = 0;
    for (size_t l = 0; l < N; ++l) {
        for (int iteration = 0; iteration < 60; ++iteration) {
            size_t m = l;
            for (; m + 1 < N; ++m) {
                const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
                if (std::fabs(e[m]) <= 1e-15 * dd)
                    break;
            }
            if (m == l)
                break;
            double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
            double r = std::hypot(g, 1.0);
            g = d[m] - d[l] + e[l] / (g + (g >= 0 ? r : -r));
            double s = 1, c = 1, p = 0;
            bool split = false;
            for (size_t i = m; i-- > l;) {
                double f = s * e[i];
                const double b = c * e[i];
                e[i + 1] = r = std::hypot(f, g);
                if (r == 0.0) {
                    d[i + 1] -= p;
                    e[m] = 0;
                    split = true;
                    break;
                }
                s = f / r;
                c = g / r;
                g = d[i + 1] - p;
                r = (d[i] - g) * s + 2.0 * c * b;
                p = s * r;
                d[i + 1] = g + p;
                g = c * r - b;
                double* ri = rows.data() + i * N;
                double* rj = rows.data() + (i + 1) * N;
                for (size_t k = 0; k < N; ++k) {
                    f = rj[k];
                    rj[k] = s * ri[k] + c * f;
                    ri[k] = c * ri[k] - s * f;
                }
            }
            if (split)
                continue;
            d[l] -= p;
            e[l] = g;
            e[m] = 0;
        }
    }
    std::vector<size_t> order(N);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&d](size_t i, size_t j) { return d[i] > d[j]; });
    const std::vector<double> unsorted = d;
    for (size_t k = 0; k < N; ++k) {
        values[k] = unsorted[order[k]];
        for (size_t i = 0; i < N; ++i)
            vectors[i * N + k] = rows[order[k] * N + i];
    }
}

Discriminant Discriminant::fit(const Shape& shape, const std::vector<const float*>& population,
                               const std::vector<std::vector<const float*>>& repeats)
{
    Discriminant d;
    if (shape.size < 1 || shape.outputs < 1 || shape.used < 1 || shape.used > shape.size)
        return d;
    const size_t N = size_t(shape.size);
    if (population.size() < 8 || repeats.size() < 8)
        return d;
    d.m_shape = shape;
    d.m_mean.assign(N, 0.0);
    for (const float* x : population)
        for (size_t i = 0; i < N; ++i)
            d.m_mean[i] += x[i] / double(population.size());
    std::vector<double> st(N * N, 0.0), sw(N * N, 0.0), e(N);
    auto add = [&e, N](std::vector<double>& s) {
        for (size_t i = 0; i < N; ++i)
            for (size_t j = 0; j <= i; ++j)
                s[i * N + j] += e[i] * e[j];
    };
    for (const float* x : population) {
        for (size_t i = 0; i < N; ++i)
            e[i] = x[i] - d.m_mean[i];
        add(st);
    }
    double freedom = 0;
    for (const std::vector<const float*>& person : repeats) {
        if (person.size() < 2)
            continue;
        std::vector<double> mean(N, 0.0);
        for (const float* x : person)
            for (size_t i = 0; i < N; ++i)
                mean[i] += x[i] / double(person.size());
        for (const float* x : person) {
            for (size_t i = 0; i < N; ++i)
                e[i] = x[i] - mean[i];
            add(sw);
        }
        freedom += double(person.size() - 1);
    }
    if (freedom < 8)
        return Discriminant();
    double trace = 0;
    for (size_t i = 0; i < N; ++i)
        trace += sw[i * N + i] / freedom;
    for (size_t i = 0; i < N; ++i)
        for (size_t j = 0; j <= i; ++j) {
            st[i * N + j] /= double(population.size());
            st[j * N + i] = st[i * N + j];
            sw[i * N + j] *= (i == j ? 1.0 : 1.0 - shape.shrink) / freedom;
            // A parameter that never moves within a person would be
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
    auto lowerSolve = [&l, N](std::vector<double>& m) {
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
    const size_t used = size_t(shape.used);
    d.m_rows.assign(used * N, 0.0f);
    std::vector<double> w(N);
    for (size_t k = 0; k < used; ++k) {
        // L^T w = v, from the last row up.
        for (size_t i = N; i-- > 0;) {
            double v = vectors[i * N + k];
            for (size_t j = i + 1; j < N; ++j)
                v -= l[j * N + i] * w[j];
            w[i] = v / l[i * N + i];
        }
        for (size_t i = 0; i < N; ++i)
            d.m_rows[k * N + i] = float(shape.gain * w[i]);
    }
    if (shape.turned)
        d.turn();
    return d;
}

void Discriminant::turn()
{
    const size_t N = size_t(m_shape.size);
    const size_t used = size_t(m_shape.used);
    const size_t outputs = size_t(m_shape.outputs);
    std::vector<float> turned(outputs * N, 0.0f);
    std::mt19937 gen(TurnSeed);
    auto unit = [&gen] { return (double(gen()) + 0.5) / 4294967296.0; };
    std::vector<double> r(used * used);
    for (size_t block = 0; block * used < outputs; ++block) {
        // Gaussian rows made orthonormal one after the other.
        for (double& v : r)
            v = std::sqrt(-2.0 * std::log(unit())) * std::cos(6.283185307179586 * unit());
        for (size_t a = 0; a < used; ++a) {
            double* ra = r.data() + a * used;
            for (size_t b = 0; b < a; ++b) {
                const double* rb = r.data() + b * used;
                double dot = 0;
                for (size_t k = 0; k < used; ++k)
                    dot += ra[k] * rb[k];
                for (size_t k = 0; k < used; ++k)
                    ra[k] -= dot * rb[k];
            }
            double norm = 0;
            for (size_t k = 0; k < used; ++k)
                norm += ra[k] * ra[k];
            norm = std::sqrt(norm);
            for (size_t k = 0; k < used; ++k)
                ra[k] /= norm;
        }
        for (size_t a = 0; a < used && block * used + a < outputs; ++a) {
            float* out = turned.data() + (block * used + a) * N;
            for (size_t i = 0; i < N; ++i) {
                double v = 0;
                for (size_t k = 0; k < used; ++k)
                    v += r[a * used + k] * double(m_rows[k * N + i]);
                out[i] = float(v);
            }
        }
    }
    m_rows.swap(turned);
}

void Discriminant::apply(const float* in, float* out) const
{
    if (isNull()) {
        std::copy(in, in + m_shape.outputs, out);
        return;
    }
    const size_t N = size_t(m_shape.size);
    const size_t used = size_t(m_shape.turned ? m_shape.outputs : m_shape.used);
    std::vector<double> centred(N), y(used);
    for (size_t i = 0; i < N; ++i)
        centred[i] = double(in[i]) - m_mean[i];
    for (size_t k = 0; k < used; ++k) {
        double v = 0;
        for (size_t i = 0; i < N; ++i)
            v += double(m_rows[k * N + i]) * centred[i];
        y[k] = v;
    }
    for (size_t k = 0; k < size_t(m_shape.outputs); ++k)
        out[k] = float(y[k % used]);
    Nb::wipe(centred);
    Nb::wipe(y);
}

} // namespace Common
