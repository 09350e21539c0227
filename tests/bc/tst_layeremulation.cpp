#include "bc/Layer.h"

#include <cmath>
#include <cstring>
#include <memory>

#include <QtTest>

#include "DebugCapture.h"

using namespace Bc;
using Row = Nb::Matrix::Row;

class TestLayerEmulation : public QObject {
    Q_OBJECT
private slots:
    void plainAndChained();
    void oneNeuronSameEitherWay();
    void testErrors_data();
    void testErrors();
    void protectedLayerTestsChained();
    void testDistances_data();
    void testDistances();
    void rankFourSamples();
    void rankFlatFeature();
    void rankTwoAndThreeSamples_data();
    void rankTwoAndThreeSamples();
    void rankNeedsTwoSamples();
    void emulationRefusesMismatchedRows();
};

namespace {

std::unique_ptr<Nb::Matrix> samplesOf(const std::vector<std::vector<float>>& values)
{
    const int32_t n = int32_t(values.front().size());
    auto m = std::make_unique<Nb::Matrix>(int32_t(values.size()), Nb::Meta(n, Nb::MfR32, Nb::MtC));
    for (size_t c = 0; c < values.size(); ++c)
        std::memcpy(m->at(0, int32_t(c)), values[c].data(), size_t(n) * sizeof(float));
    return m;
}

std::unique_ptr<Nb::Matrix> codeOf(uint8_t bits, int32_t count, int32_t cols = 1)
{
    auto m = std::make_unique<Nb::Matrix>(cols, Nb::Meta(count, Nb::MfI1, Nb::MtD));
    for (int32_t c = 0; c < cols; ++c)
        *m->at(0, c) = bits;
    return m;
}

// n0 = x0 - x1, n1 = x2, n2 = x0 + x2 - 0.5.
Layer handLayer()
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
    return l;
}

// Sums (1, 3, 4.5), (-1, -1, -0.5) and (0, 0.5, 1): the last one's first
// sum is exactly 0.
const std::vector<std::vector<float>> HandSamples = {{2, 1, 3}, {1, 2, -1}, {1, 1, 0.5f}};

std::vector<int> emulated(const Layer& l, const std::vector<std::vector<float>>& values, bool chained)
{
    auto in = samplesOf(values);
    auto out = codeOf(0xF0, l.outputs(), int32_t(values.size()));
    Row o(out.get(), 0);
    if (!l.emulate(Row(in.get(), 0), o, chained))
        return {};
    std::vector<int> r;
    for (int32_t c = 0; c < out->cols(); ++c)
        r.push_back(*out->at(0, c) & 0x07);
    return r;
}

} // namespace

void TestLayerEmulation::plainAndChained()
{
    const Layer l = handLayer();
    QCOMPARE(emulated(l, HandSamples, false), std::vector<int>({7, 0, 6}));
    // Chained, a zero sum flips every later bit of its sample.
    QCOMPARE(emulated(l, HandSamples, true), std::vector<int>({7, 2, 0}));
}

void TestLayerEmulation::oneNeuronSameEitherWay()
{
    Layer l = handLayer();
    l.neurons.resize(1);
    auto in = samplesOf(HandSamples);
    auto a = codeOf(0, 1, 3), b = codeOf(0, 1, 3);
    Row ra(a.get(), 0), rb(b.get(), 0);
    QVERIFY(l.emulate(Row(in.get(), 0), ra, false));
    QVERIFY(l.emulate(Row(in.get(), 0), rb, true));
    for (int c = 0; c < 3; ++c)
        QCOMPARE(*a->at(0, c), *b->at(0, c));
    QCOMPARE(int(*a->at(0, 0)), 1);
    QCOMPARE(int(*a->at(0, 2)), 0);
}

void TestLayerEmulation::testErrors_data()
{
    QTest::addColumn<std::vector<int>>("samples");
    QTest::addColumn<int>("code");
    QTest::addColumn<float>("rate");
    QTest::newRow("all right") << std::vector<int>{0, 0} << 7 << 0.0f;
    QTest::newRow("all wrong in one bit") << std::vector<int>{1, 1, 1} << 1 << 1.0f;
    QTest::newRow("two of three wrong") << std::vector<int>{0, 1, 2} << 7 << 2.0f / 3.0f;
}

