#include "DebugCapture.h"
#include "qtnb/Scheme.h"

#include <QtTest>

using namespace Nb;

namespace {

const Meta kIn(256, MfR32, MtC);
const Meta kCode(128, MfI1, MtDO);

// Refuses condition blocks, as an engine without that class does.
struct PickyFactory : Scheme::Factory {
    Slot* create(SlotId id) override
    {
        return id.type() == StConv && id.block() == BtCondition ? nullptr : Scheme::Factory::create(id);
    }
};

Slot* conv(uint16_t id, const SlotIds& links) { return new Slot(SlotId(id), kCode, links, BlockFlags(0), BsUntrained); }

// The check number of the last error report.
int lastCheck(const DebugCapture& capture)
{
    const QList<CapturedMessage> reports = capture.reports();
    return reports.isEmpty() ? 0 : reports.last().text.section(' ', 1, 1).toInt();
}

} // namespace

class TestScheme : public QObject {
    Q_OBJECT
private slots:
    void numbering();
    void pushFailures_data();
    void pushFailures();
    void lookupsAndOrder();
    void circled_data();
    void circled();
    void validateAndAssign();
};

void TestScheme::numbering()
{
    Scheme s;
    s.push(StIn, kIn).push(StSpOut, kCode);
    s.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0)).push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(5));
    // a link takes the kind its caller gives, not the target's own
    s.push(BtConnector, kCode, {StIn, StSpIn}, {0, 1}, BlockFlags(0)).push(StSpIn, kIn);
    QCOMPARE(SlotIds(s), SlotIds({SlotId(1), SlotId(0x8002), SlotId(0xFF81), SlotId(0xFF82), SlotId(0xFC81),
                                  SlotId(0x4003)}));
    QCOMPARE(s.at(4)->links(), SlotIds({SlotId(0x0001), SlotId(0x4002)}));
    QCOMPARE(s.status(), ScOk);
    // a fixed result closes the scheme without a report
    DebugCapture capture;
    s.setOut(2).setOut(4);
    s.push(StIn, kIn);
    QCOMPARE(s.count(), 6);
    QCOMPARE(s.out(), 2);
    QVERIFY(capture.reports().isEmpty());
    s.clear();
    QVERIFY(!s.hasOut());

    Scheme inner;
    inner.push(StIn, kIn);
    Scheme n;
    n.push(StIn, kIn).push(inner, kCode, {StIn}, {0}, {0}, BlockFlags(0)).push(inner, kCode, {}, {}, {}, BlockFlags(0));
    QCOMPARE(SlotIds(n, StConv, 0), SlotIds({SlotId(0xC001), SlotId(0xC002)}));
    QCOMPARE(n.at(1)->nested(), &inner);
}

void TestScheme::pushFailures_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("check");
    QTest::addColumn<quint32>("status");
    QTest::newRow("plain push of a converter kind") << 0 << 1 << 0xC0000026u;
    QTest::newRow("block type 0") << 1 << 1 << 0xC0000026u;
    QTest::newRow("lists of unequal length") << 2 << 2 << 0xC0000026u;
    QTest::newRow("a link of converter kind") << 3 << 3 << 0xC0000026u;
    QTest::newRow("position outside") << 4 << 4 << 0xC0000026u;
    QTest::newRow("block type 128") << 5 << 5 << 0xC0000026u;
    QTest::newRow("nested lists unequal") << 6 << 1 << 0xC0000026u;
    QTest::newRow("nested link of converter kind") << 7 << 3 << 0xC0000026u;
    QTest::newRow("position outside the nested scheme") << 8 << 6 << 0xC0000026u;
    QTest::newRow("instance 128") << 9 << 7 << 0xC0000026u;
    QTest::newRow("nested instance 128") << 10 << 7 << 0xC0000026u;
    QTest::newRow("plain number past 0x3FFF") << 11 << 2 << 0xC0000026u;
    QTest::newRow("factory makes no slot") << 12 << 1 << 0xC0000007u;
    QTest::newRow("128 nested pairs") << 13 << 8 << 0xC0000026u;
}

