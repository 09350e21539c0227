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
    // The Used strongest directions, over and over. More of them keep
    // strangers further from the key, fewer let the owner's presses vary
    // more: with the enrolment's copies off the reader trained as the
    // owner's, 96 kept both better than 64 did without.
    static constexpr int Used = 96;
    using Vector = std::array<float, Size>;

    // The kinds: arches (plain and tented), left loops, right loops, whorls.
    static constexpr int Arch = 0;
    static constexpr int LeftLoop = 1;
    static constexpr int RightLoop = 2;
    static constexpr int Whorl = 3;
    // population: one vector per finger; repeats: several impressions of each
    // of the first of them. kinds, when given, holds the pattern kind of each
    // of the population's fingers (0 .. Kinds - 1); arches then give their
    // kind's mean but no directions, and loops (left and right together) and
    // whorls each get directions of their own. Null when there are too few
    // of either.
    static Discriminant fit(std::vector<Vector> population, std::vector<std::vector<Vector>> repeats,
                            const std::vector<int>& kinds = {});
    bool isNull() const { return m_common.isNull(); }
    // out (Outputs) = gain x the directions' values of in (Size), the vector
    // first moved towards the population's centre by part of the way from it
    // to the mean of the kind its flow lies nearest; the directions are that
    // kind's.
    void apply(const float* in, float* out) const;
    // The kind (0 .. Kinds - 1: arch, left loop, right loop, whorl) whose
    // mean the flow of in (Size) lies nearest; -1 for a null discriminant.
    int kindOf(const float* in) const;
    // The ratio lambda of direction k, largest first.
    double ratio(int k) const { return m_common.ratio(k); }

private:
    void centreOnKind(float* v, int kind) const;
    const Common::Discriminant& directions(int kind) const;

    // Of loops and whorls together: what arches take, and any kind that
    // had too few fingers for its own.
    Common::Discriminant m_common;
    Common::Discriminant m_loops;
    Common::Discriminant m_whorls;
    // Each kind's mean less the population's, Size values per kind.
    std::vector<std::vector<float>> m_kindShift;
    std::vector<float> m_kindPull; // how far each kind is moved
    std::vector<float> m_centre; // the population's mean, Size values
};

using Common::symmetricEigen;

} // namespace Finger
