#include "DebugCapture.h"
#include "FailingDevice.h"
#include "qtnb/Container.h"
#include "qtnb/Data.h"
#include "qtnb/Scheme.h"

#include <QtTest>

using namespace Nb;

namespace {

const Meta kIn(256, MfR32, MtC);
const Meta kCode(128, MfI1, MtDO);

// Input 0x0001 and the neural converter 0xFF81 that reads it and is the result.
const QByteArray kTwoSlots = QByteArray::fromHex(
    "81ff" "80000000" "01" "06"                           // result record
    "0100" "00010000" "26" "01"                           // input
    "81ff" "80000000" "01" "06" "0000" "00" "01" "0100"); // converter

void buildTwoSlots(Scheme& s)
{
    s.push(StIn, kIn).push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0)).setOut(1);
}

QByteArray written(const Scheme& s, bool withSize, int32_t* result = nullptr)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    const int32_t n = s.writeScheme(stream, withSize);
    if (result)
        *result = n;
    return bytes;
}

int32_t readFrom(Scheme& s, const QByteArray& bytes, int32_t size)
{
    QDataStream stream(bytes);
    return s.readScheme(stream, size);
}

void compareSchemes(const Scheme& a, const Scheme& b)
{
    QCOMPARE(a.count(), b.count());
    QCOMPARE(a.out(), b.out());
    for (int i = 0; i < a.count(); ++i) {
        QCOMPARE(a.at(i)->id(), b.at(i)->id());
        QVERIFY(a.at(i)->meta() == b.at(i)->meta());
        QCOMPARE(uint16_t(a.at(i)->flags()), uint16_t(b.at(i)->flags()));
        QCOMPARE(a.at(i)->links(), b.at(i)->links());
        QCOMPARE(a.at(i)->nestedIds(), b.at(i)->nestedIds());
    }
}

} // namespace

class TestSchemeStream : public QObject {
    Q_OBJECT
private slots:
    void goldenBytes();
    void roundTrip();
    void blocksAndData();
    void writeFailures();
    void readFailures_data();
    void readFailures();
    void asManySlotsAsNumbers();
    void truncatedAndMissized();
    void attachFailureKeepsSlots();
    void dump();
};

void TestSchemeStream::goldenBytes()
{
    Scheme s;
    buildTwoSlots(s);
    int32_t n = 0;
    QCOMPARE(written(s, false, &n), kTwoSlots);
    QCOMPARE(n, 30);
    QCOMPARE(s.size(), 30);
    QCOMPARE(written(s, true, &n), QByteArray::fromHex("1e000000") + kTwoSlots);
    QCOMPARE(n, 30);
    Scheme one;
    one.push(StIn, kIn).setOut(0);
    QCOMPARE(written(one, true, &n), QByteArray::fromHex("10000000" "0100000100002601" "0100000100002601"));
    QCOMPARE(n, 16);
}

void TestSchemeStream::roundTrip()
{
    Scheme inner;
    inner.push(StIn, kIn).push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0)).setOut(1);
    Scheme s;
    s.push(StIn, kIn).push(StSpIn, kIn).push(StSpOut, kCode).push(StIn, Meta(9, MfR32, MtCO));
    s.push(BtNeuralConv, kCode, {StIn, StSpIn, StSpOut}, {0, 1, 2}, BlockFlags(0x8001));
    s.push(inner, kCode, {StIn, StSpOut}, {3, 2}, {0, 1}, BlockFlags(0));
    s.push(BtConnector, kCode, {StIn, StIn}, {2, 3}, BlockFlags(0)).setOut(6);
    QCOMPARE(s.status(), ScOk);
    int32_t n = 0;
    const QByteArray bytes = written(s, false, &n);
    QCOMPARE(bytes.size(), n);
    Scheme back;
    QCOMPARE(readFrom(back, bytes, n), n);
    QCOMPARE(back.status(), ScOk);
    compareSchemes(back, s);
    QCOMPARE(written(back, false), bytes);
    back.push(StIn, kIn); // a read scheme is closed
    QCOMPARE(back.count(), s.count());
}

