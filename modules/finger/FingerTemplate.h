#pragma once
// The parameter vector of an impression, and the template block.
//
// The parameters come from the impression alone. Its minutiae are turned
// into the frame its ridge flow has on the mean flow of the built-in foreign
// fingers (FlowFrame), which undoes how askew the finger lay, and described
// by their spectrum, which does not depend on where the finger lay:
//   S(l, d) = |sum over the n minutiae p of exp(-2 pi i (p . d) / l)|^2 / n
// at Wavelengths wavelengths l (spaced evenly in their logarithm from
// ShortestWavelength to LongestWavelength pixels) and Directions directions d
// over half a turn (S is the same for d and -d). Parameter
// k = wavelength * Directions + direction holds log(1 + S), centred and
// scaled by the spread over the built-in foreign fingers, cut at 5 either
// way and multiplied by Gain. A print with fewer than MinMinutiae minutiae
// gives 0 throughout.
//
// The template is the same for every finger: it holds nothing but the
// layout and the population's centres and scales, so that a container keeps
// nothing of its owner's print outside the trained converter. Its matrix
// form: one row of 32-bit reals, one cell:
//   [0] 2 (layout version)  [1] Wavelengths  [2] Directions  [3] 256
//   [4] ShortestWavelength  [5] LongestWavelength  [6] Gain  [7] 0
//   then 256 centres and 256 scales.
// Templates of the first layout (the owner's mean flow, version 1) are
// refused: their containers must be made again.

#include <array>
#include <vector>

#include "modules/finger/FlowFrame.h"
#include "modules/finger/Minutiae.h"
#include "qtnb/Matrix.h"

namespace Finger {

constexpr int Wavelengths = 8;
constexpr int Directions = 32;
constexpr int FeatureCount = Wavelengths * Directions;
constexpr float ShortestWavelength = 40.0f;
constexpr float LongestWavelength = 330.0f;
constexpr float Gain = 1.0f;
constexpr int MinMinutiae = 6;

// Parameters before centring and scaling; absent for a print without
// enough minutiae.
struct RawFeatures {
    std::array<float, FeatureCount> value{};
    bool present = false;
};

// The spectrum of minutiae found in an image, the image placed by frame.
RawFeatures spectrum(const std::vector<Minutia>& minutiae, const Placement& frame);

class FeatureSpace {
public:
    // Centres and scales from the foreign fingers' parameters.
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
    static constexpr int Version = 2;
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
