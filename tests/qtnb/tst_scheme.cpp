#include "DebugCapture.h"
#include "qtnb/Scheme.h"

#include <QtTest>

using namespace Nb;

namespace {

const Meta kIn(256, MfR32, MtC);
const Meta kCode(128, MfI1, MtDO);

QList<uint16_t> idsOf(const Scheme& scheme)
{
    QList<uint16_t> out;
    for (SlotId id : SlotIds(scheme))
        out << id.value();
    return out;
}

// Input 1, special output 2, converters reading the input, the first of
// them writing the special output, the second reading it.
void buildChain(Scheme& s)
{
    s.push(StIn, kIn).push(StSpOut, kCode);
    s.push(BtNeuralConv, kCode, {StIn, StSpOut}, {0, 1}, BlockFlags(0));
    s.push(BtConnector, kCode, {StIn}, {1}, BlockFlags(0));
    s.setOut(3);
}

// A factory that refuses one kind of converter, as the engine's does for
// blocks it has no class for.
struct PickyFactory : Scheme::Factory {
    Slot* create(SlotId id) override
    {
        if (id.type() == StConv && id.block() == BtCondition)
            return nullptr;
        return Scheme::Factory::create(id);
    }
};

} // namespace

class TestScheme : public QObject {
    Q_OBJECT
private slots:
    void numbering();
    void pushFailures_data();
    void pushFailures();
    void numberLimits();
    void nestedPush();
    void closedAfterOut();
    void lookups();
    void collectAndLinkedBy();
    void findAndOrder();
    void circled_data();
    void circled();
    void validate();
    void assign();
    void factoryRefusal();
};

void TestScheme::numbering()
{
    Scheme s;
    s.push(StIn, kIn);
    QCOMPARE(s.slotId(0), SlotId(0x0001));
    s.push(StSpOut, kCode);
    QCOMPARE(s.slotId(1), SlotId(0x8002));
    s.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0));
    QCOMPARE(s.slotId(2), SlotId(0xFF81));
    QCOMPARE(s.at(2)->links(), SlotIds({SlotId(0x0001)}));
    s.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(5));
    QCOMPARE(s.slotId(3), SlotId(0xFF82));
    QCOMPARE(uint16_t(s.at(3)->flags()), uint16_t(5));
    s.push(BtConnector, kCode, {StIn, StSpIn}, {0, 1}, BlockFlags(0));
    QCOMPARE(s.slotId(4), SlotId(0xFC81));
    // a link takes the kind its caller gives, not the target's own
    QCOMPARE(s.at(4)->links(), SlotIds({SlotId(0x0001), SlotId(0x4002)}));
    s.push(StSpIn, kIn);
    QCOMPARE(s.slotId(5), SlotId(0x4003));
    QCOMPARE(s.status(), ScOk);
    QCOMPARE(s.lastIndexOf(StConv, BtNeuralConv), 3);
    QCOMPARE(s.lastIndexOf(StConv, 255), 4);
    QCOMPARE(s.lastIndexOf(StConv, BtCondition), -1);
    QCOMPARE(SlotIds(s, StConv, BtNeuralConv), SlotIds({SlotId(0xFF81), SlotId(0xFF82)}));
}

void TestScheme::pushFailures_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("check");
    QTest::newRow("plain push of a converter kind") << 0 << 1;
    QTest::newRow("block type 0") << 1 << 1;
    QTest::newRow("lists of unequal length") << 2 << 2;
    QTest::newRow("a link of converter kind") << 3 << 3;
    QTest::newRow("position outside") << 4 << 4;
    QTest::newRow("block type 128") << 5 << 5;
    QTest::newRow("block type 250") << 6 << 5;
    QTest::newRow("nested lists unequal") << 7 << 1;
    QTest::newRow("nested link of converter kind") << 8 << 3;
    QTest::newRow("nested position outside") << 9 << 4;
    QTest::newRow("position outside the nested scheme") << 10 << 6;
}

