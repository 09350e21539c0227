#include "bc/NeuralMath.h"

#include <cmath>
#include <limits>
#include <utility>

#include "qtnb/Error.h"

namespace Bc {
namespace NeuralMath {

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// The elements of a cell; null for an empty cell, which callers refuse
// whenever they would read an element.
template <typename T>
const T* elements(const Nb::Cell& cell, uint32_t)
{
    return cell.isNull() ? nullptr : reinterpret_cast<const T*>(cell.at(0));
}

template <typename T>
T* writable(const Nb::Cell& cell)
{
    return cell.isNull() ? nullptr : reinterpret_cast<T*>(cell.at(0));
}

// Every row of a set must hold its elements before a column is read.
bool rowsUsable(const Nb::Cell* rows, uint32_t count)
{
    if (count == 0)
        return true;
    if (!rows)
        return false;
    for (uint32_t i = 0; i < count; ++i)
        if (rows[i].isNull())
            return false;
    return true;
}

inline float at(const Nb::Cell& row, uint32_t col)
{
    return reinterpret_cast<const float*>(row.at(0))[col];
}

// One quicksort for every element type. The partition only compares with
// `<`, which is false for NaN, so every stop condition still holds and the
// scans stay inside the range. The smaller part is sorted recursively and
// the larger one in the loop: the parts are disjoint, so the result is the
// same as always recursing on the left, with the stack depth bounded by
// log2(n).
template <typename T>
void quicksort(T* v, int32_t* companion, int64_t first, int64_t last)
{
    while (last > first) {
        int64_t i = first;
        int64_t j = last;
        const T pivot = v[first + (last - first + 1) / 2];
        while (i <= j) {
            while (v[i] < pivot)
                ++i;
            while (pivot < v[j])
                --j;
            if (i <= j) {
                std::swap(v[i], v[j]);
                if (companion)
                    std::swap(companion[i], companion[j]);
                ++i;
                --j;
            }
        }
        if (j - first < last - i) {
            if (j > first)
                quicksort(v, companion, first, j);
            first = i;
        } else {
            if (last > i)
                quicksort(v, companion, i, last);
            last = j;
        }
    }
}

template <typename T>
void sortValues(T* values, int32_t* companion, uint32_t n)
{
    if (n == 0)
        return;
    if (!values) {
        BC_ERR(1);
        return;
    }
    quicksort(values, companion, 0, int64_t(n) - 1);
}

template <typename T>
float meanOf(const Nb::Cell& v, uint32_t n)
{
    if (n == 0)
        return kNaN;
    const T* x = elements<T>(v, n);
    if (!x) {
        BC_ERR(1);
        return kNaN;
    }
    long double sum = 0;
    for (uint32_t i = 0; i < n; ++i)
        sum += x[i];
    return float(sum / n);
}

template <typename T>
float sigmaOf(const Nb::Cell& v, uint32_t n, float mean)
{
    if (n == 0)
        return kNaN;
    const T* x = elements<T>(v, n);
    if (!x) {
        BC_ERR(1);
        return kNaN;
    }
    long double sum = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const long double d = (long double)x[i] - mean;
        sum += d * d;
    }
    return float(std::sqrt(sum / n));
}

template <typename T>
void statsOf(const Nb::Cell& v, uint32_t n, float& mean, float& sigma, float& q)
{
    mean = meanOf<T>(v, n);
    sigma = sigmaOf<T>(v, n, mean);
    q = quality(mean, sigma);
}

// First extreme: a later element replaces the current one only when it is
// strictly better, so the first of equal elements wins.
template <typename T, typename Better>
T extreme(const Nb::Cell& v, uint32_t n, int32_t& index, T empty, Better better)
{
    index = -1;
    if (n == 0)
        return empty;
    const T* x = elements<T>(v, n);
    if (!x) {
        BC_ERR(1);
        return empty;
    }
    T best = x[0];
    index = 0;
    for (uint32_t i = 1; i < n; ++i)
        if (better(x[i], best)) {
            best = x[i];
            index = int32_t(i);
        }
    return best;
}

long double columnSum(const Nb::Cell* rows, uint32_t count, uint32_t col)
{
    long double sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum += at(rows[i], col);
    return sum;
}

// Sum of squared deviations of a column about the given mean.
long double columnSquares(const Nb::Cell* rows, uint32_t count, uint32_t col, float mean)
{
    long double sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const long double d = (long double)at(rows[i], col) - mean;
        sum += d * d;
    }
    return sum;
}

} // namespace

