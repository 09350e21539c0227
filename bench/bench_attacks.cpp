// Attacks on stolen biometric containers, measured: for each input module,
// Containers persons (writers, fingers) with seeds apart from those the
// modules were tuned on enrol through the real processor and engine; each
// attack of the attack rig then makes its best guess of the key from the
// container's bytes alone, and the widening tries that guess with up to 4 of
// its 20 least certain bits flipped against the store's check value.
//
// Printed per module and attack: the wrong bits of the best guess (min,
// median, max over the containers) and how many containers the widening
// opened. Then what makes the weights leak: the owner's feature qualities
// q_f = |mean| / sigma, the share of stored weights still on their initial
// value sign(x_i m_f) q_f (scaled per neuron) rather than redrawn by
// refinement, and how often the stored signs agree with x_i sign(m_f).
//
// Timing: one widening (6,196 candidate keys through the store's check)
// against one check.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>

#include <QApplication>
#include <QCryptographicHash>

#include "AttackRig.h"
#include "Enrolment.h"
#include "Ratio.h"
#include "UlvarRig.h"
#include "varnex/model/repository.h"

namespace {

constexpr int Containers = 20;
constexpr uint32_t PenSeed = 41000;
constexpr uint32_t FingerSeed = 410000;

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

QByteArray randomKey(std::mt19937& gen)
{
    QByteArray k(20, '\0');
    for (char& c : k)
        c = char(gen() & 0xFF);
    return k;
}

// The sign each neuron's own output must have for the key: the key's bits,
// or their chain differences when the layer is protected.
std::vector<float> neuronSigns(const Bc::Layer& layer, const QByteArray& key)
{
    std::vector<float> s(static_cast<size_t>(layer.outputs()));
    float prev = 1.0f;
    for (int32_t i = 0; i < layer.outputs(); ++i) {
        const float x = (uint8_t(key[i / 8]) >> (i % 8)) & 1 ? 1.0f : -1.0f;
        s[size_t(i)] = (layer.lf & Bc::LfProt) ? x * prev : x;
        prev = x;
    }
    return s;
}

struct Leak {
    std::vector<float> quality;     // q_f of every feature of every container
    long entries = 0, initial = 0;  // weights, and those still on their initial value
    long agreeInitial = 0, agreeRedrawn = 0;
    std::vector<float> neuronQuality; // quality of each neuron's initial outputs
    std::vector<int> redrawnPerNeuron;
};

// Compares the stored layer with what the owner's samples say its initial
// weights were.
void measureLeak(const Bc::Layer& layer, const attack::Enrolled& e, Leak& leak)
{
    const int32_t F = layer.in;
    const int32_t n = e.samples;
    std::vector<double> mean(size_t(F), 0.0), sigma(size_t(F), 0.0);
    for (int32_t s = 0; s < n; ++s)
        for (int32_t f = 0; f < F; ++f)
            mean[size_t(f)] += e.own[size_t(s) * size_t(F) + size_t(f)] / n;
    for (int32_t s = 0; s < n; ++s)
        for (int32_t f = 0; f < F; ++f) {
            const double d = e.own[size_t(s) * size_t(F) + size_t(f)] - mean[size_t(f)];
            sigma[size_t(f)] += d * d / n;
        }
    std::vector<float> q(static_cast<size_t>(F));
    for (int32_t f = 0; f < F; ++f) {
        const double sd = std::sqrt(sigma[size_t(f)]);
        q[size_t(f)] = float(sd > 0 ? std::fabs(mean[size_t(f)]) / sd : (mean[size_t(f)] != 0 ? 16.0 : 0.0));
        leak.quality.push_back(q[size_t(f)]);
    }
    const std::vector<float> x = neuronSigns(layer, e.key);
    for (int32_t i = 0; i < layer.outputs(); ++i) {
        const Bc::Neuron& nr = layer.neurons[size_t(i)];
        // The neuron's scale: the median of |w| / q over its connections.
        std::vector<float> ratio;
        for (size_t k = 0; k < nr.inputs.size(); ++k)
            if (q[size_t(nr.inputs[k])] > 0)
                ratio.push_back(std::fabs(nr.weights[k]) / q[size_t(nr.inputs[k])]);
        std::nth_element(ratio.begin(), ratio.begin() + long(ratio.size() / 2), ratio.end());
        const float c = ratio.empty() ? 0.0f : ratio[ratio.size() / 2];
        int redrawn = 0;
        for (size_t k = 0; k < nr.inputs.size(); ++k) {
            const int32_t f = nr.inputs[k];
            const float expected = x[size_t(i)] * (mean[size_t(f)] > 0 ? 1.0f : -1.0f);
            const bool agree = (nr.weights[k] > 0 ? 1.0f : -1.0f) == expected;
            const bool initial = c > 0 && std::fabs(std::fabs(nr.weights[k]) / (c * q[size_t(f)]) - 1.0f) < 1e-3f;
            ++leak.entries;
            if (initial) {
                ++leak.initial;
                leak.agreeInitial += agree;
            } else {
                ++redrawn;
                leak.agreeRedrawn += agree;
            }
        }
        leak.redrawnPerNeuron.push_back(redrawn);
        // The initial outputs: weights sign(x m_f) q_f over the own samples.
        std::vector<double> out(size_t(n), 0.0);
        for (int32_t s = 0; s < n; ++s)
            for (size_t k = 0; k < nr.inputs.size(); ++k) {
                const int32_t f = nr.inputs[k];
                const double w = (x[size_t(i)] * mean[size_t(f)] > 0 ? 1.0 : -1.0) * q[size_t(f)];
                out[size_t(s)] += w * e.own[size_t(s) * size_t(F) + size_t(f)];
            }
        double m = 0, v = 0;
        for (double o : out)
            m += o / n;
        for (double o : out)
            v += (o - m) * (o - m) / n;
        leak.neuronQuality.push_back(v > 0 ? float(std::fabs(m) / std::sqrt(v)) : 16.0f);
    }
}

float quantile(std::vector<float> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

void report(attack::Modality modality, const char* name, const char* modulePath, uint32_t seed,
            std::vector<std::pair<Bc::Layer, QByteArray>>* layers = nullptr)
{
    attack::Enroller enroller(modality, modulePath, ULVAR_MODULE_PATH);
    if (!enroller.isReady()) {
        std::printf("%s: modules not found\n", name);
        return;
    }
    std::mt19937 gen(seed);
    std::map<QString, std::vector<int>> wrong;
    std::map<QString, int> opened;
    std::vector<QString> order;
    Leak leak;
    int untrained = 0;
    for (int c = 0; c < Containers; ++c) {
        attack::Enrolled e;
        if (!enroller.enrol(seed + uint32_t(c), randomKey(gen), e)) {
            ++untrained;
            continue;
        }
        attack::Stolen stolen;
        if (!stolen.read(e.container)) {
            ++untrained;
            continue;
        }
        const attack::Store store(e.key);
        if (layers)
            layers->emplace_back(stolen.layer, e.key);
        measureLeak(stolen.layer, e, leak);
        std::vector<attack::Guess> guesses = attack::voteAttacks(stolen.layer);
        Nb::Matrix aliens;
        if (enroller.aliens(stolen, aliens))
            for (attack::Guess& g : attack::foreignAttacks(stolen.layer, aliens, guesses.back()))
                guesses.push_back(g);
        if (stolen.templ) {
            // All the template holds is the population's centre: parameters about 0.
            const std::vector<float> centre(size_t(stolen.layer.in), 0.0f);
            guesses.push_back(attack::sampleGuess(QStringLiteral("template read"), stolen.layer, centre.data()));
        }
        std::vector<std::pair<const Bc::Layer*, attack::Guess>> tries;
        for (const attack::Guess& g : guesses)
            tries.emplace_back(&stolen.layer, g);
        // The same votes on the layer as the engine holds it after the
        // post-training fold of the code (the stored container is taken
        // before it).
        Bc::Layer folded = stolen.layer;
        const rig::MatrixPtr code = rig::codeMatrix(e.key);
        if (folded.protect(Nb::Matrix::Row(code.get(), 0)))
            for (attack::Guess g : attack::voteAttacks(folded)) {
                g.name = QStringLiteral("folded layer, ") + g.name;
                tries.emplace_back(&folded, g);
            }
        for (const auto& [layer, g] : tries) {
            const attack::Outcome o = attack::widen(*layer, g, store, e.key);
            if (!wrong.count(o.name))
                order.push_back(o.name);
            wrong[o.name].push_back(o.wrongBits);
            opened[o.name] += o.opened;
        }
        std::printf(".");
        std::fflush(stdout);
    }
    std::printf("\n%s: %d containers (%d could not be trained)\n", name, Containers - untrained, untrained);
    std::printf("  %-40s %5s %6s %5s %8s\n", "attack", "min", "median", "max", "opened");
    for (const QString& a : order) {
        std::vector<int> w = wrong[a];
        std::sort(w.begin(), w.end());
        std::printf("  %-40s %5d %6d %5d %5d/%zu\n", qPrintable(a), w.front(), w[w.size() / 2], w.back(), opened[a],
                    w.size());
    }
    std::vector<float> redrawn(leak.redrawnPerNeuron.begin(), leak.redrawnPerNeuron.end());
    std::printf("  feature quality q_f: quartiles %.2f %.2f %.2f, 90%% %.2f; share above 1: %.2f, above 3: %.2f\n",
                double(quantile(leak.quality, 0.25)), double(quantile(leak.quality, 0.5)),
                double(quantile(leak.quality, 0.75)), double(quantile(leak.quality, 0.9)),
                double(std::count_if(leak.quality.begin(), leak.quality.end(), [](float q) { return q > 1; })) /
                    double(std::max<size_t>(1, leak.quality.size())),
                double(std::count_if(leak.quality.begin(), leak.quality.end(), [](float q) { return q > 3; })) /
                    double(std::max<size_t>(1, leak.quality.size())));
    std::printf("  initial output quality per neuron: quartiles %.1f %.1f %.1f\n",
                double(quantile(leak.neuronQuality, 0.25)), double(quantile(leak.neuronQuality, 0.5)),
                double(quantile(leak.neuronQuality, 0.75)));
    std::printf("  weights still initial: %.1f%% (redrawn per neuron of 32: quartiles %.0f %.0f %.0f)\n",
                100.0 * double(leak.initial) / double(std::max(1L, leak.entries)), double(quantile(redrawn, 0.25)),
                double(quantile(redrawn, 0.5)), double(quantile(redrawn, 0.75)));
    std::printf("  stored sign = x_i sign(m_f): initial weights %.1f%%, redrawn weights %.1f%%, all %.1f%%\n\n",
                100.0 * double(leak.agreeInitial) / double(std::max(1L, leak.initial)),
                100.0 * double(leak.agreeRedrawn) / double(std::max(1L, leak.entries - leak.initial)),
                100.0 * double(leak.agreeInitial + leak.agreeRedrawn) / double(std::max(1L, leak.entries)));
    std::fflush(stdout);
}

// The engine alone on synthetic features: person means uniform in (-1, 1),
// own samples spread around them by the given noise. Shows whether any
// spread of the features makes refinement redraw enough weights to stop the
// vote, and what it costs the owner.
void spreadSweep()
{
    constexpr int32_t Features = 256;
    constexpr int Persons = 10;
    constexpr int Fresh = 20;
    std::printf("engine alone, synthetic features (%d persons each):\n", Persons);
    std::printf("  %-6s %-22s %-26s %-18s %s\n", "noise", "weights still initial", "vote wrong bits (median)",
                "vote opened", "fresh own samples giving the key");
    for (const float noise : {0.05f, 0.2f, 0.5f, 1.0f, 2.0f}) {
        rig::Synth synth(5);
        std::mt19937 gen(9);
        Leak leak;
        std::vector<int> wrong;
        int opened = 0, given = 0;
        for (int p = 0; p < Persons; ++p) {
            const std::vector<float> mu = synth.person(Features);
            const rig::MatrixPtr own = synth.samples(mu, attack::Enroller::Samples, noise);
            const rig::MatrixPtr aliens = synth.aliens(16, Features);
            const QByteArray key = randomKey(gen);
            const rig::MatrixPtr code = rig::codeMatrix(key);
            Bc::Layer layer;
            if (!layer.init(Nb::Uuid(), Features, rig::KeyBits, 32, 0, Bc::CdaRandom, 16, false, 32, true) ||
                !layer.train(Nb::Matrix::Row(own.get(), 0), Nb::Matrix::Row(aliens.get(), 0),
                             Nb::Matrix::Row(code.get(), 0), false))
                continue;
            attack::Enrolled e;
            e.key = key;
            e.samples = own->cols();
            for (int32_t c = 0; c < own->cols(); ++c) {
                const float* v = reinterpret_cast<const float*>(own->at(0, c));
                e.own.insert(e.own.end(), v, v + Features);
            }
            measureLeak(layer, e, leak);
            const attack::Store store(key);
            const attack::Outcome o = attack::widen(layer, attack::voteAttacks(layer).back(), store, key);
            wrong.push_back(o.wrongBits);
            opened += o.opened;
            const rig::MatrixPtr fresh = synth.samples(mu, Fresh, noise);
            for (int32_t c = 0; c < Fresh; ++c)
                given += attack::keyOf(layer, attack::outputs(layer, reinterpret_cast<const float*>(fresh->at(0, c)))) ==
                         key;
        }
        std::sort(wrong.begin(), wrong.end());
        std::printf("  %-6.2f %20.1f%% %26d %13d/%zu %14d/%d\n", double(noise),
                    100.0 * double(leak.initial) / double(std::max(1L, leak.entries)),
                    wrong.empty() ? -1 : wrong[wrong.size() / 2], opened, wrong.size(), given, Persons * Fresh);
    }
    std::printf("\n");
    std::fflush(stdout);
}

// How many weights a training would have to redraw before the votes fail:
// the weights of stored handwriting layers, each kept with the given share
// and otherwise redrawn uniformly within its neuron's range of weights (a
// redrawn weight carries no sign of the code).
void redrawSweep(const std::vector<std::pair<Bc::Layer, QByteArray>>& layers)
{
    std::printf("votes against weights redrawn at random (%zu stored handwriting layers):\n", layers.size());
    std::printf("  %-12s %-26s %s\n", "kept", "median wrong bits", "opened (signs, scaled, consistent)");
    for (const float kept : {1.0f, 0.5f, 0.3f, 0.2f, 0.1f, 0.05f}) {
        std::mt19937 gen(3);
        std::vector<std::vector<int>> wrong(3);
        std::vector<int> opened(3, 0);
        for (const auto& [stored, key] : layers) {
            Bc::Layer layer = stored;
            for (Bc::Neuron& n : layer.neurons) {
                float range = 0;
                for (float w : n.weights)
                    range = std::max(range, std::fabs(w));
                for (float& w : n.weights)
                    if (float(gen()) / 4294967296.0f >= kept)
                        w = range * (2.0f * float(gen()) / 4294967296.0f - 1.0f);
            }
            const attack::Store store(key);
            const std::vector<attack::Guess> votes = attack::voteAttacks(layer);
            for (size_t v = 0; v < votes.size() && v < 3; ++v) {
                const attack::Outcome o = attack::widen(layer, votes[v], store, key);
                wrong[v].push_back(o.wrongBits);
                opened[v] += o.opened;
            }
        }
        for (auto& w : wrong)
            std::sort(w.begin(), w.end());
        std::printf("  %-12.2f %6d %6d %6d       %3d %3d %3d\n", double(kept), wrong[0][wrong[0].size() / 2],
                    wrong[1][wrong[1].size() / 2], wrong[2][wrong[2].size() / 2], opened[0], opened[1], opened[2]);
    }
    std::printf("\n");
    std::fflush(stdout);
}

struct Widening {
    Widening() : key(20, '\x5a'), store(key)
    {
        layer.neurons.resize(160);
        guess.name = QStringLiteral("timing");
        for (int i = 0; i < 160; ++i)
            guess.score.push_back(float(i + 1));
    }
    QByteArray key;
    attack::Store store;
    Bc::Layer layer;
    attack::Guess guess;
};

Widening& widening()
{
    static Widening w;
    return w;
}

void BM_Widen(benchmark::State& state)
{
    Widening& w = widening();
    for (auto _ : state)
        benchmark::DoNotOptimize(attack::widen(w.layer, w.guess, w.store, w.key).tried);
}
BENCHMARK(BM_Widen)->Unit(benchmark::kMillisecond);

void BM_CheckOneKey(benchmark::State& state)
{
    Widening& w = widening();
    const QByteArray other(20, '\x11');
    for (auto _ : state)
        benchmark::DoNotOptimize(w.store.opens(other));
}
BENCHMARK(BM_CheckOneKey)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler(silence);
    std::vector<std::pair<Bc::Layer, QByteArray>> penLayers;
    report(attack::Modality::Pen, "handwriting (scheme 0)", NBPEN_MODULE_PATH, PenSeed, &penLayers);
    report(attack::Modality::Finger, "fingerprint (scheme 1)", FINGER_MODULE_PATH, FingerSeed);
    spreadSweep();
    redrawSweep(penLayers);
    return bench::runWithRatios(argc, argv, {{"BM_Widen", "BM_CheckOneKey"}});
}
