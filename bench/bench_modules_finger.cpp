// The fingerprint processor with the real engine: recognition over synthetic
// fingers, and the time to turn one impression into its parameters.
//
// Recognition: each of Fingers synthetic fingers (seeds FingerSeed on) is
// enrolled from 12 impressions (template, parameters, the module's
// strangers; standard scheme 1, one fingerprint, for a 160-bit key), then
// asked for the key with Fresh new impressions of its own and with every
// one of Strangers impressions of other fingers (seeds StrangerSeed on, two
// impressions each). Impressions are pressed as SyntheticFinger's
// Press::random makes them: shifted up to a tenth of the reader, turned up
// to 15 degrees, dry to wet, stretched, one in three partly off the sensor.
// Every press goes through the reader's check (showsCentre) first: one that
// misses the centre of the print is refused and the reader asks for another.
// Enrolment takes the first 12 presses the reader accepts; a finger whose
// presses mostly show an arch (plain or tented) is refused there and counted
// apart. Of the fresh own presses and the strangers' presses the refused
// ones are counted apart and the rates are over those accepted. A stranger's parameters do not depend on
// the container, so each is converted once and tried against all of them:
// Fingers x accepted strangers' presses foreign tries, those of a finger of
// the same pattern class counted apart.
//
// Fingers 30000 to 30079, 31000 to 31079 and 32000 to 32079 and strangers
// 900000 on are kept for tuning; the seeds reported here are not looked at
// while tuning.
// The module's own foreign fingers (ForeignFingers.h) are of neither range.
// Beside the rates, the median over the fingers of the median over
// the parameters of |mean| / sigma over the 12 enrolment impressions: how
// far the owner stands from the population's centre in units of the
// owner's own spread.
//
// Timing: the module's conversion of one impression, as a ratio to copying
// the impression's buffer.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QLibrary>

#include "Ratio.h"
#include "UlvarRig.h"
#include "modules/finger/FingerImage.h"
#include "modules/finger/ForeignFingers.h"
#include "modules/finger/SyntheticFinger.h"

namespace {

// Enough fingers that a rate tells apart changes of a point or two.
constexpr int Fingers = 60;
constexpr int Fresh = 25;
// Enrolment presses tried at most for the 12 the reader accepts.
constexpr uint32_t EnrolTries = 50;
// Enough that the presses the reader accepts give over 100,000 foreign tries.
constexpr int Strangers = 5500;
constexpr uint32_t FingerSeed = 20000;
constexpr uint32_t StrangerSeed = 700000;
constexpr int Workers = 4;

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
    // False, adding nothing, for a press the reader refuses.
    bool add(const Finger::SyntheticFinger& finger, uint32_t press)
    {
        Finger::GreyImage image = finger.impression(Finger::Press::random(press));
        const bool shown = Finger::showsCentre(image);
        if (shown)
            list.push_back(Finger::ImageFormat::newSample(image, TECH_Fingerprint));
        image.wipe();
        return shown;
    }
    std::vector<uint8_t*> list;
};

// The parameters of the strangers' presses the reader accepts, converted by
// a few processors side by side, and their pattern classes.
struct StrangerSet {
    StrangerSet() : params(StrangerSet::count(), Nb::Meta(256, Nb::MfR32, Nb::MtC))
    {
        std::vector<float> all(size_t(count()) * 256);
        std::vector<char> shown(static_cast<size_t>(count()));
        std::vector<std::thread> threads;
        for (int w = 0; w < Workers; ++w)
            threads.emplace_back([this, w, &all, &shown] {
                nbIProcessor* p = rig::component<nbIProcessor>(FINGER_MODULE_PATH, CLSID_FingerprintProcessor,
                                                          IID_nbIProcessor);
                for (int i = w; i < count(); i += Workers) {
                    const Finger::SyntheticFinger other(StrangerSeed + uint32_t(i / 2));
                    Samples one;
                    if (!one.add(other, StrangerSeed + uint32_t(i)))
                        continue;
                    const rig::MatrixPtr m = rig::convert(p, one.list);
                    if (!m)
                        continue;
                    shown[size_t(i)] = 1;
                    std::memcpy(&all[size_t(i) * 256], m->at(0, 0), 256 * sizeof(float));
                }
                p->release();
            });
        std::vector<Finger::SyntheticFinger::Pattern> patterns;
        for (int i = 0; i < count() / 2; ++i)
            patterns.push_back(Finger::SyntheticFinger(StrangerSeed + uint32_t(i)).pattern());
        for (std::thread& t : threads)
            t.join();
        refused = int(std::count(shown.begin(), shown.end(), 0));
        for (int i = 0, c = 0; i < count(); ++i)
            if (shown[size_t(i)]) {
                std::memcpy(params.at(0, c++), &all[size_t(i) * 256], 256 * sizeof(float));
                pattern.push_back(patterns[size_t(i / 2)]);
            }
        params.resize(count() - refused);
    }
    // Two presses of each of Strangers / 2 fingers.
    static int count() { return Strangers; }
    Nb::Matrix params;
    std::vector<Finger::SyntheticFinger::Pattern> pattern; // per accepted press
    int refused = 0;
};