float roundDigits(float x, int32_t digits)
{
    const double scale = std::pow(10.0, double(digits));
    return float(std::floor(double(x) * scale + 0.5) / scale);
}

void sort(float* values, uint32_t n) { sortValues(values, nullptr, n); }
void sort(int32_t* values, uint32_t n) { sortValues(values, nullptr, n); }

void sort(float* values, int32_t* companion, uint32_t n)
{
    if (n > 0 && !companion) {
        BC_ERR(1);
        return;
    }
    sortValues(values, companion, n);
}

void sort(int32_t* values, int32_t* companion, uint32_t n)
{
    if (n > 0 && !companion) {
        BC_ERR(1);
        return;
    }
    sortValues(values, companion, n);
}

float curve(float x) { return 0.221f * x * x + 0.87f; }

float mean(const Nb::Cell& v, uint32_t n) { return meanOf<float>(v, n); }
float meanI32(const Nb::Cell& v, uint32_t n) { return meanOf<int32_t>(v, n); }
float sigma(const Nb::Cell& v, uint32_t n, float mean) { return sigmaOf<float>(v, n, mean); }
float sigmaI32(const Nb::Cell& v, uint32_t n, float mean) { return sigmaOf<int32_t>(v, n, mean); }

float quality(float mean, float sigma)
{
    // A NaN sigma is "not 0": the NaN reaches the result.
    if (sigma != 0.0f)
        return std::fabs(mean) / sigma;
    return mean != 0.0f ? 16.0f : 0.0f;
}

void stats(const Nb::Cell& v, uint32_t n, float& mean, float& sigma, float& quality)
{
    statsOf<float>(v, n, mean, sigma, quality);
}

void statsI32(const Nb::Cell& v, uint32_t n, float& mean, float& sigma, float& quality)
{
    statsOf<int32_t>(v, n, mean, sigma, quality);
}

float columnMean(const Nb::Cell* rows, uint32_t count, uint32_t col)
{
    if (count == 0)
        return kNaN;
    if (!rowsUsable(rows, count)) {
        BC_ERR(1);
        return kNaN;
    }
    return float(columnSum(rows, count, col) / count);
}

float columnSigma(const Nb::Cell* rows, uint32_t count, uint32_t col, float mean)
{
    if (count == 0)
        return kNaN;
    if (!rowsUsable(rows, count)) {
        BC_ERR(1);
        return kNaN;
    }
    return float(std::sqrt(columnSquares(rows, count, col, mean) / count));
}

void columnStats(const Nb::Cell* rows, uint32_t count, uint32_t col, float& mean, float& sigma,
                 float& q)
{
    mean = columnMean(rows, count, col);
    sigma = columnSigma(rows, count, col, mean);
    q = quality(mean, sigma);
}

void columnsStats(const Nb::Cell* rows, uint32_t count, uint32_t cols, const Nb::Cell& means,
                  const Nb::Cell& sigmas, const Nb::Cell& qualities)
{
    float* m = writable<float>(means);
    if (!m)
        return;
    for (uint32_t j = 0; j < cols; ++j)
        m[j] = columnMean(rows, count, j);
    float* s = writable<float>(sigmas);
    if (!s)
        return;
    for (uint32_t j = 0; j < cols; ++j)
        s[j] = columnSigma(rows, count, j, m[j]);
    float* q = writable<float>(qualities);
    if (!q)
        return;
    for (uint32_t j = 0; j < cols; ++j)
        q[j] = quality(m[j], s[j]);
}

