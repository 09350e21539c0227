#include "bc/Layer.h"

#include <cmath>
#include <cstring>
#include <memory>

#include <QtTest>

#include "DebugCapture.h"

using namespace Bc;
using Row = Nb::Matrix::Row;
using Samples = std::vector<std::vector<float>>;

class TestLayerEmulation : public QObject {
    Q_OBJECT
private slots:
    void plainAndChained();
    void testFigures_data();
    void testFigures();
    void figuresBeyondTheUsualRange();
    void ranking_data();
    void ranking();
    void hostileRows();
};

namespace {

std::unique_ptr<Nb::Matrix> samplesOf(const Samples& values)
{
    const int32_t n = int32_t(values.front().size());
    auto m = std::make_unique<Nb::Matrix>(int32_t(values.size()), Nb::Meta(n, Nb::MfR32, Nb::MtC));
    for (size_t c = 0; c < values.size(); ++c)
        std::memcpy(m->at(0, int32_t(c)), values[c].data(), size_t(n) * sizeof(float));
    return m;
}

std::unique_ptr<Nb::Matrix> codes(uint8_t bits, int32_t count, int32_t cols = 1)
{
    auto m = std::make_unique<Nb::Matrix>(cols, Nb::Meta(count, Nb::MfI1, Nb::MtD));
    for (int32_t c = 0; c < cols; ++c)
        *m->at(0, c) = bits;
    return m;
}

// n0 = x0 - x1, n1 = x2, n2 = x0 + x2 - 0.5.
Layer handLayer(int32_t neurons = 3)
{
    Layer l;
    l.in = 3;
    l.neurons.resize(3);
    l.neurons[0].inputs = {0, 1};
    l.neurons[0].weights = {1, -1};
    l.neurons[1].inputs = {2};
    l.neurons[1].weights = {1};
    l.neurons[2].inputs = {0, 2};
    l.neurons[2].weights = {1, 1};
    l.neurons[2].bias = -0.5f;
    l.neurons.resize(size_t(neurons));
    return l;
}

// Sums (1, 3, 4.5), (-1, -1, -0.5) and (0, 0.5, 1): the last first sum is 0.
const Samples Hand = {{2, 1, 3}, {1, 2, -1}, {1, 1, 0.5f}};

std::vector<int> emulated(const Layer& l, bool chained)
{
    auto in = samplesOf(Hand);
    auto out = codes(0xF0, l.outputs(), 3);
    Row o(out.get(), 0);
    if (!l.emulate(Row(in.get(), 0), o, chained))
        return {};
    return {*out->at(0, 0) & 7, *out->at(0, 1) & 7, *out->at(0, 2) & 7};
}

} // namespace

void TestLayerEmulation::plainAndChained()
{
    QCOMPARE(emulated(handLayer(), false), std::vector<int>({7, 0, 6}));
    // Chained, a zero sum flips every later bit of its sample.
    QCOMPARE(emulated(handLayer(), true), std::vector<int>({7, 2, 0}));
    QCOMPARE(emulated(handLayer(1), true), std::vector<int>({1, 0, 0}));
    QCOMPARE(emulated(handLayer(1), false), std::vector<int>({1, 0, 0}));
}

void TestLayerEmulation::testFigures_data()
{
    QTest::addColumn<std::vector<int>>("samples"); // of Hand
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("lf");
    QTest::addColumn<float>("rate");
    QTest::addColumn<int>("q");
    QTest::newRow("all right, distances 0") << std::vector<int>{0, 0} << 7 << 0 << 0.0f << 0;
    // Distances 3 and 3: sigma 0, so q = 16, and 10^-57.4 is below every float.
    QTest::newRow("all wrong, distances equal") << std::vector<int>{1, 1} << 7 << 0 << 1.0f << 16;
    QTest::newRow("one bit wrong") << std::vector<int>{1, 1, 1} << 1 << 0 << 1.0f << 16;
    QTest::newRow("mean 1.5, sigma 1.5") << std::vector<int>{0, 1} << 7 << 0 << 0.5f << 1;
    QTest::newRow("ratio 1.41 cut to 1") << std::vector<int>{1, 1, 0} << 7 << 0 << 2.0f / 3 << 1;
    // Distances 3, 3, 1: mean 7/3, sigma 0.943.
    QTest::newRow("ratio 2.47 cut to 2") << std::vector<int>{1, 1, 2} << 7 << 0 << 1.0f << 2;
    // Chained codes 7, 2, 0 against 2.
    QTest::newRow("protected") << std::vector<int>{1, 1} << 2 << int(LfProt) << 0.0f << 0;
}

