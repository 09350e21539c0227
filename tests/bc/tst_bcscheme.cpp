// The engine's scheme as a whole: its factory, clearing by parts, the state
// flags, the two-pass training order, the test order, quality averaging and
// the row operations with their status words.

#include <functional>

#include <QtTest>

#include "DebugCapture.h"
#include "UlvarRig.h"
#include "bc/BcCondition.h"
#include "bc/BcConnector.h"
#include "bc/BcNeuralConverter.h"
#include "bc/BcParam.h"
#include "bc/BcScheme.h"

using namespace Bc;

namespace {

const Nb::Meta InMeta(4, Nb::MfR32, Nb::MtC);
const Nb::Meta OutMeta(8, Nb::MfI1, Nb::MtDO);

// A slot that records what the scheme asks of it.
class Probe : public BcSlot {
public:
    explicit Probe(Nb::SlotId id) : BcSlot(id, Nb::NilMeta) {}

    static inline QStringList log;
    static inline QMap<uint16_t, uint16_t> waitsFor; // trains only once that slot is trained
    static inline QSet<uint16_t> failing;
    static inline QMap<uint16_t, QVector<float>> scores;

    static void forget()
    {
        log.clear();
        waitsFor.clear();
        failing.clear();
        scores.clear();
    }
    QString name() const { return QString::number(id().value(), 16); }

    bool train(Nb::TrainMode, Nb::BlockState state, Nb::BlockFlags) override
    {
        log << "train " + name();
        if (failing.contains(id()))
            return error(Nb::EcPoorQuality);
        if (waitsFor.contains(id())) {
            const Nb::Slot* other = m_owner->at(Nb::SlotId(waitsFor.value(id())));
            if (!other || other->state() != Nb::BsTrained)
                return error(Nb::EcNoDataOwn);
        }
        m_state = state;
        return true;
    }
    bool emulate(Nb::ConstraintType, Nb::ConstraintType, bool) override { return true; }
    bool test() override
    {
        log << "test " + name();
        if (failing.contains(id()))
            return false;
        m_tst.resize(1);
        float* f = reinterpret_cast<float*>(m_tst.at(0, 0));
        for (int i = 0; i < TestFigures; ++i)
            f[i] = float(i) + 0.5f;
        return true;
    }
    bool qeval() override
    {
        if (!scores.contains(id()))
            return error(Nb::EcNoData);
        const QVector<float> v = scores.value(id());
        m_ge.resize(int32_t(v.size()));
        for (int i = 0; i < v.size(); ++i)
            *reinterpret_cast<float*>(m_ge.at(0, i)) = v.at(i);
        return true;
    }
    int32_t writeParams(Nb::Container&, const Nb::Uuid*, const Nb::BlockType*) const override { return 0; }
    int32_t readParams(const Nb::Container&, int32_t, const Nb::Uuid*) override { return 1; }
};

class ProbeFactory : public Nb::Scheme::Factory {
public:
    Nb::Slot* create(Nb::SlotId id) override { return new Probe(id); }
};

struct Probed {
    Probed() : scheme(&factory) { Probe::forget(); }
    void input() { scheme.push(Nb::Slot(Nb::SlotId(uint16_t(scheme.count() + 1)), InMeta)); }
    void conv(uint8_t block, uint8_t n, Nb::BlockState state = Nb::BsUntrained, uint16_t flags = 0,
              Nb::SlotId link = 0x0001)
    {
        scheme.push(Nb::Slot(Nb::SlotId::conv(block, n), OutMeta, Nb::SlotIds{link}, Nb::BlockFlags(flags), state));
    }
    Probe* at(int i) { return static_cast<Probe*>(scheme.at(i)); }
    ProbeFactory factory;
    BcScheme scheme;
};

Nb::Matrix::Row row(Nb::Matrix& m) { return Nb::Matrix::Row(&m, 0); }

using Waits = QMap<int, int>;

} // namespace

