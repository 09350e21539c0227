#pragma once
// The template-read attack on the fingerprint module's template layout 1:
// the template holds the owner's mean ridge flow on its 24 x 26 grid and the
// centres and scales of the parameters, so the owner's parameters can be
// read straight from it: the flow at the 120 ring points, centred and
// scaled as the template says, the ridge frequencies left at their centres.
// Kept apart from the other attacks: it belongs to that one layout.

#include <vector>

#include "qtnb/Matrix.h"

namespace attack {

// The 256 parameters read from a layout-1 fingerprint template; empty for
// any other matrix.
std::vector<float> readFingerTemplate(const Nb::Matrix& templ);

} // namespace attack
