#pragma once
// Where an impression lies on the reader: the turn at which its ridge flow
// agrees best with a mean flow, and the print's own core as the origin. The
// mean flow is that of the module's built-in foreign fingers, the same for
// every user, so that the frame of an impression depends on that impression
// alone; the turn is then set by the mean flow of the kind of print (arch,
// left loop, right loop, whorl) that fits best.

#include <vector>

#include "modules/finger/PrintCore.h"
#include "modules/finger/RidgeField.h"

namespace Finger {

// Rings read around a frame's origin are this much taller than wide, like a
// fingertip.
constexpr float Tall = 1.2f;

// Where the frame lies in an image: image point = R(angle) * frame point + t.
struct Placement {
    float angle = 0;
    float tx = 0;
    float ty = 0;
};

class FlowFrame {
public:
    static constexpr int Step = 16;
    static constexpr int Cols = 24;
    static constexpr int Rows = 26;
    static constexpr int Cells = Cols * Rows;

    // The mean flow of the fields after each was turned and shifted onto
    // the others; null when none shows a print. kinds, when given, holds a
    // pattern kind (0 .. Kinds - 1) per field: each kind's prints, as placed
    // on the mean flow, give that kind's own mean flow. placed, when given,
    // receives the frame of each field.
    static constexpr int Kinds = 4;
    static FlowFrame build(const std::vector<const RidgeField*>& fields, std::vector<Placement>* placed = nullptr,
                           const std::vector<int>* kinds = nullptr);

    bool isNull() const { return m_null; }
    // The best turn (up to 36 degrees either way) and shift of the mean flow,
    // then, near it, of the kind's mean flow that fits best.
    Placement place(const RidgeField& field) const;
    // The frame of a print: turned as place() says, its origin on the
    // print's core. A print without a clear core (an arch) has its origin
    // where the mean flow's core falls, a faint one in between.
    Placement frame(const RidgeField& field) const;

private:
    static Placement centred(const RidgeField& field);
    Placement anchored(Placement p, const PrintCore& core) const;
    float score(const RidgeField& field, const Placement& p, bool coarse) const;
    // The best placement near start and its score.
    Placement refined(const RidgeField& field, Placement start, bool wide, float& bestScore) const;
    void cellList();

    bool m_null = true;
    float m_ox = 0, m_oy = 0;
    // Where the cores of the foreign prints lie on the mean flow (median).
    float m_coreX = 0, m_coreY = 0;
    std::vector<float> m_re, m_im, m_cover;
    // Cells that take part in placing: frame x, y, flow cos, flow sin.
    std::vector<float> m_fine, m_coarse;
    // The kinds' mean flows, in this flow's frame. A print seen in part
    // fits the mean of all kinds askew where the kinds differ (a loop cut
    // below its core by several degrees); its own kind's flow does not.
    std::vector<FlowFrame> m_kinds;
};

} // namespace Finger
