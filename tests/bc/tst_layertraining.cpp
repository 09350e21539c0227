#include "bc/Layer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include <QtTest>

#include "DebugCapture.h"

using namespace Bc;
using Row = Nb::Matrix::Row;
using MatrixPtr = std::unique_ptr<Nb::Matrix>;

class TestLayerTraining : public QObject {
    Q_OBJECT
private slots:
    void ownSamplesDecodeAliensDoNot_data();
    void ownSamplesDecodeAliensDoNot();
    void protectedLayerDecodesChained();
    void tooFewSamplesOrFeatures();
    void degenerateSamplesGiveFiniteWeights_data();
    void degenerateSamplesGiveFiniteWeights();
    void refusedInput();
    void weakFeaturesKeepTheLayerFromLeaning();
};

namespace {

constexpr int32_t Features = 480;
constexpr int32_t Bits = 160;

MatrixPtr reals(int32_t count, int32_t features = Features)
{
    return std::make_unique<Nb::Matrix>(count, Nb::Meta(features, Nb::MfR32, Nb::MtC));
}

float* sample(const MatrixPtr& m, int32_t c) { return reinterpret_cast<float*>(m->at(0, c)); }

// Deterministic people: a mean vector each, 12 own samples scattered
// around it, new samples of the same person, one sample each of others.
struct Case {
    explicit Case(uint32_t seed, float noise = 0.1f) : gen(seed)
    {
        mu = person();
        own = samples(mu, 12, noise);
        fresh = samples(mu, 20, noise);
        alien = reals(32);
        for (int32_t c = 0; c < 32; ++c)
            std::memcpy(sample(alien, c), sample(samples(person(), 1, noise), 0), Features * 4);
        code = std::make_unique<Nb::Matrix>(1, Nb::Meta(Bits, Nb::MfI1, Nb::MtD));
        for (int32_t i = 0; i < Bits; ++i)
            Nb::Cell(code->at(0, 0)).putBit(uint32_t(i), int32_t(gen() & 1));
    }
    float unit() { return float(double(gen()) / 4294967296.0); }
    std::vector<float> person()
    {
        std::vector<float> m(Features);
        for (float& v : m)
            v = 2.0f * unit() - 1.0f;
        return m;
    }
    MatrixPtr samples(const std::vector<float>& m, int32_t count, float noise)
    {
        MatrixPtr r = reals(count);
        for (int32_t c = 0; c < count; ++c)
            for (int32_t f = 0; f < Features; ++f)
                sample(r, c)[f] = m[size_t(f)] + noise * (unit() + unit() + unit() + unit() - 2.0f);
        return r;
    }
    bool train(Layer& l, bool grow = false) const
    {
        return l.train(Row(own.get(), 0), Row(alien.get(), 0), Row(code.get(), 0), grow);
    }

    std::mt19937 gen;
    std::vector<float> mu;
    MatrixPtr own, fresh, alien, code;
};

Layer freshLayer(int32_t in = Features, int32_t out = Bits)
{
    Layer l;
    l.init("{3b9f0c6e-2a41-4d7e-9f10-5c2e8b7a6d14}", in, out, 32, 0, CdaFixAlg, 16, false, 32, true);
    return l;
}

float errorRate(const Layer& l, const MatrixPtr& samples, const MatrixPtr& code)
{
    float r = -1;
    return l.testErrors(Row(samples.get(), 0), Row(code.get(), 0), &r) ? r : -1;
}

bool allFinite(const Layer& l)
{
    for (const Neuron& n : l.neurons)
        for (float w : n.weights)
            if (!std::isfinite(w))
                return false;
    return true;
}

} // namespace

void TestLayerTraining::ownSamplesDecodeAliensDoNot_data()
{
    QTest::addColumn<bool>("grow");
    QTest::newRow("all connections") << false;
    QTest::newRow("growing") << true;
}

