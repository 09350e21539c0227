#pragma once
// A grey fingerprint image and its byte form inside a sample buffer.
//
// A sample buffer has the image layout of the module interface: int32 length
// n (little-endian), the 16-byte image type id (the fingerprint technology),
// then n bytes. Those n bytes, little-endian throughout:
//
//   offset 0   4 bytes    "VXFP"
//   offset 4   uint16     format version, 1
//   offset 6   uint16     header size, 16
//   offset 8   uint16     width in pixels, 16 to 2048
//   offset 10  uint16     height in pixels, 16 to 2048
//   offset 12  uint16     resolution in dots per inch, 100 to 2000
//   offset 14  uint16     0
//   offset 16  width x height grey bytes, rows top to bottom, 0 black;
//              ridges are dark
//
// n is exactly 16 + width x height. .bim files keep these bytes, so the
// layout of version 1 never changes.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QByteArray>

#include "qtnb/Uuid.h"
#include "qtnb/Wipe.h"

namespace Finger {

struct GreyImage {
    int width = 0;
    int height = 0;
    int dpi = 500;
    std::vector<uint8_t> pixels;

    bool isNull() const { return width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height); }
    uint8_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    // Overwrites the pixels before letting them go.
    void wipe();
};

namespace ImageFormat {

constexpr int HeaderSize = 16;
constexpr uint16_t Version = 1;
constexpr int MinSide = 16;
constexpr int MaxSide = 2048;
constexpr int MinDpi = 100;
constexpr int MaxDpi = 2000;
// The sample buffer's head: length word and type id.
constexpr int SampleHead = 20;

// The n bytes above; empty for an image outside the limits.
QByteArray encode(const GreyImage& image);
// False, with out untouched, unless the bytes are exactly one image of the
// layout above; nothing is read beyond length.
bool decode(const uint8_t* bytes, int64_t length, GreyImage& out);

// A new sample buffer (new uint8_t[], head and bytes) of the given type; null
// for an image outside the limits. The caller frees it with wipeSample.
uint8_t* newSample(const GreyImage& image, const Nb::Uuid& type);
// Total byte count of a sample buffer as its length word says.
int64_t sampleSize(const uint8_t* sample);
// Overwrites and frees a buffer made by newSample.
void wipeSample(uint8_t* sample);
// A sample buffer handed in: a fingerprint image of the layout above, its
// length word matching the image exactly. False for a null, foreign,
// truncated or malformed buffer.
bool readSample(const uint8_t* sample, GreyImage& out);

// PNG file bytes of the image.
QByteArray toPng(const GreyImage& image);

} // namespace ImageFormat

} // namespace Finger