void TestScheme::pushFailures()
{
    QFETCH(int, which);
    QFETCH(int, check);
    QFETCH(quint32, status);
    PickyFactory factory;
    Scheme inner;
    inner.push(StIn, kIn);
    Scheme s(&factory);
    s.push(StIn, kIn);
    if (which == 9)
        for (int i = 0; i < 127; ++i)
            s.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0));
    if (which == 10)
        for (int i = 0; i < 127; ++i)
            s.push(inner, kIn, {StIn}, {0}, {0}, BlockFlags(0));
    if (which == 11)
        s.push(Slot(SlotId(0x3FFF), kIn));
    const int before = s.count();
    QCOMPARE(s.status(), ScOk);
    DebugCapture capture;
    switch (which) {
    case 0: s.push(StConv, kIn); break;
    case 1: s.push(BtNbc, kCode, {StIn}, {0}, BlockFlags(0)); break;
    case 2: s.push(BtNeuralConv, kCode, {StIn, StIn}, {0}, BlockFlags(0)); break;
    case 3: s.push(BtNeuralConv, kCode, {StConv}, {0}, BlockFlags(0)); break;
    case 4: s.push(BtConnector, kCode, {StIn}, {5}, BlockFlags(0)); break;
    case 5: s.push(BlockType(128), kCode, {StIn}, {0}, BlockFlags(0)); break;
    case 6: s.push(inner, kCode, {StIn}, {0}, {}, BlockFlags(0)); break;
    case 7: s.push(inner, kCode, {StConv}, {0}, {0}, BlockFlags(0)); break;
    case 8: s.push(inner, kCode, {StIn}, {0}, {1}, BlockFlags(0)); break;
    case 9: s.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0)); break;
    case 10: s.push(inner, kIn, {StIn}, {0}, {0}, BlockFlags(0)); break;
    case 11: s.push(StIn, kIn); break;
    case 12: s.push(BtCondition, kCode, {StIn}, {0}, BlockFlags(0)); break;
    case 13: {
        const SlotNums at0 = QVector<int32_t>(128, 0).toList();
        s.push(inner, kIn, QVector<SlotType>(128, StIn).toList(), at0, at0, BlockFlags(0));
        break;
    }
    }
    QCOMPARE(s.count(), before);
    QCOMPARE(uint32_t(s.status()), status);
    QCOMPARE(capture.reports().size(), 1);
    QVERIFY(capture.reports().first().text.startsWith(QString("@err %1  line:").arg(check)));
    QVERIFY(capture.reports().first().file.endsWith("Scheme.cpp"));
}

void TestScheme::lookupsAndOrder()
{
    DebugCapture capture;
    Scheme s;
    s.push(StIn, kIn).push(StSpOut, kCode).push(BtNeuralConv, kCode, {StIn, StSpOut}, {0, 1}, BlockFlags(0));
    // while out is unset the nil id names the last slot, then the result
    QCOMPARE(s.lookup(NilSlotId), SlotId(0xFF81));
    s.setOut(1);
    QCOMPARE(s.lookup(NilSlotId), SlotId(0x8002));
    // lookups go by the 14-bit number
    QCOMPARE(s.indexOf(SlotId(0x8001)), 0);
    QCOMPARE(s.indexOf(SlotId(0x4001), 1), -1);
    QVERIFY(!s.at(SlotId(9)));
    QVERIFY(!s.at(int32_t(3)));
    QVERIFY(!Scheme().at(NilSlotId));
    QCOMPARE(capture.reports().size(), 3);
    QVERIFY(capture.reports().at(0).text.startsWith("@err 1 Scheme::at  line:"));

    Slots found;
    QVERIFY(!s.collect(found, {SlotId(0x8002), SlotId(1), SlotId(0xFF81)}, true));
    QCOMPARE(found, Slots({s.at(1), nullptr, s.at(2)}));
    Slots writers;
    s.linkedBy(writers, SlotId(0x8002), true);
    s.linkedBy(writers, SlotId(0x0002), true); // all 16 bits must match
    QCOMPARE(writers, Slots({s.at(2)}));

    Slots list = {s.at(2), nullptr, s.at(1), s.at(0), s.at(2)};
    QVERIFY(s.order(list));
    QCOMPARE(list, Slots({s.at(0), s.at(1), s.at(2), s.at(2)}));
    Scheme big;
    for (int i = 0; i < 40; ++i)
        big.push(StIn, kIn);
    Slots scrambled;
    for (int i = 0; i < 40; ++i)
        scrambled << big.at(int32_t((i * 17) % 40));
    QVERIFY(big.order(scrambled));
    for (int i = 0; i < 40; ++i)
        QCOMPARE(scrambled.at(i), big.at(i));
    // a slot of another scheme whose number this one lacks
    Slots mixed = {s.at(0), big.at(10)};
    capture.clear();
    QVERIFY(!s.order(mixed));
    QCOMPARE(mixed, Slots({s.at(0), big.at(10)}));
    QCOMPARE(lastCheck(capture), 1);
}

void TestScheme::circled_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("circled");
    QTest::addColumn<int>("check"); // of validate's report
    QTest::newRow("feed-forward") << 0 << false << 0;
    QTest::newRow("input after the converter") << 1 << true << 4;
    QTest::newRow("self link") << 2 << true << 4;
    QTest::newRow("special output with no writer") << 3 << true << 4;
    QTest::newRow("special output written later") << 4 << true << 4;
    QTest::newRow("special output written before") << 5 << false << 0;
    QTest::newRow("link to no slot") << 6 << true << 3;
}