float correlation(const Nb::Cell* a, const Nb::Cell* b, uint32_t count, uint32_t colA,
                  uint32_t colB)
{
    if (count == 0)
        return kNaN;
    if (!rowsUsable(a, count) || !rowsUsable(b, count)) {
        BC_ERR(1);
        return kNaN;
    }
    const float meanA = float(columnSum(a, count, colA) / count);
    const float meanB = float(columnSum(b, count, colB) / count);
    const float sigmaA = columnSigma(a, count, colA, meanA);
    // Only sigma A is rounded to float; sigma B keeps the sum's precision.
    const long double sigmaB = std::sqrt(columnSquares(b, count, colB, meanB) / count);
    const long double scale = sigmaB * sigmaA;
    long double sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum += ((long double)meanA - at(a[i], colA)) * ((long double)meanB - at(b[i], colB)) / scale;
    return float(sum / count);
}

void correlations(const Nb::Cell* rows, uint32_t count, uint32_t cols, const Nb::Cell& out)
{
    if (cols < 2)
        return;
    float* r = writable<float>(out);
    if (!r) {
        BC_ERR(1);
        return;
    }
    uint64_t k = 0;
    for (uint32_t i = 0; i + 1 < cols; ++i)
        for (uint32_t j = i + 1; j < cols; ++j)
            r[k++] = correlation(rows, rows, count, i, j);
}

float minimum(const Nb::Cell& v, uint32_t n, int32_t& index)
{
    return extreme<float>(v, n, index, kNaN, [](float x, float best) { return x < best; });
}

int32_t minimumI32(const Nb::Cell& v, uint32_t n, int32_t& index)
{
    return extreme<int32_t>(v, n, index, 0, [](int32_t x, int32_t best) { return x < best; });
}

float maximum(const Nb::Cell& v, uint32_t n, int32_t& index)
{
    return extreme<float>(v, n, index, kNaN, [](float x, float best) { return x > best; });
}

int32_t maximumI32(const Nb::Cell& v, uint32_t n, int32_t& index)
{
    return extreme<int32_t>(v, n, index, 0, [](int32_t x, int32_t best) { return x > best; });
}

float maximumAbs(const Nb::Cell& v, uint32_t n, int32_t& index)
{
    index = -1;
    if (n == 0)
        return 0.0f;
    const float* x = elements<float>(v, n);
    if (!x) {
        BC_ERR(1);
        return 0.0f;
    }
    float best = std::fabs(x[0]);
    index = 0;
    for (uint32_t i = 1; i < n; ++i) {
        const float a = std::fabs(x[i]);
        if (a > best) {
            best = a;
            index = int32_t(i);
        }
    }
    return best;
}

void divergence(const Nb::Cell& meanA, const Nb::Cell& sigmaA, const Nb::Cell& meanB,
                const Nb::Cell& sigmaB, uint32_t n, float& ratio, float& distance,
                float& separation)
{
    ratio = distance = separation = 0.0f;
    const float* ma = elements<float>(meanA, n);
    const float* sa = elements<float>(sigmaA, n);
    const float* mb = elements<float>(meanB, n);
    const float* sb = elements<float>(sigmaB, n);
    if (n > 0 && (!ma || !sa || !mb || !sb)) {
        BC_ERR(1);
        ratio = distance = separation = kNaN;
        return;
    }
    long double r = 0, d = 0, s = 0;
    uint32_t used = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (sa[i] == 0.0f || sb[i] == 0.0f)
            continue;
        const long double gap = std::fabs((long double)mb[i] - ma[i]);
        r += (long double)sb[i] / sa[i];
        d += gap / sb[i];
        s += gap / ((long double)sa[i] + sb[i]);
        ++used;
    }
    if (used == 0) {
        ratio = distance = separation = kNaN;
        return;
    }
    ratio = float(r / used);
    distance = float(d / used);
    separation = float(s / used);
}