// The median over the parameters of |mean| / sigma over the first count
// samples: the enrolment's impressions, not the processor's copies of them.
double medianQuality(const Nb::Matrix& samples, int32_t count)
{
    const int32_t n = samples.meta(0).count;
    std::vector<double> q;
    for (int32_t f = 0; f < n; ++f) {
        double sum = 0, squares = 0;
        for (int32_t c = 0; c < count; ++c) {
            const double v = reinterpret_cast<const float*>(samples.at(0, c))[f];
            sum += v;
            squares += v * v;
        }
        const double mean = sum / count, sigma = std::sqrt(std::max(0.0, squares / count - mean * mean));
        q.push_back(sigma > 0 ? std::fabs(mean) / sigma : 0.0);
    }
    std::nth_element(q.begin(), q.begin() + long(q.size() / 2), q.end());
    return q.empty() ? 0.0 : q[q.size() / 2];
}

// Column c of a code matrix as key bytes, without a copy.
QByteArray codeBytes(const Nb::Matrix& code, int32_t c, int bytes)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(code.at(0, c)), bytes);
}

// The codes the container gives for every column of params, one engine call.
rig::MatrixPtr extractAll(nbIUlvar* engine, const QByteArray& container, Nb::SlotId input, const Nb::Matrix& params)
{
    engine->clear(Nb::SchemeParts(0x3F));
    rig::MatrixPtr code = rig::emptyCode();
    code->resize(params.cols());
    const uint16_t result = 0;
    if (engine->setParams(rig::dataOf(container)) != nbS_OK ||
        engine->setConstraint(input, Nb::CtAny, &params) != nbS_OK ||
        engine->emulate(nullptr, code.get(), &result) != nbS_OK)
        return nullptr;
    return code;
}

