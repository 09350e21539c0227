// Row conversion of one cell of 1,000,000 elements from 32-bit reals to
// signed bits and back, against a plain loop doing the same work.

#include "Ratio.h"

#include "qtnb/Matrix.h"

#include <cstring>
#include <vector>

namespace {

constexpr int32_t Elements = 1000000;

float sample(int32_t i) { return float((i * 2654435761u) >> 16) - 32768.0f; }

void BM_RowConvertR32I1(benchmark::State& state)
{
    Nb::Matrix reals(1, Nb::Meta(Elements, Nb::MfR32, Nb::MtC));
    Nb::Matrix bits(1, Nb::Meta(Elements, Nb::MfI1, Nb::MtDO));
    float* r = reinterpret_cast<float*>(reals.at(0, 0));
    for (int32_t i = 0; i < Elements; ++i)
        r[i] = sample(i);
    const Nb::Matrix::Row realRow(&reals, 0);
    const Nb::Matrix::Row bitRow(&bits, 0);
    for (auto _ : state) {
        bitRow.convert(realRow);
        realRow.convert(bitRow);
        benchmark::DoNotOptimize(reals.at(0, 0));
        benchmark::ClobberMemory();
    }
}

void BM_PlainLoopR32I1(benchmark::State& state)
{
    std::vector<float> reals(Elements);
    std::vector<uint8_t> bits((Elements + 7) / 8);
    for (int32_t i = 0; i < Elements; ++i)
        reals[size_t(i)] = sample(i);
    for (auto _ : state) {
        for (int32_t i = 0; i < Elements; ++i) {
            uint8_t& b = bits[size_t(i) >> 3];
            const uint8_t m = uint8_t(1u << (i & 7));
            b = reals[size_t(i)] > 0.0f ? uint8_t(b | m) : uint8_t(b & ~m);
        }
        for (int32_t i = 0; i < Elements; ++i)
            reals[size_t(i)] = (bits[size_t(i) >> 3] >> (i & 7)) & 1 ? 1.0f : -1.0f;
        benchmark::DoNotOptimize(reals.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_RowConvertR32I1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLoopR32I1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::runWithRatios(argc, argv, {{"BM_RowConvertR32I1", "BM_PlainLoopR32I1"}});
}
