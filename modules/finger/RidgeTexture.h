#pragma once
// The ridge texture around the core: in the impression's frame, sectors of
// TextureRings rings and TextureAngles angles, and in each the mean absolute
// deviation of the image filtered by even Gabor filters at Orientations
// orientations (turned with the frame) tuned to the print's ridge period,
// over the grey spread in that sector so that dry and wet presses read
// alike. The flow says where ridges run; this says how cleanly they run
// there at each orientation, which is where they break, end and fork.

#include "modules/finger/FingerImage.h"
#include "modules/finger/FlowFrame.h"

namespace Finger {

constexpr int TextureRings = 3;
constexpr int TextureAngles = 12;
constexpr int Orientations = 8;
constexpr int TextureCount = TextureRings * TextureAngles * Orientations;
// The innermost ring starts TextureInner pixels from the origin; each is
// TextureBand pixels wide (times Tall up and down, as the flow's rings).
constexpr float TextureInner = 12.0f;
constexpr float TextureBand = 20.0f;

// Sector s (ring s / TextureAngles, the inner first; angle s % TextureAngles
// from the frame's x axis), orientation o: value[s * Orientations + o].
// A sector the print does not cover well is not present.
void ridgeTexture(const GreyImage& image, const RidgeField& field, const Placement& frame, float* value,
                  bool* present);

} // namespace Finger
