#include "DebugCapture.h"
#include "FailingDevice.h"
#include "qtnb/Scheme.h"

#include <QtTest>

using namespace Nb;

namespace {

const Meta kIn(256, MfR32, MtC);
const Meta kCode(128, MfI1, MtDO);

// Input 0x0001 and the neural converter 0xFF81 reading it; the converter is
// the result.
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
        const Slot* x = a.at(i);
        const Slot* y = b.at(i);
        QCOMPARE(x->id(), y->id());
        QVERIFY(x->meta() == y->meta());
        QCOMPARE(uint16_t(x->flags()), uint16_t(y->flags()));
        QCOMPARE(x->state(), y->state());
        QCOMPARE(x->links(), y->links());
        QCOMPARE(x->nestedIds(), y->nestedIds());
    }
}

// Knows no condition block, as an engine may not.
struct PickyFactory : Scheme::Factory {
    Slot* create(SlotId id) override
    {
        if (id.type() == StConv && id.block() == BtCondition)
            return nullptr;
        return Scheme::Factory::create(id);
    }
};

} // namespace

class TestSchemeStream : public QObject {
    Q_OBJECT
private slots:
    void goldenBytes();
    void roundTrip();
    void writeFailures();
    void unwritableSlot();
    void readFailures_data();
    void readFailures();
    void truncatedStreams();
    void wrongSizes();
    void attachFailureKeepsSlots();
    void tooManySlots();
    void unknownBlock();
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
    QCOMPARE(written(one, false, &n), QByteArray::fromHex("0100000100002601" "0100000100002601"));
    QCOMPARE(n, 16);
    QCOMPARE(written(one, true, &n).left(4), QByteArray::fromHex("10000000"));
    QCOMPARE(n, 16);
}

void TestSchemeStream::roundTrip()
{
    Scheme inner;
    inner.push(StIn, kIn).push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0)).setOut(1);
    Scheme s;
    s.push(StIn, kIn).push(StSpIn, kIn).push(StSpOut, kCode).push(StIn, Meta(9, MfR32, MtCO));
    s.push(BtNeuralConv, kCode, {StIn, StSpIn, StSpOut}, {0, 1, 2}, BlockFlags(0x8001));
    s.push(BtNeuralConv, kCode, {StIn}, {3}, BlockFlags(0));
    s.push(inner, kCode, {StIn, StSpOut}, {3, 2}, {0, 1}, BlockFlags(0));
    s.push(BtConnector, kCode, {StIn, StIn}, {2, 3}, BlockFlags(0));
    s.setOut(7);
    QCOMPARE(s.status(), ScOk);

    int32_t n = 0;
    const QByteArray bytes = written(s, false, &n);
    QCOMPARE(n, s.size());
    QCOMPARE(bytes.size(), n);
    Scheme back;
    QCOMPARE(readFrom(back, bytes, n), n);
    QCOMPARE(back.status(), ScOk);
    compareSchemes(back, s);
    QCOMPARE(written(back, false), bytes);
    // a read scheme is closed
    back.push(StIn, kIn);
    QCOMPARE(back.count(), s.count());

    // with the size word in front, read back by its own value
    const QByteArray sized = written(s, true);
    QDataStream stream(sized);
    int32_t size = 0;
    stream.readRawData(reinterpret_cast<char*>(&size), 4);
    Scheme again;
    QCOMPARE(again.readScheme(stream, qFromLittleEndian(size)), n);
    compareSchemes(again, s);
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

    Scheme s;
    buildTwoSlots(s);
    // every cut of the device fails the write; the first 4 bytes are the
    // size word, the next 8 the result record, the rest the slots
    for (int capacity = 0; capacity < 34; ++capacity) {
        s.setStatus(ScOk);
        capture.clear();
        FailingDevice device(capacity);
        device.open(QIODevice::WriteOnly);
        QDataStream stream(&device);
        QCOMPARE(s.writeScheme(stream, true), -1);
        const QString report = capture.reports().last().text;
        if (capacity < 4) {
            QVERIFY(report.startsWith("@err 3 "));
            QCOMPARE(s.status(), ScOk);
        } else if (capacity < 12) {
            QVERIFY(report.startsWith("@err 4 "));
            QCOMPARE(s.status(), slotStatus(0xFF81, EcIo));
        } else {
            QVERIFY(report.startsWith("@err 5 "));
            QCOMPARE(s.status(), slotStatus(capacity < 20 ? 0x0001 : 0xFF81, EcIo));
        }
    }
}

