#include "bc/Layer.h"

#include <algorithm>
#include <cstring>
#include <random>

#include <QtTest>

#include "DebugCapture.h"

using namespace Bc;

class TestLayer : public QObject {
    Q_OBJECT
private slots:
    void referenceGenerator();
    void nullSaltTable();
    void saltWordsAreXored();
    void sameSaltSameTable();
    void fullAndEmptyConnections();
    void randomSetUpsDiffer();
    void fixAlgKeepsSalt();
    void unsupportedCdaRefused_data();
    void unsupportedCdaRefused();
    void moreConnectionsThanInputsClamped();
    void fewerThanOneInputRefused();
    void connectRefusesTooManyConnections();
    void clearGivesDefaults();
    void printers();
};

static Nb::Uuid saltFromBytes(const QByteArray& hex)
{
    const QByteArray b = QByteArray::fromHex(hex);
    Nb::Uuid u;
    std::memcpy(u.data(), b.constData(), 16);
    return u;
}

void TestLayer::referenceGenerator()
{
    std::mt19937 a(5489);
    QCOMPARE(uint32_t(a()), 3499211612u);
    std::mt19937 b;
    b.discard(9999);
    QCOMPARE(uint32_t(b()), 4123659995u);
    // Seed 0 is what a null salt and every training start from.
    std::mt19937 c(0);
    const uint32_t first[6] = {2357136044u, 2546248239u, 3071714933u,
                               3626093760u, 2588848963u, 3684848379u};
    for (uint32_t v : first)
        QCOMPARE(uint32_t(c()), v);
}

void TestLayer::nullSaltTable()
{
    // Worked out from the first six outputs of seed 0: j = u * (10 - i) >> 32.
    Layer l;
    QVERIFY(l.init(Nb::NilUuid, 10, 2, 3, 0, CdaFixTable, 16, false, 32, true));
    QCOMPARE(l.neurons[0].inputs, std::vector<int32_t>({5, 6, 7}));
    QCOMPARE(l.neurons[1].inputs, std::vector<int32_t>({8, 6, 0}));
    QCOMPARE(l.salt, Nb::NilUuid);
    QCOMPARE(int(l.bpc), 16);
    QCOMPARE(int(l.bpw), 0xA0);
}

void TestLayer::saltWordsAreXored()
{
    // Words 0x12345678 ^ 0x12344309 ^ w ^ w = 5489, the default seed.
    const Nb::Uuid salt = saltFromBytes("7856341209433412ddccbbaaddccbbaa");
    Layer l;
    QVERIFY(l.init(salt, 480, 1, 3, 0, CdaFixAlg, 16, false, 32, true));
    QCOMPARE(l.salt, salt);
    QCOMPARE(l.neurons[0].inputs, std::vector<int32_t>({391, 65, 434}));
}

void TestLayer::sameSaltSameTable()
{
    const Nb::Uuid salt("{8f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}");
    Layer a, b;
    QVERIFY(a.init(salt, 480, 20, 32, 0, CdaFixAlg, 16, false, 32, true));
    b.neurons.resize(20);
    QVERIFY(b.connect(480, 32, salt));
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(a.neurons[size_t(i)].inputs, b.neurons[size_t(i)].inputs);
        std::vector<int32_t> s = a.neurons[size_t(i)].inputs;
        std::sort(s.begin(), s.end());
        QVERIFY(std::adjacent_find(s.begin(), s.end()) == s.end());
        QVERIFY(s.front() >= 0 && s.back() < 480);
    }
    // The generator runs on from neuron to neuron.
    QVERIFY(a.neurons[0].inputs != a.neurons[1].inputs);
}

void TestLayer::fullAndEmptyConnections()
{
    Layer l;
    QVERIFY(l.init(Nb::NilUuid, 17, 3, 17, 0, CdaFixTable, 16, false, 32, true));
    for (const Neuron& n : l.neurons) {
        std::vector<int32_t> s = n.inputs;
        std::sort(s.begin(), s.end());
        std::vector<int32_t> all(17);
        for (int i = 0; i < 17; ++i)
            all[size_t(i)] = i;
        QCOMPARE(s, all);
    }
    QVERIFY(l.init(Nb::NilUuid, 17, 3, 0, 0, CdaFixTable, 16, false, 32, true));
    for (const Neuron& n : l.neurons)
        QVERIFY(n.inputs.empty());
}

void TestLayer::randomSetUpsDiffer()
{
    Layer a, b;
    QVERIFY(a.init(Nb::NilUuid, 480, 8, 32, 0, CdaRandom, 16, false, 32, true));
    QVERIFY(b.init(Nb::NilUuid, 480, 8, 32, 0, CdaRandom, 16, false, 32, true));
    QVERIFY(a.salt != Nb::NilUuid);
    QVERIFY(a.salt != b.salt);
    QVERIFY(a.neurons[0].inputs != b.neurons[0].inputs);
}

