#include "bc/Layer.h"

#include <cmath>
#include <cstring>

#include <QtTest>

#include "DebugCapture.h"
#include "FailingDevice.h"

using namespace Bc;

class TestLayerStream : public QObject {
    Q_OBJECT
private slots:
    void goldenBytes();
    void separateStreams();
    void converterLayerSize();
    void fixTableStoresNoConnections();
    void fixAlgStoresSalt();
    void deltaIndicesGolden();
    void deltaIndicesAnyOrder();
    void ownCounts();
    void ownWeightCounts();
    void packedWeights_data();
    void packedWeights();
    void protectedTrailer();
    void unsupportedFlagsOnWrite();
    void writeFailure();
    void everyTruncationFails();
    void hostileBytes_data();
    void hostileBytes();
    void runawayDeltaStops();
};

namespace {

QByteArray write(const Layer& l, bool* ok = nullptr)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    const bool r = l.write(s, s);
    if (ok)
        *ok = r;
    return out;
}

bool read(Layer& l, const QByteArray& bytes)
{
    QDataStream s(bytes);
    return l.read(s, s);
}

// in 5, two neurons {3, 1} and {4, 0}, raw signed floats; the last weight
// is 2^-128, which only survives as a subnormal.
Layer smallLayer()
{
    Layer l;
    l.in = 5;
    l.con = 2;
    l.bpw = 0xA0;
    l.neurons.resize(2);
    l.neurons[0].inputs = {3, 1};
    l.neurons[0].weights = {1.0f, -2.0f};
    l.neurons[1].inputs = {4, 0};
    l.neurons[1].weights = {0.5f, std::ldexp(1.0f, -128)};
    return l;
}

const char* SmallHex = "0005" "0002" "00" "00" "02" "10"
                       "03000100" "04000000"
                       "02" "a0"
                       "0000803f" "000000c0" "0000003f" "00002000";

void compareLayers(const Layer& a, const Layer& b)
{
    QCOMPARE(a.in, b.in);
    QCOMPARE(a.outputs(), b.outputs());
    QCOMPARE(int(a.lf), int(b.lf));
    QCOMPARE(int(a.cda), int(b.cda));
    QCOMPARE(a.con, b.con);
    QCOMPARE(int(a.bpc), int(b.bpc));
    QCOMPARE(int(a.bpw), int(b.bpw));
    QCOMPARE(a.salt, b.salt);
    for (int i = 0; i < a.outputs(); ++i) {
        QCOMPARE(a.neurons[size_t(i)].inputs, b.neurons[size_t(i)].inputs);
        QCOMPARE(a.neurons[size_t(i)].weights, b.neurons[size_t(i)].weights);
    }
}

} // namespace

void TestLayerStream::goldenBytes()
{
    const Layer l = smallLayer();
    bool ok = false;
    const QByteArray bytes = write(l, &ok);
    QVERIFY(ok);
    QCOMPARE(bytes.toHex(), QByteArray(SmallHex));

    Layer back;
    QVERIFY(read(back, bytes));
    compareLayers(back, l);
    const float tiny = back.neurons[1].weights[1];
    QCOMPARE(std::fpclassify(tiny), FP_SUBNORMAL);
    QCOMPARE(tiny, std::ldexp(1.0f, -128));
    // The weight width byte comes back with its sign bit.
    QCOMPARE(int(back.bpw), 0xA0);
}

void TestLayerStream::separateStreams()
{
    const Layer l = smallLayer();
    QByteArray structure, connections;
    {
        QDataStream s(&structure, QIODevice::WriteOnly);
        QDataStream c(&connections, QIODevice::WriteOnly);
        QVERIFY(l.write(s, c));
    }
    QCOMPARE(connections.toHex(), QByteArray("0300010004000000"));
    QCOMPARE(structure.size(), 8 + 2 + 16);
    QDataStream s(structure), c(connections);
    Layer back;
    QVERIFY(back.read(s, c));
    compareLayers(back, l);
}