void TestSchemeStream::unwritableSlot()
{
    DebugCapture capture;
    Scheme s;
    s.push(StIn, kIn);
    SlotIds many;
    for (int i = 0; i < 255; ++i)
        many.append(SlotId(1));
    s.push(Slot(SlotId(0xFF81), kCode, many, BlockFlags(0), BsUntrained)).setOut(1);
    QCOMPARE(s.at(1)->links().size(), 255);
    int32_t n = 0;
    written(s, false, &n);
    QCOMPARE(n, -1);
    QCOMPARE(s.status(), slotStatus(0xFF81, EcCScheme));
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
    QTest::newRow("no slot has the result's number")
        << QByteArray::fromHex("0500000100002601") + input << 16 << 7 << 0xC0000012u;
    QTest::newRow("result Meta differs")
        << QByteArray::fromHex("0100000100002501") + input << 16 << 8 << 0xC0000012u;
    QByteArray count255 = kTwoSlots;
    count255[27] = char(0xFF);
    QTest::newRow("count byte 255") << count255 << 30 << 3 << 0xC0000012u;
    QByteArray odd = QByteArray::fromHex("01c0800000000106" "01c0800000000106" "0000" "00" "03" "010001000100");
    QTest::newRow("odd count of a nested converter") << odd << odd.size() << 3 << 0xC0000012u;
    QByteArray overCount = kTwoSlots;
    overCount[27] = char(0x40);
    QTest::newRow("count past the size") << overCount << 30 << 3 << 0xC0000012u;
    QTest::newRow("negative size") << kTwoSlots << -1 << 6 << 0xC0000012u;
    QTest::newRow("most negative size") << kTwoSlots << int(INT32_MIN) << 6 << 0xC0000012u;
    QTest::newRow("size past the stream") << kTwoSlots << int(INT32_MAX) << 2 << 0xC0000012u;
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
    QVERIFY(!capture.reports().isEmpty());
    QVERIFY2(capture.reports().last().text.startsWith(QString("@err %1 ").arg(check)),
             qPrintable(capture.reports().last().text));
    // the scheme is open again
    s.push(StIn, kIn);
    QCOMPARE(s.count(), 1);
}

void TestSchemeStream::truncatedStreams()
{
    DebugCapture capture;
    Scheme s;
    buildTwoSlots(s);
    const QByteArray full = written(s, false);
    for (int cut = 0; cut < full.size(); ++cut) {
        Scheme back;
        QCOMPARE(readFrom(back, full.left(cut), full.size()), -1);
        QCOMPARE(uint32_t(back.status()), 0xC0000012u);
        QCOMPARE(back.count(), 0);
    }
    // a stale failure is gone after a good read
    Scheme back;
    readFrom(back, full.left(3), full.size());
    QCOMPARE(readFrom(back, full, full.size()), full.size());
    QCOMPARE(back.status(), ScOk);
}