void TestLayer::fixAlgKeepsSalt()
{
    const Nb::Uuid salt("{00000001-0002-0003-0405-060708090a0b}");
    Layer l;
    QVERIFY(l.init(salt, 30, 2, 4, LfProt, CdaFixAlg, 5, true, 7, false));
    QCOMPARE(l.salt, salt);
    QCOMPARE(int(l.lf), int(LfProt));
    QCOMPARE(int(l.bpc), 0x85);
    QCOMPARE(int(l.bpw), 7);
}

void TestLayer::unsupportedCdaRefused_data()
{
    QTest::addColumn<int>("cda");
    for (int c = CdaFixByQual; c <= CdaDynByCorr + 1; ++c)
        QTest::newRow(qPrintable(QString::number(c))) << c;
}

void TestLayer::unsupportedCdaRefused()
{
    QFETCH(int, cda);
    Layer l;
    QVERIFY(!l.init("{00000001-0002-0003-0405-060708090a0b}", 50, 4, 8, LfWOwn, uint8_t(cda), 12,
                    false, 16, false));
    QCOMPARE(l.outputs(), 4);
    QCOMPARE(l.in, 50);
    QCOMPARE(l.con, 8);
    QCOMPARE(int(l.lf), int(LfWOwn));
    QCOMPARE(int(l.bpc), 12);
    QCOMPARE(int(l.bpw), 16);
    QCOMPARE(l.salt, Nb::NilUuid);
    for (const Neuron& n : l.neurons) {
        QVERIFY(n.inputs.empty());
        QCOMPARE(int(n.bpc), 16);
    }
}

void TestLayer::moreConnectionsThanInputsClamped()
{
    Layer l;
    QVERIFY(l.init(Nb::NilUuid, 5, 3, 32, 0, CdaRandom, 16, false, 32, true));
    QCOMPARE(l.con, 5);
    for (const Neuron& n : l.neurons) {
        QCOMPARE(n.inputs.size(), size_t(5));
        for (int32_t i : n.inputs)
            QVERIFY(i >= 0 && i < 5);
    }
}

void TestLayer::fewerThanOneInputRefused()
{
    DebugCapture cap;
    Layer l;
    QVERIFY(!l.init(Nb::NilUuid, 0, 3, 32, 0, CdaRandom, 16, false, 32, true));
    QVERIFY(!l.init(Nb::NilUuid, -4, 3, 1, 0, CdaFixTable, 16, false, 32, true));
    QVERIFY(!l.init(Nb::NilUuid, 4, -1, 1, 0, CdaFixTable, 16, false, 32, true));
    QVERIFY(l.neurons.empty());
    QCOMPARE(cap.reports().size(), 3);
}

void TestLayer::connectRefusesTooManyConnections()
{
    DebugCapture cap;
    Layer l;
    l.neurons.resize(2);
    QVERIFY(!l.connect(4, 5, Nb::NilUuid));
    QVERIFY(!l.connect(4, -1, Nb::NilUuid));
    QVERIFY(l.neurons[0].inputs.empty());
    QCOMPARE(cap.reports().size(), 2);
}

void TestLayer::clearGivesDefaults()
{
    Layer l;
    QVERIFY(l.init("{00000001-0002-0003-0405-060708090a0b}", 9, 2, 3, LfCOwn, CdaFixAlg, 4, true,
                   8, false));
    l.clear();
    QVERIFY(l.neurons.empty());
    QCOMPARE(int(l.lf), 0);
    QCOMPARE(int(l.cda), int(CdaRandom));
    QCOMPARE(l.in, 0);
    QCOMPARE(l.con, 0);
    QCOMPARE(l.salt, Nb::NilUuid);
    QCOMPARE(int(l.bpc), 16);
    QCOMPARE(int(l.bpw), 32);
}

void TestLayer::printers()
{
    QCOMPARE(printed(CdaFixAlg), QString("CdaFixAlg"));
    QCOMPARE(printed(CdaType(9)), QString("Cda9"));
    QCOMPARE(printed(WtaMinAndSuff), QString("WtaMinAndSuff"));
    QCOMPARE(printed(WtaType(7)), QString("Wta7"));
    QCOMPARE(printed(LayerFlag(LfCOwn | LfProt)), QString("{LfCOwn|LfProt}"));
    QCOMPARE(printed(LayerFlag(0)), QString("{}"));
    Neuron n;
    n.inputs = {3, 1};
    n.weights = {0.5f, -2.0f};
    QCOMPARE(printed(n), QString("Neuron(count=2 b=0 bpc=16\n[3 1]\n[0.5 -2])"));
}

QTEST_GUILESS_MAIN(TestLayer)
#include "tst_layer.moc"