void TestScheme::pushFailures()
{
    QFETCH(int, which);
    QFETCH(int, check);
    Scheme inner;
    inner.push(StIn, kIn);
    Scheme s;
    s.push(StIn, kIn).push(StIn, kIn).push(StSpOut, kCode);
    DebugCapture capture;
    switch (which) {
    case 0: s.push(StConv, kIn); break;
    case 1: s.push(BtNbc, kCode, {StIn}, {0}, BlockFlags(0)); break;
    case 2: s.push(BtNeuralConv, kCode, {StIn, StIn}, {0}, BlockFlags(0)); break;
    case 3: s.push(BtNeuralConv, kCode, {StConv}, {0}, BlockFlags(0)); break;
    case 4: s.push(BtConnector, kCode, {StIn}, {5}, BlockFlags(0)); break;
    case 5: s.push(BlockType(128), kCode, {StIn}, {0}, BlockFlags(0)); break;
    case 6: s.push(BtCScheme, kCode, {StIn}, {0}, BlockFlags(0)); break;
    case 7: s.push(inner, kCode, {StIn}, {0}, {}, BlockFlags(0)); break;
    case 8: s.push(inner, kCode, {StConv}, {0}, {0}, BlockFlags(0)); break;
    case 9: s.push(inner, kCode, {StIn}, {-1}, {0}, BlockFlags(0)); break;
    case 10: s.push(inner, kCode, {StIn}, {0}, {1}, BlockFlags(0)); break;
    }
    QCOMPARE(s.count(), 3);
    QCOMPARE(uint32_t(s.status()), 0xC0000026u);
    QCOMPARE(capture.reports().size(), 1);
    QVERIFY(capture.reports().first().text.startsWith(QString("@err %1  line:").arg(check)));
    QVERIFY(capture.reports().first().file.endsWith("Scheme.cpp"));
}

void TestScheme::numberLimits()
{
    DebugCapture capture;
    // instance numbers stop at 127
    Scheme s;
    s.push(StIn, kIn);
    for (int i = 0; i < 127; ++i)
        s.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0));
    QCOMPARE(s.status(), ScOk);
    QCOMPARE(s.slotId(127), SlotId(0xFFFF));
    s.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0));
    QCOMPARE(s.count(), 128);
    QCOMPARE(uint32_t(s.status()), 0xC0000026u);
    Scheme inner;
    inner.push(StIn, kIn);
    Scheme n;
    n.push(StIn, kIn);
    for (int i = 0; i < 128; ++i)
        n.push(inner, kIn, {StIn}, {0}, {0}, BlockFlags(0));
    QCOMPARE(n.count(), 128);
    QCOMPARE(n.slotId(127), SlotId(0xC07F));
    QCOMPARE(uint32_t(n.status()), 0xC0000026u);

    // plain numbers stop before the kind bits: read a scheme whose last
    // plain slot has the highest number, then push after it
    Scheme high;
    high.push(Slot(SlotId(0x3FFF), kIn));
    QCOMPARE(high.slotId(0), SlotId(0x3FFF));
    high.push(StIn, kIn);
    QCOMPARE(high.count(), 1);
    QCOMPARE(uint32_t(high.status()), 0xC0000026u);
}