void TestLayerTraining::ownSamplesDecodeAliensDoNot()
{
    QFETCH(bool, grow);
    const Case c(7);
    Layer l = freshLayer(), again = freshLayer();
    QVERIFY(c.train(l, grow));
    QCOMPARE(errorRate(l, c.own, c.code), 0.0f);
    QVERIFY(errorRate(l, c.fresh, c.code) <= 0.2f); // new samples mostly decode too
    QCOMPARE(errorRate(l, c.alien, c.code), 1.0f);
    // Every neuron's outputs over the own samples have mean +1 or -1.
    std::vector<float> out(12);
    for (int i = 0; i < l.outputs(); ++i) {
        const Neuron& n = l.neurons[size_t(i)];
        QVERIFY(n.bias == 0.0f && n.weights.size() == 32);
        n.eval(c.own->data()[0], 12, out.data());
        double mean = 0;
        for (float v : out)
            mean += v / 12.0;
        QVERIFY2(std::fabs(std::fabs(mean) - 1.0) < 1e-4, qPrintable(QString::number(mean)));
        QCOMPARE(mean > 0, Nb::Cell(c.code->at(0, 0)).bit(uint32_t(i)) == 1);
    }
    // Without growing every neuron uses all its connections; growing stops
    // some neurons before the last, their later weights left at 0.
    int shortened = 0;
    for (const Neuron& n : l.neurons) {
        int used = 32;
        while (used > 0 && n.weights[size_t(used - 1)] == 0.0f)
            --used;
        if (!grow)
            QCOMPARE(int(std::count(n.weights.begin(), n.weights.end(), 0.0f)), 0);
        shortened += used < 32;
    }
    QCOMPARE(shortened > 0, grow);
    // Run after run, the same weights to the bit.
    QVERIFY(c.train(again, grow) && c.train(again, grow));
    for (int i = 0; i < l.outputs(); ++i)
        QVERIFY(std::memcmp(l.neurons[size_t(i)].weights.data(), again.neurons[size_t(i)].weights.data(),
                            32 * sizeof(float)) == 0);
}

void TestLayerTraining::protectedLayerDecodesChained()
{
    DebugCapture cap;
    const Case c(5);
    Layer l = freshLayer();
    QVERIFY(c.train(l));
    const std::vector<float> first = l.neurons[0].weights, second = l.neurons[1].weights;
    // A real code holding a NaN would leave NaN weights: refused.
    Nb::Matrix nan(1, Nb::Meta(Bits, Nb::MfR32, Nb::MtD));
    reinterpret_cast<float*>(nan.at(0, 0))[0] = std::nanf("");
    QVERIFY(!l.protect(Row(&nan, 0)));
    QCOMPARE(l.neurons[1].weights, second);

    QVERIFY(l.protect(Row(c.code.get(), 0)));
    QCOMPARE(int(l.lf), int(LfProt));
    QCOMPARE(l.neurons[0].weights, first);
    const float x0 = Nb::Cell(c.code->at(0, 0)).bit(0) ? 1.0f : -1.0f;
    QCOMPARE(l.neurons[1].weights[3], second[3] * x0);
    QCOMPARE(errorRate(l, c.own, c.code), 0.0f); // chained, as the flag says
    QCOMPARE(errorRate(l, c.alien, c.code), 1.0f);
    Nb::Matrix out(12, Nb::Meta(Bits, Nb::MfI1, Nb::MtD));
    Row o(&out, 0);
    QVERIFY(l.emulate(Row(c.own.get(), 0), o, false));
    QVERIFY(std::memcmp(out.at(0, 0), c.code->at(0, 0), Bits / 8) != 0);
    // A second fold would undo the first while the flag stays set.
    const std::vector<float> folded = l.neurons[1].weights;
    QVERIFY(!l.protect(Row(c.code.get(), 0)));
    QCOMPARE(l.neurons[1].weights, folded);
    QCOMPARE(cap.reports().size(), 2);

    // One neuron has no previous code value to fold in: only the flag changes.
    Layer one = freshLayer(Features, 1);
    QVERIFY(c.train(one));
    const std::vector<float> alone = one.neurons[0].weights;
    QVERIFY(one.protect(Row(c.code.get(), 0)));
    QCOMPARE(int(one.lf), int(LfProt));
    QCOMPARE(one.neurons[0].weights, alone);
}

void TestLayerTraining::tooFewSamplesOrFeatures()
{
    const Case c(3);
    const MatrixPtr one = reals(1), four = reals(4), thin = reals(4, 1);
    for (int32_t s = 0; s < 4; ++s) {
        std::memcpy(sample(four, s), sample(c.own, s), Features * 4);
        sample(thin, s)[0] = float(s);
    }
    std::memcpy(sample(one, 0), sample(c.own, 0), Features * 4);
    const Row code(c.code.get(), 0);
    struct {
        const MatrixPtr& own;
        const MatrixPtr& alien;
        int32_t features;
    } cases[] = {{one, four, Features}, {four, one, Features}, {thin, thin, 1}};
    DebugCapture cap;
    for (const auto& k : cases) {
        Layer l = freshLayer(k.features, Bits);
        for (Neuron& n : l.neurons)
            n.weights.assign(n.inputs.size(), 3.0f);
        QVERIFY(!l.train(Row(k.own.get(), 0), Row(k.alien.get(), 0), code, false));
        for (const Neuron& n : l.neurons)
            QVERIFY(n.weights.empty());
    }
    QCOMPARE(cap.reports().size(), 3);
}

