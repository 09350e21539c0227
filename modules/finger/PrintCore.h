#pragma once
// The core of a print: the point its ridge flow turns around. Around a
// loop's core the doubled ridge angle turns once with the direction from the
// core, around a whorl's centre twice; the flow is compared with both
// patterns (complex filters of the first and second order) at every cell of
// the print, and the best fit is the core. Arches have no core: their best
// fit stays weak.

#include <vector>

#include "modules/finger/RidgeField.h"

namespace Finger {

struct PrintCore {
    float x = 0; // pixels
    float y = 0;
    // How well the flow fits a loop or whorl there: 0 .. 1. Loops and whorls
    // reach 0.45 and more, arches stay below 0.37.
    float strength = 0;
};

// The core of the print; strength 0 when the field shows no print.
PrintCore findCore(const RidgeField& field);

// A delta: the point where three ridge systems meet; around it the doubled
// ridge angle turns once against the direction from it.
struct PrintDelta {
    float x = 0; // pixels
    float y = 0;
    float strength = 0; // 0 .. 1, as a core's
};

// The deltas of the print well inside it, strongest first: at most most of
// them, each at least MinDeltaStrength and apart from the others and from
// the core.
constexpr float MinDeltaStrength = 0.45f;
std::vector<PrintDelta> findDeltas(const RidgeField& field, const PrintCore& core, int most = 2);

} // namespace Finger