void TestScheme::nestedPush()
{
    Scheme inner;
    inner.push(StIn, kIn).push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0)).setOut(1);
    Scheme s;
    s.push(StIn, kIn).push(StSpOut, kCode);
    s.push(inner, kCode, {StIn, StSpOut}, {0, 1}, {0, 1}, BlockFlags(0));
    QCOMPARE(s.status(), ScOk);
    QCOMPARE(s.slotId(2), SlotId(0xC001));
    QCOMPARE(s.at(2)->nested(), &inner);
    QCOMPARE(s.at(2)->nestedIds(), SlotIds({SlotId(0x0001), SlotId(0xFF81)}));
    s.push(inner, kCode, {StIn}, {0}, {0}, BlockFlags(0));
    QCOMPARE(s.slotId(3), SlotId(0xC002));
    s.setOut(3);
    QVERIFY(s.rvalidate());
    // a nested converter's number is its instance: 0xC001 and the input
    // 0x0001 are the same slot to every lookup
    DebugCapture capture;
    QVERIFY(!s.validate());
    QCOMPARE(uint32_t(s.status()), 0xC0000026u);

    Scheme apart;
    apart.push(Slot(SlotId(0x0011), kIn)).push(StSpOut, kCode);
    apart.push(inner, kCode, {StIn, StSpOut}, {0, 1}, {0, 1}, BlockFlags(0)).setOut(2);
    QVERIFY(apart.validate());
    QVERIFY(apart.rvalidate());
    // the Metas of the paired slots must agree
    Scheme wrong;
    wrong.push(Slot(SlotId(0x0011), kCode)).push(inner, kCode, {StIn}, {0}, {0}, BlockFlags(0)).setOut(1);
    QVERIFY(wrong.validate());
    QVERIFY(!wrong.rvalidate());
    QCOMPARE(uint32_t(wrong.status()), 0xC0010026u);
}

void TestScheme::closedAfterOut()
{
    Scheme s;
    s.push(StIn, kIn).setOut(0);
    DebugCapture capture;
    s.push(StIn, kIn).push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0));
    QCOMPARE(s.count(), 1);
    QCOMPARE(s.status(), ScOk);
    QVERIFY(capture.reports().isEmpty());
    s.setOut(5).setOut(SlotId(1));
    QCOMPARE(s.out(), 0);
    s.clear();
    QCOMPARE(s.out(), -1);
    QVERIFY(!s.hasOut());
    s.setOut(0);
    QCOMPARE(s.out(), -1);
}

void TestScheme::lookups()
{
    DebugCapture capture;
    Scheme empty;
    QVERIFY(!empty.at(NilSlotId));
    QCOMPARE(empty.lookup(SlotId(1)), NilSlotId);
    Scheme s;
    buildChain(s);
    QCOMPARE(s.indexOf(SlotId(0x8001)), 0);
    QCOMPARE(s.indexOf(SlotId(0xC002)), 1);
    QCOMPARE(s.indexOf(SlotId(1), 1), -1);
    QCOMPARE(s.indexOf(NilSlotId), 3);
    QCOMPARE(s.lookup(NilSlotId), SlotId(0xFC81));
    QCOMPARE(s.lookup(SlotId(0x4002)), SlotId(0x8002));
    QCOMPARE(s.slotId(-1), NilSlotId);
    QCOMPARE(s.slotId(4), NilSlotId);
    capture.clear();
    QVERIFY(!s.at(int32_t(4)));
    QVERIFY(!s.at(SlotId(9)));
    QCOMPARE(capture.reports().size(), 2);
    QVERIFY(capture.reports().at(0).text.startsWith("@err 1 Scheme::at  line:"));
    // while out is unset, nil names the last slot
    Scheme open;
    open.push(StIn, kIn).push(StSpIn, kIn);
    QCOMPARE(open.at(NilSlotId), open.at(int32_t(1)));
}

void TestScheme::collectAndLinkedBy()
{
    DebugCapture capture;
    Scheme s;
    buildChain(s);
    Slots out;
    QVERIFY(s.collect(out, SlotIds({SlotId(0xFC81), SlotId(0x0001)}), false));
    QCOMPARE(out, Slots({s.at(int32_t(3)), s.at(int32_t(0))}));
    out.clear();
    // chained: each search starts at the previous hit
    QVERIFY(!s.collect(out, SlotIds({SlotId(0x8002), SlotId(0x0001), SlotId(0xFF81)}), true));
    QCOMPARE(out, Slots({s.at(int32_t(1)), nullptr, s.at(int32_t(2))}));

    Slots writers;
    s.linkedBy(writers, SlotId(0x0001), false);
    QCOMPARE(writers, Slots({s.at(int32_t(2))}));
    writers.clear();
    s.linkedBy(writers, SlotId(0x8002), true);
    QCOMPARE(writers, Slots({s.at(int32_t(2))}));
    writers.clear();
    s.linkedBy(writers, SlotId(0x0002), true);
    QCOMPARE(writers, Slots({s.at(int32_t(3))}));
    writers.clear();
    // all 16 bits must match
    s.linkedBy(writers, SlotId(0x4002), true);
    QVERIFY(writers.isEmpty());
    // once per converter, or once per matching link
    Scheme twice;
    twice.push(StIn, kIn).push(BtNeuralConv, kCode, {StIn, StIn}, {0, 0}, BlockFlags(0));
    twice.linkedBy(writers, SlotId(0x0001), false);
    QCOMPARE(writers.size(), 2);
    writers.clear();
    twice.linkedBy(writers, SlotId(0x0001), true);
    QCOMPARE(writers.size(), 1);
}

