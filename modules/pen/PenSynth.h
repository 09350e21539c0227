#pragma once
// Seeded synthetic writers. A writer is the pen trajectory of a short
// cursive word with a shape, slant, size, rhythm, pressure and device of its
// own; each of its samples is that trajectory written again with the
// variation of a real hand: another size, place, slant and rotation, control
// points a little off, the whole sample faster or slower, local hurries and
// slow-downs, pauses where the pen rests, other pen-up gaps, a tail added or
// cut short, and the device's own traces (a tablet's fine points and
// pressure, a mouse's whole pixels, 10 ms events and shaky hand). The module
// draws its foreign writers and its feature normalisation from here; the
// tests and the benchmark draw their persons from here too. Equal seeds give
// equal samples.

#include <cstdint>
#include <random>
#include <vector>

#include "modules/pen/PenStrokes.h"

namespace Pen {

class Random {
public:
    explicit Random(uint32_t seed) : m_gen(seed) {}
    // Uniform in [0, 1), from the raw generator alone, so that every
    // standard library gives the same numbers.
    double unit() { return double(m_gen()) / 4294967296.0; }
    double uniform(double a, double b) { return a + (b - a) * unit(); }
    int range(int lo, int hi) { return lo + int(unit() * double(hi - lo + 1)); }
    double normal();
    bool chance(double p) { return unit() < p; }

private:
    std::mt19937 m_gen;
};

// How far a sample strays from its writer's trajectory; the defaults are a
// person's own variation from one signature to the next.
struct Variation {
    double jitter = 0.045;  // control point noise, in x-heights
    double rotate = 0.09;   // radians, at most (about 5 degrees)
    double shear = 0.06;    // slant change, at most
    double aspect = 0.08;   // width to height change, at most
    double size = 0.2;      // size change, at most (log scale)
    double tempo = 0.15;    // whole-sample speed change, at most (fraction)
    double hurry = 0.25;    // local speed change, at most (log scale)
    double rest = 0.6;      // expected pauses with the pen resting
    double gap = 2.0;       // pen-up gaps vary by this factor either way
    double tail = 0.5;      // chance of a tail added or cut short
    double shake = 1.0;     // a mouse hand's shake, times the writer's own
};

class Writer {
public:
    explicit Writer(uint32_t seed);

    // A sample on a pad of the given size, placed anywhere on it.
    Sample sample(uint32_t seed, const Variation& v = Variation(), uint16_t padWidth = PadWidth,
                  uint16_t padHeight = PadHeight) const;
    uint8_t device() const { return m_device; }

private:
    struct Control {
        double x;
        double y;
        double speed;
    };
    uint32_t m_seed = 0;
    std::vector<std::vector<Control>> m_strokes;
    size_t m_words = 0; // strokes of the word; a bar may follow
    double m_slant = 0;
    double m_size = 0;     // x-height in pixels
    double m_tempo = 0;    // x-heights per millisecond
    double m_pause = 0;    // milliseconds between strokes
    double m_pressure = 0; // 0..1
    double m_interval = 0; // milliseconds between points
    double m_shake = 0;    // pixels
    uint8_t m_device = Tablet;
};

} // namespace Pen