void TestLayerStream::converterLayerSize()
{
    Layer l;
    QVERIFY(l.init(Nb::NilUuid, 480, 160, 32, 0, CdaRandom, 16, false, 32, true));
    for (Neuron& n : l.neurons)
        n.weights.assign(32, -0.25f);
    bool ok = false;
    const QByteArray bytes = write(l, &ok);
    QVERIFY(ok);
    QCOMPARE(bytes.size(), 2 + 2 + 1 + 3 + 160 * 64 + 2 + 160 * 128);
    // Header fields big-endian, packed indices low byte first.
    QCOMPARE(bytes.left(4).toHex(), QByteArray("01e000a0"));
    const int32_t first = l.neurons[0].inputs[0];
    QCOMPARE(uint8_t(bytes[8]), uint8_t(first & 0xFF));
    QCOMPARE(uint8_t(bytes[9]), uint8_t(first >> 8));
    Layer back;
    QVERIFY(read(back, bytes));
    // Drawn indices are stored, their salt is not.
    QCOMPARE(back.salt, Nb::NilUuid);
    back.salt = l.salt;
    compareLayers(back, l);
}

void TestLayerStream::fixTableStoresNoConnections()
{
    Layer l;
    QVERIFY(l.init(Nb::Uuid("{00000001-0002-0003-0405-060708090a0b}"), 40, 3, 6, 0, CdaFixTable,
                   16, false, 32, true));
    for (Neuron& n : l.neurons)
        n.weights.assign(6, 1.5f);
    QByteArray s, c;
    {
        QDataStream ss(&s, QIODevice::WriteOnly), cs(&c, QIODevice::WriteOnly);
        QVERIFY(l.write(ss, cs));
    }
    QCOMPARE(c.size(), 0);
    Layer back;
    QVERIFY(read(back, s));
    compareLayers(back, l);
}

void TestLayerStream::fixAlgStoresSalt()
{
    const Nb::Uuid salt("{8f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}");
    Layer l;
    QVERIFY(l.init(salt, 300, 4, 9, 0, CdaFixAlg, 16, false, 32, true));
    for (Neuron& n : l.neurons)
        n.weights.assign(9, -3.0f);
    QByteArray s, c;
    {
        QDataStream ss(&s, QIODevice::WriteOnly), cs(&c, QIODevice::WriteOnly);
        QVERIFY(l.write(ss, cs));
    }
    QCOMPARE(c, QByteArray(reinterpret_cast<const char*>(salt.data()), 16));
    QDataStream ss(s), cs(c);
    Layer back;
    QVERIFY(back.read(ss, cs));
    compareLayers(back, l);
}

void TestLayerStream::deltaIndicesGolden()
{
    // in 40, 3-bit gaps: 9 = 7 + 2; 2 - 9 + 40 = 33 = 7 + 7 + 7 + 7 + 5.
    Neuron n;
    n.inputs = {9, 2};
    QByteArray out;
    {
        QDataStream s(&out, QIODevice::WriteOnly);
        QVERIFY(n.writeInputs(s, 2, 3, true, 40));
    }
    QCOMPARE(out.toHex(), QByteArray("d7ff17"));
    QDataStream s(out);
    Neuron back;
    QVERIFY(back.readInputs(s, 2, 3, true, 40));
    QCOMPARE(back.inputs, n.inputs);
}

void TestLayerStream::deltaIndicesAnyOrder()
{
    Layer l;
    l.in = 300;
    l.con = 7;
    l.bpc = 0x84;
    l.neurons.resize(2);
    l.neurons[0].inputs = {299, 0, 17, 16, 250, 3, 299};
    l.neurons[1].inputs = {0, 1, 2, 3, 4, 5, 6};
    for (Neuron& n : l.neurons)
        n.weights.assign(7, 2.0f);
    bool ok = false;
    const QByteArray bytes = write(l, &ok);
    QVERIFY(ok);
    Layer back;
    QVERIFY(read(back, bytes));
    compareLayers(back, l);
}

void TestLayerStream::ownCounts()
{
    Layer l;
    l.in = 1000;
    l.lf = LfCOwn;
    l.neurons.resize(2);
    l.neurons[0].inputs = {999, 5, 512};
    l.neurons[0].bpc = 10;
    l.neurons[0].weights = {1, 2, 3};
    l.neurons[1].inputs = {700};
    l.neurons[1].bpc = 0x8A;
    l.neurons[1].weights = {-1};
    bool ok = false;
    const QByteArray bytes = write(l, &ok);
    QVERIFY(ok);
    Layer back;
    QVERIFY(read(back, bytes));
    compareLayers(back, l);
    QCOMPARE(int(back.neurons[1].bpc), 0x8A);
}

