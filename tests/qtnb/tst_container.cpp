#include "DebugCapture.h"
#include "FailingDevice.h"
#include "qtnb/Container.h"

#include <limits>
#include <QtTest>

using namespace Nb;

namespace {

const Uuid Id(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11);
const QByteArray IdBytes = QByteArray::fromHex("01000000020003000405060708090a0b");
const QString IdText = "{00000001-0002-0003-0405-060708090a0b}";

Block sample()
{
    Block b(BtAppConv);
    b.push(uint8_t(1)).push(uint16_t(0x0302)).push(int32_t(0x07060504));
    return b;
}

Block filled(BlockType type, const QByteArray& bytes)
{
    Block b(type);
    b.push(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    return b;
}

QByteArray written(const Container& c, bool withTotal, int32_t* result = nullptr)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    const int32_t r = c.writeContainer(s, withTotal);
    if (result)
        *result = r;
    return out;
}

// head (covering everything), X, inner head (covering itself and Y), Y, Z
Container nested()
{
    Container c;
    c.push(BlockContHead(NilUuid, 0));
    c.push(filled(BlockType(130), "X"));
    c.push(BlockContHead(Id, 0));
    c.push(filled(BtCScheme, "YY"));
    c.push(filled(BtNbcId, "ZZZ"));
    static_cast<BlockContHead*>(c.at(0))->setLength(c.blocks(), 0, c.count());
    static_cast<BlockContHead*>(c.at(2))->setLength(c.blocks(), 2, 4);
    return c;
}

} // namespace

class TestContainer : public QObject {
    Q_OBJECT
private slots:
    void blockGolden();
    void headGolden();
    void containerGolden();
    void emptyContainer();
    void roundTrip();
    void totalReadsAsData();
    void readRuns_data();
    void readRuns();
    void hostileLengthFailsFast();
    void shortHeadIsNoHead();
    void positionalRoundTrip();
    void positionalFailures();
    void dataPopRefusesBadSizes();
    void oversizeIsRefused();
    void invalidBlockIsNotWritten();
    void writeFailures();
    void runsAndHeads();
    void headSetLength();
    void ownershipAndSelfAssignment();
    void pushOfItsOwnBytes();
    void dumps();
};

void TestContainer::blockGolden()
{
    const Block b = sample();
    QCOMPARE(b.header(), 0x01000007);
    QVERIFY(b.validate());
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    QCOMPARE(b.write(s), 11);
    QCOMPARE(out, QByteArray::fromHex("0700000101020304050607"));
    // The type is the fourth byte and survives changes of the data.
    Block t(BtExtention);
    t.push(int32_t(-1));
    t.setType(BtDate);
    QCOMPARE(t.header(), int32_t(0xFC000004));
    t.clear();
    QCOMPARE(t.header(), 0);
}

void TestContainer::headGolden()
{
    const BlockContHead head(Id, 0);
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    QCOMPARE(head.write(s), 24);
    QCOMPARE(out, QByteArray::fromHex("1400000000000000") + IdBytes);
    QVERIFY(head.isHead());
    QCOMPARE(head.id(), Id);
    QCOMPARE(head.count(), 0);
    QScopedPointer<Block> copy(head.clone());
    QVERIFY(copy->isHead());
    QCOMPARE(static_cast<BlockContHead*>(copy.data())->id(), Id);
    QScopedPointer<Block> plain(sample().clone());
    QVERIFY(!plain->isHead());
    BlockContHead retyped(Id, 50);
    retyped.setType(BtAppData);
    QVERIFY(!retyped.isHead());
}

