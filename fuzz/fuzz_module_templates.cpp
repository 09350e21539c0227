// Untrusted template blocks (read from containers a user imports) as the
// handwriting and fingerprint processors take them: the matrix read, then
// each module's template reader. No input may crash or over-read; a
// template taken writes back to the same numbers.

#include "FuzzSetup.h"
#include "modules/finger/FingerTemplate.h"
#include "modules/pen/PenFeatures.h"
#include "qtnb/Matrix.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <QByteArray>
#include <QDataStream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    Nb::Matrix m;
    QDataStream in(bytes);
    if (m.read(in) < 0 || m.rows() < 1 || m.cols() < 1)
        return 0;

    const Nb::Meta meta = m.meta(0);
    if (meta.format == Nb::MfR32 && m.data() && m.data()[0] && !m.data()[0][0].isNull()) {
        Pen::Norm norm;
        const float* cells = reinterpret_cast<const float*>(m.at(0, 0));
        if (Pen::fromTemplate(cells, meta.count, norm)) {
            static float back[Pen::TemplateSize];
            Pen::toTemplate(norm, back);
            // The same numbers come back, but for the reserved fourth, written 0.
            if (meta.count != Pen::TemplateSize || std::memcmp(back, cells, 3 * sizeof(float)) != 0 ||
                std::memcmp(back + 4, cells + 4, sizeof back - 4 * sizeof(float)) != 0)
                __builtin_trap();
            // A template taken normalises every sample to numbers.
            static float raw[Pen::Features], out[Pen::Features];
            Pen::normalise(raw, norm, out);
            for (float f : out)
                if (!std::isfinite(f))
                    __builtin_trap();
        }
    }

    Finger::FingerTemplate finger;
    if (finger.fromMatrix(m)) {
        const std::unique_ptr<Nb::Matrix> back(finger.toMatrix());
        if (!back || back->rows() != 1 || back->meta(0).count != Finger::FingerTemplate::MatrixLength ||
            std::memcmp(back->at(0, 0), m.at(0, 0), size_t(back->meta(0).size())) != 0)
            __builtin_trap();
        // A template taken centres and scales any flow to numbers.
        static const Finger::RawFeatures raw = [] {
            Finger::RawFeatures r;
            for (int i = 0; i < Finger::RawCount; ++i) {
                r.value[size_t(i)] = float(i % 7) / 3.0f - 1.0f;
                r.present[size_t(i)] = i % 5 != 0;
            }
            return r;
        }();
        float params[Finger::SpaceCount];
        finger.space.apply(raw, params);
        for (float f : params)
            if (!std::isfinite(f))
                __builtin_trap();
    }
    return 0;
}
