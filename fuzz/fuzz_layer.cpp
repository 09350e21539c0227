// Layer stream reader over arbitrary bytes: it must fail cleanly or give a
// layer that evaluates and writes back to a stream that reads the same.

#include "FuzzSetup.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QDataStream>

#include "bc/Layer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    QDataStream in(bytes);
    Bc::Layer layer;
    if (!layer.read(in, in))
        return 0;

    if (layer.in > 0 && layer.outputs() > 0) {
        Nb::Matrix samples(2, Nb::Meta(layer.in, Nb::MfR32, Nb::MtC));
        for (int32_t c = 0; c < 2; ++c) {
            float* v = reinterpret_cast<float*>(samples.at(0, c));
            for (int32_t f = 0; f < layer.in; ++f)
                v[f] = float(f % 7) - 3.0f * float(c);
        }
        Nb::Matrix codes(2, Nb::Meta(layer.outputs(), Nb::MfI1, Nb::MtD));
        Nb::Matrix::Row out(&codes, 0);
        if (!layer.emulate(Nb::Matrix::Row(&samples, 0), out, (layer.lf & Bc::LfProt) != 0))
            std::abort();
    }

    QByteArray again;
    {
        QDataStream s(&again, QIODevice::WriteOnly);
        if (!layer.write(s, s))
            return 0;
    }
    QDataStream back(again);
    Bc::Layer copy;
    if (!copy.read(back, back) || copy.outputs() != layer.outputs())
        std::abort();
    for (int32_t i = 0; i < layer.outputs(); ++i)
        if (copy.neurons[size_t(i)].inputs != layer.neurons[size_t(i)].inputs ||
            copy.neurons[size_t(i)].weights != layer.neurons[size_t(i)].weights)
            std::abort();
    return 0;
}