void TestContainer::containerGolden()
{
    Container c;
    c.push(BlockContHead(Id, 0));
    c.push(sample());
    QVERIFY(static_cast<BlockContHead*>(c.at(0))->setLength(c.blocks(), 0, c.count()));
    QCOMPARE(c.byteSize(), 35);
    const QByteArray blocks = QByteArray::fromHex("1400000023000000") + IdBytes +
                              QByteArray::fromHex("0700000101020304050607");
    int32_t r = 0;
    QCOMPARE(written(c, false, &r), blocks);
    QCOMPARE(r, 35);
    QCOMPARE(written(c, true, &r), QByteArray::fromHex("23000000") + blocks);
    QCOMPARE(r, 35);
}

void TestContainer::emptyContainer()
{
    int32_t r = -5;
    QCOMPARE(written(Container(), true, &r), QByteArray(4, '\0'));
    QCOMPARE(r, 0);
    QCOMPARE(written(Container(), false, &r), QByteArray());
    QCOMPARE(r, 0);
}

void TestContainer::roundTrip()
{
    const Container c = nested();
    const QByteArray bytes = written(c, false);
    QCOMPARE(bytes.size(), c.byteSize());
    Container back;
    QDataStream in(bytes);
    QCOMPARE(back.readContainer(in, -1), bytes.size());
    QCOMPARE(back.count(), 5);
    QCOMPARE(written(back, false), bytes);
    QVERIFY(back.at(2)->isHead());
    QCOMPARE(static_cast<BlockContHead*>(back.at(2))->id(), Id);

    Container three;
    QDataStream in3(bytes);
    QCOMPARE(three.readContainer(in3, 3), 24 + 5 + 24);
    QCOMPARE(three.count(), 3);
}

void TestContainer::totalReadsAsData()
{
    const Container c = nested();
    QDataStream in(written(c, true));
    Data d;
    QCOMPARE(d.read(in, true), c.byteSize() + 4);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(d.data()), d.size()), written(c, false));
}

void TestContainer::readRuns_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("blocks");
    const QByteArray x = QByteArray::fromHex("03000001616263");
    const auto head = [](quint32 run) {
        QByteArray h = QByteArray::fromHex("14000000");
        for (int i = 0; i < 4; ++i)
            h.append(char(run >> (8 * i)));
        return h + IdBytes;
    };
    QTest::newRow("first block no head") << (x + head(24)) << -1 << -1 << 0;
    QTest::newRow("run of the head alone") << (head(24) + x) << -1 << -1 << 1;
    QTest::newRow("run length 0") << (head(0) + x) << -1 << 24 << 1;
    QTest::newRow("run below the head") << (head(10) + x) << -1 << 24 << 1;
    QTest::newRow("negative run length") << (head(0x80000000u) + x) << -1 << 24 << 1;
    QTest::newRow("run with one block") << (head(31) + x) << -1 << 31 << 2;
    QTest::newRow("run overshoot") << (head(25) + x) << -1 << 31 << 2;
    QTest::newRow("run past the stream") << (head(100) + x) << -1 << -1 << 2;
    QTest::newRow("huge run length") << (head(0x7FFFFFFF) + x) << -1 << -1 << 2;
    QTest::newRow("ends inside data") << (head(40) + QByteArray::fromHex("0a00000161626364")) << -1 << -1 << 1;
    QTest::newRow("ends inside header") << (head(40) + QByteArray::fromHex("0a00")) << -1 << -1 << 1;
    QTest::newRow("empty stream") << QByteArray() << -1 << -1 << 0;
    QTest::newRow("n blocks") << (x + x + x) << 2 << 14 << 2;
    QTest::newRow("n past the end") << (x + x) << 3 << -1 << 2;
    QTest::newRow("n inside data") << (x + QByteArray::fromHex("0300000161")) << 2 << -1 << 1;
}

void TestContainer::readRuns()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, n);
    QFETCH(int, result);
    QFETCH(int, blocks);
    Container c;
    c.push(sample()); // reading starts from an empty container
    QDataStream in(bytes);
    QCOMPARE(c.readContainer(in, n), result);
    QCOMPARE(c.count(), blocks);
    if (result > 0)
        QCOMPARE(in.device()->pos(), qint64(result)); // what follows the run is left unread
}

