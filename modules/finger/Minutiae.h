#pragma once
// Ridge endings and forks of a fingerprint image, found by libfprint's
// detector, kept where the print lies well inside the image (the detector
// also reports the ends of ridges at the edge of the contact area).

#include <vector>

#include "modules/finger/FingerImage.h"
#include "modules/finger/RidgeField.h"

namespace Finger {

struct Minutia {
    float x = 0;
    float y = 0;
};

// The minutiae of a 500 dpi image whose flow is field, on the print only;
// empty when the detector fails. Safe to call from several threads.
std::vector<Minutia> detectMinutiae(const GreyImage& image, const RidgeField& field);

} // namespace Finger
