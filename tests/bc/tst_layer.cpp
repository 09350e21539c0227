#include "bc/Layer.h"

#include <algorithm>
#include <cstring>
#include <random>

#include <QtTest>

#include "DebugCapture.h"

using namespace Bc;
using Table = std::vector<std::vector<int32_t>>;

class TestLayer : public QObject {
    Q_OBJECT
private slots:
    void referenceGenerator();
    void knownTables_data();
    void knownTables();
    void tableProperties();
    void randomSetUpsDiffer();
    void unsupportedCdaRefused();
    void hostileShapes();
    void printers();
};

void TestLayer::referenceGenerator()
{
    std::mt19937 a(5489);
    QCOMPARE(uint32_t(a()), 3499211612u);
    std::mt19937 b;
    b.discard(9999);
    QCOMPARE(uint32_t(b()), 4123659995u);
    std::mt19937 c(0); // a null salt and every training start here
    for (uint32_t v : {2357136044u, 2546248239u, 3071714933u, 3626093760u, 2588848963u, 3684848379u})
        QCOMPARE(uint32_t(c()), v);
}

void TestLayer::knownTables_data()
{
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("in");
    QTest::addColumn<Table>("table");
    // From the outputs above, j = u * (in - i) >> 32, swapping p[i] and p[i + j].
    QTest::newRow("null salt") << QByteArray(32, '0') << 10 << Table{{5, 6, 7}, {8, 6, 0}};
    // Words 0x12345678 ^ 0x12344309 ^ w ^ w = 5489, the default seed.
    QTest::newRow("xored words") << QByteArray("7856341209433412ddccbbaaddccbbaa") << 480
                                 << Table{{391, 65, 434}};
    // The GUID image of {8f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}; its words
    // XOR to 0xa2222222.
    QTest::newRow("identifier salt") << QByteArray("3c2d1e8f5a4b78698796a5b4c3d2e1f0") << 40
                                     << Table{{6, 10, 23, 18}, {10, 30, 35, 38}, {14, 30, 11, 27}};
}

void TestLayer::knownTables()
{
    QFETCH(QByteArray, salt);
    QFETCH(int, in);
    QFETCH(Table, table);
    Nb::Uuid id;
    std::memcpy(id.data(), QByteArray::fromHex(salt).constData(), 16);
    Layer l;
    QVERIFY(l.init(id, in, int32_t(table.size()), int32_t(table[0].size()), 0, CdaFixAlg, 16, false,
                   32, true));
    QCOMPARE(l.salt, id);
    QCOMPARE(int(l.bpw), 0xA0);
    for (size_t i = 0; i < table.size(); ++i)
        QCOMPARE(l.neurons[i].inputs, table[i]);
    // A fixed table is the null salt's, whatever salt is given.
    QVERIFY(l.init(id, 10, 2, 3, 0, CdaFixTable, 16, false, 32, true));
    QCOMPARE(l.salt, Nb::NilUuid);
    QCOMPARE(l.neurons[1].inputs, std::vector<int32_t>({8, 6, 0}));
}

void TestLayer::tableProperties()
{
    const Nb::Uuid salt("{8f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}");
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(salt.data()), 16).toHex(),
             QByteArray("3c2d1e8f5a4b78698796a5b4c3d2e1f0")); // the row "identifier salt" above
    Layer a, b;
    QVERIFY(a.init(salt, 17, 20, 17, 0, CdaFixAlg, 16, false, 32, true));
    b.neurons.resize(20);
    QVERIFY(b.connect(17, 17, salt));
    for (size_t i = 0; i < 20; ++i) {
        QCOMPARE(a.neurons[i].inputs, b.neurons[i].inputs);
        std::vector<int32_t> s = a.neurons[i].inputs;
        std::sort(s.begin(), s.end());
        for (int32_t k = 0; k < 17; ++k)
            QCOMPARE(s[size_t(k)], k); // con = in: a permutation of all inputs
    }
    QVERIFY(a.neurons[0].inputs != a.neurons[1].inputs); // the generator runs on
    QVERIFY(a.init(salt, 17, 3, 0, 0, CdaFixAlg, 16, false, 32, true));
    QVERIFY(a.neurons[2].inputs.empty());
}

