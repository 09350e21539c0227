#include "bc/Layer.h"

#include <cmath>

#include <QtTest>

#include "DebugCapture.h"
#include "FailingDevice.h"

Q_DECLARE_METATYPE(Bc::Layer)

using namespace Bc;

class TestLayerStream : public QObject {
    Q_OBJECT
private slots:
    void goldenBytes();
    void converterLayerSize();
    void roundTrip_data();
    void roundTrip();
    void deltaIndicesGolden();
    void saltedPackedGolden();
    void weightDecoderReports_data();
    void weightDecoderReports();
    void refusedWrites();
    void unreadableIndicesNotWritten();
    void everyTruncationFails();
    void hostileBytes_data();
    void hostileBytes();
};

namespace {

QByteArray write(const Layer& l, bool* ok)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    *ok = l.write(s, s);
    return out;
}

bool read(Layer& l, const QByteArray& bytes)
{
    QDataStream s(bytes);
    return l.read(s, s);
}

// in 5, neurons {3, 1} and {4, 0}, raw signed floats; the last weight is
// 2^-128, which survives only as a subnormal.
Layer smallLayer(uint8_t lf = 0)
{
    Layer l;
    l.in = 5;
    l.con = 2;
    l.lf = lf;
    l.bpw = 0xA0;
    l.neurons.resize(2);
    l.neurons[0].inputs = {3, 1};
    l.neurons[0].weights = {1.0f, -2.0f};
    l.neurons[1].inputs = {4, 0};
    l.neurons[1].weights = {0.5f, std::ldexp(1.0f, -128)};
    return l;
}

const char* SmallHex = "0005" "0002" "00" "00" "02" "10" "03000100" "04000000" "02" "a0"
                       "0000803f" "000000c0" "0000003f" "00002000";

Layer fixedLayer(uint8_t cda, uint8_t bpw, const std::vector<float>& w, int32_t in = 12)
{
    Layer l;
    l.init("{8f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}", in, 3, int32_t(w.size()), 0, cda, 16, false,
           bpw & 0x7F, (bpw & 0x80) != 0);
    for (Neuron& n : l.neurons)
        n.weights = w;
    return l;
}

bool sameLayer(const Layer& a, const Layer& b)
{
    if (a.in != b.in || a.outputs() != b.outputs() || a.lf != b.lf || a.cda != b.cda ||
        a.con != b.con || a.bpc != b.bpc || a.bpw != b.bpw || a.salt != b.salt)
        return false;
    for (size_t i = 0; i < a.neurons.size(); ++i)
        if (a.neurons[i].inputs != b.neurons[i].inputs || a.neurons[i].weights != b.neurons[i].weights ||
            a.neurons[i].bpc != b.neurons[i].bpc)
            return false;
    return true;
}

} // namespace

void TestLayerStream::goldenBytes()
{
    bool ok = false;
    QCOMPARE(write(smallLayer(), &ok).toHex(), QByteArray(SmallHex));
    QVERIFY(ok);
    // Two streams: the indices go to the connection stream alone.
    QByteArray structure, connections;
    {
        QDataStream s(&structure, QIODevice::WriteOnly), c(&connections, QIODevice::WriteOnly);
        QVERIFY(smallLayer().write(s, c));
    }
    QCOMPARE(connections.toHex(), QByteArray("0300010004000000"));
    QDataStream s(structure), c(connections);
    Layer back;
    QVERIFY(back.read(s, c));
    QVERIFY(sameLayer(back, smallLayer()));
    QCOMPARE(std::fpclassify(back.neurons[1].weights[1]), FP_SUBNORMAL);
    QCOMPARE(int(back.bpw), 0xA0); // the width byte keeps its sign bit
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
    QCOMPARE(bytes.left(4).toHex(), QByteArray("01e000a0")); // header big-endian
    QCOMPARE(uint8_t(bytes[8]) | uint8_t(bytes[9]) << 8, l.neurons[0].inputs[0]); // index low byte first
    Layer back;
    QVERIFY(read(back, bytes));
    QCOMPARE(back.salt, Nb::NilUuid); // drawn indices are stored, their salt is not
    back.salt = l.salt;
    QVERIFY(sameLayer(back, l));
}

