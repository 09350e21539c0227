#pragma once
// The ridge flow of one fingerprint image at 500 dpi: on a grid of 8-pixel
// cells, the ridge orientation as a doubled-angle vector whose length is the
// coherence of the flow, smoothed over the print; how much of each cell's
// neighbourhood lies on the print; and the local ridge frequency.

#include <vector>

#include "modules/finger/FingerImage.h"

namespace Finger {

class RidgeField {
public:
    static constexpr int Cell = 8;
    static constexpr int Resolution = 500;

    RidgeField() = default;
    // Images of another resolution are scaled to 500 dpi first.
    explicit RidgeField(const GreyImage& image);
    // The flow describes a finger: it is overwritten before it goes.
    ~RidgeField();
    RidgeField(const RidgeField&) = default;
    RidgeField(RidgeField&&) = default;
    RidgeField& operator=(const RidgeField&) = default;
    RidgeField& operator=(RidgeField&&) = default;
    // The image at 500 dpi (a copy when it is already).
    static GreyImage rescaled(const GreyImage& image);

    bool isEmpty() const { return m_cols == 0; }
    int cols() const { return m_cols; }
    int rows() const { return m_rows; }
    // Image size in pixels at 500 dpi.
    int width() const { return m_width; }
    int height() const { return m_height; }

    // At a pixel position: the orientation vector summed with the print's
    // weight (re, im) and that weight (0 off the print, 1 well inside);
    // false outside the image.
    bool sample(float x, float y, float& re, float& im, float& weight) const;
    // Ridges per pixel at a position, 0 where unknown.
    float frequency(float x, float y) const;

    // The median ridge period over the print in pixels, 0 where none was
    // measured.
    float period() const;

    // Centre of the print in pixels; false when no print was found.
    bool centre(float& x, float& y) const;
    // Share of the image covered by the print.
    float coverage() const;

private:
    int m_width = 0, m_height = 0;
    int m_cols = 0, m_rows = 0;
    std::vector<float> m_re, m_im, m_weight;
    // Frequency on the grid, 0 where unknown; its own weight for smoothing.
    std::vector<float> m_freq;
};

} // namespace Finger