void TestLayerEmulation::testFigures()
{
    QFETCH(std::vector<int>, samples);
    QFETCH(int, code);
    QFETCH(int, lf);
    QFETCH(float, rate);
    QFETCH(int, q);
    Samples values;
    for (int s : samples)
        values.push_back(Hand[size_t(s)]);
    auto in = samplesOf(values);
    auto ref = codes(uint8_t(code), 3);
    Layer l = handLayer();
    l.lf = uint8_t(lf);
    float r = -1, figure = -1;
    QVERIFY(l.testErrors(Row(in.get(), 0), Row(ref.get(), 0), &r));
    QVERIFY(l.testDistances(Row(in.get(), 0), Row(ref.get(), 0), &figure));
    QCOMPARE(r, rate);
    QCOMPARE(figure, float(std::pow(10.0L, -((long double)q * q * 0.221f + 0.87f))));
    QCOMPARE(figure == 0.0f, q == 16);
    // 10^-0.87, 10^-1.091, 10^-1.754
    const float golden[] = {0.13489629f, 0.0810961f, 0.0176198f};
    if (q <= 2)
        QCOMPARE(figure, golden[q]);
}

void TestLayerEmulation::figuresBeyondTheUsualRange()
{
    // One neuron against a 40000-bit code of ones: distances 39999 and
    // 40000, so q = 79999, far past 16 bits; the figure is 0, not 10^-0.87.
    const Layer l = handLayer(1);
    auto in = samplesOf({Hand[0], Hand[1]});
    const int32_t bits = 40000;
    Nb::Matrix ref(1, Nb::Meta(bits, Nb::MfI1, Nb::MtD));
    std::memset(ref.at(0, 0), 0xFF, bits / 8);
    float rate = -1, figure = -1;
    QVERIFY(l.testErrors(Row(in.get(), 0), Row(&ref, 0), &rate));
    QVERIFY(l.testDistances(Row(in.get(), 0), Row(&ref, 0), &figure));
    QCOMPARE(rate, 1.0f);
    QCOMPARE(figure, 0.0f);

    // No samples measure nothing: both figures are NaN.
    Nb::Matrix none(0, Nb::Meta(3, Nb::MfR32, Nb::MtC));
    auto code = codes(7, 3);
    QVERIFY(l.testErrors(Row(&none, 0), Row(code.get(), 0), &rate));
    QVERIFY(l.testDistances(Row(&none, 0), Row(code.get(), 0), &figure));
    QVERIFY(std::isnan(rate));
    QVERIFY(std::isnan(figure));
}

void TestLayerEmulation::ranking_data()
{
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<std::vector<float>>("scores");
    QTest::addColumn<uint32_t>("accepted");
    QTest::addColumn<int>("last"); // sample ranked last, -1 for a tie
    // Feature 0: 0, 0, 4, 0 (mean 1, sigma sqrt 3); feature 1 flat at its
    // mean. Scores 1/6, 1/6, 3/2, 1/6; t = 3/2: the fourth is not below it.
    QTest::newRow("four") << Samples{{0, 1}, {0, 1}, {4, 1}, {0, 1}}
                          << std::vector<float>{1 / 9.0f, 1 / 9.0f, 1, 1 / 9.0f} << 3u << 2;
    // Six: t = s[4] + s[3] - s[0]; the accepted run ends at the first score
    // not below it, or takes all when none reaches it.
    QTest::newRow("six, run ends at the fifth")
        << Samples{{0}, {1}, {2}, {3}, {4}, {10}}
        << std::vector<float>{25 / 37.0f, 49 / 148.0f, 4 / 37.0f, 1 / 148.0f, 1 / 37.0f, 100 / 37.0f}
        << 5u << 5;
    QTest::newRow("six, none reaches the threshold")
        << Samples{{0}, {1}, {2}, {3}, {4}, {5}}
        << std::vector<float>{25 / 33.0f, 9 / 33.0f, 1 / 33.0f, 1 / 33.0f, 9 / 33.0f, 25 / 33.0f} << 6u
        << -1;
    // No score after the middle one: the last stands in for it.
    QTest::newRow("two") << Samples{{0}, {2}} << std::vector<float>{1, 1} << 2u << -1;
    QTest::newRow("three") << Samples{{0}, {0}, {3}}
                           << std::vector<float>{0.5f / 3.5f, 0.5f / 3.5f, 2 / 3.5f} << 3u << 2;
    // Sigma about 5e-6: 0 at the mean, 1024 off it; the threshold is 0, so
    // the scores stay as they are rather than turn infinite.
    Samples flat(100, std::vector<float>{0.0f});
    flat[99][0] = 5e-5f;
    std::vector<float> flatScores(100, 0.0f);
    flatScores[99] = 1024;
    QTest::newRow("flat feature") << flat << flatScores << 51u << 99;
}