void TestScheme::findAndOrder()
{
    DebugCapture capture;
    Scheme s;
    buildChain(s);
    s.setOut(-1);
    Slots in, spOut, conv;
    QVERIFY(s.find(&in, nullptr, &spOut, &conv));
    QCOMPARE(in.size(), 1);
    QCOMPARE(spOut.size(), 1);
    QCOMPARE(conv.size(), 2);

    Slots list = {s.at(int32_t(3)), s.at(int32_t(2)), nullptr, s.at(int32_t(1)), s.at(int32_t(0)),
                  s.at(int32_t(2))};
    QVERIFY(s.order(list));
    QCOMPARE(list, Slots({s.at(int32_t(0)), s.at(int32_t(1)), s.at(int32_t(2)), s.at(int32_t(2)),
                          s.at(int32_t(3))}));
    // a slot of another scheme with a number this one lacks
    Scheme other;
    other.push(StIn, kIn).push(StIn, kIn).push(StIn, kIn).push(StIn, kIn).push(StIn, kIn);
    Slots mixed = {s.at(int32_t(1)), other.at(int32_t(4))};
    const Slots before = mixed;
    QVERIFY(!s.order(mixed));
    QCOMPARE(mixed, before);

    // a longer list in a scrambled order
    Scheme big;
    for (int i = 0; i < 40; ++i)
        big.push(StIn, kIn);
    Slots scrambled;
    for (int i = 0; i < 40; ++i)
        scrambled << big.at(int32_t((i * 17) % 40));
    QVERIFY(big.order(scrambled));
    for (int i = 0; i < 40; ++i)
        QCOMPARE(scrambled.at(i), big.at(int32_t(i)));
}

void TestScheme::circled_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("circled");
    QTest::newRow("feed-forward") << 0 << false;
    QTest::newRow("input after the converter") << 1 << true;
    QTest::newRow("self link") << 2 << true;
    QTest::newRow("special output with no writer") << 3 << true;
    QTest::newRow("special output written later") << 4 << true;
    QTest::newRow("special output written before") << 5 << false;
    QTest::newRow("link to no slot") << 6 << true;
    QTest::newRow("no converters") << 7 << false;
}

void TestScheme::circled()
{
    QFETCH(int, which);
    QFETCH(bool, circled);
    DebugCapture capture;
    Scheme s;
    const SlotIds none;
    // slots are pushed as given, so that broken graphs can be built
    auto conv = [&](uint16_t id, SlotIds links) { s.push(Slot(SlotId(id), kCode, links, BlockFlags(0), BsUntrained)); };
    switch (which) {
    case 0: s.push(StIn, kIn); conv(0xFF81, {SlotId(0x0001)}); break;
    case 1: conv(0xFF81, {SlotId(0x0001)}); s.push(Slot(SlotId(1), kIn)); break;
    case 2: s.push(StIn, kIn); conv(0xFF81, {SlotId(0x0001), SlotId(0x3F81)}); break;
    case 3: s.push(StSpOut, kCode); conv(0xFF81, {SlotId(0x0001)}); break;
    case 4:
        s.push(StSpOut, kCode);
        conv(0xFF81, {SlotId(0x0001)});
        conv(0xFF82, {SlotId(0x8001)});
        break;
    case 5:
        s.push(StIn, kIn).push(StSpOut, kCode);
        conv(0xFF81, {SlotId(0x0001), SlotId(0x8002)});
        conv(0xFF82, {SlotId(0x0002)});
        break;
    case 6: s.push(StIn, kIn); conv(0xFF81, {SlotId(0x4007)}); break;
    case 7: s.push(StIn, kIn).push(StSpOut, kCode); break;
    }
    QCOMPARE(s.circled(), circled);
    s.setOut(int32_t(s.count() - 1));
    QCOMPARE(s.validate(), !circled);
    if (circled && which != 6 && which != 2)
        QCOMPARE(uint32_t(s.status()), 0xC0000026u);
}

