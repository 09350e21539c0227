#pragma once
// Seeded synthetic writers. A writer is the pen trajectory of a short
// cursive word with a shape, slant, rhythm and pressure of its own; each of
// its samples is that trajectory written again with the variation of a real
// hand: a slightly different size, place and slant, control points a little
// off, another tempo, tremor, and another pen rate and so point count. The
// module draws its foreign writers and its feature normalisation from here;
// the tests and the benchmark draw their persons from here too. Equal seeds
// give equal samples.

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

// How far a sample strays from its writer's trajectory.
struct Variation {
    double jitter = 0.035;   // control point noise, in x-heights
    double rotate = 0.035;   // radians, at most
    double shear = 0.03;     // slant change, at most
    double aspect = 0.04;    // width to height change, at most
    double tempo = 0.12;     // overall speed change, at most (fraction)
    double rhythm = 0.08;    // local speed wobble (fraction)
    double tremor = 0.004;   // point noise, in x-heights
    double minSize = 22.0;   // x-height in pixels, range of sizes
    double maxSize = 46.0;
};

class Writer {
public:
    explicit Writer(uint32_t seed);

    // A sample on a pad of the given size, placed anywhere on it; device
    // Tablet records pressure, Mouse records none.
    Sample sample(uint32_t seed, const Variation& v = Variation(), uint16_t padWidth = 640,
                  uint16_t padHeight = 240, uint8_t device = Tablet) const;

private:
    struct Control {
        double x;
        double y;
        double speed;
    };
    uint32_t m_seed = 0;
    std::vector<std::vector<Control>> m_strokes;
    double m_slant = 0;
    double m_tempo = 0;    // x-heights per millisecond
    double m_pause = 0;    // milliseconds between strokes
    double m_pressure = 0; // 0..1
    double m_interval = 0; // milliseconds between points
};

} // namespace Pen
