#pragma once
// A finger's template and the parameter vector of an impression.
//
// The template is the finger's mean ridge flow on a grid of 16-pixel cells
// in a frame of its own, built from the enrolment impressions after each was
// turned and shifted onto the others. A new impression is placed in that
// frame by searching the turn and shift at which its flow agrees best with
// the template's; its parameters are then read at fixed places of the frame,
// so that where and how askew the finger lay does not matter.
//
// The 256 parameters (32-bit reals):
//   0..239    the ridge flow at 120 points on five rings around the centre
//             of the template's print (8, 16, 24, 32 and 40 points, 17 to 85
//             pixels across and a fifth more up and down): cos 2a and sin 2a
//             of the ridge angle a in the frame, times the coherence of the
//             flow
//   240..255  ridges per 100 pixels in eight sectors of the inner and eight
//             of the outer half of the same area
// each scaled by the spread of the foreign fingers placed in the same frame
// and centred on those of them that look most like the owner's finger, so
// that a stranger, even one with a finger of the same kind, gives values
// around 0 and what sets the owner apart stands out; a point off the print
// gives 0.
//
// The template's matrix form: one row of 32-bit reals, one cell:
//   [0] 1 (layout version)  [1] 24 columns  [2] 26 rows  [3] 16 pixels a cell
//   [4], [5] centre of the print in the frame  [6] 256  [7] 0
//   then per cell, row by row: flow cos, flow sin, share of impressions on
//   the print; then 256 centres and 256 scales of the parameters.

#include <array>
#include <vector>

#include "modules/finger/RidgeField.h"
#include "qtnb/Matrix.h"

namespace Finger {

constexpr int FeatureCount = 256;

// Where the frame lies in an image: image point = R(angle) * frame point + t.
struct Placement {
    float angle = 0;
    float tx = 0;
    float ty = 0;
};

// Parameters before centring and scaling; absent ones are off the print.
struct RawFeatures {
    std::array<float, FeatureCount> value{};
    std::array<bool, FeatureCount> present{};
};

class FeatureSpace {
public:
    // Centres and scales from the foreign fingers' parameters.
    static FeatureSpace fit(const std::vector<RawFeatures>& foreign);
    // The same, centred on the Neighbours foreign fingers nearest to the
    // mean of the owner's impressions.
    static constexpr int Neighbours = 40;
    static FeatureSpace fit(const std::vector<RawFeatures>& foreign, const std::vector<RawFeatures>& own);
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
    static constexpr int Step = 16;
    static constexpr int Cols = 24;
    static constexpr int Rows = 26;
    static constexpr int Cells = Cols * Rows;
    static constexpr int MatrixLength = 8 + 3 * Cells + 2 * FeatureCount;

    // From the flows of the enrolment impressions; null when none has a print.
    static FingerTemplate build(const std::vector<const RidgeField*>& fields);
    // The frame of one impression alone: its print's centre, upright.
    static Placement selfPlacement(const RidgeField& field);

    bool isNull() const { return m_null; }
    Placement place(const RidgeField& field) const;
    RawFeatures features(const RidgeField& field, const Placement& placement) const;
    // The parameters of a print placed without a template, centred on itself.
    static RawFeatures selfFeatures(const RidgeField& field);

    FeatureSpace space;

    Nb::Matrix* toMatrix() const;
    // False, leaving this template as it was, unless the matrix is a
    // template of the layout above.
    bool fromMatrix(const Nb::Matrix& m);

private:
    float score(const RidgeField& field, const Placement& p, bool coarse) const;
    void cellList();

    bool m_null = true;
    float m_ox = 0, m_oy = 0;
    std::vector<float> m_re, m_im, m_cover;
    // Cells that take part in placing: frame x, y, flow cos, flow sin.
    std::vector<float> m_fine, m_coarse;
};

} // namespace Finger
