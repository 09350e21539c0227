#pragma once
// A handwritten sample as the pad records it: strokes of timed points. Its
// byte form is the data of every handwriting image the module hands out,
// and image-set files (.bim) keep it as it is, so it never changes once
// written; a new layout takes a new version number.
//
// Stroke data, version 1, all integers little-endian:
//
//   offset  size  field
//   0       4     magic, the bytes "VXPN"
//   4       2     uint16 version, 1
//   6       2     uint16 flags, written 0, ignored when read
//   8       2     uint16 pad width in pixels at capture (0: unknown)
//   10      2     uint16 pad height in pixels at capture (0: unknown)
//   12      4     uint32 stroke count S, 1 to MaxStrokes
//   16            S strokes, one after another:
//           1       uint8 device: 0 mouse, 1 tablet pen (pressure valid)
//           1       uint8 reserved, written 0, ignored when read
//           2       uint16 reserved, written 0, ignored when read
//           4       uint32 point count P, at least 1
//                   P points of 14 bytes:
//           4         int32 x, hundredths of a pixel, right of the pad's left edge
//           4         int32 y, hundredths of a pixel, below the pad's top edge
//           4         uint32 time in milliseconds since the first point of the
//                     sample, never decreasing through the sample
//           2         uint16 pressure, 65535 full; 0 from devices without pressure
//
// The data ends exactly after the last point; at most MaxPoints points in
// all. A reader refuses anything else without reading past the length it
// was given.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "qtnb/Wipe.h"

namespace Pen {

// Wipes every block it gives back, so that strokes and images leave no
// copies behind when vectors grow or die.
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&)
    {
    }
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
    void deallocate(T* p, size_t n)
    {
        Nb::wipe(p, n * sizeof(T));
        ::operator delete(p);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const
    {
        return true;
    }
    template <class U>
    bool operator!=(const WipingAllocator<U>&) const
    {
        return false;
    }
};

template <class T>
using Wiped = std::vector<T, WipingAllocator<T>>;
using Bytes = Wiped<uint8_t>;

enum Device : uint8_t { Mouse = 0, Tablet = 1 };

// The pad's one size, in every window that hosts it: a person writes to the
// room given, so enrolment and unlocking must give the same room. A window
// whose room is smaller (the extraction wizard's is 181 high) grows to
// hold it.
constexpr uint16_t PadWidth = 512;
constexpr uint16_t PadHeight = 192;

struct Point {
    int32_t x = 0; // hundredths of a pixel
    int32_t y = 0;
    uint32_t t = 0; // milliseconds since the sample's first point
    uint16_t pressure = 0;
};

struct Stroke {
    uint8_t device = Mouse;
    Wiped<Point> points;
};

struct Sample {
    uint16_t width = 0;
    uint16_t height = 0;
    Wiped<Stroke> strokes;

    bool isEmpty() const { return strokes.empty(); }
    size_t pointCount() const;
    void clear() { strokes.clear(); }
};

constexpr uint16_t FormatVersion = 1;
constexpr uint32_t MaxStrokes = 4096;
constexpr uint32_t MaxPoints = 1u << 20;
constexpr size_t HeaderBytes = 16;
constexpr size_t StrokeHeadBytes = 8;
constexpr size_t PointBytes = 14;

// False for an empty sample, too many strokes or points, a stroke without
// points or times that run backwards; out is then left empty.
bool write(const Sample& sample, Bytes& out);
// False, with out emptied, for anything but exactly one well-formed version-1
// record of `length` bytes.
bool read(const uint8_t* data, size_t length, Sample& out);

} // namespace Pen
