// Writing and reading back a container of 10,000 blocks of 100 bytes, as a
// ratio to copying the same bytes with memcpy.

#include "Ratio.h"
#include "qtnb/Container.h"

#include <cstring>
#include <QByteArray>
#include <QDataStream>

namespace {

constexpr int Blocks = 10000;
constexpr int BlockBytes = 100;

const Nb::Container& sampleContainer()
{
    static const Nb::Container c = [] {
        Nb::Container made;
        QByteArray bytes(BlockBytes, '\0');
        for (int i = 0; i < BlockBytes; ++i)
            bytes[i] = char(i * 7);
        for (int i = 0; i < Blocks; ++i) {
            Nb::Block b(Nb::BtAppData);
            b.push(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
            made.push(b);
        }
        return made;
    }();
    return c;
}

void BM_ContainerWriteRead(benchmark::State& state)
{
    const Nb::Container& c = sampleContainer();
    QByteArray bytes;
    bytes.reserve(c.byteSize());
    for (auto _ : state) {
        bytes.resize(0);
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            if (c.writeContainer(out, false) != c.byteSize())
                state.SkipWithError("write failed");
        }
        QDataStream in(bytes);
        Nb::Container back;
        if (back.readContainer(in, Blocks) != c.byteSize())
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(back.count());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * c.byteSize());
}
BENCHMARK(BM_ContainerWriteRead)->Unit(benchmark::kMillisecond);

void BM_MemcpySameBytes(benchmark::State& state)
{
    const int32_t n = sampleContainer().byteSize();
    QByteArray src(n, 'x'), dst(n, '\0');
    for (auto _ : state) {
        std::memcpy(dst.data(), src.constData(), size_t(n));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * n);
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::runWithRatios(argc, argv, {{"BM_ContainerWriteRead", "BM_MemcpySameBytes"}});
}