void TestSchemeStream::wrongSizes()
{
    DebugCapture capture;
    Scheme s;
    buildTwoSlots(s);
    const QByteArray full = written(s, false);
    for (int size = 2; size < full.size(); ++size) {
        Scheme back;
        QCOMPARE(readFrom(back, full, size), -1);
        QCOMPARE(uint32_t(back.status()), 0xC0000012u);
        QCOMPARE(back.count(), 0);
    }
    // more size than records: the reader takes the next bytes as records
    Scheme back;
    QCOMPARE(readFrom(back, full + QByteArray::fromHex("0200000100002601"), full.size() + 8), full.size() + 8);
    QCOMPARE(back.count(), 3);
    QCOMPARE(readFrom(back, full + QByteArray::fromHex("02"), full.size() + 8), -1);
    QCOMPARE(back.count(), 0);
}

void TestSchemeStream::attachFailureKeepsSlots()
{
    DebugCapture capture;
    // the second slot repeats the first one's number
    const QByteArray bytes = QByteArray::fromHex("0100000100002601" "0100000100002601" "0140000100002601");
    Scheme s;
    QCOMPARE(readFrom(s, bytes, bytes.size()), -1);
    QVERIFY(capture.reports().last().text.startsWith("@err 5 "));
    QCOMPARE(s.count(), 2);
    QCOMPARE(s.status(), slotStatus(0x4001, EcCScheme));
    // a converter linking a slot that comes after it
    Scheme forward;
    buildTwoSlots(forward);
    const QByteArray fw = QByteArray::fromHex("81ff800000000106" "81ff800000000106" "0000" "00" "01" "0100"
                                              "0100000100002601");
    QCOMPARE(readFrom(forward, fw, fw.size()), -1);
    QCOMPARE(forward.count(), 1);
    QCOMPARE(forward.status(), slotStatus(0xFF81, EcCScheme));
}

void TestSchemeStream::tooManySlots()
{
    DebugCapture capture;
    const QByteArray conv = QByteArray::fromHex("81ff800000000106" "0000" "00" "00");
    QByteArray bytes = QByteArray::fromHex("81ff800000000106");
    for (int i = 0; i < 0x4000; ++i)
        bytes += conv;
    Scheme s;
    QCOMPARE(readFrom(s, bytes, bytes.size()), bytes.size());
    QCOMPARE(s.count(), 0x4000);
    bytes += conv;
    QCOMPARE(readFrom(s, bytes, bytes.size()), -1);
    QVERIFY(capture.reports().last().text.startsWith("@err 9 "));
    QCOMPARE(s.count(), 0);
    QCOMPARE(uint32_t(s.status()), 0xC0000012u);
}

void TestSchemeStream::unknownBlock()
{
    DebugCapture capture;
    PickyFactory factory;
    Scheme src;
    src.push(StIn, Meta(1, MfI32, MtDO)).push(BtCondition, Meta(1, MfI32, MtDO), {StIn}, {0}, BlockFlags(0));
    src.setOut(1);
    const QByteArray bytes = written(src, false);
    Scheme s(&factory);
    capture.clear();
    QCOMPARE(readFrom(s, bytes, bytes.size()), -1);
    QVERIFY(capture.reports().isEmpty());
    QCOMPARE(uint32_t(s.status()), 0xC0000012u);
}

void TestSchemeStream::dump()
{
    Scheme s;
    buildTwoSlots(s);
    const QString text = printed(s);
    QVERIFY2(text.startsWith("Scheme(0x"), qPrintable(text));
    QVERIFY2(text.contains(" count:2 out:1 rslt:(ScOk)\n[0:Slot((StIn 1) (256 MfR32 MtC) {} BsUntrained [] [] 0x"),
             qPrintable(text));
    QVERIFY2(text.contains("\n1:Slot((StConv BtNeuralConv 1) (128 MfI1 MtDO) {} BsUntrained [0] [] 0x"),
             qPrintable(text));
    QVERIFY2(text.endsWith(" Nil)])"), qPrintable(text));
    s.at(1)->error(EcIo);
    QVERIFY(printed(s).contains("rslt:(0x7f81;EcIo)"));
}

QTEST_GUILESS_MAIN(TestSchemeStream)
#include "tst_schemestream.moc"
