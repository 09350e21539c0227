#include "bc/Layer.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include <QtTest>

#include "DebugCapture.h"

using namespace Bc;
using Row = Nb::Matrix::Row;

class TestLayerTraining : public QObject {
    Q_OBJECT
private slots:
    void ownSamplesDecodeAliensDoNot();
    void outputsScaledToUnitMean();
    void sameInputsSameWeights();
    void protectedLayerDecodesChained();
    void protectOneNeuron();
    void growingTrainsToo();
    void tooFewSamplesOrFeatures_data();
    void tooFewSamplesOrFeatures();
    void degenerateSamplesGiveFiniteWeights_data();
    void degenerateSamplesGiveFiniteWeights();
    void refusedInput();
    void protectRefusals();
};

namespace {

constexpr int32_t Features = 480;
constexpr int32_t Bits = 160;
const Nb::Uuid Salt("{3b9f0c6e-2a41-4d7e-9f10-5c2e8b7a6d14}");

// Deterministic people: a mean vector each, samples scattered around it.
class Synth {
public:
    explicit Synth(uint32_t seed) : m_gen(seed) {}
    float unit() { return float(double(m_gen()) / 4294967296.0); }
    std::vector<float> person()
    {
        std::vector<float> mu(Features);
        for (float& v : mu)
            v = 2.0f * unit() - 1.0f;
        return mu;
    }
    std::unique_ptr<Nb::Matrix> samples(const std::vector<float>& mu, int32_t count, float noise)
    {
        auto m = std::make_unique<Nb::Matrix>(count, Nb::Meta(int32_t(mu.size()), Nb::MfR32, Nb::MtC));
        for (int32_t c = 0; c < count; ++c) {
            float* v = reinterpret_cast<float*>(m->at(0, c));
            for (size_t f = 0; f < mu.size(); ++f)
                v[f] = mu[f] + noise * (unit() + unit() + unit() + unit() - 2.0f);
        }
        return m;
    }
    std::unique_ptr<Nb::Matrix> aliens(int32_t count, float noise)
    {
        auto m = std::make_unique<Nb::Matrix>(count, Nb::Meta(Features, Nb::MfR32, Nb::MtC));
        for (int32_t c = 0; c < count; ++c) {
            auto one = samples(person(), 1, noise);
            std::memcpy(m->at(0, c), one->at(0, 0), Features * sizeof(float));
        }
        return m;
    }
    std::unique_ptr<Nb::Matrix> code(int32_t bits)
    {
        auto m = std::make_unique<Nb::Matrix>(1, Nb::Meta(bits, Nb::MfI1, Nb::MtD));
        Nb::Cell cell(m->at(0, 0));
        for (int32_t i = 0; i < bits; ++i)
            cell.putBit(uint32_t(i), int32_t(m_gen() & 1));
        return m;
    }

private:
    std::mt19937 m_gen;
};

struct Case {
    std::vector<float> mu;
    std::unique_ptr<Nb::Matrix> own, fresh, alien, code;
};

Case makeCase(uint32_t seed, float noise = 0.1f)
{
    Synth s(seed);
    Case c;
    c.mu = s.person();
    c.own = s.samples(c.mu, 12, noise);
    c.fresh = s.samples(c.mu, 20, noise);
    c.alien = s.aliens(32, noise);
    c.code = s.code(Bits);
    return c;
}

Layer freshLayer(int32_t in = Features, int32_t out = Bits)
{
    Layer l;
    l.init(Salt, in, out, 32, 0, CdaFixAlg, 16, false, 32, true);
    return l;
}

float errorRate(const Layer& l, const Nb::Matrix& samples, const Nb::Matrix& code)
{
    float r = -1;
    if (!l.testErrors(Row(&samples, 0), Row(&code, 0), &r))
        return -1;
    return r;
}

bool allFinite(const Layer& l)
{
    for (const Neuron& n : l.neurons)
        for (float w : n.weights)
            if (!std::isfinite(w))
                return false;
    return true;
}

bool trainOn(Layer& l, const Case& c, bool grow = false)
{
    return l.train(Row(c.own.get(), 0), Row(c.alien.get(), 0), Row(c.code.get(), 0), grow);
}

} // namespace