float bitMean(const Nb::Cell* rows, uint32_t count, uint32_t bit)
{
    if (count == 0)
        return kNaN;
    if (!rowsUsable(rows, count)) {
        BC_ERR(1);
        return kNaN;
    }
    uint32_t ones = 0;
    for (uint32_t i = 0; i < count; ++i)
        ones += uint32_t(rows[i].bit(bit));
    return float(ones) / float(count);
}

uint32_t hamming(const Nb::Cell& a, const Nb::Cell& b, uint32_t count)
{
    if (count == 0)
        return 0;
    if (a.isNull() || b.isNull()) {
        BC_ERR(1);
        return 0;
    }
    uint32_t differ = 0;
    const uint32_t whole = count / 8;
    for (uint32_t i = 0; i < whole; ++i) {
        uint32_t x = uint32_t(*a.at(int32_t(i)) ^ *b.at(int32_t(i)));
        for (; x; x &= x - 1)
            ++differ;
    }
    for (uint32_t i = whole * 8; i < count; ++i)
        differ += a.bit(i) != b.bit(i) ? 1 : 0;
    return differ;
}

uint32_t countZeros(const Nb::Cell& v, uint32_t n)
{
    const int32_t* x = elements<int32_t>(v, n);
    if (n > 0 && !x) {
        BC_ERR(1);
        return 0;
    }
    uint32_t zeros = 0;
    for (uint32_t i = 0; i < n; ++i)
        zeros += x[i] == 0 ? 1 : 0;
    return zeros;
}

uint32_t signDiffers(const Nb::Cell& a, const Nb::Cell& b, uint32_t n)
{
    const float* x = elements<float>(a, n);
    const float* y = elements<float>(b, n);
    if (n > 0 && (!x || !y)) {
        BC_ERR(1);
        return 0;
    }
    uint32_t differ = 0;
    for (uint32_t i = 0; i < n; ++i)
        differ += (x[i] > 0.0f) != (y[i] > 0.0f) ? 1 : 0;
    return differ;
}

uint32_t signAgrees(const Nb::Cell& v, float x, uint32_t n)
{
    const float* e = elements<float>(v, n);
    if (n > 0 && !e) {
        BC_ERR(1);
        return 0;
    }
    const bool positive = x > 0.0f;
    uint32_t agree = 0;
    for (uint32_t i = 0; i < n; ++i)
        agree += (e[i] > 0.0f) == positive ? 1 : 0;
    return agree;
}

double gauss(double x, double mean, double sigma)
{
    if (sigma == 0.0)
        return 0.0;
    const double d = x - mean;
    return std::pow(2.718281828459045, -(d * d) / (2.0 * sigma * sigma)) /
           (sigma * 2.5066282746310002);
}

float probability(float value, float sigma, float start, float end)
{
    // The density is evaluated at the middle of each step. Fewer than one
    // step counts as one step over the whole interval; the step count is
    // bounded so that a huge interval cannot run for ever.
    const double kMaxSteps = 1.0e6;
    const double length = double(end) - double(start);
    double sum = 0.0;
    if (length > 0.0 && std::isfinite(length)) {
        double steps = roundDigits(float(length / 0.01), 0);
        if (!(steps >= 1.0))
            steps = 1.0;
        if (steps > kMaxSteps)
            steps = kMaxSteps;
        const double step = length / steps;
        const uint32_t count = uint32_t(steps);
        for (uint32_t k = 0; k < count; ++k)
            sum += gauss(double(start) + (k + 0.5) * step, value, sigma);
        sum *= step;
    }
    if (sum < 0.5)
        sum = 1.0 - sum;
    return float(value < 0.0f ? -sum : sum);
}

void probabilities(const Nb::Cell& values, const Nb::Cell& sigmas, uint32_t n, float start,
                   float end, const Nb::Cell& out)
{
    const float* v = elements<float>(values, n);
    const float* s = elements<float>(sigmas, n);
    float* o = writable<float>(out);
    if (n > 0 && (!v || !s || !o)) {
        BC_ERR(1);
        return;
    }
    for (uint32_t i = 0; i < n; ++i)
        o[i] = probability(v[i], s[i], start, end);
}

} // namespace NeuralMath
} // namespace Bc