class TestBcScheme : public QObject {
    Q_OBJECT
private slots:
    void factory_data();
    void factory();
    void clearByParts();
    void stateFlags_data();
    void stateFlags();
    void twoPassTraining_data();
    void twoPassTraining();
    void testOrder();
    void qevalAverages();
    void rowOperations();
};

void TestBcScheme::factory_data()
{
    QTest::addColumn<uint>("id");
    QTest::addColumn<QString>("kind");
    QTest::newRow("input") << 0x0001u << "param";
    QTest::newRow("special input") << 0x4001u << "param";
    QTest::newRow("special output") << 0x8001u << "param";
    QTest::newRow("neural converter") << 0xFF81u << "neural";
    QTest::newRow("connector") << 0xFC81u << "connector";
    QTest::newRow("condition") << 0xFA01u << "condition";
    QTest::newRow("block 122") << 0xFD01u << "";
    QTest::newRow("soft indicator") << 0xFD81u << "";
    QTest::newRow("nested scheme") << 0xC001u << "";
}

void TestBcScheme::factory()
{
    QFETCH(uint, id);
    QFETCH(QString, kind);
    BcScheme::BcFactory* f = BcScheme::factory();
    QCOMPARE(f, BcScheme::factory());
    Nb::Slot* slot = f->create(Nb::SlotId(uint16_t(id)));
    const QString made = !slot                                       ? QString()
                         : dynamic_cast<BcParam*>(slot)              ? QStringLiteral("param")
                         : dynamic_cast<BcNeuralConverter*>(slot)    ? QStringLiteral("neural")
                         : dynamic_cast<BcConnector*>(slot)          ? QStringLiteral("connector")
                         : dynamic_cast<BcCondition*>(slot)          ? QStringLiteral("condition")
                                                                     : QStringLiteral("other");
    QCOMPARE(made, kind);
    if (slot)
        QCOMPARE(slot->id().value(), uint16_t(id));
    f->destroy(slot);
    f->destroy(nullptr);
}

void TestBcScheme::clearByParts()
{
    rig::Synth synth(9);
    const std::vector<float> mu = synth.person(32);
    const rig::MatrixPtr own = synth.samples(mu, 12);
    const rig::MatrixPtr alien = synth.aliens(8, 32);
    const rig::MatrixPtr live = synth.samples(mu, 1);
    const rig::MatrixPtr code = rig::codeMatrix(synth.key(3));
    BcScheme s;
    rig::oneInput(s, 24, 32);
    QVERIFY(s.validate());
    const auto load = [&]() {
        s.setConstraint(0x0001, Nb::CtOwn, Nb::Matrix::Row(own.get(), 0), false);
        s.setConstraint(0x0001, Nb::CtAll, Nb::Matrix::Row(alien.get(), 0), false);
        s.setConstraint(0x0001, Nb::CtAny, Nb::Matrix::Row(live.get(), 0), false);
        s.setConstraint(0, Nb::CtOwn, Nb::Matrix::Row(code.get(), 0), false);
    };
    load();
    QVERIFY(s.train());
    QCOMPARE(s.flags(), uint16_t(0xD00));
    QVERIFY(s.emulateSlot(0, Nb::CtAny));
    const auto cols = [&](Nb::SlotId id, Nb::ConstraintType ct) { return s.constraintCols(id, ct); };
    Nb::Matrix figures(1, Nb::Meta(TestFigures, Nb::MfR32, Nb::MtCO));
    Nb::Matrix::Row fr(&figures, 0);
    QVERIFY(s.test(fr));
    QCOMPARE(cols(0xFF81, Nb::CtTst), 1);
    QVERIFY(s.clear(Nb::SsInAny));
    QCOMPARE(cols(0x0001, Nb::CtAny), 0);
    QCOMPARE(cols(0xFF81, Nb::CtAny), 1);
    QCOMPARE(cols(0x0001, Nb::CtOwn), 12);
    QVERIFY(s.clear(Nb::SsOutAny));
    QCOMPARE(cols(0xFF81, Nb::CtAny), 0);
    QVERIFY(s.clear(Nb::SsInOwn));
    QCOMPARE(cols(0x0001, Nb::CtOwn), 0);
    QCOMPARE(cols(0x0001, Nb::CtAll), 0);
    QCOMPARE(cols(0xFF81, Nb::CtOwn), 1);
    QVERIFY(s.clear(Nb::SsOutOwn));
    QCOMPARE(cols(0xFF81, Nb::CtOwn), 0);
    QCOMPARE(s.at(1)->state(), Nb::BsTrained);
    QVERIFY(s.clear(Nb::SsInfo));
    QCOMPARE(s.at(1)->state(), Nb::BsTrained);
    QVERIFY(s.clear(Nb::SsTrained));
    QCOMPARE(s.at(1)->state(), Nb::BsUntrained);
    QCOMPARE(cols(0xFF81, Nb::CtTst), 0);
    QCOMPARE(s.flags(), uint16_t(0x800));
    QCOMPARE(s.count(), 2);

    for (int parts : {2, 0x3F}) {
        QVERIFY(s.clear(Nb::SchemeParts(parts)));
        QCOMPARE(s.count(), 0);
        QCOMPARE(s.flags(), uint16_t(0));
        QVERIFY(s.kept().isEmpty());
        rig::oneInput(s, 24, 32);
    }
}

