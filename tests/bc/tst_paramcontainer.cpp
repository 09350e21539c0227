// The parameter container: its golden layout, round trips of trained
// converters with the kept foreign blocks, and refused runs that leave no
// half-loaded converter behind.

#include <QtTest>

#include "DebugCapture.h"
#include "UlvarRig.h"
#include "bc/BcScheme.h"

using namespace Bc;

namespace {

constexpr int32_t Features = 32;
constexpr int32_t Bits = 24;

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

Nb::Block block(int type, const QByteArray& data)
{
    Nb::Block b{Nb::BlockType(type)};
    b.push(reinterpret_cast<const uint8_t*>(data.constData()), int32_t(data.size()));
    b.updateLength();
    return b;
}

// A run of the given blocks under a head whose length covers them.
void run(Nb::Container& c, const QList<const Nb::Block*>& blocks, const Nb::Uuid& id = Nb::NilUuid)
{
    c.clear();
    c.push(Nb::BlockContHead(id, 0));
    for (const Nb::Block* b : blocks)
        c.push(*b);
    static_cast<Nb::BlockContHead*>(c.at(0))->setLength(c.blocks(), 0, c.count());
}

// Input 0x0001 of 8 features and converter 0xFF81 of 8 bits on it, untrained:
// result record, input record, converter record with its one link.
const char* const SmallScheme = "81ff 08000000 01 06"
                                "0100 08000000 26 01"
                                "81ff 08000000 01 06 0000 00 01 0100";

// A trained one-input converter in its parameter container.
struct Trained {
    Trained()
    {
        rig::Synth synth(5);
        rig::oneInput(scheme, Bits, Features);
        const std::vector<float> mu = synth.person(Features);
        const rig::MatrixPtr own = synth.samples(mu, 12);
        const rig::MatrixPtr alien = synth.aliens(8, Features);
        const rig::MatrixPtr code = rig::codeMatrix(synth.key(Bits / 8));
        const Nb::SlotId in = scheme.slotId(0);
        scheme.setConstraint(in, Nb::CtOwn, Nb::Matrix::Row(own.get(), 0), false);
        scheme.setConstraint(in, Nb::CtAll, Nb::Matrix::Row(alien.get(), 0), false);
        scheme.setConstraint(Nb::NilSlotId, Nb::CtOwn, Nb::Matrix::Row(code.get(), 0), false);
        ok = scheme.train() && scheme.writeParams(params, nullptr) == 3;
    }
    BcScheme scheme;
    Nb::Container params;
    bool ok = false;
};

} // namespace

class TestParamContainer : public QObject {
    Q_OBJECT
private slots:
    void goldenLayout();
    void refusesAnotherId();
    void emptySchemeWritesNothing();
    void trainedRoundTrip();
    void keptBlocksFollowSlotBlocks();
    void hostileRuns_data();
    void hostileRuns();
    void cycleIsRefused();
};

void TestParamContainer::goldenLayout()
{
    // A biometric container's run: its own blocks around the scheme.
    const QByteArray records = hex(SmallScheme);
    QCOMPARE(records.size(), 30);
    const Nb::Block scheme = block(250, records);
    const Nb::Block text = block(130, "ab");
    const Nb::Block number = block(129, hex("00000000"));
    Nb::Container in;
    run(in, {&text, &scheme, &number});
    BcScheme s;
    QCOMPARE(s.readParams(in, 0), 4);
    QCOMPARE(s.count(), 2);
    QCOMPARE(s.kept().count(), 2);

    Nb::Container out;
    QCOMPARE(s.writeParams(out, nullptr), 4);
    const QByteArray expected = hex("14000000 48000000 b13c4130a753624b9f010e430e7e3ef8") // head: 20 bytes, run 72
                                + hex("1e0000fa") + records                             // scheme, 30 bytes
                                + hex("02000082 6162")                                  // kept 130
                                + hex("04000081 00000000");                             // kept 129
    QCOMPARE(rig::blocksOf(out), expected);
    // A second write into another empty container gives the same bytes; a
    // write behind other blocks heads only its own run.
    Nb::Container again;
    again.push(text);
    QCOMPARE(s.writeParams(again, &BcScheme::paramId), 4);
    QCOMPARE(rig::blocksOf(again), hex("02000082 6162") + expected);
    QCOMPARE(again.findEnd(1), again.count());
}

