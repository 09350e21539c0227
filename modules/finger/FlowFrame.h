#pragma once
// Where an impression lies on the reader: the turn at which its ridge flow
// agrees best with a mean flow, and the print's own core as the origin. The
// mean flow is that of the module's built-in foreign fingers, the same for
// every user, so that the frame of an impression depends on that impression
// alone.

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
    // the others; null when none shows a print. placed, when given,
    // receives the frame of each field.
    static FlowFrame build(const std::vector<const RidgeField*>& fields, std::vector<Placement>* placed = nullptr);

    bool isNull() const { return m_null; }
    // The best turn (up to 36 degrees either way) and shift of the mean flow.
    Placement place(const RidgeField& field) const;
    // The frame of a print: turned as place() says, its origin on the
    // print's core. A print without a clear core (an arch) has its origin
    // where the mean flow's core falls, a faint one in between.
    Placement frame(const RidgeField& field) const;

private:
    static Placement centred(const RidgeField& field);
    Placement anchored(Placement p, const PrintCore& core) const;
    float score(const RidgeField& field, const Placement& p, bool coarse) const;
    void cellList();

    bool m_null = true;
    float m_ox = 0, m_oy = 0;
    // Where the cores of the foreign prints lie on the mean flow (median).
    float m_coreX = 0, m_coreY = 0;
    std::vector<float> m_re, m_im, m_cover;
    // Cells that take part in placing: frame x, y, flow cos, flow sin.
    std::vector<float> m_fine, m_coarse;
};

} // namespace Finger