void TestBcScheme::stateFlags_data()
{
    // Converter slots as block field and state, in scheme order.
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<QList<int>>("states");
    QTest::addColumn<int>("flags");
    QTest::newRow("no converters") << QList<int>{} << QList<int>{} << 0;
    QTest::newRow("none trained") << QList<int>{127, 121} << QList<int>{0, 0} << 0;
    QTest::newRow("all trained outside block 0") << QList<int>{127, 127, 121} << QList<int>{1, 1, 1} << 0x500;
    QTest::newRow("first of two") << QList<int>{127, 127} << QList<int>{1, 0} << 0x600;
    QTest::newRow("second of two") << QList<int>{127, 127} << QList<int>{0, 1} << 0x600;
    QTest::newRow("partly outside block 0") << QList<int>{127} << QList<int>{2} << 0x500;
    QTest::newRow("block 0 trained") << QList<int>{0, 0} << QList<int>{1, 1} << 0x100;
    QTest::newRow("block 0 partly") << QList<int>{0, 0} << QList<int>{2, 1} << 0x200;
    QTest::newRow("block 0 after an outer one") << QList<int>{127, 0} << QList<int>{1, 1} << 0x500;
    QTest::newRow("walk ends at an untrained one") << QList<int>{127, 0, 0} << QList<int>{1, 0, 1} << 0x600;
}

void TestBcScheme::stateFlags()
{
    QFETCH(QList<int>, blocks);
    QFETCH(QList<int>, states);
    QFETCH(int, flags);
    Probed p;
    p.input();
    for (int i = 0; i < blocks.size(); ++i)
        p.conv(uint8_t(blocks.at(i)), uint8_t(i + 1), Nb::BlockState(states.at(i)));
    p.scheme.setOut(p.scheme.count() - 1);
    DebugCapture capture;
    QVERIFY(p.scheme.updateState());
    QCOMPARE(int(p.scheme.flags()), flags);
}

void TestBcScheme::twoPassTraining_data()
{
    QTest::addColumn<Waits>("waits");
    QTest::addColumn<QList<int>>("failing");
    QTest::addColumn<QList<int>>("flags");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<uint>("status");
    const QList<int> none{0, 0, 0};
    QTest::newRow("in order") << Waits{} << QList<int>{} << none
                              << QStringList{"train ff81", "train ff82", "train ff83"} << 0u;
    QTest::newRow("first waits for the third")
        << Waits{{0xFF81, 0xFF83}} << QList<int>{} << none
        << QStringList{"train ff81", "train ff83", "train ff81", "train ff82"} << 0u;
    QTest::newRow("first never trains")
        << Waits{} << QList<int>{0xFF81} << none
        << QStringList{"train ff81", "train ff83", "train ff81", "train ff82", "train ff81"} << 0xFF810038u;
    QTest::newRow("back slot fails too")
        << Waits{{0xFF81, 0xFF83}} << QList<int>{0xFF83} << none
        << QStringList{"train ff81", "train ff83"} << 0xFF81002Bu;
    QTest::newRow("flag 4 leaves a slot out")
        << Waits{} << QList<int>{0xFF82} << QList<int>{0, 4, 0}
        << QStringList{"train ff81", "train ff83"} << 0u;
}