void TestParamContainer::refusesAnotherId()
{
    const Nb::Block scheme = block(250, hex(SmallScheme));
    Nb::Container in;
    run(in, {&scheme});
    BcScheme s;
    QCOMPARE(s.readParams(in, 0), 2);
    Nb::Container out;
    const Nb::Uuid other("{30413CB1-53A7-4B62-9F01-0E430E7E3EF9}");
    QCOMPARE(s.writeParams(out, &other), -1);
    QVERIFY(out.isEmpty());
    QVERIFY(Nb::isFailure(s.status()));
}

void TestParamContainer::emptySchemeWritesNothing()
{
    BcScheme s;
    Nb::Container out;
    out.push(block(130, "x"));
    DebugCapture capture;
    QCOMPARE(s.writeParams(out, nullptr), -1);
    QCOMPARE(out.count(), 1);
    QVERIFY(Nb::isFailure(s.status()));
}

void TestParamContainer::trainedRoundTrip()
{
    Trained t;
    QVERIFY(t.ok);
    QCOMPARE(t.scheme.flags() & 0x500, 0x500);
    QList<int> types;
    for (const Nb::Block* b : t.params.blocks())
        types << int(b->type());
    QCOMPARE(types, (QList<int>{0, 250, 127}));
    QCOMPARE(static_cast<const Nb::BlockContHead*>(t.params.at(0))->length(), t.params.byteSize());

    BcScheme loaded;
    QCOMPARE(loaded.readParams(t.params, 0), 3);
    QCOMPARE(loaded.status(), Nb::ScOk);
    QCOMPARE(loaded.count(), 2);
    QCOMPARE(loaded.at(1)->state(), Nb::BsTrained);
    QCOMPARE(loaded.flags(), uint16_t(0x100 | 0x400 | 0x800));
    Nb::Container out;
    QCOMPARE(loaded.writeParams(out, nullptr), 3);
    QCOMPARE(rig::blocksOf(out), rig::blocksOf(t.params));
}

void TestParamContainer::keptBlocksFollowSlotBlocks()
{
    Trained t;
    QVERIFY(t.ok);
    const Nb::Block foreign = block(130, "kept");
    const Nb::Block other = block(254, hex("0102"));
    Nb::Container in;
    run(in, {&foreign, t.params.at(1), &other, t.params.at(2)});
    BcScheme s;
    QCOMPARE(s.readParams(in, 0), 5);
    Nb::Container out;
    QCOMPARE(s.writeParams(out, nullptr), 5);
    QList<int> types;
    for (const Nb::Block* b : out.blocks())
        types << int(b->type());
    QCOMPARE(types, (QList<int>{0, 250, 127, 130, 254}));
    QCOMPARE(rig::blocksOf(out).right(8 + 6), hex("04000082") + "kept" + hex("020000fe 0102"));
}

void TestParamContainer::hostileRuns_data()
{
    QTest::addColumn<QList<int>>("picks"); // blocks of the trained run by index; -n: special blocks
    QTest::addColumn<int>("retype");       // type given to the last pick, or -1
    QTest::addColumn<uint>("status");      // expected status word, 0: any failure
    QTest::newRow("slot block before the scheme") << QList<int>{2, 1} << -1 << 0xC0000027u;
    QTest::newRow("block 255") << QList<int>{1, 2, -1} << -1 << 0u;
    QTest::newRow("no scheme block") << QList<int>{-2} << -1 << 0u;
    QTest::newRow("only slot blocks") << QList<int>{2} << -1 << 0xC0000027u;
    QTest::newRow("more slot blocks than slots") << QList<int>{1, 2, 2} << -1 << 0u;
    QTest::newRow("trained slot without its block") << QList<int>{1} << -1 << 0xFF810006u;
    QTest::newRow("block of another converter kind") << QList<int>{1, 2} << 121 << 0xFF810027u;
    QTest::newRow("two scheme blocks") << QList<int>{1, 1, 2} << -1 << 0u;
    QTest::newRow("scheme that does not read") << QList<int>{-3} << -1 << 0u;
    QTest::newRow("slot of no engine kind") << QList<int>{-4} << -1 << 0u;
    QTest::newRow("layer block cut short") << QList<int>{1, -5} << -1 << 0u;
}

