// The handwriting processor with the engine: synthetic persons enrol with
// 12 samples each (standard scheme 0, a 20-byte key), then fresh samples of
// their own and samples of other writers ask for the key. Prints the rate at
// which own samples give the key back and the count of foreign samples that
// give it, then times the feature extraction of one sample against copying
// the sample.

#include "Ratio.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <QtGlobal>

#include "UlvarRig.h"
#include "bc/BcUlvar.h"
#include "modules/pen/PenFeatures.h"
#include "modules/pen/PenSynth.h"

namespace {

constexpr int Persons = 20;
constexpr int Enrol = 12;
constexpr int OwnTries = 50;
constexpr int ForeignTries = 500; // per person: 10,000 in all

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

Bc::BcUlvar* component()
{
    Bc::BcUlvar* u = new Bc::BcUlvar();
    void* out = nullptr;
    u->queryInterface(&IID_nbIUlvar, &out);
    return u;
}

// The parameters of samples as the processor gives them: one cell each.
rig::MatrixPtr params(const std::vector<Pen::Sample>& samples)
{
    auto m = std::make_unique<Nb::Matrix>(int32_t(samples.size()), Nb::Meta(Pen::Features, Nb::MfR32, Nb::MtC));
    std::vector<float> raw(static_cast<size_t>(Pen::Features));
    for (size_t i = 0; i < samples.size(); ++i) {
        if (!Pen::features(samples[i], raw.data()))
            std::memset(raw.data(), 0, raw.size() * sizeof(float));
        Pen::normalise(raw.data(), Pen::builtInNorm(), reinterpret_cast<float*>(m->at(0, int32_t(i))));
    }
    return m;
}

rig::MatrixPtr aliens()
{
    const std::vector<float>& raw = Pen::alienFeatures();
    auto m = std::make_unique<Nb::Matrix>(Pen::AlienCount, Nb::Meta(Pen::Features, Nb::MfR32, Nb::MtC));
    for (int32_t i = 0; i < Pen::AlienCount; ++i)
        Pen::normalise(raw.data() + size_t(i) * Pen::Features, Pen::builtInNorm(),
                       reinterpret_cast<float*>(m->at(0, i)));
    return m;
}

void recognition()
{
    rig::Synth synth(77);
    Nb::Scheme scheme;
    rig::oneInput(scheme);
    Nb::Container nbc;
    rig::biometricContainer(nbc, scheme, rig::KeyBits, 0);
    const QByteArray container = rig::prefixed(nbc);
    const Nb::SlotIds inputs(scheme, Nb::StIn, 255);
    const rig::MatrixPtr alien = aliens();
    Bc::BcUlvar* u = component();
    rig::Client client(u);
    int own = 0, ownOk = 0, foreign = 0, foreignOk = 0, failedTraining = 0;
    for (int p = 0; p < Persons; ++p) {
        const Pen::Writer writer(1000u + uint32_t(p));
        std::vector<Pen::Sample> enrol;
        for (int i = 0; i < Enrol; ++i)
            enrol.push_back(writer.sample(uint32_t(i + 1)));
        const rig::MatrixPtr ownParams = params(enrol);
        const QByteArray key = synth.key();
        const rig::MatrixPtr code = rig::codeMatrix(key);
        const QByteArray trained = rig::prefixed(client.train(container, inputs, scheme, {ownParams.get()},
                                                              {alien.get()}, *code));
        if (trained.size() <= 4) {
            ++failedTraining;
            continue;
        }
        int mine = 0;
        for (int i = 0; i < OwnTries; ++i) {
            const rig::MatrixPtr live = params({writer.sample(uint32_t(100 + i))});
            ++own;
            if (client.extract(trained, inputs, {live.get()}) == key) {
                ++ownOk;
                ++mine;
            }
        }
        for (int i = 0; i < ForeignTries; ++i) {
            const Pen::Writer other(200000u + uint32_t(p * ForeignTries + i));
            const rig::MatrixPtr live = params({other.sample(uint32_t(i))});
            ++foreign;
            if (client.extract(trained, inputs, {live.get()}) == key)
                ++foreignOk;
        }
        std::printf("person %2d: %2d of %d own samples give the key (E1 %.3g, E2 %.3g)\n", p, mine, OwnTries,
                    double(client.errorI), double(client.errorII));
    }
    u->release();
    std::printf("own samples giving the key: %d of %d (%.1f%%); persons whose training failed: %d\n", ownOk, own,
                own ? 100.0 * ownOk / own : 0.0, failedTraining);
    std::printf("foreign samples giving the key: %d of %d\n\n", foreignOk, foreign);
}

struct Sampled {
    Sampled()
    {
        const Pen::Sample s = Pen::Writer(4242).sample(1);
        Pen::write(s, bytes);
    }
    Pen::Bytes bytes;
};

const Sampled& sampled()
{
    static Sampled s;
    return s;
}

void BM_Features(benchmark::State& state)
{
    const Pen::Bytes& bytes = sampled().bytes;
    std::vector<float> raw(static_cast<size_t>(Pen::Features)), out(static_cast<size_t>(Pen::Features));
    for (auto _ : state) {
        Pen::Sample s;
        Pen::read(bytes.data(), bytes.size(), s);
        Pen::features(s, raw.data());
        Pen::normalise(raw.data(), Pen::builtInNorm(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_CopySample(benchmark::State& state)
{
    const Pen::Bytes& bytes = sampled().bytes;
    std::vector<uint8_t> copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_Features)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopySample)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(silence);
    Pen::builtInNorm();
    recognition();
    return bench::runWithRatios(argc, argv, {{"BM_Features", "BM_CopySample"}});
}
