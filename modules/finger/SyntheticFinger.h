#pragma once
// Seeded synthetic fingers: a master ridge pattern per finger (class, cores
// and deltas, an individual flow and ridge period, grown by oriented
// filtering from noise) and impressions of it as an area reader at 500 dpi
// would capture them: the finger shifted, turned, its skin stretched, part
// of it off the sensor, pressed dry (thin broken ridges) or wet (thick
// merged ones), with sensor noise. The module builds its foreign
// vectors from these fingers; the tests and the benchmark feed them to the
// reader. The same seed gives the same bytes on every run.

#include <cstdint>
#include <vector>

#include "modules/finger/FingerImage.h"

namespace Finger {

// How one impression differs from an ideal press in the middle of the reader.
struct Press {
    float dx = 0;       // shift in pixels, right
    float dy = 0;       // shift in pixels, down
    float angle = 0;    // turn in radians, clockwise on screen
    float pressure = 0; // -1 light and dry (thin broken ridges) .. 1 heavy and wet (thick ridges)
    float noise = 8;    // sensor noise, grey levels (standard deviation)
    float stretch = 2.5f; // elastic distortion of the skin, pixels at most
    float cut = 0;      // share of the window that the finger misses on one side
    int side = 0;       // that side: 0 left, 1 top, 2 right, 3 bottom
    uint32_t seed = 1;  // noise, contact patches and skin stretch

    // A press as people make them: shifts up to a tenth of the image each
    // way, turns up to maxDegrees, any pressure, moderate noise, the skin
    // stretched by up to 6 pixels, and one press in three partly off the
    // sensor (up to a third of the window).
    static Press random(uint32_t seed, float maxDegrees = 15.0f);
};

class SyntheticFinger {
public:
    // Reader window of every impression.
    static constexpr int Width = 256;
    static constexpr int Height = 288;

    enum Pattern { Arch, TentedArch, LeftLoop, RightLoop, Whorl };

    explicit SyntheticFinger(uint32_t seed);

    Pattern pattern() const { return m_pattern; }
    float ridgePeriod() const { return m_period; }
    // The ridge pattern in [-1, 1] (ridges positive), MasterWidth x MasterHeight.
    const std::vector<float>& master() const { return m_master; }

    GreyImage impression(const Press& press) const;

    static constexpr int Margin = 48;
    static constexpr int MasterWidth = Width + 2 * Margin;
    static constexpr int MasterHeight = Height + 2 * Margin;

private:
    float orientation(float x, float y) const;
    void grow(uint32_t seed);

    Pattern m_pattern = LeftLoop;
    float m_period = 9.5f;
    // Finger footprint: an ellipse in master coordinates.
    float m_cx = 0, m_cy = 0, m_ax = 0, m_ay = 0;
    std::vector<float> m_cores;  // x, y pairs
    std::vector<float> m_deltas; // x, y pairs
    float m_archX = 0, m_archWidth = 1, m_archHeight = 0;
    // Low-frequency waves added to the flow: amplitude, kx, ky, phase.
    std::vector<float> m_waves;
    std::vector<float> m_master;
};

} // namespace Finger
