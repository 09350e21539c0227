#pragma once
// The parameter vector of an impression, and the template block.
//
// The parameters come from the impression alone. Its frame (FlowFrame) has
// its origin on the print's core and is turned as the print's ridge flow
// fits the mean flow of the built-in foreign fingers. The flow is read at
// Points points on Rings rings around the origin (8, 16, 24, 32 and 48
// points, RingStep pixels apart, Tall times taller than wide like a
// fingertip): cos 2a and sin 2a of the ridge angle a in the frame, times the
// coherence of the flow, so parameter 2k and 2k + 1 belong to point k, the
// rings from the inside out, each ring's points by angle from the frame's
// x axis. A point the print does not cover well (less than MinCover of its
// neighbourhood on the print: off the sensor, off the finger, cut off) is
// filled in by what the population's flow (FillModel) makes of the points
// that are there, so that a partial print gives values near its owner's and
// a print that shows nothing gives the population's.
//
// Each parameter is then centred and scaled by the spread over the built-in
// foreign fingers, cut at 5 either way and multiplied by Gain: small values
// keep the converter's training from leaning on single parameters.
//
// The template is the same for every finger: it holds nothing but the
// layout and the population's centres and scales, so that a container keeps
// nothing of its owner's print outside the trained converter. Its matrix
// form: one row of 32-bit reals, one cell:
//   [0] 3 (layout version)  [1] Rings  [2] Points  [3] 256
//   [4] RingStep  [5] Tall  [6] Gain  [7] 0
//   then 256 centres and 256 scales.
// Templates of the earlier layouts (the owner's mean flow, version 1; a
// spectrum of the minutiae, version 2) are refused: their containers must be
// made again.

#include <array>
#include <vector>

#include "modules/finger/FlowFrame.h"
#include "qtnb/Matrix.h"

namespace Finger {

constexpr int Rings = 5;
constexpr int Points = 128;
constexpr int FeatureCount = 2 * Points;
constexpr float RingStep = 14.0f;
constexpr float Tall = 1.2f;
constexpr float Gain = 0.1f;
constexpr float MinCover = 0.8f;

// Parameters before centring and scaling; those not present are off the
// print until FillModel::fill fills them in.
struct RawFeatures {
    std::array<float, FeatureCount> value{};
    std::array<bool, FeatureCount> present{};
};

// The flow of a print at the ring points of its frame.
RawFeatures ringFlow(const RidgeField& field, const Placement& frame);

// What the population's flow makes of what a print shows: a Gaussian of the
// foreign fingers' parameters (mean and covariance); every parameter becomes
// its expectation given the present ones, which fills in the missing ones
// and evens out the noise of the others.
class FillModel {
public:
    static FillModel fit(const std::vector<RawFeatures>& population);
    bool isNull() const { return m_mean.empty(); }
    // All parameters present afterwards.
    void fill(RawFeatures& raw) const;

private:
    std::vector<double> m_mean; // FeatureCount
    std::vector<double> m_cov;  // FeatureCount x FeatureCount, row by row
};

class FeatureSpace {
public:
    // Centres and scales from the foreign fingers' filled parameters.
    static FeatureSpace fit(const std::vector<RawFeatures>& foreign);
    void apply(const RawFeatures& raw, float* out) const;
    bool isNull() const { return m_null; }

    std::array<float, FeatureCount> centre{};
    std::array<float, FeatureCount> scale{};

private:
    bool m_null = true;
    friend class FingerTemplate;
};

class FingerTemplate {
public:
    static constexpr int Version = 3;
    static constexpr int MatrixLength = 8 + 2 * FeatureCount;

    FingerTemplate() = default;
    explicit FingerTemplate(const FeatureSpace& space);

    bool isNull() const { return space.isNull(); }
    FeatureSpace space;

    Nb::Matrix* toMatrix() const;
    // False, leaving this template as it was, unless the matrix is a
    // template of the layout above.
    bool fromMatrix(const Nb::Matrix& m);
};

} // namespace Finger