void TestParamContainer::hostileRuns()
{
    QFETCH(QList<int>, picks);
    QFETCH(int, retype);
    QFETCH(uint, status);
    Trained t;
    QVERIFY(t.ok);
    const Nb::Block extension = block(255, "x");
    const Nb::Block text = block(130, "y");
    const Nb::Block garbage = block(250, hex("81ff 0800"));
    // A converter of block 122, which the engine does not make.
    const Nb::Block unknown = block(250, hex("01fd 08000000 01 06  0100 08000000 26 01  01fd 08000000 01 06 0000 00 01 0100"));
    const Nb::Block* layer = t.params.at(2);
    const Nb::Block cut = block(127, QByteArray(reinterpret_cast<const char*>(layer->data()), layer->size() / 2));
    QList<const Nb::Block*> blocks;
    for (int p : picks) {
        const Nb::Block* b = p >= 0 ? t.params.at(p)
                                    : QList<const Nb::Block*>{&extension, &text, &garbage, &unknown, &cut}.at(-p - 1);
        blocks << b;
    }
    Nb::Block changed;
    if (retype >= 0) {
        changed = *blocks.last();
        changed.setType(Nb::BlockType(retype));
        blocks.last() = &changed;
    }
    Nb::Container in;
    run(in, blocks);

    // A scheme loaded before must be gone afterwards, with its kept blocks.
    BcScheme s;
    const Nb::Block keptBefore = block(130, "old");
    Nb::Container first;
    run(first, {t.params.at(1), t.params.at(2), &keptBefore});
    QCOMPARE(s.readParams(first, 0), 4);
    s.clear(Nb::SchemeParts(0x3F));

    DebugCapture capture;
    QCOMPARE(s.readParams(in, 0), -1);
    QVERIFY(!capture.reports().isEmpty());
    QCOMPARE(s.count(), 0);
    QCOMPARE(s.flags(), uint16_t(0));
    QVERIFY(s.kept().isEmpty());
    QVERIFY(Nb::isFailure(s.status()));
    if (status)
        QCOMPARE(uint32_t(s.status()), uint32_t(status));
}

void TestParamContainer::cycleIsRefused()
{
    // A condition that takes its own output as one of its alternatives.
    const Nb::Block scheme = block(250, hex("01fa 08000000 01 06"
                                           "0100 08000000 26 01"
                                           "81ff 08000000 01 06 0000 00 01 0100"
                                           "01fa 08000000 01 06 4000 00 02 013a 813f"));
    Nb::Container in;
    run(in, {&scheme});
    BcScheme s;
    DebugCapture capture;
    QCOMPARE(s.readParams(in, 0), -1);
    QCOMPARE(s.count(), 0);
    QCOMPARE(uint32_t(s.status()), 0xC0000026u);
    bool byCycleTest = false;
    for (const CapturedMessage& m : capture.reports())
        byCycleTest |= m.function.contains(QLatin1String("Scheme::validate")) && m.text.startsWith("@err 4");
    QVERIFY(byCycleTest);

    // The same run with a head that announces more than it holds.
    BcScheme t;
    const Nb::Block plain = block(250, hex(SmallScheme));
    Nb::Container c;
    run(c, {&plain});
    static_cast<Nb::BlockContHead*>(c.at(0))->set(Nb::NilUuid, c.byteSize() + 4);
    QCOMPARE(t.readParams(c, 0), -1);
    QCOMPARE(t.readParams(c, 1), -1);
    run(c, {&plain});
    QCOMPARE(t.readParams(c, 0), 2);
}

QTEST_GUILESS_MAIN(TestParamContainer)
#include "tst_paramcontainer.moc"
