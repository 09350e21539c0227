#pragma once
// The handwriting parameter vector: the ink resampled into Points points at
// equal arc length (pen-up travel adds no length), centred on its centroid,
// turned back to the line it runs along and divided by its radius of
// gyration, so that place, size, a few degrees of tilt and the pad's shape
// do not matter; each point gives x, y and the pace there: the writing time
// per length of ink, the length in radii of the writing, as a logarithm. A
// writer's rhythm shows in where the pen slows and hurries, and the speed
// of the whole writing tells apart writers whose words look alike; the
// share of the writing time gone at a point sums every hurry before it and
// tells writers apart far less.
// Writing time counts the pen moving only: a step far slower
// than the sample's usual pace (the pen resting) counts as written at a
// third of that pace, and pen-up gaps count nothing. The points are averaged with their
// neighbours along the writing, the later ones over more of it, and the
// centroid, line and radius come from the writing's first part, so that an
// end drawn out or cut short moves little. Besides, at each point: the
// lifts of the pen so far (each by how far the pen moved while up), the
// turns of the pen across the line so far, and the height of the last turn
// in radii; these count a word's strokes and peaks wherever each falls,
// which the smoothed x and y no longer show. Layout: x of every point,
// then y, pace, lifts, turns and height (Channels blocks of Points).
//
// The raw vector is then normalised feature by feature: centred on the mean
// of a population of writers and divided by the spread of one writer's own
// samples (the population's average). The population is built in (seeded
// synthetic writers); a template pins the normalisation that a container was
// trained with, and holds nothing of the writer: containers of any two
// writers carry the same template.
//
// The parameters handed out are the normalised vector's values along the
// discriminant directions of the built-in population (modules/common/
// Discriminant.h): a tail cut short or a change of pace moves many
// neighbouring features together, which the converter, weighing each
// feature by itself, would count many times over; along the directions
// they are uncorrelated within a writer and each tells writers apart. The
// directions come from the built-in writers alone, as the normalisation.

#include <cstdint>
#include <vector>

#include "modules/pen/PenStrokes.h"

namespace Pen {

constexpr int32_t Points = 80;
constexpr int32_t Channels = 6;
constexpr int32_t Features = Channels * Points;
// The standard converter schemes take this many handwriting parameters.
static_assert(Features == 480);

// Raw features into out[Features]; false for a sample whose ink has no
// length or no extent.
bool features(const Sample& sample, float* out);

struct Norm {
    std::vector<float> mean = std::vector<float>(size_t(Features), 0.0f);
    std::vector<float> scale = std::vector<float>(size_t(Features), 1.0f);
};

// The normalisation of the built-in population (computed once, with its
// discriminant directions).
const Norm& builtInNorm();
void normalise(const float* raw, const Norm& norm, float* out);
// The parameters handed out: raw features normalised, then the values along
// the Directions strongest built-in discriminant directions, each block of
// Directions outputs turned by a rotation of its own (Discriminant.h),
// Features values into out. Measured on the tuning writers: more directions
// let a writer's own samples fail more often, fewer let look-alike writers
// in (at 20, strangers two to three own spreads off in every direction
// still gave the key; 28 halved the strangers within four bits of it and
// cost the owners nothing); unturned, the strongest directions rule the
// neurons that read them and a vote over the stolen weights' signs finds
// the key.
constexpr int32_t Directions = 28;
void toParameters(const float* raw, const Norm& norm, float* out);

// The template: layout version, point count, channels, 0, then the Features
// means and the Features scales. Version 9 hands out 28 directions, not
// 20: the same means and scales then give other parameters. 8 adds lifts,
// turns and height, at half the points; 7 took the pace in time per radius of the writing and
// turned the writing back to its line, not its main axis; 6 handed the
// parameters out along the discriminant directions; 5 took the pace, not the
// share of the writing time. A template of an earlier version is refused, so
// that its container asks to be made again.
constexpr int32_t TemplateVersion = 9;
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