void TestLayerEmulation::testErrors()
{
    QFETCH(std::vector<int>, samples);
    QFETCH(int, code);
    QFETCH(float, rate);
    std::vector<std::vector<float>> values;
    for (int s : samples)
        values.push_back(HandSamples[size_t(s)]);
    auto in = samplesOf(values);
    auto ref = codeOf(uint8_t(code), 3);
    float r = -1;
    QVERIFY(handLayer().testErrors(Row(in.get(), 0), Row(ref.get(), 0), &r));
    QCOMPARE(r, rate);
}

void TestLayerEmulation::protectedLayerTestsChained()
{
    Layer l = handLayer();
    l.lf = LfProt;
    auto in = samplesOf({HandSamples[1]});
    auto chained = codeOf(2, 3), plain = codeOf(0, 3);
    float r = -1;
    QVERIFY(l.testErrors(Row(in.get(), 0), Row(chained.get(), 0), &r));
    QCOMPARE(r, 0.0f);
    QVERIFY(l.testErrors(Row(in.get(), 0), Row(plain.get(), 0), &r));
    QCOMPARE(r, 1.0f);
}

void TestLayerEmulation::testDistances_data()
{
    QTest::addColumn<std::vector<int>>("samples");
    QTest::addColumn<int>("q");
    // Against code 111: sample 0 is at distance 0, sample 1 at 3.
    QTest::newRow("all zero") << std::vector<int>{0, 0} << 0;
    // Sigma 0, mean 3: q = 16, and 10^-57.4 is below every float.
    QTest::newRow("all equal") << std::vector<int>{1, 1} << 16;
    // Mean 1.5, sigma 1.5.
    QTest::newRow("ratio one") << std::vector<int>{0, 1} << 1;
    // Mean 2, sigma 1.414: the ratio is cut to 1.
    QTest::newRow("ratio cut") << std::vector<int>{1, 1, 0} << 1;
}

void TestLayerEmulation::testDistances()
{
    QFETCH(std::vector<int>, samples);
    QFETCH(int, q);
    std::vector<std::vector<float>> values;
    for (int s : samples)
        values.push_back(HandSamples[size_t(s)]);
    auto in = samplesOf(values);
    auto ref = codeOf(7, 3);
    float figure = -1;
    QVERIFY(handLayer().testDistances(Row(in.get(), 0), Row(ref.get(), 0), &figure));
    const float expected = float(std::pow(10.0L, -((long double)q * q * 0.221f + 0.87f)));
    QCOMPARE(figure, expected);
    if (q == 0)
        QCOMPARE(figure, 0.13489629f);
    if (q == 16)
        QCOMPARE(figure, 0.0f);
}

void TestLayerEmulation::rankFourSamples()
{
    // Feature 0: 0, 0, 0, 4 (mean 1, sigma sqrt 3); feature 1 flat at its mean.
    auto m = samplesOf({{0, 1}, {0, 1}, {4, 1}, {0, 1}});
    Nb::Matrix ge(4, Nb::Meta(1, Nb::MfR32, Nb::MtC));
    uint8_t* sorted[4] = {};
    uint32_t accepted = 0;
    QVERIFY(rankSamplesBySpread(m->data()[0], 4, 2, sorted, &accepted, ge.data()[0]));
    // Scores 1/6, 1/6, 3/2, 1/6; t = 3/2 + 0; the fourth score is not below t.
    QCOMPARE(accepted, 3u);
    QCOMPARE(sorted[3], m->at(0, 2));
    const float* g = reinterpret_cast<const float*>(ge.at(0, 0));
    QCOMPARE(*reinterpret_cast<const float*>(ge.at(0, 2)), 1.0f);
    QVERIFY(qAbs(*g - 1.0f / 9.0f) < 1e-6f);
}

void TestLayerEmulation::rankFlatFeature()
{
    // Sigma about 5e-6: 0 for the samples at the mean, 1024 for the other.
    std::vector<std::vector<float>> values(100, std::vector<float>{0.0f});
    values[99][0] = 5e-5f;
    auto m = samplesOf(values);
    Nb::Matrix ge(100, Nb::Meta(1, Nb::MfR32, Nb::MtC));
    std::vector<uint8_t*> sorted(100);
    uint32_t accepted = 0;
    QVERIFY(rankSamplesBySpread(m->data()[0], 100, 1, sorted.data(), &accepted, ge.data()[0]));
    // The threshold is 0: the scores are left as they are, not made infinite.
    QCOMPARE(*reinterpret_cast<const float*>(ge.at(0, 99)), 1024.0f);
    QCOMPARE(*reinterpret_cast<const float*>(ge.at(0, 0)), 0.0f);
    QCOMPARE(sorted[99], m->at(0, 99));
    QCOMPARE(accepted, 51u);
}