void TestContainer::hostileLengthFailsFast()
{
    // A 16 MB length word in a 30-byte file must not be allocated for.
    const QByteArray plain = QByteArray::fromHex("ffffff01") + QByteArray(26, 'a');
    const QByteArray run = QByteArray::fromHex("14000000ffffff7f") + IdBytes + plain;
    Container c;
    QDataStream a(plain);
    QCOMPARE(c.readContainer(a, 1), -1);
    QVERIFY(a.status() != QDataStream::Ok);
    QDataStream b(run);
    QCOMPARE(c.readContainer(b, -1), -1);
    QCOMPARE(c.count(), 1);
    Block one;
    QDataStream d(plain);
    QCOMPARE(one.read(d), -1);
    QCOMPARE(one.size(), 0);
}

void TestContainer::shortHeadIsNoHead()
{
    DebugCapture capture;
    // Type 0 with 4 data bytes claiming a run of 100.
    const QByteArray bytes = QByteArray::fromHex("0400000064000000") + QByteArray::fromHex("03000001616263");
    Container c;
    QDataStream in(bytes);
    QCOMPARE(c.readContainer(in, -1), -1);
    QVERIFY(c.isEmpty());
    QDataStream in2(bytes);
    QCOMPARE(c.readContainer(in2, 2), 15);
    auto* head = dynamic_cast<BlockContHead*>(c.at(0));
    QVERIFY(head);
    QVERIFY(!head->isHead());
    QCOMPARE(head->length(), 0);
    QCOMPARE(head->id(), NilUuid);
    QVERIFY(!head->setLength(c.blocks(), 0, 2));
    QCOMPARE(head->size(), 4);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(head->data()), 4), QByteArray::fromHex("64000000"));
    QCOMPARE(c.nextHead(0), 2);
    QVERIFY(!c.hasInnerHead());
    QCOMPARE(c.findEnd(0), 0);
    QVERIFY(!c.assignRun(c, 0));
    QCOMPARE(printed(*head), QString("Block(BtNbc 8 0 {Nil})"));
}

void TestContainer::positionalRoundTrip()
{
    Block b(BtAppData);
    const QByteArray text("abc");
    Data d;
    d.set(reinterpret_cast<const uint8_t*>(text.constData()), 3);
    b.push(uint8_t(0xfe)).push(uint16_t(0xbeef)).push(int32_t(-2)).push(Id).push(d, true).push(d, false);
    QCOMPARE(b.size(), 1 + 2 + 4 + 16 + 7 + 3);
    QVERIFY(b.validate());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(b.data()), 7), QByteArray::fromHex("feefbefeffffff"));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(b.data(23)), 10), QByteArray::fromHex("03000000616263616263"));

    int32_t pos = 0;
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    int32_t i32 = 0;
    Uuid id;
    Data withSize, raw;
    b.pop(pos, u8).pop(pos, u16).pop(pos, i32).pop(pos, id).pop(pos, withSize, true);
    QCOMPARE(pos, 30);
    b.pop(pos, raw, false);
    QCOMPARE(pos, b.size());
    QCOMPARE(u8, uint8_t(0xfe));
    QCOMPARE(u16, uint16_t(0xbeef));
    QCOMPARE(i32, -2);
    QCOMPARE(id, Id);
    QVERIFY(withSize == d);
    QVERIFY(raw == d);
    int32_t at = 0;
    b.skip(at, 7).pop(at, id);
    QCOMPARE(id, Id);
    QCOMPARE(b.data(b.size() + 1), static_cast<const uint8_t*>(nullptr));
}

