#pragma once
// The strangers every enrolment is trained against: one impression each of
// ForeignCount synthetic fingers with fixed seeds, built into the module
// rather than shipped as data. They also give what is the same for every
// user: the mean flows, of all and of each pattern kind, that set each
// impression's frame, the population's flow that fills in what a print does not show, the centres and scales of
// the parameters, each kind's mean, and, with some of them pressed a few
// times more, the directions that tell fingers apart. Worked out once per process, on first
// use.

#include <cstdint>
#include <vector>

#include "modules/finger/Discriminant.h"
#include "modules/finger/FingerTemplate.h"

namespace Finger {

constexpr int ForeignCount = 160;
// Seeds of the foreign fingers: ForeignSeed, ForeignSeed + 1, ...
constexpr uint32_t ForeignSeed = 0x464F0000u;

// The mean flow of the foreign impressions, and of each kind of them.
const FlowFrame& meanFlow();

// The parameters of one impression, filled in, before centring and scaling.
RawFeatures featuresOf(const GreyImage& image);

// A press whose print covers too little around its frame's origin, where
// the parameters are read, has missed the centre of the finger: what is off
// the sensor there is only guessed, and such presses give most of the
// owner's misses. The reader asks for another, as for any poor image. At
// least this share of the ring points must lie on the print.
constexpr float MinCentred = 0.89f;
// Whether an impression shows the centre of its print well enough to be read.
bool showsCentre(const GreyImage& image);

// Whether an impression's flow lies nearest the arches' (plain or tented).
bool isArch(const GreyImage& image);

// The foreign parameters, filled in, before centring and scaling.
const std::vector<RawFeatures>& foreignFeatures();

// The template every container of this layout holds.
const FingerTemplate& populationTemplate();

// The directions that tell fingers apart against a finger's own noise.
const Discriminant& discriminant();

} // namespace Finger