void TestLayerTraining::ownSamplesDecodeAliensDoNot()
{
    const Case c = makeCase(7);
    Layer l = freshLayer();
    QVERIFY(trainOn(l, c));
    QCOMPARE(errorRate(l, *c.own, *c.code), 0.0f);
    // New samples of the same person mostly give the code as well.
    QVERIFY(errorRate(l, *c.fresh, *c.code) <= 0.2f);
    QCOMPARE(errorRate(l, *c.alien, *c.code), 1.0f);
    float own = 0, alien = 0;
    QVERIFY(l.testDistances(Row(c.own.get(), 0), Row(c.code.get(), 0), &own));
    QVERIFY(l.testDistances(Row(c.alien.get(), 0), Row(c.code.get(), 0), &alien));
    QCOMPARE(own, 0.13489629f); // every distance 0
    QVERIFY(alien < own);
}

void TestLayerTraining::outputsScaledToUnitMean()
{
    const Case c = makeCase(21);
    Layer l = freshLayer();
    QVERIFY(trainOn(l, c));
    Nb::Cell code(c.code->at(0, 0));
    std::vector<float> out(12);
    for (int i = 0; i < l.outputs(); ++i) {
        const Neuron& n = l.neurons[size_t(i)];
        QCOMPARE(n.bias, 0.0f);
        QCOMPARE(n.weights.size(), size_t(32));
        n.eval(c.own->data()[0], 12, out.data());
        double mean = 0;
        for (float v : out)
            mean += v;
        mean /= 12;
        QVERIFY2(std::fabs(std::fabs(mean) - 1.0) < 1e-4, qPrintable(QString::number(mean)));
        QCOMPARE(mean > 0, code.bit(uint32_t(i)) == 1);
    }
}

void TestLayerTraining::sameInputsSameWeights()
{
    const Case c = makeCase(99, 1.0f);
    Layer a = freshLayer(), b = freshLayer();
    QVERIFY(trainOn(a, c));
    QVERIFY(trainOn(b, c));
    QVERIFY(trainOn(b, c)); // a second run on the same layer, too
    for (int i = 0; i < a.outputs(); ++i) {
        const auto& wa = a.neurons[size_t(i)].weights;
        const auto& wb = b.neurons[size_t(i)].weights;
        QCOMPARE(wa.size(), wb.size());
        QVERIFY(std::memcmp(wa.data(), wb.data(), wa.size() * sizeof(float)) == 0);
    }
}

void TestLayerTraining::protectedLayerDecodesChained()
{
    const Case c = makeCase(5);
    Layer l = freshLayer();
    QVERIFY(trainOn(l, c));
    const std::vector<float> before = l.neurons[1].weights;
    QVERIFY(l.protect(Row(c.code.get(), 0)));
    QCOMPARE(int(l.lf), int(LfProt));
    // Neuron 1 is folded with bit 0 of the code (+1 or -1).
    const float x0 = Nb::Cell(c.code->at(0, 0)).bit(0) ? 1.0f : -1.0f;
    QCOMPARE(l.neurons[1].weights[3], before[3] * x0);
    QCOMPARE(errorRate(l, *c.own, *c.code), 0.0f); // chained, as the flag says
    QCOMPARE(errorRate(l, *c.alien, *c.code), 1.0f);
    // Without chaining the stored bits are not the code.
    Nb::Matrix out(12, Nb::Meta(Bits, Nb::MfI1, Nb::MtD));
    Row o(&out, 0);
    QVERIFY(l.emulate(Row(c.own.get(), 0), o, false));
    QVERIFY(std::memcmp(out.at(0, 0), c.code->at(0, 0), Bits / 8) != 0);
}

void TestLayerTraining::protectOneNeuron()
{
    const Case c = makeCase(8);
    Layer l = freshLayer(Features, 1);
    QVERIFY(trainOn(l, c));
    const std::vector<float> before = l.neurons[0].weights;
    QVERIFY(l.protect(Row(c.code.get(), 0)));
    QCOMPARE(l.neurons[0].weights, before);
    QCOMPARE(int(l.lf), int(LfProt));
}

void TestLayerTraining::growingTrainsToo()
{
    const Case c = makeCase(13);
    Layer l = freshLayer();
    QVERIFY(trainOn(l, c, true));
    QVERIFY(allFinite(l));
    QCOMPARE(errorRate(l, *c.own, *c.code), 0.0f);
}

void TestLayerTraining::tooFewSamplesOrFeatures_data()
{
    QTest::addColumn<int>("own");
    QTest::addColumn<int>("alien");
    QTest::addColumn<int>("features");
    QTest::newRow("one own sample") << 1 << 4 << 10;
    QTest::newRow("one alien sample") << 4 << 1 << 10;
    QTest::newRow("one feature") << 4 << 4 << 1;
}