void TestLayerTraining::degenerateSamplesGiveFiniteWeights_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("grow");
    QTest::newRow("identical samples") << 0 << false;
    QTest::newRow("zeros at the inputs, heavy noise") << 1 << false;
    // Zero inputs put sign changes at infinity; growing meets them.
    QTest::newRow("zeros at the inputs, growing") << 1 << true;
    QTest::newRow("sums beyond float") << 2 << false;
    QTest::newRow("all zero") << 3 << false;
}

void TestLayerTraining::degenerateSamplesGiveFiniteWeights()
{
    QFETCH(int, kind);
    QFETCH(bool, grow);
    Case c(31, kind == 1 ? 10.0f : 0.1f);
    for (int32_t s = 0; s < 12; ++s)
        for (int32_t f = 0; f < Features; ++f) {
            float& v = sample(c.own, s)[f];
            const float mu = c.mu[size_t(f)];
            if (kind == 0)
                v = mu;
            else if (kind == 1 && (s + f) % 3 == 0)
                v = 0.0f;
            else if (kind == 2)
                v = (mu > 0 ? 3e37f : -3e37f) * (1.0f + 0.01f * float(s));
            else if (kind == 3)
                v = 0.0f;
        }
    Layer l = freshLayer(Features, 16);
    QVERIFY(c.train(l, grow)); // and it ends: the refinement is bounded
    QVERIFY(allFinite(l));
    for (const Neuron& n : l.neurons)
        QCOMPARE(n.weights.size(), size_t(32));
}

void TestLayerTraining::refusedInput()
{
    DebugCapture cap;
    Case c(2);
    // Connections that read past the samples' features.
    Layer wide = freshLayer(Features + 100, 8);
    QVERIFY(!c.train(wide));
    // A code shorter than the layer changes nothing.
    Layer l = freshLayer();
    QVERIFY(c.train(l));
    const std::vector<float> kept = l.neurons[0].weights;
    Nb::Matrix shortCode(1, Nb::Meta(Bits - 1, Nb::MfI1, Nb::MtD));
    QVERIFY(!l.train(Row(c.own.get(), 0), Row(c.alien.get(), 0), Row(&shortCode, 0), false));
    QCOMPARE(l.neurons[0].weights, kept);
    // A sample that is not a number.
    sample(c.own, 4)[17] = std::nanf("");
    QVERIFY(!c.train(l));
    QVERIFY(l.neurons[0].weights.empty());
    QCOMPARE(cap.reports().size(), 3);
}

// Votes over a stolen layer's weight signs read the code as far as the
// neurons lean to it (weights on the code's side beyond half); owners whose
// features are weak against their own noise must not leave layers that lean
// far.
void TestLayerTraining::weakFeaturesKeepTheLayerFromLeaning()
{
    const Case c(13, 0.4f);
    Layer l = freshLayer();
    QVERIFY(c.train(l));
    std::vector<double> mean(Features, 0.0);
    for (int32_t s = 0; s < 12; ++s)
        for (int32_t f = 0; f < Features; ++f)
            mean[size_t(f)] += sample(c.own, s)[f];
    double lean = 0;
    for (int i = 0; i < l.outputs(); ++i) {
        const Neuron& n = l.neurons[size_t(i)];
        const double x = Nb::Cell(c.code->at(0, 0)).bit(uint32_t(i)) ? 1.0 : -1.0;
        int aligned = 0;
        for (size_t j = 0; j < n.inputs.size(); ++j)
            aligned += (n.weights[j] > 0.0f) == (x * mean[size_t(n.inputs[j])] > 0.0);
        lean += (2.0 * aligned / double(n.inputs.size()) - 1.0) / l.outputs();
    }
    QVERIFY2(lean <= 0.25, qPrintable(QString::number(lean)));
    QCOMPARE(errorRate(l, c.own, c.code), 0.0f);
}

QTEST_GUILESS_MAIN(TestLayerTraining)
#include "tst_layertraining.moc"
