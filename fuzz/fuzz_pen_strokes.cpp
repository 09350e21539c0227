// Untrusted handwriting stroke data (the samples of .bim files a user loads,
// and buffers handed to the pad and its processor): read, features taken,
// written back and read again. No input may crash, over-read or give
// features that are not numbers.

#include "FuzzSetup.h"
#include "modules/pen/PenFeatures.h"
#include "modules/pen/PenStrokes.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Pen::Sample sample;
    if (!Pen::read(data, size, sample)) {
        if (!sample.isEmpty())
            __builtin_trap();
        return 0;
    }

    static float raw[Pen::Features];
    if (Pen::features(sample, raw)) {
        for (float f : raw)
            if (!std::isfinite(f))
                __builtin_trap();
    }

    // A sample read writes back to the same bytes but for the reserved
    // fields, written as zeros, and reads again to the same sample.
    Pen::Bytes out;
    if (!Pen::write(sample, out) || out.size() != size)
        __builtin_trap();
    Pen::Sample again;
    if (!Pen::read(out.data(), out.size(), again) || again.strokes.size() != sample.strokes.size()
        || again.pointCount() != sample.pointCount())
        __builtin_trap();
    Pen::Bytes twice;
    if (!Pen::write(again, twice) || twice != out)
        __builtin_trap();
    return 0;
}