void TestLayerTraining::tooFewSamplesOrFeatures()
{
    QFETCH(int, own);
    QFETCH(int, alien);
    QFETCH(int, features);
    Synth s(3);
    std::vector<float> mu = s.person();
    mu.resize(size_t(features));
    auto o = s.samples(mu, own, 0.1f);
    auto a = s.samples(mu, alien, 0.1f);
    auto code = s.code(8);
    Layer l = freshLayer(features, 8);
    for (Neuron& n : l.neurons)
        n.weights.assign(n.inputs.size(), 3.0f);
    DebugCapture cap;
    QVERIFY(!l.train(Row(o.get(), 0), Row(a.get(), 0), Row(code.get(), 0), false));
    for (const Neuron& n : l.neurons)
        QVERIFY(n.weights.empty());
    QCOMPARE(cap.reports().size(), 1);
}

void TestLayerTraining::degenerateSamplesGiveFiniteWeights_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("identical samples") << 0;
    QTest::newRow("zeros at the inputs, heavy noise") << 1;
    QTest::newRow("sums beyond float") << 2;
    QTest::newRow("all zero") << 3;
}

void TestLayerTraining::degenerateSamplesGiveFiniteWeights()
{
    QFETCH(int, kind);
    Case c = makeCase(31, kind == 1 ? 10.0f : 0.1f);
    for (int32_t s = 0; s < 12; ++s) {
        float* v = reinterpret_cast<float*>(c.own->at(0, s));
        for (int32_t f = 0; f < Features; ++f) {
            if (kind == 0)
                v[f] = c.mu[size_t(f)];
            else if (kind == 1 && (s + f) % 3 == 0)
                v[f] = 0.0f;
            else if (kind == 2)
                v[f] = 3e37f * (c.mu[size_t(f)] > 0 ? 1.0f : -1.0f) * (1.0f + 0.01f * float(s));
            else if (kind == 3)
                v[f] = 0.0f;
        }
    }
    Layer l = freshLayer(Features, 16);
    QVERIFY(trainOn(l, c));
    QVERIFY(allFinite(l));
    for (const Neuron& n : l.neurons)
        QCOMPARE(n.weights.size(), size_t(32));
}

void TestLayerTraining::refusedInput()
{
    DebugCapture cap;
    Case c = makeCase(2);
    Layer l = freshLayer();
    // A sample that is not a number.
    reinterpret_cast<float*>(c.own->at(0, 4))[17] = std::nanf("");
    QVERIFY(!trainOn(l, c));
    QVERIFY(l.neurons[0].weights.empty());
    // Connections that read past the samples' features.
    Case narrow = makeCase(2);
    Layer wide = freshLayer(Features + 100, 8);
    QVERIFY(!trainOn(wide, narrow));
    // A code shorter than the layer changes nothing.
    Layer trained = freshLayer();
    QVERIFY(trainOn(trained, narrow));
    const std::vector<float> kept = trained.neurons[0].weights;
    Synth s(4);
    auto shortCode = s.code(Bits - 1);
    QVERIFY(!trained.train(Row(narrow.own.get(), 0), Row(narrow.alien.get(), 0),
                           Row(shortCode.get(), 0), false));
    QCOMPARE(trained.neurons[0].weights, kept);
    QCOMPARE(cap.reports().size(), 3);
}

void TestLayerTraining::protectRefusals()
{
    DebugCapture cap;
    const Case c = makeCase(6);
    Layer l = freshLayer(Features, 4);
    QVERIFY(trainOn(l, c));
    const std::vector<float> kept = l.neurons[1].weights;
    // A real code holding a NaN would leave NaN weights.
    Nb::Matrix reals(1, Nb::Meta(4, Nb::MfR32, Nb::MtD));
    float* x = reinterpret_cast<float*>(reals.at(0, 0));
    x[0] = std::nanf("");
    x[1] = x[2] = x[3] = 1.0f;
    QVERIFY(!l.protect(Row(&reals, 0)));
    QCOMPARE(l.neurons[1].weights, kept);
    QCOMPARE(int(l.lf), 0);
    QVERIFY(l.protect(Row(c.code.get(), 0)));
    // A second fold would undo the first while the flag stays.
    const std::vector<float> folded = l.neurons[1].weights;
    QVERIFY(!l.protect(Row(c.code.get(), 0)));
    QCOMPARE(l.neurons[1].weights, folded);
    QCOMPARE(cap.reports().size(), 2);
}

QTEST_GUILESS_MAIN(TestLayerTraining)
#include "tst_layertraining.moc"