void TestContainer::positionalFailures()
{
    const Block b = filled(BtAppData, "0123456789");
    DebugCapture capture;
    int32_t pos = b.size() - 3;
    int32_t v = 77;
    b.pop(pos, v);
    QCOMPARE(pos, -1);
    QCOMPARE(v, 77);
    QCOMPARE(capture.reports().size(), 1);
    QVERIFY(capture.reports().at(0).text.startsWith("@err 2 "));
    b.pop(pos, v);
    QCOMPARE(pos, -1);
    QCOMPARE(capture.reports().size(), 2);
    QVERIFY(capture.reports().at(1).text.startsWith("@err 1 "));
    QVERIFY(capture.reports().at(1).function.contains("pop"));

    uint8_t buf[8];
    struct Case { int32_t pos; int32_t n; };
    const Case bad[] = {{0, -1}, {0, 11}, {10, 1}, {std::numeric_limits<int32_t>::max() - 1, 4},
                        {5, std::numeric_limits<int32_t>::max()}};
    for (const Case& c : bad) {
        int32_t p = c.pos;
        b.pop(p, buf, c.n);
        QCOMPARE(p, -1);
    }
    int32_t p = 10;
    b.pop(p, buf, 0);
    QCOMPARE(p, 10);
    // skip past either end fails, and a failed position stays failed
    const Case badSkips[] = {{0, 11}, {3, -4}, {5, std::numeric_limits<int32_t>::max()},
                             {-1, 2}, {std::numeric_limits<int32_t>::min(), 5}};
    for (const Case& c : badSkips) {
        int32_t s = c.pos;
        b.skip(s, c.n);
        QCOMPARE(s, -1);
    }
    int32_t s = 4;
    b.skip(s, 6);
    QCOMPARE(s, 10);

    // Stream-based readers: a position past the data fails without a report.
    capture.clear();
    int32_t q = 11;
    b.popStream(q, [](QDataStream&) { return 0; });
    QCOMPARE(q, -1);
    QVERIFY(capture.reports().isEmpty());
    q = 2;
    b.popStream(q, [](QDataStream&) { return -3; });
    QCOMPARE(q, -1);
    q = 2;
    b.popStream(q, [](QDataStream&) { return 9; }); // claims more than was there
    QCOMPARE(q, -1);
    q = 2;
    b.popStream(q, [](QDataStream& st) {
        char c[3];
        return st.readRawData(c, 3) == 3 && QByteArray(c, 3) == "234" ? 3 : -1;
    });
    QCOMPARE(q, 5);
}

void TestContainer::dataPopRefusesBadSizes()
{
    DebugCapture capture;
    const QList<QByteArray> hostile = {QByteArray::fromHex("ffffffff") + "abcd", QByteArray::fromHex("05000000") + "abcd",
                                       QByteArray::fromHex("ffffff7f") + "abcd", QByteArray::fromHex("0500")};
    for (const QByteArray& bytes : hostile) {
        const Block b = filled(BtAppData, bytes);
        int32_t pos = 0;
        Data d;
        b.pop(pos, d, true);
        QCOMPARE(pos, -1);
        QVERIFY(d.isNull());
    }
    const Block b = filled(BtAppData, "abcd");
    int32_t pos = 1;
    Data d;
    b.pop(pos, d, false);
    QCOMPARE(pos, 4);
    QCOMPARE(d.size(), 3);
}

void TestContainer::oversizeIsRefused()
{
    DebugCapture capture;
    const QByteArray big(Block::MaxSize, 'b');
    Block b(BtAppData);
    b.push(reinterpret_cast<const uint8_t*>(big.constData()), big.size());
    QCOMPARE(b.size(), Block::MaxSize);
    QCOMPARE(b.length(), Block::MaxSize);
    b.push(uint8_t(1));
    QCOMPARE(b.size(), Block::MaxSize);
    QVERIFY(b.validate());
    QVERIFY(!capture.reports().isEmpty());

    Block s(BtAppData);
    s.push(uint8_t(7));
    s.pushStream([&](QDataStream& st) { st.writeRawData(big.constData(), big.size()); });
    QCOMPARE(s.size(), 1);
    QVERIFY(s.validate());
    Data d;
    d.set(reinterpret_cast<const uint8_t*>(big.constData()), big.size());
    s.push(d, true);
    QCOMPARE(s.size(), 1);
    s.push(static_cast<const uint8_t*>(nullptr), 4);
    s.push(reinterpret_cast<const uint8_t*>("x"), -1);
    QCOMPARE(s.size(), 1);
    QVERIFY(!s.setLength(Block::MaxSize + 1));
    QVERIFY(!s.setLength(-1));
    QCOMPARE(s.length(), 1);
}