void TestLayerEmulation::rankTwoAndThreeSamples_data()
{
    QTest::addColumn<std::vector<float>>("values");
    QTest::addColumn<std::vector<float>>("scores");
    QTest::newRow("two") << std::vector<float>{0, 2} << std::vector<float>{1, 1};
    // Scores 0.5, 0.5, 2; t = 2 + (2 - 0.5).
    QTest::newRow("three") << std::vector<float>{0, 0, 3}
                           << std::vector<float>{0.5f / 3.5f, 0.5f / 3.5f, 2.0f / 3.5f};
}

void TestLayerEmulation::rankTwoAndThreeSamples()
{
    QFETCH(std::vector<float>, values);
    QFETCH(std::vector<float>, scores);
    std::vector<std::vector<float>> rows;
    for (float v : values)
        rows.push_back({v});
    auto m = samplesOf(rows);
    const uint32_t n = uint32_t(values.size());
    Nb::Matrix ge(int32_t(n), Nb::Meta(1, Nb::MfR32, Nb::MtC));
    std::vector<uint8_t*> sorted(n);
    uint32_t accepted = 0;
    QVERIFY(rankSamplesBySpread(m->data()[0], n, 1, sorted.data(), &accepted, ge.data()[0]));
    QCOMPARE(accepted, n);
    for (uint32_t i = 0; i < n; ++i) {
        const float s = *reinterpret_cast<const float*>(ge.at(0, int32_t(i)));
        QVERIFY(std::isfinite(s));
        QVERIFY2(qAbs(s - scores[i]) < 1e-6f, qPrintable(QString::number(s)));
    }
}

void TestLayerEmulation::rankNeedsTwoSamples()
{
    auto m = samplesOf({{1, 2}});
    Nb::Matrix ge(1, Nb::Meta(1, Nb::MfR32, Nb::MtC));
    *reinterpret_cast<float*>(ge.at(0, 0)) = 7.0f;
    uint8_t* sorted[1] = {};
    uint32_t accepted = 9;
    QVERIFY(!rankSamplesBySpread(m->data()[0], 1, 2, sorted, &accepted, ge.data()[0]));
    QCOMPARE(accepted, 9u);
    QCOMPARE(*reinterpret_cast<const float*>(ge.at(0, 0)), 7.0f);
    QVERIFY(sorted[0] == nullptr);
}

void TestLayerEmulation::emulationRefusesMismatchedRows()
{
    DebugCapture cap;
    const Layer l = handLayer();
    auto narrow = samplesOf({{1, 2}, {3, 4}}); // two features; neurons read feature 2
    auto wide = samplesOf(HandSamples);
    auto out2 = codeOf(0, 3, 2), out3 = codeOf(0, 3, 3), shortCode = codeOf(0, 2, 3);
    Nb::Matrix reals(3, Nb::Meta(3, Nb::MfR32, Nb::MtC));
    Row o2(out2.get(), 0), o3(out3.get(), 0), os(shortCode.get(), 0), orl(&reals, 0);
    QVERIFY(!l.emulate(Row(narrow.get(), 0), o2, false));
    QVERIFY(!l.emulate(Row(narrow.get(), 0), o3, false)); // fewer samples than codes
    QVERIFY(!l.emulate(Row(wide.get(), 0), os, false));   // fewer bits than neurons
    QVERIFY(!l.emulate(Row(wide.get(), 0), orl, false));  // not a bit vector
    Layer missing = l;
    missing.neurons[2].weights.pop_back();
    QVERIFY(!missing.emulate(Row(wide.get(), 0), o3, false));
    Layer bad = l;
    bad.neurons[1].inputs[0] = -1;
    QVERIFY(!bad.emulate(Row(wide.get(), 0), o3, false));
    QCOMPARE(cap.reports().size(), 6);
    QCOMPARE(int(*out3->at(0, 0)), 0); // nothing written
    float r = -1;
    QVERIFY(!l.testErrors(Row(narrow.get(), 0), Row(out3.get(), 0), &r));
    QVERIFY(!l.testDistances(Row(wide.get(), 0), Row(&reals, 0), &r));
}

QTEST_GUILESS_MAIN(TestLayerEmulation)
#include "tst_layeremulation.moc"
