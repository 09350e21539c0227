#pragma once
// The parameter vector of an impression, and the template block.
//
// The parameters come from the impression alone. Its frame (FlowFrame) has
// its origin on the print's core and is turned as the print's ridge flow
// fits the mean flow of the built-in foreign fingers of the kind (arch, left
// loop, right loop, whorl) it fits best.
//
// The first FlowCount parameters are the ridge flow, read at Points points
// on Rings rings around the origin (8, 16 and 24 points, then the rest on the
// last ring, RingStep pixels apart, Tall times taller than wide like a
// fingertip): cos 2a and sin 2a of the ridge angle a in the frame, times the
// coherence of the flow, so parameter 2k and 2k + 1 belong to point k, the
// rings from the inside out, each ring's points by angle from the frame's
// x axis. The flow tells the pattern class more than the finger.
//
// What tells fingers of one class apart are the places of the deltas
// relative to the core and the ridge period (Marks: the delta on the frame's
// left and the one on its right, x and y each, and the median period). The
// next IdentityCount parameters are waves over these marks: cos(w . m + b),
// w and b drawn once from a fixed seed, each wave over the period alone,
// one delta and the period, or all marks. A wave is steady while the marks
// move by their own noise and takes other values for a finger whose marks
// lie a few noise widths away, so that every neuron, whatever parameters it
// is connected to, sees where the finger's marks lie, not only on which
// side of the population's mean.
//
// The last TextureCount raw values are the ridge texture around the core
// (RidgeTexture.h), each sector's filter response as a logarithm: the flow
// tells mostly the class, the texture where in it this finger's ridges run
// cleanly and where they break, end and fork.
//
// A flow point or texture sector the print does not cover well (less than
// MinCover of its neighbourhood on the print: off the sensor, off the
// finger, cut off) and a delta not found are filled in by what the
// population (FillModel) makes of what is there, so that a partial print
// gives values near its owner's and a print that shows nothing gives the
// population's. The texture of a sector shown is kept nearly as it is.
//
// Each of the SpaceCount parameters (flow, waves, texture) is then centred
// and scaled by the spread over the built-in foreign fingers, cut at 5
// either way and multiplied by Gain: small values keep the converter's
// training from leaning on single parameters.
// The processor hands out not these but their values in the directions
// that tell fingers apart against a finger's own noise, once moved part of
// the way off the mean of their kind (Discriminant.h).
//
// The template is the same for every finger: it holds nothing but the
// layout and the population's centres and scales, so that a container keeps
// nothing of its owner's print outside the trained converter. Its matrix
// form: one row of 32-bit reals, one cell:
//   [0] 13 (layout version)  [1] Rings  [2] Points  [3] SpaceCount
//   [4] RingStep  [5] Tall  [6] Gain  [7] IdentityCount
//   [8] TextureRings  [9] TextureAngles  [10] Orientations  [11] TextureBand
//   then SpaceCount centres and SpaceCount scales.
// Templates of the earlier layouts (the owner's mean flow, version 1; a
// spectrum of the minutiae, version 2; the flow alone, version 3; the
// scaled parameters handed out as they are, version 4; flow and marks
// without the texture, version 5; every print framed on the mean flow of
// all kinds, version 6; parameters not moved off their kind's mean,
// version 7; every kind moved three tenths of the way, version 8; arches
// enrolled as other prints, version 9; directions fitted on arches too,
// version 10; the same directions for loops and whorls, version 11; 64
// directions, version 12) are refused: their containers must be made again.

#include <array>
#include <vector>

#include "modules/finger/FlowFrame.h"
#include "modules/finger/RidgeTexture.h"
#include "qtnb/Matrix.h"

namespace Finger {

constexpr int Rings = 4;
constexpr int Points = 64;
constexpr int FlowCount = 2 * Points;
constexpr int FeatureCount = 256;
constexpr int IdentityCount = FeatureCount - FlowCount;
// The marks: left delta x, y; right delta x, y (pixels / MarkScale); ridge
// period (pixels / PeriodScale).
constexpr int Marks = 5;
constexpr int TextureAt = FlowCount + Marks;
constexpr int RawCount = TextureAt + TextureCount;
// The parameters before the discriminant: flow, waves, texture.
constexpr int SpaceCount = FeatureCount + TextureCount;
constexpr float RingStep = 16.0f;
constexpr float Gain = 0.1f;
constexpr float MinCover = 0.8f;

// The flow, the marks and the texture of a print; those not present are off
// the print or not found until FillModel::fill fills them in.
struct RawFeatures {
    std::array<float, RawCount> value{};
    std::array<bool, RawCount> present{};
};

// The flow of a print at the ring points of its frame, and its marks.
RawFeatures ringFlow(const RidgeField& field, const Placement& frame);
// The share of the ring points of a frame that the print covers (MinCover).
float ringCover(const RidgeField& field, const Placement& frame);
// Those and the texture of the image the field was taken from (500 dpi).
RawFeatures printFeatures(const GreyImage& image, const RidgeField& field, const Placement& frame);

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
    // How far the fill trusts parameter i as measured.
    static double noise(size_t i);
    std::vector<double> m_mean; // RawCount
    std::vector<double> m_cov;  // RawCount x RawCount, row by row
};

class FeatureSpace {
public:
    // The SpaceCount parameters of filled raw features before centring and
    // scaling.
    static void expand(const RawFeatures& raw, float* out);
    // Centres and scales from the foreign fingers' filled parameters.
    static FeatureSpace fit(const std::vector<RawFeatures>& foreign);
    void apply(const RawFeatures& raw, float* out) const;
    bool isNull() const { return m_null; }

    std::array<float, SpaceCount> centre{};
    std::array<float, SpaceCount> scale{};

private:
    bool m_null = true;
    friend class FingerTemplate;
};

class FingerTemplate {
public:
    static constexpr int Version = 13;
    static constexpr int Head = 12;
    static constexpr int MatrixLength = Head + 2 * SpaceCount;

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