void TestLayerStream::roundTrip_data()
{
    QTest::addColumn<Layer>("layer");
    QTest::addColumn<int>("size");
    QTest::addColumn<std::vector<float>>("weights"); // neuron 0 after reading
    QTest::newRow("fixed table, no connection bytes")
        << fixedLayer(CdaFixTable, 0xA0, {1.5f, -1, 0}) << 8 + 2 + 36 << std::vector<float>{1.5f, -1, 0};
    QTest::newRow("fixed salt, 16 bytes") << fixedLayer(CdaFixAlg, 0xA0, {2, 3}) << 8 + 16 + 2 + 24
                                          << std::vector<float>{2, 3};
    // Truncated, and saturated beyond the width.
    QTest::newRow("3 bits without zero")
        << fixedLayer(CdaFixTable, 3, {-4, -3, -2, -1, 1, 2, 3, 4, 0, 2.9f, 9, -9}) << 8 + 2 + 15
        << std::vector<float>{-4, -3, -2, -1, 1, 2, 3, 4, 1, 2, 4, -4};
    QTest::newRow("3 bits two's complement")
        << fixedLayer(CdaFixTable, 0x83, {-4, -3, -2, -1, 0, 1, 2, 3, -1.7f, 3, 9, -9}) << 8 + 2 + 15
        << std::vector<float>{-4, -3, -2, -1, 0, 1, 2, 3, -1, 3, 3, -4};
    // 2^25 - 1 reads back as the float 2^25, which must not wrap to -2^25.
    QTest::newRow("26 bits, float rounding") << fixedLayer(CdaFixTable, 0x9A, {33554432.0f, -33554432.0f})
                                             << 8 + 2 + 3 * 7 << std::vector<float>{33554432.0f, -33554432.0f};
    Layer delta = smallLayer(LfProt);
    delta.in = 300;
    delta.con = 7;
    delta.bpc = 0x84;
    delta.neurons[0].inputs = {299, 0, 17, 16, 250, 3, 299};
    delta.neurons[1].inputs = {0, 1, 2, 3, 4, 5, 6};
    for (Neuron& n : delta.neurons) {
        n.weights.assign(7, 2.0f);
        n.bpc = delta.bpc;
    }
    // 83 and 7 gaps of 4 bits: 42 and 4 bytes.
    QTest::newRow("delta indices, protected") << delta << 8 + 42 + 4 + 2 + 56 + 1 << delta.neurons[0].weights;
    Layer own = smallLayer(LfCOwn | LfWOwn);
    own.in = 1000;
    own.neurons[0].inputs = {999, 5, 512};
    own.neurons[0].bpc = 10;
    own.neurons[0].weights = {1, 0, 0};
    own.neurons[1].inputs = {700};
    own.neurons[1].bpc = 0x8A;
    own.neurons[1].weights = {0};
    // Own counts and widths, then 1 stored weight and a bare 0 count.
    QTest::newRow("own counts") << own << 8 + 6 + 4 + 2 + 5 + 1 << own.neurons[0].weights;
}

void TestLayerStream::roundTrip()
{
    QFETCH(Layer, layer);
    QFETCH(int, size);
    QFETCH(std::vector<float>, weights);
    bool ok = false;
    const QByteArray bytes = write(layer, &ok);
    QVERIFY(ok);
    QCOMPARE(bytes.size(), size);
    Layer back;
    QVERIFY(read(back, bytes));
    QCOMPARE(back.neurons[0].weights, weights);
    for (Neuron& n : back.neurons)
        n.weights = layer.neurons[0].weights;
    for (Neuron& n : layer.neurons)
        n.weights = layer.neurons[0].weights;
    QVERIFY(sameLayer(back, layer));
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

void TestLayerStream::saltedPackedGolden()
{
    // A drawn-from-salt layer with own weight counts, 3-bit weights without
    // zero and the protected trailer, worked out by hand:
    //   0028 0002 82 02 04 10 | salt | 04 03
    //   neuron 0 {2, -1, 0, 0}: count 2, codes 001 111      -> 02 39
    //   neuron 1 {1, 0, -4, 4}: count 4, codes 000 000 100 011 -> 04 00 07
    //   trailer 00
    const Nb::Uuid salt("{8f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}");
    Layer l;
    QVERIFY(l.init(salt, 40, 2, 4, LfWOwn | LfProt, CdaFixAlg, 16, false, 3, false));
    l.neurons[0].weights = {2, -1, 0, 0};
    l.neurons[1].weights = {1, 0, -4, 4};
    bool ok = false;
    const QByteArray bytes = write(l, &ok);
    QVERIFY(ok);
    QCOMPARE(bytes.toHex(), QByteArray("0028000282020410"
                                       "3c2d1e8f5a4b78698796a5b4c3d2e1f0"
                                       "0403" "0239" "040007" "00"));
    Layer back;
    QVERIFY(read(back, bytes));
    QCOMPARE(back.salt, salt);
    QCOMPARE(back.neurons[0].inputs, std::vector<int32_t>({6, 10, 23, 18})); // the salt's table
    QCOMPARE(back.neurons[1].inputs, std::vector<int32_t>({10, 30, 35, 38}));
    QCOMPARE(back.neurons[0].weights, std::vector<float>({2, -1, 0, 0}));
    QCOMPARE(back.neurons[1].weights, std::vector<float>({1, 1, -4, 4})); // 0 has no code
}

void TestLayerStream::weightDecoderReports_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("twos");
    QTest::addColumn<int>("report");
    QTest::newRow("more weights than the neuron holds") << QByteArray(64, 0) << 5 << 32 << true << 1;
    QTest::newRow("width 0") << QByteArray(64, 0) << 2 << 0 << true << 2;
    QTest::newRow("width 33") << QByteArray(64, 0) << 2 << 33 << false << 2;
    QTest::newRow("raw read short") << QByteArray(7, 0) << 2 << 32 << true << 3;
    QTest::newRow("bits short, two's complement") << QByteArray(1, 0) << 2 << 5 << true << 4;
    QTest::newRow("bits short, without zero") << QByteArray(1, 0) << 2 << 5 << false << 5;
}

