#pragma once
// Numeric helpers of the engine's training and testing code: rounding,
// sorting with companion index arrays, means, deviations, quality ratios,
// correlations, extremes and counts of signs and bits. No state is kept.
//
// A vector is an Nb::Cell (the elements of one row cell) with an element
// count; elements are float unless the name ends in I32. A row set is an
// array of cells (one per sample) with a row count; a column is element
// `col` of every row. Sums run in long double; results are float.
//
// Empty input never reads an element: means and deviations of nothing are
// NaN, extremes of nothing give the values noted below and index -1, and
// sorts of nothing do nothing.

#include <cstdint>

#include "qtnb/Cell.h"

namespace Bc {
namespace NeuralMath {

// floor(x * 10^digits + 0.5) / 10^digits, the powers in double.
float roundDigits(float x, int32_t digits);

// Ascending in place with one quicksort (NaN never leads it out of range).
// The companion forms apply every swap to the companion array as well, so
// an index array follows its values.
void sort(float* values, uint32_t n);
void sort(int32_t* values, uint32_t n);
void sort(float* values, int32_t* companion, uint32_t n);
void sort(int32_t* values, int32_t* companion, uint32_t n);

// 0.221 * x * x + 0.87.
float curve(float x);

float mean(const Nb::Cell& v, uint32_t n);
float meanI32(const Nb::Cell& v, uint32_t n);
// Population deviation about the given mean (divides by n).
float sigma(const Nb::Cell& v, uint32_t n, float mean);
float sigmaI32(const Nb::Cell& v, uint32_t n, float mean);
// |mean| / sigma; for sigma 0: 16 when mean is not 0, else 0.
float quality(float mean, float sigma);
void stats(const Nb::Cell& v, uint32_t n, float& mean, float& sigma, float& quality);
void statsI32(const Nb::Cell& v, uint32_t n, float& mean, float& sigma, float& quality);

float columnMean(const Nb::Cell* rows, uint32_t count, uint32_t col);
float columnSigma(const Nb::Cell* rows, uint32_t count, uint32_t col, float mean);
void columnStats(const Nb::Cell* rows, uint32_t count, uint32_t col, float& mean, float& sigma,
                 float& quality);
// means[j] for every column j < cols, then sigmas[j] unless sigmas is null,
// then qualities[j] unless qualities is null; a null cell ends the work.
void columnsStats(const Nb::Cell* rows, uint32_t count, uint32_t cols, const Nb::Cell& means,
                  const Nb::Cell& sigmas = Nb::Cell(), const Nb::Cell& qualities = Nb::Cell());

// Pearson correlation of column colA of rows a with column colB of rows b.
float correlation(const Nb::Cell* a, const Nb::Cell* b, uint32_t count, uint32_t colA,
                  uint32_t colB);
// Every pair i < j of the columns, in the order (0,1), (0,2) ... (cols-2,cols-1):
// cols * (cols - 1) / 2 floats.
void correlations(const Nb::Cell* rows, uint32_t count, uint32_t cols, const Nb::Cell& out);

// The first smallest / largest element and its index. For n = 0: NaN (0 for
// the int32 forms) and index -1.
float minimum(const Nb::Cell& v, uint32_t n, int32_t& index);
int32_t minimumI32(const Nb::Cell& v, uint32_t n, int32_t& index);
float maximum(const Nb::Cell& v, uint32_t n, int32_t& index);
int32_t maximumI32(const Nb::Cell& v, uint32_t n, int32_t& index);
// The first largest |x|; 0 and index -1 for n = 0.
float maximumAbs(const Nb::Cell& v, uint32_t n, int32_t& index);

// Over the elements where both sigmas are non-zero: the means of sigmaB / sigmaA,
// of |meanB - meanA| / sigmaB and of |meanB - meanA| / (sigmaA + sigmaB);
// NaN when no element is used.
void divergence(const Nb::Cell& meanA, const Nb::Cell& sigmaA, const Nb::Cell& meanB,
                const Nb::Cell& sigmaB, uint32_t n, float& ratio, float& distance,
                float& separation);

// Share of the bit rows whose bit i is 1.
float bitMean(const Nb::Cell* rows, uint32_t count, uint32_t bit);
// Bit positions below count at which the two bit cells differ.
uint32_t hamming(const Nb::Cell& a, const Nb::Cell& b, uint32_t count);
// int32 elements equal to 0.
uint32_t countZeros(const Nb::Cell& v, uint32_t n);
// Positions where exactly one of the two elements is > 0.
uint32_t signDiffers(const Nb::Cell& a, const Nb::Cell& b, uint32_t n);
// Elements on the same side as x: both <= 0 or both > 0.
uint32_t signAgrees(const Nb::Cell& v, float x, uint32_t n);

// Normal density; 0 when sigma is 0.
double gauss(double x, double mean, double sigma);
// Signed probability from the density about value summed over [start, end].
float probability(float value, float sigma, float start, float end);
// out[i] = probability(values[i], sigmas[i], start, end).
void probabilities(const Nb::Cell& values, const Nb::Cell& sigmas, uint32_t n, float start,
                   float end, const Nb::Cell& out);

} // namespace NeuralMath
} // namespace Bc