void recognition()
{
    nbIUlvar* engine = rig::component<nbIUlvar>(ULVAR_MODULE_PATH, CLSID_Ulvar, IID_nbIUlvar);
    if (!processor() || !engine) {
        std::printf("modules not found\n");
        return;
    }
    const StrangerSet strangers;
    Nb::Scheme scheme;
    rig::oneInput(scheme, rig::KeyBits, rig::Fingerprint);
    Nb::Container nbc;
    rig::biometricContainer(nbc, scheme, rig::KeyBits, 1);
    const Nb::SlotIds inputs(scheme, Nb::StIn, 255);
    rig::Client client(engine);
    rig::Synth synth(77);
    const char* names[] = {"arch", "tented arch", "left loop", "right loop", "whorl"};
    int own = 0, ownTries = 0, worst = 100, untrained = 0, enrolPresses = 0, enrolRefused = 0, freshRefused = 0;
    int classOwn[5] = {}, classTries[5] = {}, classRefused[5] = {};
    long classHits[5] = {}, classSame[5] = {}; // same-class strangers' presses, by the owner's class
    std::vector<double> quality;
    long hits[2] = {}, tries[2] = {};   // [0] other class, [1] same class
    int closest[2] = {rig::KeyBits, rig::KeyBits};
    for (int f = 0; f < Fingers; ++f) {
        const Finger::SyntheticFinger finger(FingerSeed + uint32_t(f));
        Samples enrol;
        for (uint32_t k = 0; k < EnrolTries && enrol.list.size() < 12; ++k, ++enrolPresses)
            enrolRefused += !enrol.add(finger, (FingerSeed + uint32_t(f)) * 100 + k);
        if (enrol.list.size() < 12) {
            ++untrained;
            continue;
        }
        Nb::Matrix* first = nullptr;
        Nb::Matrix* templ = nullptr;
        Nb::Matrix* alien = nullptr;
        if (processor()->getTemplate(&first, &templ, enrol.list.data(), 12) != nbS_OK) {
            // A print without a core (an arch): the user enrols another finger.
            ++classRefused[finger.pattern()];
            std::printf("finger %2d (%s): refused at enrolment\n", f, names[finger.pattern()]);
            continue;
        }
        processor()->setTemplate(templ, &TECH_Fingerprint);
        processor()->freeBuffer(templ);
        processor()->getAlienParams(&alien, -1, &TECH_Fingerprint, 0);
        const rig::MatrixPtr aliens = rig::take(processor(), alien);
        const rig::MatrixPtr owns = rig::convert(processor(), enrol.list);
        quality.push_back(medianQuality(*owns, 12));
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
            freshRefused += !fresh.add(finger, (FingerSeed + uint32_t(f)) * 100 + EnrolTries + k);
        const int accepted = int(fresh.list.size());
        if (accepted == 0)
            continue;
        const rig::MatrixPtr live = rig::convert(processor(), fresh.list);
        // A set the processor refused gives no key: its presses count as failed.
        const rig::MatrixPtr mine = live ? extractAll(engine, container, inputs.at(0), *live) : nullptr;
        const rig::MatrixPtr theirs = extractAll(engine, container, inputs.at(0), strangers.params);
        int given = 0;
        for (int32_t c = 0; mine && c < mine->cols(); ++c)
            given += rig::wrongBits(codeBytes(*mine, c, key.size()), key) == 0;
        for (int32_t c = 0; theirs && c < theirs->cols(); ++c) {
            const int same = strangers.pattern[size_t(c)] == finger.pattern();
            const int wrong = rig::wrongBits(codeBytes(*theirs, c, key.size()), key);
            hits[same] += wrong == 0;
            ++tries[same];
            classHits[finger.pattern()] += same && wrong == 0;
            classSame[finger.pattern()] += same;
            closest[same] = std::min(closest[same], wrong);
        }
        own += given;
        ownTries += accepted;
        classOwn[finger.pattern()] += given;
        classTries[finger.pattern()] += accepted;
        worst = std::min(worst, 100 * given / accepted);
        std::printf("finger %2d (%s): %2d of %d accepted own impressions gave the key\n", f, names[finger.pattern()],
                    given, accepted);
        std::fflush(stdout);
    }
    engine->release();
    std::printf("\nrecognition over %d fingers (%d could not be trained):\n", Fingers, untrained);
    std::printf("  refused at enrolment as arches:");
    for (int c = 0; c < 5; ++c)
        std::printf(" %s %d", names[c], classRefused[c]);
    std::printf("\n");
    std::printf("  presses refused as missing the print's centre (the reader asks for another): enrolment %d of "
                "%d, own %d of %d = %.1f%%, strangers %d of %d = %.1f%%\n",
                enrolRefused, enrolPresses, freshRefused, Fingers * Fresh,
                100.0 * freshRefused / (Fingers * Fresh), strangers.refused, Strangers,
                100.0 * strangers.refused / Strangers);
    std::printf("  accepted own impressions giving the key back: %d of %d = %.1f%%, worst finger %d%%\n", own,
                ownTries, ownTries ? 100.0 * own / ownTries : 0.0, worst);
    std::nth_element(quality.begin(), quality.begin() + long(quality.size() / 2), quality.end());
    std::printf("  own quality of a parameter (|mean| / sigma over the 12 enrolment impressions), median: %.2f\n",
                quality.empty() ? 0.0 : quality[quality.size() / 2]);
    std::printf("  by the owner's class, accepted own impressions giving the key:\n");
    for (int c = 0; c < 5; ++c)
        if (classTries[c])
            std::printf("    %-12s %d of %d; same-class strangers' presses giving the key: %ld of %ld\n", names[c],
                        classOwn[c], classTries[c], classHits[c], classSame[c]);
    std::printf("  accepted foreign impressions giving the key: %ld of %ld from other classes, %ld of %ld from the same "
                "class\n",
                hits[0], tries[0], hits[1], tries[1]);
    std::printf("  fewest wrong bits of a foreign impression: %d (other classes), %d (same class) of %d\n\n",
                closest[0], closest[1], rig::KeyBits);
}

// One impression, made once.
struct Timing {
    Timing()
    {
        for (uint32_t k = 99; k < 99 + EnrolTries && !live.add(Finger::SyntheticFinger(FingerSeed + 99), k); ++k) {
        }
    }
    Samples live;
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