void TestContainer::invalidBlockIsNotWritten()
{
    DebugCapture capture;
    Container c;
    c.push(sample());
    c.at(0)->setLength(3);
    QVERIFY(!c.at(0)->validate());
    int32_t r = 0;
    written(c, false, &r);
    QCOMPARE(r, -1);
    c.at(0)->updateLength();
    written(c, false, &r);
    QCOMPARE(r, 11);
}

void TestContainer::writeFailures()
{
    const Container c = nested();
    for (qint64 capacity : {qint64(0), qint64(2), qint64(4), qint64(30), qint64(c.byteSize() + 3)}) {
        FailingDevice dev(capacity);
        dev.open(QIODevice::WriteOnly);
        QDataStream s(&dev);
        QCOMPARE(c.writeContainer(s, true), -1);
    }
    FailingDevice dev(5);
    dev.open(QIODevice::WriteOnly);
    QDataStream s(&dev);
    QCOMPARE(sample().write(s), 0);
    QCOMPARE(sample().write(s), 0); // a failed stream writes nothing more
    QCOMPARE(dev.written().size(), 5);
}

void TestContainer::runsAndHeads()
{
    Container c = nested();
    QCOMPARE(static_cast<BlockContHead*>(c.at(0))->length(), c.byteSize());
    QCOMPARE(static_cast<BlockContHead*>(c.at(2))->length(), 24 + 6);
    QCOMPARE(c.findEnd(0), 5);
    QCOMPARE(c.findEnd(2), 4);
    QCOMPARE(c.nextHead(0), 0);
    QCOMPARE(c.nextHead(1), 2);
    QCOMPARE(c.nextHead(3), 5);
    QCOMPARE(c.nextHead(-4), 0);
    QVERIFY(c.hasInnerHead());
    DebugCapture capture;
    QCOMPARE(c.findEnd(1), 1);
    QVERIFY(capture.reports().at(0).text.startsWith("@err 2 "));
    QCOMPARE(c.findEnd(9), 9);
    QCOMPARE(c.at(9), static_cast<Block*>(nullptr));

    Container inner;
    QVERIFY(inner.assignRun(c, 2));
    QCOMPARE(inner.count(), 2);
    QCOMPARE(inner.byteSize(), 30);
    QVERIFY(!inner.hasInnerHead());
    QVERIFY(!inner.assignRun(c, 1));
    QCOMPARE(inner.count(), 2);
    QVERIFY(!inner.assignRun(c, 7));
    // A run longer than the list ends with the list.
    static_cast<BlockContHead*>(c.at(2))->set(Id, 1000);
    QCOMPARE(c.findEnd(2), 5);
    // A head whose run length is 0 has no run.
    static_cast<BlockContHead*>(c.at(2))->set(Id, 0);
    QCOMPARE(c.findEnd(2), 2);
    QVERIFY(!inner.assignRun(c, 2));
    QCOMPARE(inner.count(), 2);
    // Assigning a run of itself keeps that run.
    Container self = nested();
    QVERIFY(self.assignRun(self, 2));
    QCOMPARE(self.count(), 2);
    QCOMPARE(static_cast<BlockContHead*>(self.at(0))->id(), Id);
}

