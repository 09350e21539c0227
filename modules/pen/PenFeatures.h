#pragma once
// The handwriting parameter vector: the ink resampled into Points points at
// equal arc length (pen-up travel adds no length, pen-up time does), centred
// on its centroid and divided by its radius of gyration, so that place and
// size do not matter; each point gives x, y and the time fraction at which
// the pen passed it. Layout: x of every point, then y, then time.
//
// The raw vector is then normalised feature by feature with the mean and
// scale of a population of writers, so that every feature spreads around
// zero in about unit steps between writers. The population is built in
// (seeded synthetic writers); a template pins the normalisation that a
// container was trained with.

#include <cstdint>
#include <vector>

#include "modules/pen/PenStrokes.h"

namespace Pen {

constexpr int32_t Points = 160;
constexpr int32_t Features = 3 * Points;

// Raw features into out[Features]; false for a sample whose ink has no
// length or no extent.
bool features(const Sample& sample, float* out);

struct Norm {
    std::vector<float> mean = std::vector<float>(size_t(Features), 0.0f);
    std::vector<float> scale = std::vector<float>(size_t(Features), 1.0f);
};

// The normalisation of the built-in population (computed once).
const Norm& builtInNorm();
void normalise(const float* raw, const Norm& norm, float* out);

// The template: layout version, point count, channels, 0, then the Features
// means and the Features scales.
constexpr int32_t TemplateHead = 4;
constexpr int32_t TemplateSize = TemplateHead + 2 * Features;
void toTemplate(const Norm& norm, float* out);
// False for anything but a well-formed template of this layout.
bool fromTemplate(const float* in, int32_t count, Norm& norm);

// Raw feature vectors of the built-in foreign writers, one sample each,
// AlienCount * Features values.
constexpr int32_t AlienCount = 160;
const std::vector<float>& alienFeatures();

// Seed ranges of the built-in writers; other users of the synthetic
// writers stay below them.
constexpr uint32_t PopulationSeed = 0x70000000u;
constexpr uint32_t AlienSeed = 0x78000000u;

} // namespace Pen