void TestBcScheme::twoPassTraining()
{
    QFETCH(Waits, waits);
    QFETCH(QList<int>, failing);
    QFETCH(QList<int>, flags);
    QFETCH(QStringList, log);
    QFETCH(uint, status);
    Probed p;
    p.input();
    for (int i = 0; i < 3; ++i)
        p.conv(127, uint8_t(i + 1), Nb::BsUntrained, uint16_t(flags.at(i)));
    p.scheme.setOut(3);
    for (auto it = waits.begin(); it != waits.end(); ++it)
        Probe::waitsFor.insert(uint16_t(it.key()), uint16_t(it.value()));
    for (int id : failing)
        Probe::failing.insert(uint16_t(id));
    DebugCapture capture;
    QCOMPARE(p.scheme.train(), status == 0);
    QCOMPARE(Probe::log, log);
    QCOMPARE(uint32_t(p.scheme.status()), uint32_t(status));
    if (status == 0)
        QCOMPARE(p.scheme.flags() & 0x500, flags.contains(4) ? 0x400 : 0x500);
}

void TestBcScheme::testOrder()
{
    // An indicator is tested right behind the converter it watches.
    Probed p;
    p.input();
    p.conv(127, 1);
    p.conv(127, 2);
    p.conv(Nb::BtSoftIndicator, 1, Nb::BsUntrained, 0, Nb::SlotId(0xFF81).retyped(Nb::StIn));
    p.scheme.setOut(2);
    Nb::Matrix out(1, Nb::Meta(TestFigures, Nb::MfR32, Nb::MtCO));
    Nb::Matrix::Row r(&out, 0);
    QVERIFY(p.scheme.test(r));
    QCOMPARE(Probe::log, (QStringList{"test ff81", "test fd81", "test ff82"}));
    QCOMPARE(r.r32(0)[0], 0.5f);
    QCOMPARE(r.r32(0)[8], 8.5f);

    // One that watches a later converter cannot be placed.
    Probed q;
    q.input();
    q.conv(127, 1);
    q.conv(Nb::BtHardIndicator, 1, Nb::BsUntrained, 0, Nb::SlotId(0xFF82).retyped(Nb::StIn));
    q.conv(127, 2);
    q.scheme.setOut(1);
    DebugCapture capture;
    q.scheme.setStatus(Nb::ScOk);
    QVERIFY(!q.scheme.test(r));
    QCOMPARE(uint32_t(q.scheme.status()), 0xC0000026u);
    QVERIFY(Probe::log.isEmpty());

    // A failing test ends the order, and never without a status.
    Probed f;
    f.input();
    f.conv(127, 1);
    f.scheme.setOut(1);
    Probe::failing.insert(0xFF81);
    QVERIFY(!f.scheme.test(r));
    QVERIFY(Nb::isFailure(f.scheme.status()));
    // A result that is no converter holds no figures.
    Probed g;
    g.input();
    g.conv(127, 1);
    g.scheme.setOut(0);
    QVERIFY(!g.scheme.test(r));
    QVERIFY(Nb::isFailure(g.scheme.status()));
    // No converter slots: nothing to test.
    BcScheme empty;
    QVERIFY(!empty.test(r));
    QCOMPARE(uint32_t(empty.status()), 0xC0000026u);
}

