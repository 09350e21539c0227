#pragma once
// The directions in which fingers differ most against how much one finger's
// impressions differ among themselves.
//
// The converter weighs each parameter by itself, as if the noise of one
// impression to the next were independent from parameter to parameter. It
// is not: a finger pressed a little askew moves whole rings of flow points,
// the waves over its marks and the texture's sectors together. Given the
// scatter within a finger (Sw, from fingers pressed several times) and the
// scatter over the population (St, one impression each), the directions w with
// St w = lambda Sw w, largest lambda first, are uncorrelated in a finger's
// noise and carry the most of what tells fingers apart per unit of that
// noise. Each output is one such direction, in units of the within-finger
// spread times a gain. Only directions are kept, no finger: they are worked
// out from the built-in strangers alone.

#include <array>
#include <cstddef>
#include <vector>

#include "modules/finger/FingerTemplate.h"

namespace Finger {

class Discriminant {
public:
    // Parameters in (the centred and scaled flow, waves and texture) and out.
    static constexpr int Size = SpaceCount;
    static constexpr int Outputs = FeatureCount;
    // The outputs are the Used strongest directions, over and over: the
    // weaker ones, about as noisy within a finger as they vary over fingers,
    // would leave many of the converter's neurons reading mostly noise, and
    // a neuron reads a few dozen of the outputs at random.
    static constexpr int Used = 64;
    using Vector = std::array<float, Size>;

    // population: one vector per finger; repeats: several impressions of each
    // of some fingers. Null when there are too few of either.
    static Discriminant fit(const std::vector<Vector>& population, const std::vector<std::vector<Vector>>& repeats);
    bool isNull() const { return m_rows.empty(); }
    // out (Outputs) = gain x the directions' values of in (Size).
    void apply(const float* in, float* out) const;
    // The ratio lambda of direction k, largest first.
    double ratio(int k) const { return m_ratio[std::size_t(k)]; }

private:
    std::vector<double> m_mean;  // Size
    std::vector<float> m_rows;   // Size x Size, direction k in row k
    std::vector<double> m_ratio; // Size
};

// The eigenvalues (descending) and eigenvectors (column k of vectors, n x n
// row by row) of the symmetric n x n matrix a.
void symmetricEigen(std::vector<double> a, int n, std::vector<double>& values, std::vector<double>& vectors);

} // namespace Finger
