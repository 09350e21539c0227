// The fingerprint processor with the real engine: recognition over synthetic
// fingers, and the time to turn one impression into its parameters.
//
// Recognition: each of Fingers synthetic fingers is enrolled from 12
// impressions (template, parameters, the module's strangers; standard scheme
// 1, one fingerprint, for a 20-byte key), then asked for the key with Fresh
// new impressions of its own (shifted up to a tenth of the reader, turned up
// to 8 degrees, light to heavy presses, sensor noise) and with Strangers
// impressions of other fingers, Fingers x Strangers foreign tries in all.
//
// Timing: the module's conversion of one impression in the frame of a
// template, as a ratio to copying the impression's buffer.

#include <cstring>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QLibrary>

#include "Ratio.h"
#include "UlvarRig.h"
#include "modules/finger/FingerImage.h"
#include "modules/finger/SyntheticFinger.h"

namespace {

constexpr int Fingers = 20;
constexpr int Fresh = 25;
constexpr int Strangers = 500;
constexpr uint32_t FingerSeed = 20000;
constexpr uint32_t StrangerSeed = 700000;

nbIProcessor* processor()
{
    static nbIProcessor* p = rig::component<nbIProcessor>(FINGER_MODULE_PATH, CLSID_FingerprintProcessor, IID_nbIProcessor);
    return p;
}

// Sample buffers as the reader hands them out.
struct Samples {
    Samples() = default;
    Samples(const Samples&) = delete;
    ~Samples()
    {
        for (uint8_t* s : list)
            Finger::ImageFormat::wipeSample(s);
    }
    void add(const Finger::SyntheticFinger& finger, uint32_t press)
    {
        list.push_back(Finger::ImageFormat::newSample(finger.impression(Finger::Press::random(press, 8.0f)),
                                                      TECH_Fingerprint));
    }
    std::vector<uint8_t*> list;
};

void recognition()
{
    nbIUlvar* engine = rig::component<nbIUlvar>(ULVAR_MODULE_PATH, CLSID_Ulvar, IID_nbIUlvar);
    if (!processor() || !engine) {
        std::printf("modules not found\n");
        return;
    }
    // Two impressions each of Strangers / 2 other fingers.
    Samples strangers;
    for (uint32_t i = 0; i < uint32_t(Strangers) / 2; ++i) {
        const Finger::SyntheticFinger other(StrangerSeed + i);
        strangers.add(other, StrangerSeed + 2 * i);
        strangers.add(other, StrangerSeed + 2 * i + 1);
    }
    Nb::Scheme scheme;
    rig::oneInput(scheme, rig::KeyBits, rig::Fingerprint);
    Nb::Container nbc;
    rig::biometricContainer(nbc, scheme, rig::KeyBits, 1);
    const Nb::SlotIds inputs(scheme, Nb::StIn, 255);
    rig::Client client(engine);
    rig::Synth synth(77);
    int own = 0, ownTries = 0, foreign = 0, foreignTries = 0, untrained = 0;
    int closest = rig::KeyBits; // fewest wrong bits a stranger got
    auto wrongBits = [](const QByteArray& a, const QByteArray& b) {
        int n = 0;
        for (int i = 0; i < std::min(a.size(), b.size()); ++i)
            n += __builtin_popcount(uint8_t(a[i] ^ b[i]));
        return n;
    };
    for (int f = 0; f < Fingers; ++f) {
        const Finger::SyntheticFinger finger(FingerSeed + uint32_t(f));
        Samples enrol;
        for (uint32_t k = 0; k < 12; ++k)
            enrol.add(finger, (FingerSeed + uint32_t(f)) * 100 + k);
        Nb::Matrix* first = nullptr;
        Nb::Matrix* templ = nullptr;
        Nb::Matrix* alien = nullptr;
        processor()->getTemplate(&first, &templ, enrol.list.data(), 12);
        processor()->setTemplate(templ, &TECH_Fingerprint);
        processor()->freeBuffer(templ);
        processor()->getAlienParams(&alien, -1, &TECH_Fingerprint, 0);
        const rig::MatrixPtr aliens = rig::take(processor(), alien);
        const rig::MatrixPtr owns = rig::convert(processor(), enrol.list);
        const QByteArray key = synth.key();
        const rig::MatrixPtr code = rig::codeMatrix(key);
        const QByteArray trained =
            client.train(rig::prefixed(nbc), inputs, scheme, {owns.get()}, {aliens.get()}, *code);
        if (trained.isEmpty()) {
            ++untrained;
            continue;
        }
        const QByteArray container = rig::prefixed(trained);
        Samples fresh;
        for (uint32_t k = 0; k < Fresh; ++k)
            fresh.add(finger, (FingerSeed + uint32_t(f)) * 100 + 50 + k);
        const int before = own;
        const rig::MatrixPtr live = rig::convert(processor(), fresh.list);
        const rig::MatrixPtr others = rig::convert(processor(), strangers.list);
        for (const auto& [set, count, hits] : {std::make_tuple(live.get(), Fresh, &own),
                                               std::make_tuple(others.get(), Strangers, &foreign)}) {
            for (int32_t c = 0; c < count; ++c) {
                rig::MatrixPtr one = std::make_unique<Nb::Matrix>(1, set->meta(0));
                std::memcpy(one->at(0, 0), set->at(0, c), size_t(set->meta(0).size()));
                const QByteArray got = client.extract(container, inputs, {one.get()});
                *hits += got == key;
                if (hits == &foreign)
                    closest = std::min(closest, wrongBits(got, key));
            }
        }
        ownTries += Fresh;
        foreignTries += Strangers;
        std::printf("finger %2d (pattern %d): %2d of %d own impressions gave the key\n", f, int(finger.pattern()),
                    own - before, Fresh);
        std::fflush(stdout);
    }
    engine->release();
    std::printf("\nrecognition over %d fingers (%d could not be trained):\n", Fingers, untrained);
    std::printf("  own impressions giving the key back: %d of %d = %.1f%%\n", own, ownTries,
                ownTries ? 100.0 * own / ownTries : 0.0);
    std::printf("  foreign impressions giving the key:  %d of %d (the closest missed %d of %d bits)\n\n", foreign,
                foreignTries, closest, rig::KeyBits);
}

// One impression and a template of its finger, made once.
struct Timing {
    Timing()
    {
        const Finger::SyntheticFinger finger(FingerSeed + 99);
        for (uint32_t k = 0; k < 12; ++k)
            enrol.add(finger, k);
        live.add(finger, 99);
        Nb::Matrix* templ = nullptr;
        processor()->getTemplate(nullptr, &templ, enrol.list.data(), 12);
        processor()->setTemplate(templ, &TECH_Fingerprint);
        processor()->freeBuffer(templ);
    }
    Samples enrol, live;
};

Timing& timing()
{
    static Timing t;
    return t;
}

void BM_CopySample(benchmark::State& state)
{
    const uint8_t* sample = timing().live.list[0];
    const size_t n = size_t(Finger::ImageFormat::sampleSize(sample));
    std::vector<uint8_t> copy(n);
    for (auto _ : state) {
        std::memcpy(copy.data(), sample, n);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopySample);

void BM_ExtractFeatures(benchmark::State& state)
{
    const std::vector<uint8_t*>& images = timing().live.list;
    for (auto _ : state) {
        Nb::Matrix* params = nullptr;
        processor()->convert(&params, images.data(), 1, nullptr);
        processor()->freeBuffer(params);
    }
}
BENCHMARK(BM_ExtractFeatures)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    recognition();
    return bench::runWithRatios(argc, argv, {{"BM_ExtractFeatures", "BM_CopySample"}});
}