void TestBcScheme::qevalAverages()
{
    Probed p;
    p.input();
    p.input();
    p.input();
    p.conv(127, 1);
    p.scheme.setOut(3);
    Probe::scores.insert(0x0001, {1.0f, 2.0f, 3.0f});
    Probe::scores.insert(0x0002, {3.0f});
    // Input 3 rates nothing and is left out.
    Nb::Matrix quality(4, Nb::Meta(1, Nb::MfR32, Nb::MtCO));
    QVERIFY(p.scheme.qeval(row(quality)));
    QCOMPARE(p.scheme.status(), Nb::ScOk);
    const QVector<float> expected{2.0f, 2.5f, 3.0f, 3.0f};
    for (int c = 0; c < 4; ++c)
        QCOMPARE(*reinterpret_cast<float*>(quality.at(0, c)), expected.at(c));
    QCOMPARE(p.scheme.constraintCols(0x0001, Nb::CtGe), 0);

    // Nothing rated: zeros.
    Probe::scores.clear();
    QVERIFY(p.scheme.qeval(row(quality)));
    QCOMPARE(*reinterpret_cast<float*>(quality.at(0, 3)), 0.0f);

    for (const Nb::Meta& m : {Nb::Meta(2, Nb::MfR32, Nb::MtCO), Nb::Meta(1, Nb::MfR64, Nb::MtCO)}) {
        Nb::Matrix wrong(1, m);
        DebugCapture capture;
        QVERIFY(!p.scheme.qeval(row(wrong)));
        QCOMPARE(uint32_t(p.scheme.status()), 0xC0000017u);
    }
}

void TestBcScheme::rowOperations()
{
    BcScheme s;
    rig::oneInput(s, 24, 32);
    rig::Synth synth(1);
    const rig::MatrixPtr own = synth.samples(synth.person(32), 3);
    Nb::Matrix nil;
    Nb::Matrix::Row nilRow = row(nil);
    DebugCapture capture;

    QVERIFY(s.setConstraint(0x0001, Nb::CtOwn, Nb::Matrix::Row(own.get(), 0), false));
    // With the check a nil row sets nothing; without it the row is emptied;
    // a nil row is never written into.
    QVERIFY(s.setConstraint(0x0001, Nb::CtOwn, nilRow, true));
    QCOMPARE(s.constraintCols(0x0001, Nb::CtOwn), 3);
    QVERIFY(s.getConstraint(0x0001, Nb::CtOwn, nilRow));
    QVERIFY(s.setConstraint(0x0001, Nb::CtOwn, nilRow, false));
    QCOMPARE(s.constraintCols(0x0001, Nb::CtOwn), 0);

    // Every lookup of an id the scheme lacks says so; a list with one fails
    // before anything is set.
    Nb::Rows two{Nb::Matrix::Row(own.get(), 0), Nb::Matrix::Row(own.get(), 0)};
    const QList<std::function<bool()>> unknown{
        [&] { return s.setConstraint(0x0007, Nb::CtOwn, nilRow, true); },
        [&] { return s.constraintCols(0x0007, Nb::CtOwn) != 0; },
        [&] { return s.emulate(Nb::SlotIds{0xFF81, 0x0007}, Nb::CtAny); },
        [&] { return s.clearConstraint(Nb::SlotIds{0x0007}, Nb::CtAny); },
        [&] { return s.setConstraints(Nb::SlotIds{0x0007, 0x0001}, Nb::CtOwn, two, true); },
    };
    for (const auto& call : unknown) {
        s.setStatus(Nb::ScOk);
        QVERIFY(!call());
        QCOMPARE(uint32_t(s.status()), 0xC0000021u);
    }
    QCOMPARE(s.constraintCols(0x0001, Nb::CtOwn), 0);
    s.setStatus(Nb::ScOk);
    QVERIFY(!s.getConstraints(Nb::SlotIds{0x0001}, Nb::CtOwn, two));
    QCOMPARE(uint32_t(s.status()), 0xC0000003u);
}

QTEST_GUILESS_MAIN(TestBcScheme)
#include "tst_bcscheme.moc"