void TestSchemeStream::blocksAndData()
{
    DebugCapture capture;
    Scheme s;
    buildTwoSlots(s);
    // a scheme block holds the records without the size word
    Block block(BtCScheme);
    block.push(uint8_t(7)).push(s);
    QCOMPARE(block.size(), 31);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(block.data()), 31), QByteArray(1, 7) + kTwoSlots);
    QCOMPARE(block.length(), 31);
    int32_t pos = 1;
    Scheme back;
    block.pop(pos, back);
    QCOMPARE(pos, 31);
    compareSchemes(back, s);
    // hostile positions and contents
    pos = 2;
    block.pop(pos, back);
    QCOMPARE(pos, -1);
    QCOMPARE(uint32_t(back.status()), 0xC0000012u);
    pos = 40;
    block.pop(pos, back);
    QCOMPARE(pos, -1);
    // a scheme that cannot be written leaves the block as it was
    Scheme open;
    open.push(StIn, kIn);
    block.push(open);
    QCOMPARE(block.size(), 31);

    Data data;
    QVERIFY(s.toData(data));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(data.data()), data.size()), kTwoSlots);
    Scheme fromData;
    QVERIFY(fromData.fromData(data));
    compareSchemes(fromData, s);
    // failures say so: nothing to write, no room in a view, bad bytes
    Data untouched(3);
    QVERIFY(!open.toData(untouched));
    QCOMPARE(untouched.size(), 3);
    QByteArray small = QByteArray::fromHex("08000000") + QByteArray(8, 0);
    Data view(reinterpret_cast<uint8_t*>(small.data()) + 4, 8);
    QVERIFY(!s.toData(view));
    QVERIFY(!fromData.fromData(Data()));
    Data cut;
    cut.set(data.data(), 20);
    QVERIFY(!fromData.fromData(cut));
    QCOMPARE(fromData.count(), 0);
}

void TestSchemeStream::writeFailures()
{
    DebugCapture capture;
    Scheme empty;
    QCOMPARE(written(empty, true), QByteArray());
    Scheme open;
    open.push(StIn, kIn);
    QCOMPARE(written(open, true), QByteArray());
    QCOMPARE(open.size(), 0);
    QCOMPARE(capture.reports().size(), 2);

    // each cut of the device: size word, result record, input, converter
    Scheme s;
    buildTwoSlots(s);
    for (int capacity = 0; capacity < 34; ++capacity) {
        s.setStatus(ScOk);
        FailingDevice device(capacity);
        device.open(QIODevice::WriteOnly);
        QDataStream stream(&device);
        QCOMPARE(s.writeScheme(stream, true), -1);
        const QString report = capture.reports().last().text;
        const int check = capacity < 4 ? 3 : capacity < 12 ? 4 : 5;
        QVERIFY(report.startsWith(QString("@err %1 ").arg(check)));
        const Status expected =
            capacity < 4 ? ScOk : slotStatus(capacity >= 12 && capacity < 20 ? 0x0001 : 0xFF81, EcIo);
        QCOMPARE(s.status(), expected);
    }

    // a slot whose record would not read back as written
    Scheme many;
    many.push(StIn, kIn);
    SlotIds links;
    for (int i = 0; i < 255; ++i)
        links.append(SlotId(1));
    many.push(Slot(SlotId(0xFF81), kCode, links, BlockFlags(0), BsUntrained)).setOut(1);
    int32_t n = 0;
    written(many, false, &n);
    QCOMPARE(n, -1);
    QCOMPARE(many.status(), slotStatus(0xFF81, EcCScheme));
}

void TestSchemeStream::readFailures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("check");
    QTest::addColumn<quint32>("status");
    const QByteArray input = QByteArray::fromHex("0100000100002601");
    QTest::newRow("size 0") << kTwoSlots << 0 << 1 << 0xC0000012u;
    QTest::newRow("size 1") << kTwoSlots << 1 << 1 << 0xC0000012u;
    QTest::newRow("result record only") << kTwoSlots.left(8) << 8 << 7 << 0xC0000012u;
    QTest::newRow("nil result id") << QByteArray::fromHex("0000") + kTwoSlots.mid(2) << 30 << 4 << 0xC0000026u;
    QTest::newRow("result number absent") << QByteArray::fromHex("0500000100002601") + input << 16 << 7
                                          << 0xC0000012u;
    QTest::newRow("result Meta differs") << QByteArray::fromHex("0100000100002501") + input << 16 << 8
                                         << 0xC0000012u;
    QByteArray count255 = kTwoSlots;
    count255[27] = char(0xFF);
    QTest::newRow("count byte 255") << count255 << 30 << 3 << 0xC0000012u;
    QByteArray overCount = kTwoSlots;
    overCount[27] = char(0x40);
    QTest::newRow("count past the size") << overCount << 30 << 3 << 0xC0000012u;
    const QByteArray odd = QByteArray::fromHex("01c0800000000106" "01c080000000010600000003" "010001000100");
    QTest::newRow("odd count of a nested converter") << odd << odd.size() << 3 << 0xC0000012u;
    QTest::newRow("negative size") << kTwoSlots << -1 << 6 << 0xC0000012u;
    QTest::newRow("most negative size") << kTwoSlots << int(INT32_MIN) << 6 << 0xC0000012u;
    QTest::newRow("size past the stream") << kTwoSlots << int(INT32_MAX) << 2 << 0xC0000012u;
    // slot numbers are 14 bits: no valid scheme has more slots than that
    const QByteArray conv = QByteArray::fromHex("81ff80000000010600000000");
    QByteArray many = kTwoSlots.left(8) + conv.repeated(0x4001);
    QTest::newRow("more slots than numbers") << many << many.size() << 9 << 0xC0000012u;
}

