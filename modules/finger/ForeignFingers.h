#pragma once
// The strangers every enrolment is trained against: one impression each of
// ForeignCount synthetic fingers with fixed seeds, built into the module
// rather than shipped as data. Worked out once per process, on first use.

#include <cstdint>
#include <vector>

#include "modules/finger/FingerTemplate.h"

namespace Finger {

constexpr int ForeignCount = 160;
// Seeds of the foreign fingers: ForeignSeed, ForeignSeed + 1, ...
constexpr uint32_t ForeignSeed = 0x464F0000u;

// The ridge flows of the foreign impressions.
const std::vector<RidgeField>& foreignFields();

// The foreign parameters, raw, in the frame of a template, or each print's
// own frame for a null template.
std::vector<RawFeatures> foreignFeatures(const FingerTemplate& frame);

// Centres and scales for prints placed in their own frame.
const FeatureSpace& selfSpace();

} // namespace Finger