void TestLayerEmulation::ranking()
{
    QFETCH(Samples, samples);
    QFETCH(std::vector<float>, scores);
    QFETCH(uint32_t, accepted);
    QFETCH(int, last);
    auto m = samplesOf(samples);
    const uint32_t n = uint32_t(samples.size());
    Nb::Matrix ge(int32_t(n), Nb::Meta(1, Nb::MfR32, Nb::MtC));
    std::vector<uint8_t*> sorted(n);
    uint32_t got = 0;
    QVERIFY(rankSamplesBySpread(m->data()[0], n, uint32_t(samples[0].size()), sorted.data(), &got,
                                ge.data()[0]));
    QCOMPARE(got, accepted);
    if (last >= 0)
        QCOMPARE(sorted[n - 1], m->at(0, last));
    for (uint32_t i = 0; i < n; ++i) {
        const float s = *reinterpret_cast<const float*>(ge.at(0, int32_t(i)));
        QVERIFY2(std::fabs(s - scores[i]) < 1e-6f, qPrintable(QString::number(s)));
    }
    // One sample is too few: nothing is written.
    got = 9;
    QVERIFY(!rankSamplesBySpread(m->data()[0], 1, 1, sorted.data(), &got, ge.data()[0]));
    QCOMPARE(got, 9u);
}

void TestLayerEmulation::hostileRows()
{
    DebugCapture cap;
    const Layer l = handLayer();
    auto narrow = samplesOf({{1, 2}, {3, 4}}); // neurons read feature 2
    auto wide = samplesOf(Hand);
    auto out2 = codes(0, 3, 2), out3 = codes(0, 3, 3), shortCode = codes(0, 2, 3);
    Nb::Matrix reals(3, Nb::Meta(3, Nb::MfR32, Nb::MtC));
    Row o2(out2.get(), 0), o3(out3.get(), 0), os(shortCode.get(), 0), orl(&reals, 0);
    QVERIFY(!l.emulate(Row(narrow.get(), 0), o2, false));
    QVERIFY(!l.emulate(Row(narrow.get(), 0), o3, false)); // fewer samples than codes
    QVERIFY(!l.emulate(Row(wide.get(), 0), os, false));   // fewer bits than neurons
    QVERIFY(!l.emulate(Row(wide.get(), 0), orl, false));  // not bits
    Layer missing = l;
    missing.neurons[2].weights.pop_back();
    QVERIFY(!missing.emulate(Row(wide.get(), 0), o3, false));
    Layer negative = l;
    negative.neurons[1].inputs[0] = -1;
    QVERIFY(!negative.emulate(Row(wide.get(), 0), o3, false));
    QCOMPARE(cap.reports().size(), 6);
    QCOMPARE(int(*out3->at(0, 0)), 0);
    float r = -1;
    QVERIFY(!l.testErrors(Row(narrow.get(), 0), Row(out3.get(), 0), &r));
    QVERIFY(!l.testDistances(Row(wide.get(), 0), Row(&reals, 0), &r));
    QCOMPARE(r, -1.0f);
}

QTEST_GUILESS_MAIN(TestLayerEmulation)
#include "tst_layeremulation.moc"