void TestLayerStream::weightDecoderReports()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);
    QFETCH(int, bits);
    QFETCH(bool, twos);
    QFETCH(int, report);
    DebugCapture cap;
    Neuron n;
    n.weights.assign(4, 0.0f);
    QDataStream s(bytes);
    QVERIFY(!n.wdecode(s, count, uint8_t(bits), twos));
    QCOMPARE(cap.reports().size(), 1);
    QVERIFY(cap.reports().first().text.startsWith(QString("@err %1 ").arg(report)));
}

void TestLayerStream::refusedWrites()
{
    DebugCapture cap;
    bool ok = true;
    QByteArray expected = QByteArray::fromHex(SmallHex);
    expected[4] = char(LfBInc);
    QCOMPARE(write(smallLayer(LfBInc), &ok), expected); // everything written, still false
    QVERIFY(!ok);
    QCOMPARE(write(smallLayer(LfMdInc), &ok).toHex(), QByteArray("0005000208"));
    QVERIFY(!ok);
    QVERIFY(write(Layer(), &ok).isEmpty() && !ok);
    Layer wide = smallLayer();
    wide.con = 256; // would not fit its byte
    QVERIFY(write(wide, &ok).isEmpty() && !ok);
    const QList<CapturedMessage> reports = cap.reports();
    QCOMPARE(reports.size(), 4);
    const char* numbers[] = {"@err 7 ", "@err 2 ", "@err 1 ", "@err 8 "};
    for (int i = 0; i < 4; ++i)
        QVERIFY2(reports[i].text.startsWith(numbers[i]), qPrintable(reports[i].text));
    for (qint64 capacity : {0, 7, 12, 20, 33}) {
        FailingDevice dev(capacity);
        dev.open(QIODevice::WriteOnly);
        QDataStream s(&dev);
        QVERIFY(!smallLayer().write(s, s));
    }
    // A device that fails in one section: the salt, the indices, the
    // weights with and without their own counts.
    struct Case {
        Layer layer;
        bool failStructure;
        qint64 capacity;
        const char* report;
    };
    const Case cases[] = {{fixedLayer(CdaFixAlg, 0xA0, {1, 2}), false, 15, "@err 3 "},
                          {smallLayer(), false, 5, "@err 4 "},
                          {smallLayer(LfWOwn), true, 12, "@err 5 "},
                          {smallLayer(), true, 13, "@err 6 "}};
    for (const Case& c : cases) {
        cap.clear();
        FailingDevice dev(c.capacity);
        dev.open(QIODevice::WriteOnly);
        QByteArray other;
        QDataStream failing(&dev), good(&other, QIODevice::WriteOnly);
        QVERIFY(!(c.failStructure ? c.layer.write(failing, good) : c.layer.write(good, failing)));
        QVERIFY(!cap.reports().isEmpty());
        QVERIFY2(cap.reports().first().text.startsWith(c.report), qPrintable(cap.reports().first().text));
    }
}

