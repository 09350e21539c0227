// Training of a converter-sized layer (480 inputs, 160 neurons of 32
// connections) on 12 own and 128 alien samples, and emulation of one sample
// and of a batch, against a plain dot-product loop of the same number of
// multiply-adds as one emulated sample.

#include "Ratio.h"

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bc/Layer.h"

namespace {

constexpr int32_t Features = 480;
constexpr int32_t Bits = 160;
constexpr int32_t Connections = 32;
constexpr int64_t MacsPerSample = int64_t(Bits) * Connections;

struct Data {
    Data() : gen(42)
    {
        std::vector<float> mu(Features);
        for (float& v : mu)
            v = 2.0f * unit() - 1.0f;
        own = samples(mu, 12);
        alien = std::make_unique<Nb::Matrix>(128, Nb::Meta(Features, Nb::MfR32, Nb::MtC));
        for (int32_t c = 0; c < 128; ++c) {
            std::vector<float> other(Features);
            for (float& v : other)
                v = 2.0f * unit() - 1.0f;
            auto one = samples(other, 1);
            std::memcpy(alien->at(0, c), one->at(0, 0), Features * sizeof(float));
        }
        code = std::make_unique<Nb::Matrix>(1, Nb::Meta(Bits, Nb::MfI1, Nb::MtD));
        Nb::Cell cell(code->at(0, 0));
        for (int32_t i = 0; i < Bits; ++i)
            cell.putBit(uint32_t(i), int32_t(gen() & 1));
        layer.init("{3b9f0c6e-2a41-4d7e-9f10-5c2e8b7a6d14}", Features, Bits, Connections, 0,
                   Bc::CdaFixAlg, 16, false, 32, true);
    }
    float unit() { return float(double(gen()) / 4294967296.0); }
    std::unique_ptr<Nb::Matrix> samples(const std::vector<float>& mu, int32_t count)
    {
        auto m = std::make_unique<Nb::Matrix>(count, Nb::Meta(Features, Nb::MfR32, Nb::MtC));
        for (int32_t c = 0; c < count; ++c) {
            float* v = reinterpret_cast<float*>(m->at(0, c));
            for (int32_t f = 0; f < Features; ++f)
                v[f] = mu[size_t(f)] + 0.1f * (unit() + unit() + unit() + unit() - 2.0f);
        }
        return m;
    }

    std::mt19937 gen;
    std::unique_ptr<Nb::Matrix> own, alien, code;
    Bc::Layer layer;
};

Data& data()
{
    static Data d;
    return d;
}

void BM_TrainLayer(benchmark::State& state)
{
    Data& d = data();
    const Nb::Matrix::Row own(d.own.get(), 0), alien(d.alien.get(), 0), code(d.code.get(), 0);
    for (auto _ : state) {
        Bc::Layer l = d.layer;
        benchmark::DoNotOptimize(l.train(own, alien, code, false));
        benchmark::ClobberMemory();
    }
}

Bc::Layer& trained()
{
    static Bc::Layer l = [] {
        Data& d = data();
        Bc::Layer t = d.layer;
        t.train(Nb::Matrix::Row(d.own.get(), 0), Nb::Matrix::Row(d.alien.get(), 0),
                Nb::Matrix::Row(d.code.get(), 0), false);
        return t;
    }();
    return l;
}

void emulate(benchmark::State& state, int32_t samples)
{
    Data& d = data();
    const Bc::Layer& l = trained();
    Nb::Matrix out(samples, Nb::Meta(Bits, Nb::MfI1, Nb::MtD));
    Nb::Matrix::Row o(&out, 0);
    const Nb::Matrix::Row in(d.alien.get(), 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(l.emulate(in, o, false));
        benchmark::ClobberMemory();
    }
    state.counters["MAC/s"] = benchmark::Counter(double(MacsPerSample * samples) * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}

void BM_EmulateOne(benchmark::State& state) { emulate(state, 1); }
void BM_EmulateBatch(benchmark::State& state) { emulate(state, 128); }

// The same multiply-adds as one emulated sample, over contiguous arrays,
// summed in the same extended precision.
void BM_DotProduct(benchmark::State& state)
{
    bench::dotProduct(state, MacsPerSample);
    state.counters["MAC/s"] = benchmark::Counter(double(MacsPerSample) * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}

BENCHMARK(BM_TrainLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmulateOne)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EmulateBatch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DotProduct)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::runWithRatios(argc, argv,
                                {{"BM_EmulateOne", "BM_DotProduct"},
                                 {"BM_EmulateBatch", "BM_DotProduct"},
                                 {"BM_TrainLayer", "BM_DotProduct"}});
}
