#pragma once
// The directions that tell fingers apart against a finger's own noise: the
// shared discriminant (modules/common/Discriminant.h) over the centred and
// scaled flow, waves and texture. Given the scatter within a finger (from
// fingers pressed several times) and over the population (one impression
// each), a finger pressed a little askew, which moves whole rings of flow
// points, the waves over its marks and the texture's sectors together, moves
// the outputs little.

#include <array>
#include <vector>

#include "modules/common/Discriminant.h"
#include "modules/finger/FingerTemplate.h"

namespace Finger {

class Discriminant {
public:
    // Parameters in (the centred and scaled flow, waves and texture) and out.
    static constexpr int Size = SpaceCount;
    static constexpr int Outputs = FeatureCount;
    // The Used strongest directions, over and over.
    static constexpr int Used = 64;
    using Vector = std::array<float, Size>;

    // population: one vector per finger; repeats: several impressions of each
    // of some fingers. Null when there are too few of either.
    static Discriminant fit(const std::vector<Vector>& population, const std::vector<std::vector<Vector>>& repeats);
    bool isNull() const { return m_common.isNull(); }
    // out (Outputs) = gain x the directions' values of in (Size).
    void apply(const float* in, float* out) const { m_common.apply(in, out); }
    // The ratio lambda of direction k, largest first.
    double ratio(int k) const { return m_common.ratio(k); }

private:
    Common::Discriminant m_common;
};

using Common::symmetricEigen;

} // namespace Finger