void TestScheme::circled()
{
    QFETCH(int, which);
    QFETCH(bool, circled);
    QFETCH(int, check);
    DebugCapture capture;
    Scheme s;
    QList<Slot*> given;
    switch (which) {
    case 0: s.push(StIn, kIn); given << conv(0xFF81, {SlotId(1)}); break;
    case 1: given << conv(0xFF81, {SlotId(1)}) << new Slot(SlotId(1), kIn); break;
    case 2: s.push(StIn, kIn); given << conv(0xFF81, {SlotId(1), SlotId(0x3F81)}); break;
    case 3: s.push(StSpOut, kCode); given << conv(0xFF81, {SlotId(1)}); break;
    case 4: s.push(StSpOut, kCode); given << conv(0xFF81, {SlotId(1)}) << conv(0xFF82, {SlotId(0x8001)}); break;
    case 5:
        s.push(StIn, kIn).push(StSpOut, kCode);
        given << conv(0xFF81, {SlotId(1), SlotId(0x8002)}) << conv(0xFF82, {SlotId(2)});
        break;
    case 6: s.push(StIn, kIn); given << conv(0xFF81, {SlotId(0x4007)}); break;
    }
    for (Slot* slot : given) {
        s.push(*slot);
        delete slot;
    }
    capture.clear();
    QCOMPARE(s.circled(), circled);
    // only an input link to no slot is reported by the test itself
    QCOMPARE(lastCheck(capture), which == 6 ? 1 : 0);
    s.setOut(int32_t(s.count() - 1));
    capture.clear();
    QCOMPARE(s.validate(), !circled);
    QCOMPARE(lastCheck(capture), check);
    if (check == 4)
        QCOMPARE(uint32_t(s.status()), 0xC0000026u);
}

void TestScheme::validateAndAssign()
{
    DebugCapture capture;
    QVERIFY(Scheme().validate());
    Scheme s;
    s.push(StIn, kIn).push(StSpOut, kCode).push(BtNeuralConv, kCode, {StIn, StSpOut}, {0, 1}, BlockFlags(0));
    capture.clear();
    QVERIFY(!s.validate()); // no result
    QCOMPARE(uint32_t(s.status()), 0xC0000026u);
    QCOMPARE(capture.reports().size(), 2);
    QCOMPARE(lastCheck(capture), 1);
    s.setOut(2);
    QVERIFY(s.validate());
    QCOMPARE(s.status(), ScOk);

    Scheme copy;
    QVERIFY(copy.assign(s));
    QCOMPARE(SlotIds(copy), SlotIds(s));
    QCOMPARE(copy.out(), 2);
    QCOMPARE(copy.at(2)->owner(), &copy);
    QCOMPARE(copy.at(2)->links(), s.at(2)->links());
    QVERIFY(copy.validate());
    copy.push(StIn, kIn); // the copy is closed like its source
    QCOMPARE(copy.count(), 3);
    // assigning a scheme to itself keeps it
    QVERIFY(copy.assign(copy));
    QCOMPARE(SlotIds(copy), SlotIds(s));
    // an earlier failure still shows, and clear keeps it
    Scheme failed;
    failed.push(StConv, kIn);
    failed.clear();
    QVERIFY(!failed.assign(s));
    QCOMPARE(failed.count(), 3);

    // duplicates: numbers that differ only in kind, and the nil id
    Scheme dup;
    dup.push(Slot(SlotId(0x0001), kIn)).push(Slot(SlotId(0x2001), kIn)).push(Slot(SlotId(0xC001), kCode)).setOut(0);
    QVERIFY(!dup.validate());
    QCOMPARE(uint32_t(dup.status()), 0xC0000026u);
    QCOMPARE(lastCheck(capture), 2);
    Scheme nil;
    nil.push(StIn, kIn).push(Slot(NilSlotId, kIn)).setOut(0);
    QVERIFY(!nil.validate());
    QCOMPARE(lastCheck(capture), 2);
    // a slot's own check
    Scheme bad;
    bad.push(StIn, kIn).push(Slot(SlotId(0xFF81), kCode, {SlotId(0xC001)}, BlockFlags(0), BsUntrained)).setOut(1);
    QVERIFY(!bad.validate());
    QCOMPARE(uint32_t(bad.status()), 0xFF810026u);
    QCOMPARE(lastCheck(capture), 3);
    // the nested check; the outer input is not numbered 1, since lookups go
    // by the 14-bit number and the nested converter 0xC001 has number 1 too
    Scheme inner;
    inner.push(StIn, kCode);
    Scheme outer;
    outer.push(Slot(SlotId(0x0011), kIn)).push(inner, kCode, {StIn}, {0}, {0}, BlockFlags(0)).setOut(1);
    QVERIFY(outer.validate());
    QVERIFY(!outer.rvalidate());
    QCOMPARE(uint32_t(outer.status()), 0xC0010026u);
    QCOMPARE(lastCheck(capture), 1);
}

QTEST_GUILESS_MAIN(TestScheme)
#include "tst_scheme.moc"
