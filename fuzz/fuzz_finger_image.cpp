// Untrusted fingerprint sample buffers (the samples of .bim files a user
// loads, handed to the reader's view and its processor): the buffer's head
// and image read, the ridge flow and the parameters of the print taken,
// the image encoded back. No input may crash, over-read, find a core off the
// image or give parameters that are not numbers.

#include "FuzzSetup.h"
#include "modules/finger/FingerImage.h"
#include "modules/finger/FingerTemplate.h"
#include "modules/finger/PrintCore.h"
#include "modules/finger/RidgeField.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace Finger;
    // The sample buffer's length word must match what it was given: the
    // readers trust it no further than that.
    if (size < size_t(ImageFormat::SampleHead))
        return 0;
    int32_t n = 0;
    std::memcpy(&n, data, 4);
    if (n < 0 || size_t(n) != size - size_t(ImageFormat::SampleHead))
        return 0;

    GreyImage image;
    if (!ImageFormat::readSample(data, image)) {
        if (!image.isNull())
            __builtin_trap();
        return 0;
    }
    GreyImage decoded;
    if (!ImageFormat::decode(data + ImageFormat::SampleHead, n, decoded) || decoded.pixels != image.pixels)
        __builtin_trap();
    const QByteArray encoded = ImageFormat::encode(image);
    if (encoded.size() != n || std::memcmp(encoded.constData(), data + ImageFormat::SampleHead, 14) != 0)
        __builtin_trap();

    // Large prints are the benchmark's business; the search wants speed.
    if (int64_t(image.width) * image.height > 320 * 320)
        return 0;
    const RidgeField field(image);
    const PrintCore core = findCore(field);
    if (!(core.strength >= 0 && core.strength <= 1) ||
        (core.strength > 0 && !(core.x >= 0 && core.y >= 0 && core.x <= float(field.width()) &&
                                core.y <= float(field.height()))))
        __builtin_trap();
    const RawFeatures raw = printFeatures(image, field, Placement{0.3f, core.x, core.y});
    for (int i = 0; i < RawCount; ++i)
        if (raw.present[size_t(i)] && !std::isfinite(raw.value[size_t(i)]))
            __builtin_trap();
    return 0;
}