void TestLayer::randomSetUpsDiffer()
{
    Layer a, b;
    QVERIFY(a.init(Nb::NilUuid, 480, 8, 32, 0, CdaRandom, 16, false, 32, true));
    QVERIFY(b.init(Nb::NilUuid, 480, 8, 32, 0, CdaRandom, 16, false, 32, true));
    QVERIFY(a.salt != Nb::NilUuid && a.salt != b.salt);
    QVERIFY(a.neurons[0].inputs != b.neurons[0].inputs);
}

void TestLayer::unsupportedCdaRefused()
{
    for (uint8_t cda = CdaFixByQual; cda <= CdaDynByCorr + 1; ++cda) {
        Layer l;
        QVERIFY(!l.init("{00000001-0002-0003-0405-060708090a0b}", 50, 4, 8, LfWOwn, cda, 12, true,
                        16, false));
        QCOMPARE(l.outputs(), 4);
        QCOMPARE(l.in, 50);
        QCOMPARE(l.con, 8);
        QCOMPARE(int(l.lf), int(LfWOwn));
        QCOMPARE(int(l.bpc), 0x8C);
        QCOMPARE(int(l.bpw), 16);
        QCOMPARE(l.salt, Nb::NilUuid);
        QVERIFY(l.neurons[3].inputs.empty());
    }
}

void TestLayer::hostileShapes()
{
    DebugCapture cap;
    Layer l;
    // More connections than inputs are cut to the inputs.
    QVERIFY(l.init(Nb::NilUuid, 5, 3, 32, 0, CdaRandom, 16, false, 32, true));
    QCOMPARE(l.con, 5);
    for (const Neuron& n : l.neurons)
        QVERIFY(n.inputs.size() == 5 && *std::max_element(n.inputs.begin(), n.inputs.end()) == 4);
    // No inputs, or negative counts, are refused.
    QVERIFY(!l.init(Nb::NilUuid, 0, 3, 32, 0, CdaRandom, 16, false, 32, true));
    QVERIFY(!l.init(Nb::NilUuid, 4, -1, 1, 0, CdaFixTable, 16, false, 32, true));
    QVERIFY(l.neurons.empty());
    l.neurons.resize(2);
    QVERIFY(!l.connect(4, 5, Nb::NilUuid));
    QVERIFY(!l.connect(4, -1, Nb::NilUuid));
    QVERIFY(l.neurons[0].inputs.empty());
    QCOMPARE(cap.reports().size(), 4);
}

void TestLayer::printers()
{
    QCOMPARE(printed(CdaFixAlg), QString("CdaFixAlg"));
    QCOMPARE(printed(CdaType(7)), QString("Cda7"));
    QCOMPARE(printed(WtaMinAndSuff), QString("WtaMinAndSuff"));
    QCOMPARE(printed(WtaType(2)), QString("Wta2"));
    QCOMPARE(printed(LayerFlag(LfProt | LfWOwn | LfCOwn)), QString("{LfCOwn|LfWOwn|LfProt}"));
    QCOMPARE(printed(LayerFlag(0)), QString("{}"));
    Neuron n;
    QCOMPARE(printed(n), QString("Neuron(count=0 b=0 bpc=16)"));
    n.inputs = {3, 1};
    n.weights = {1.0f, -2.5f};
    QCOMPARE(printed(n), QString("Neuron(count=2 b=0 bpc=16\n[3 1]\n[1 -2.5])"));
    Layer l;
    l.neurons.resize(7);
    const QString text = printed(l);
    QVERIFY2(text.startsWith("Layer(out=7 lf={} cda=CdaRandom in=0 con=0 salt{Nil} bpc=16 bpw=32\n0:Neuron("),
             qPrintable(text));
    QCOMPARE(text.count("Neuron("), 5); // the first five neurons only
    QVERIFY(text.contains("\n4:Neuron(") && !text.contains("\n5:"));
}

QTEST_GUILESS_MAIN(TestLayer)
#include "tst_layer.moc"