void TestLayerStream::ownWeightCounts()
{
    Layer l = smallLayer();
    l.lf = LfWOwn;
    l.in = 6;
    l.con = 5;
    l.neurons[0].inputs = {0, 1, 2, 3, 4};
    l.neurons[0].weights = {1, 0, 2, 0, 0};
    l.neurons[1].inputs = {5, 4, 3, 2, 1};
    l.neurons[1].weights = {0, 0, 0, 0, 0};
    bool ok = false;
    const QByteArray bytes = write(l, &ok);
    QVERIFY(ok);
    // Indices, then con and bpw, then 3 weights of neuron 0, then a bare 0.
    const int weights = 8 + 2 * 5 * 2 + 2;
    QCOMPARE(bytes.size(), weights + 1 + 12 + 1);
    QCOMPARE(int(bytes[weights]), 3);
    QCOMPARE(int(bytes[bytes.size() - 1]), 0);
    Layer back;
    QVERIFY(read(back, bytes));
    compareLayers(back, l);
}

void TestLayerStream::packedWeights_data()
{
    QTest::addColumn<bool>("twos");
    QTest::addColumn<std::vector<float>>("weights");
    QTest::addColumn<std::vector<float>>("expected");
    QTest::newRow("no zero") << false << std::vector<float>{-4, -3, -2, -1, 1, 2, 3, 4, 0, 2.9f}
                             << std::vector<float>{-4, -3, -2, -1, 1, 2, 3, 4, 1, 2};
    QTest::newRow("two's complement") << true
                                      << std::vector<float>{-4, -3, -2, -1, 0, 1, 2, 3, -1.7f, 3}
                                      << std::vector<float>{-4, -3, -2, -1, 0, 1, 2, 3, -1, 3};
}

void TestLayerStream::packedWeights()
{
    QFETCH(bool, twos);
    QFETCH(std::vector<float>, weights);
    QFETCH(std::vector<float>, expected);
    Layer l;
    l.in = 10;
    l.con = 10;
    l.cda = CdaFixTable;
    l.bpw = uint8_t(3 | (twos ? 0x80 : 0));
    l.neurons.resize(1);
    QVERIFY(l.connect(10, 10, Nb::NilUuid));
    l.neurons[0].weights = weights;
    bool ok = false;
    const QByteArray bytes = write(l, &ok);
    QVERIFY(ok);
    QCOMPARE(bytes.size(), 8 + 2 + 4); // 30 bits in four bytes
    Layer back;
    QVERIFY(read(back, bytes));
    QCOMPARE(back.neurons[0].weights, expected);
}

void TestLayerStream::protectedTrailer()
{
    Layer l = smallLayer();
    l.lf = LfProt;
    bool ok = false;
    QByteArray bytes = write(l, &ok);
    QVERIFY(ok);
    QCOMPARE(bytes.size(), 35);
    QCOMPARE(int(bytes[34]), 0);
    Layer back;
    QVERIFY(read(back, bytes));
    QCOMPARE(int(back.lf), int(LfProt));
    DebugCapture cap;
    bytes[34] = 1;
    QVERIFY(!read(back, bytes));
    QVERIFY(cap.reports().value(cap.reports().size() - 1).text.startsWith("@err 9"));
}

void TestLayerStream::unsupportedFlagsOnWrite()
{
    DebugCapture cap;
    Layer l = smallLayer();
    l.lf = LfBInc;
    bool ok = true;
    QByteArray bytes = write(l, &ok);
    QVERIFY(!ok);
    QByteArray expected = QByteArray::fromHex(SmallHex);
    expected[4] = char(LfBInc);
    QCOMPARE(bytes.toHex(), expected.toHex());

    l.lf = LfMdInc;
    bytes = write(l, &ok);
    QVERIFY(!ok);
    QCOMPARE(bytes.toHex(), QByteArray("0005000208"));

    Layer empty;
    bytes = write(empty, &ok);
    QVERIFY(!ok);
    QVERIFY(bytes.isEmpty());

    l.lf = 0;
    l.cda = 3;
    bytes = write(l, &ok);
    QVERIFY(!ok);
    QCOMPARE(cap.reports().size(), 3);
}

