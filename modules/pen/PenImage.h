#pragma once
// Handwriting images as they cross the module interface: one buffer of the
// image layout (int32 length n, the 16-byte image type, n bytes of stroke
// data).

#include <cstdint>

#include "modules/pen/PenStrokes.h"
#include "qtnb/Uuid.h"

namespace Pen {

constexpr size_t ImageHead = 4 + 16;

// A new buffer holding the sample under the given type; null when the
// sample does not write or memory runs out.
uint8_t* makeImage(const Sample& sample, const Nb::Uuid& type);
// The sample of a handwriting image; false for a null buffer, another image
// type, a length that is negative or not that of one stroke record.
bool readImage(const uint8_t* image, Sample& out);
// Wipes all n + 20 bytes, then frees.
void freeImage(uint8_t* image);

} // namespace Pen