void TestLayerStream::unreadableIndicesNotWritten()
{
    // What the reader would refuse is not written as a success.
    DebugCapture cap;
    bool ok = true;
    Layer beyond = smallLayer();
    beyond.neurons[1].inputs[0] = 5; // not below in
    write(beyond, &ok);
    QVERIFY(!ok);
    Layer narrow = smallLayer();
    narrow.in = 300;
    narrow.bpc = 8;
    narrow.neurons[0].inputs[0] = 256; // plain 8 bits would store it as 0
    write(narrow, &ok);
    QVERIFY(!ok);
    narrow.bpc = 0x88; // delta gaps of 8 bits carry it
    QVERIFY(read(beyond, write(narrow, &ok)) && ok);
    QCOMPARE(beyond.neurons[0].inputs, narrow.neurons[0].inputs);
    Layer extra = smallLayer(LfWOwn);
    extra.neurons[0].weights.push_back(3.0f); // a weight without an input
    write(extra, &ok);
    QVERIFY(!ok);
    const QList<CapturedMessage> reports = cap.reports();
    QCOMPARE(reports.size(), 3);
    QVERIFY(reports[0].text.startsWith("@err 4 ") && reports[1].text.startsWith("@err 4 ") &&
            reports[2].text.startsWith("@err 5 "));
}

void TestLayerStream::everyTruncationFails()
{
    DebugCapture cap;
    Layer own = smallLayer(LfProt | LfCOwn | LfWOwn);
    own.neurons[1].weights[1] = 0;
    // Raw floats too: a stream that ends inside them fails the read rather
    // than leaving the missing weights at 0.
    for (const Layer& l : {own, fixedLayer(CdaFixAlg, 0x86, {1, -2, 3}), smallLayer()}) {
        bool ok = false;
        const QByteArray bytes = write(l, &ok);
        Layer back;
        QVERIFY(ok && read(back, bytes));
        for (int n = 0; n < bytes.size(); ++n)
            QVERIFY2(!read(back, bytes.left(n)), qPrintable(QString::number(n)));
    }
}

void TestLayerStream::hostileBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("report");
    auto patched = [](int at, const char* hex) {
        QByteArray b = QByteArray::fromHex(SmallHex);
        const QByteArray p = QByteArray::fromHex(hex);
        return b.replace(at, p.size(), p);
    };
    QTest::newRow("index equal to in") << patched(8, "0500") << 5;
    QTest::newRow("index far out") << patched(12, "ffff") << 5;
    // One 4-bit gap of 14 in 5 inputs: still 9 after taking off the inputs.
    QTest::newRow("delta index beyond in") << QByteArray::fromHex("0005000100000184" "0e" "01a0" "0000803f") << 5;
    QTest::newRow("NaN weight") << patched(18, "0000c07f") << 8;
    QTest::newRow("infinite weight") << patched(30, "0000807f") << 8;
    QTest::newRow("flag 0x04") << patched(4, "04") << 1;
    QTest::newRow("flag 0x40") << patched(4, "40") << 1;
    QTest::newRow("cda 3") << patched(5, "03") << 6;
    QTest::newRow("index width 1") << patched(7, "01") << 5;
    QTest::newRow("index width 17") << patched(7, "11") << 5;
    QTest::newRow("delta width 0") << patched(7, "80") << 5;
    QTest::newRow("weight width 0") << patched(17, "80") << 8;
    QTest::newRow("weight width 33") << patched(17, "21") << 8;
    QTest::newRow("trailer not 0") << patched(4, "80") + QByteArray(1, 1) << 9;
    QTest::newRow("fixed table, con above in") << QByteArray::fromHex("00030001000106100620") << 2;
    QTest::newRow("fixed salt, con above in") << QByteArray::fromHex("0003000100020610") + QByteArray(16, 0) << 4;
    // Own weight count 3 for a neuron of 2 inputs.
    QTest::newRow("own weight count above inputs")
        << QByteArray::fromHex("00050001020002100300010002a0030000803f0000803f0000803f") << 7;
    // Nothing but full 2-bit gaps: the reader must stop, not sum for ever.
    QTest::newRow("runaway gaps") << QByteArray::fromHex("0400000100000182") + QByteArray(4096, char(0xFF)) << 5;
    QTest::newRow("empty") << QByteArray() << 1;
}

void TestLayerStream::hostileBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, report);
    DebugCapture cap;
    Layer l;
    QVERIFY(!read(l, bytes));
    QVERIFY(!cap.reports().isEmpty());
    QVERIFY2(cap.reports().last().text.startsWith(QString("@err %1 ").arg(report)),
             qPrintable(cap.reports().last().text));
    if (report == 1 && bytes.size() >= 4) {
        QCOMPARE(l.in, 5); // what was read before the flags is kept
        QCOMPARE(l.outputs(), 2);
    }
}

QTEST_GUILESS_MAIN(TestLayerStream)
#include "tst_layerstream.moc"