void TestScheme::validate()
{
    DebugCapture capture;
    Scheme empty;
    QVERIFY(empty.validate());
    Scheme s;
    s.push(StIn, kIn);
    capture.clear();
    QVERIFY(!s.validate());
    QCOMPARE(uint32_t(s.status()), 0xC0000026u);
    QCOMPARE(capture.reports().size(), 2); // Scheme::at, then the check itself
    // clear keeps the status word, validate resets it
    s.clear();
    QCOMPARE(uint32_t(s.status()), 0xC0000026u);
    QVERIFY(s.validate());
    QCOMPARE(s.status(), ScOk);

    // two slots share a number (kinds differ)
    Scheme dup;
    dup.push(Slot(SlotId(0x0001), kIn)).push(Slot(SlotId(0x2001), kIn)).push(Slot(SlotId(0x4001), kIn));
    dup.setOut(0);
    QVERIFY(!dup.validate());
    QCOMPARE(uint32_t(dup.status()), 0xC0000026u);
    // a slot with the nil id never validates
    Scheme nil;
    nil.push(StIn, kIn).push(Slot(NilSlotId, kIn)).setOut(0);
    QVERIFY(!nil.validate());
    // a slot's own check
    Scheme bad;
    bad.push(StIn, kIn).push(Slot(SlotId(0xFF81), kCode, {SlotId(0xC001)}, BlockFlags(0), BsUntrained));
    bad.setOut(1);
    QVERIFY(!bad.validate());
    QCOMPARE(uint32_t(bad.status()), 0xFF810026u);
    // a good chain
    Scheme good;
    buildChain(good);
    QVERIFY(good.validate());
    QVERIFY(good.rvalidate());
}

void TestScheme::assign()
{
    DebugCapture capture;
    Scheme src;
    buildChain(src);
    Scheme copy;
    QVERIFY(copy.assign(src));
    QCOMPARE(idsOf(copy), idsOf(src));
    QCOMPARE(copy.out(), 3);
    for (int i = 0; i < copy.count(); ++i) {
        QCOMPARE(copy.at(i)->owner(), &copy);
        QCOMPARE(copy.at(i)->links(), src.at(i)->links());
        QVERIFY(copy.at(i) != src.at(i));
    }
    QVERIFY(copy.validate());
    // closed copy
    copy.push(StIn, kIn);
    QCOMPARE(copy.count(), 4);

    // assigning a scheme to itself keeps it
    QVERIFY(copy.assign(copy));
    QCOMPARE(idsOf(copy), idsOf(src));
    QCOMPARE(copy.out(), 3);

    // an earlier failure still shows
    Scheme failed;
    failed.push(StConv, kIn);
    QVERIFY(!failed.assign(src));
    QCOMPARE(failed.count(), 4);
}

void TestScheme::factoryRefusal()
{
    DebugCapture capture;
    PickyFactory factory;
    Scheme s(&factory);
    QCOMPARE(s.factory(), &factory);
    QCOMPARE(Scheme().factory(), Scheme::defaultFactory());
    s.push(StIn, kIn);
    s.push(BtCondition, Meta(1, MfI32, MtDO), {StIn}, {0}, BlockFlags(0));
    QCOMPARE(s.count(), 1);
    QCOMPARE(uint32_t(s.status()), 0xC0000007u);
}

QTEST_GUILESS_MAIN(TestScheme)
#include "tst_scheme.moc"