void TestContainer::headSetLength()
{
    Container c = nested();
    auto* head = static_cast<BlockContHead*>(c.at(0));
    QVERIFY(!head->setLength(c.blocks(), 0, 6));
    QVERIFY(!head->setLength(c.blocks(), 5, 5));
    QVERIFY(!head->setLength(c.blocks(), -1, 2));
    QCOMPARE(head->length(), c.byteSize());
    QVERIFY(head->setLength(c.blocks(), 3, 1));
    QCOMPARE(head->length(), 0);
    QVERIFY(head->setLength(c.blocks(), 1, 2));
    QCOMPARE(head->length(), 5);
    // set replaces whatever data the head had.
    BlockContHead h(Id, 7);
    h.set(NilUuid, 24);
    QCOMPARE(h.size(), 20);
    QCOMPARE(h.length(), 24);
    QCOMPARE(h.id(), NilUuid);
    QCOMPARE(h.Block::length(), 20);
}

void TestContainer::ownershipAndSelfAssignment()
{
    Container c = nested();
    const QByteArray bytes = written(c, false);
    Container& alias = c;
    c = alias;
    QCOMPARE(written(c, false), bytes);
    QVERIFY(c.assign(alias));
    QCOMPARE(written(c, false), bytes);
    Container copy(c);
    QVERIFY(copy.at(0) != c.at(0));
    QCOMPARE(written(copy, false), bytes);
    copy.push(copy);
    QCOMPARE(copy.count(), 10);
    copy.pop(3);
    QCOMPARE(copy.count(), 7);
    copy.pop(100);
    QVERIFY(copy.isEmpty());
}

void TestContainer::pushOfItsOwnBytes()
{
    // The source lies in the block's own array, which the append may move.
    for (int n : {1, 7, 64, 4096}) {
        QByteArray bytes(n, '\0');
        for (int i = 0; i < n; ++i)
            bytes[i] = char(i * 13);
        Block b = filled(BtAppData, bytes);
        b.push(b.data(), b.size());
        QCOMPARE(b.size(), 2 * n);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(b.data()), b.size()), bytes + bytes);
        QVERIFY(b.validate());
    }
}

void TestContainer::dumps()
{
    QCOMPARE(printed(filled(BtAppConv, QByteArray::fromHex("0102030405"))), QString("Block(BtAppConv 9 [01 02.. 04 05])"));
    QCOMPARE(printed(filled(BlockType(200), QByteArray::fromHex("ff"))), QString("Block(Bt200 5 [ff])"));
    QCOMPARE(printed(Block(BtCScheme)), QString("Block(BtCScheme 4 [Nil])"));
    QByteArray sixteen, twenty;
    for (int i = 0; i < 20; ++i)
        (i < 16 ? sixteen : twenty).append(char(i));
    QCOMPARE(printed(filled(BtDate, sixteen)),
             QString("Block(BtDate 20 [00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f])"));
    QCOMPARE(printed(filled(BtDate, sixteen + twenty)),
             QString("Block(BtDate 24 [00 01 02 03 04 05 06 07.. 0c 0d 0e 0f 10 11 12 13])"));
    QCOMPARE(printed(BlockContHead(NilUuid, 0)), QString("Block(BtNbc 24 0 {Nil})"));

    Container c;
    c.push(BlockContHead(Id, 35));
    c.push(sample());
    const QString list = "Blocks(\n\t0:Block(BtNbc 24 35 " + IdText + ")\n\t1:Block(BtAppConv 11 [01 02 03.. 05 06 07])\n)";
    QCOMPARE(printed(c.blocks()), list);
    QCOMPARE(printed(c), "Container(" + list + ")");
    QCOMPARE(printed(Container()), QString("Container(Blocks(\n))"));
    Block one = filled(BtNbcId, "A");
    const QList<Block*> withNull = {&one, nullptr};
    QCOMPARE(printed(withNull), QString("Blocks(\n\t0:Block(BtNbcId 5 [41])\n\t1:Nil\n)"));
}

QTEST_GUILESS_MAIN(TestContainer)
#include "tst_container.moc"