void TestLayerStream::writeFailure()
{
    DebugCapture cap;
    const Layer l = smallLayer();
    for (qint64 capacity : {0, 7, 12, 20, 33}) {
        FailingDevice dev(capacity);
        dev.open(QIODevice::WriteOnly);
        QDataStream s(&dev);
        QVERIFY2(!l.write(s, s), qPrintable(QString::number(capacity)));
    }
}

void TestLayerStream::everyTruncationFails()
{
    DebugCapture cap;
    Layer prot = smallLayer();
    prot.lf = LfProt | LfCOwn | LfWOwn;
    prot.neurons[1].weights[1] = 0;
    Layer fix;
    QVERIFY(fix.init("{00000001-0002-0003-0405-060708090a0b}", 12, 2, 3, 0, CdaFixAlg, 16, false,
                     6, true));
    for (Neuron& n : fix.neurons)
        n.weights = {1, -2, 3};
    for (const Layer* l : {&prot, &fix}) {
        bool ok = false;
        const QByteArray bytes = write(*l, &ok);
        QVERIFY(ok);
        Layer back;
        QVERIFY(read(back, bytes));
        for (int n = 0; n < bytes.size(); ++n)
            QVERIFY2(!read(back, bytes.left(n)), qPrintable(QString::number(n)));
    }
}

void TestLayerStream::hostileBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("report");
    const QByteArray good = QByteArray::fromHex(SmallHex);
    auto patched = [&](int at, const char* hex) {
        QByteArray b = good;
        const QByteArray p = QByteArray::fromHex(hex);
        b.replace(at, p.size(), p);
        return b;
    };
    QTest::newRow("index equal to in") << patched(8, "0500") << 5;
    QTest::newRow("index far out") << patched(12, "ffff") << 5;
    QTest::newRow("NaN weight") << patched(18, "0000c07f") << 8;
    QTest::newRow("infinite weight") << patched(30, "0000807f") << 8;
    QTest::newRow("flag 0x04") << patched(4, "04") << 1;
    QTest::newRow("flag 0x10") << patched(4, "10") << 1;
    QTest::newRow("flag 0x40") << patched(4, "40") << 1;
    QTest::newRow("cda 3") << patched(5, "03") << 6;
    QTest::newRow("index width 1") << patched(7, "01") << 5;
    QTest::newRow("index width 17") << patched(7, "11") << 5;
    QTest::newRow("delta width 0") << patched(7, "80") << 5;
    QTest::newRow("weight width 0") << patched(17, "80") << 8;
    QTest::newRow("weight width 33") << patched(17, "21") << 8;
    // A fixed table cannot give more connections than inputs.
    QTest::newRow("fix table con above in") << QByteArray::fromHex("00030001000106100620") << 2;
    QTest::newRow("fix alg con above in")
        << QByteArray::fromHex("000300010002061000000000000000000000000000000000") << 4;
    // Own weight count 3 for a neuron of 2 inputs.
    QTest::newRow("own weight count above inputs")
        << QByteArray::fromHex("00050001020002100300010002a0030000803f0000803f0000803f") << 7;
    QTest::newRow("empty") << QByteArray() << 1;
}

void TestLayerStream::hostileBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, report);
    DebugCapture cap;
    Layer l;
    QVERIFY(!read(l, bytes));
    const QList<CapturedMessage> reports = cap.reports();
    QVERIFY(!reports.isEmpty());
    QVERIFY2(reports.last().text.startsWith(QString("@err %1 ").arg(report)),
             qPrintable(reports.last().text));
}

void TestLayerStream::runawayDeltaStops()
{
    // Nothing but full gap values: the reader must stop, not sum for ever.
    QByteArray bytes = QByteArray::fromHex("0400000100000182");
    bytes.append(QByteArray(4096, char(0xFF)));
    DebugCapture cap;
    Layer l;
    QVERIFY(!read(l, bytes));
}

QTEST_GUILESS_MAIN(TestLayerStream)
#include "tst_layerstream.moc"