void TestSchemeStream::asManySlotsAsNumbers()
{
    // one slot per 14-bit number is still read
    const QByteArray conv = QByteArray::fromHex("81ff80000000010600000000");
    const QByteArray most = kTwoSlots.left(8) + conv.repeated(0x4000);
    Scheme s;
    QCOMPARE(readFrom(s, most, most.size()), most.size());
    QCOMPARE(s.count(), 0x4000);
}

void TestSchemeStream::readFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, size);
    QFETCH(int, check);
    QFETCH(quint32, status);
    DebugCapture capture;
    Scheme s;
    QCOMPARE(readFrom(s, bytes, size), -1);
    QCOMPARE(uint32_t(s.status()), status);
    QCOMPARE(s.count(), 0);
    QCOMPARE(s.out(), -1);
    QVERIFY2(capture.reports().last().text.startsWith(QString("@err %1 ").arg(check)),
             qPrintable(capture.reports().last().text));
    s.push(StIn, kIn); // open again
    QCOMPARE(s.count(), 1);
}

void TestSchemeStream::truncatedAndMissized()
{
    DebugCapture capture;
    for (int cut = 0; cut < kTwoSlots.size(); ++cut) {
        Scheme back;
        QCOMPARE(readFrom(back, kTwoSlots.left(cut), kTwoSlots.size()), -1);
        QCOMPARE(uint32_t(back.status()), 0xC0000012u);
        QCOMPARE(back.count(), 0);
        Scheme shortSize;
        QCOMPARE(readFrom(shortSize, kTwoSlots, cut), -1);
        QCOMPARE(uint32_t(shortSize.status()), 0xC0000012u);
        QCOMPARE(shortSize.count(), 0);
    }
    // more size than records: the following bytes are taken as records
    Scheme back;
    const QByteArray extra = kTwoSlots + QByteArray::fromHex("0200000100002601");
    QCOMPARE(readFrom(back, extra, extra.size()), extra.size());
    QCOMPARE(back.count(), 3);
    // a good read clears the failure of an earlier one
    QCOMPARE(readFrom(back, kTwoSlots, 31), -1);
    QCOMPARE(readFrom(back, kTwoSlots, 30), 30);
    QCOMPARE(back.status(), ScOk);
    // a converter block the factory does not know: no report
    struct NoNeural : Scheme::Factory {
        Slot* create(SlotId id) override { return id == SlotId(0xFF81) ? nullptr : Scheme::Factory::create(id); }
    } factory;
    Scheme picky(&factory);
    capture.clear();
    QCOMPARE(readFrom(picky, kTwoSlots, 30), -1);
    QVERIFY(capture.reports().isEmpty());
    QCOMPARE(uint32_t(picky.status()), 0xC0000012u);
}

void TestSchemeStream::attachFailureKeepsSlots()
{
    DebugCapture capture;
    // the second slot repeats the first one's number
    const QByteArray dup = QByteArray::fromHex("0100000100002601" "0100000100002601" "0140000100002601");
    Scheme s;
    QCOMPARE(readFrom(s, dup, dup.size()), -1);
    QVERIFY(capture.reports().last().text.startsWith("@err 5 "));
    QCOMPARE(s.count(), 2);
    QCOMPARE(s.status(), slotStatus(0x4001, EcCScheme));
    // a converter that links itself
    const QByteArray self = QByteArray::fromHex("81ff800000000106" "81ff800000000106" "0000" "00" "01" "81ff");
    QCOMPARE(readFrom(s, self, self.size()), -1);
    QCOMPARE(s.status(), slotStatus(0xFF81, EcCScheme));
}

void TestSchemeStream::dump()
{
    Scheme s;
    buildTwoSlots(s);
    const QString text = printed(s);
    QVERIFY2(text.startsWith("Scheme(0x"), qPrintable(text));
    QVERIFY(text.contains(" count:2 out:1 rslt:(ScOk)\n[0:Slot((StIn 1) (256 MfR32 MtC) {} BsUntrained [] [] 0x"));
    QVERIFY(text.contains("\n1:Slot((StConv BtNeuralConv 1) (128 MfI1 MtDO) {} BsUntrained [0] [] 0x"));
    QVERIFY(text.endsWith(" Nil)])"));
    s.at(1)->error(EcIo);
    QVERIFY(printed(s).contains("rslt:(0x7f81;EcIo)"));
}

QTEST_GUILESS_MAIN(TestSchemeStream)
#include "tst_schemestream.moc"
