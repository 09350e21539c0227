#include "bc/BcCondition.h"
#include "bc/BcNeuralConverter.h"
#include "bc/BcParam.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include <QtTest>

#include "DebugCapture.h"
#include "SlotTestKit.h"
#include "qtnb/Scheme.h"

using namespace Bc;
using namespace SlotTestKit;
using Row = Nb::Matrix::Row;

namespace {

const Nb::Meta Out(16, Nb::MfI1, Nb::MtDO);
const Nb::Meta Score(1, Nb::MfI32, Nb::MtDO);

using Factory = EngineFactory<Nb::BtCondition, Nb::BtNeuralConv>;

std::mt19937& gen()
{
    static std::mt19937 g(116);
    return g;
}

std::unique_ptr<Nb::Matrix> bits(int32_t cols, const Nb::Meta& meta = Out)
{
    auto m = std::make_unique<Nb::Matrix>(cols, meta);
    for (int32_t c = 0; c < cols; ++c)
        for (int32_t i = 0; i < meta.size(); ++i)
            m->at(0, c)[i] = uint8_t(gen()());
    return m;
}

std::unique_ptr<Nb::Matrix> scores(std::initializer_list<int32_t> values)
{
    auto m = std::make_unique<Nb::Matrix>(int32_t(values.size()), Score);
    int32_t c = 0;
    for (int32_t v : values)
        std::memcpy(m->at(0, c++), &v, sizeof v);
    return m;
}

// Two alternative inputs and `selectors` selecting or scoring inputs.
struct Rig {
    explicit Rig(int32_t selectors = 0, uint16_t flags = 0, Nb::BlockState state = Nb::BsTrained)
        : scheme(&factory)
    {
        scheme.push(Nb::StIn, Out).push(Nb::StIn, Out);
        Nb::SlotIds links{scheme.slotId(0), scheme.slotId(1)};
        for (int32_t k = 0; k < selectors; ++k) {
            scheme.push(Nb::StSpIn, Score);
            links << scheme.slotId(2 + k);
        }
        scheme.push(Nb::Slot(Nb::SlotId::conv(Nb::BtCondition, 1), Out, links, Nb::BlockFlags(flags), state));
        scheme.setOut(2 + selectors);
        for (int32_t k = 0; k < 2 + selectors; ++k)
            inputs << dynamic_cast<BcSlot*>(scheme.at(k));
        cond = dynamic_cast<BcCondition*>(scheme.at(2 + selectors));
    }
    bool emulate()
    {
        cond->clearConstraint(Nb::CtAny);
        return cond->emulate(Nb::CtAny, Nb::CtAny, true);
    }

    Factory factory;
    Nb::Scheme scheme;
    BcSlots inputs;
    BcCondition* cond = nullptr;
};

} // namespace

class TestBcCondition : public QObject {
    Q_OBJECT
private slots:
    void validation_data();
    void validation();
    void modeFromSelectors();
    void firstAvailable();
    void inputFailureEndsSelection();
    void selectedByIndex();
    void selectedBySampleScores();
    void training();
    void refusedWithoutAlternatives();
    void testFigures();
    void parameterBlock();
};

void TestBcCondition::validation_data()
{
    QTest::addColumn<int>("alternatives");
    QTest::addColumn<int>("selectors");
    QTest::addColumn<int>("selectorCount");
    QTest::addColumn<int>("selectorFormat");
    QTest::addColumn<int>("inputBits");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<int>("ownBits");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("tag");
    const int i32 = int(Nb::MfI32);
    const int trained = int(Nb::BsTrained);
    QTest::newRow("two inputs, flags 0x40") << 2 << 0 << 1 << i32 << 16 << 0 << 16 << 0x40 << trained << 0 << 0;
    QTest::newRow("one selector") << 2 << 1 << 1 << i32 << 16 << 0 << 16 << 0 << 0 << 0 << 0;
    QTest::newRow("two scorers") << 2 << 2 << 1 << i32 << 16 << 0 << 16 << 0 << 0 << 0 << 0;
    QTest::newRow("one input") << 1 << 0 << 1 << i32 << 16 << 0 << 16 << 0 << 0 << int(Nb::EcCScheme) << 2;
    QTest::newRow("three scorers") << 2 << 3 << 1 << i32 << 16 << 0 << 16 << 0 << 0 << int(Nb::EcCScheme) << 3;
    QTest::newRow("special output") << 2 << 0 << 1 << i32 << 16 << 1 << 16 << 0 << 0 << int(Nb::EcCScheme) << 4;
    QTest::newRow("own cells of no size") << 2 << 0 << 1 << i32 << 16 << 0 << 0 << 0 << 0 << int(Nb::EcMeta) << 6;
    QTest::newRow("input of other width") << 2 << 0 << 1 << i32 << 24 << 0 << 16 << 0 << 0 << int(Nb::EcMeta) << 7;
    QTest::newRow("selector of no value") << 2 << 1 << 0 << i32 << 16 << 0 << 16 << 0 << 0 << int(Nb::EcMeta) << 8;
    QTest::newRow("real selector") << 2 << 1 << 1 << int(Nb::MfR32) << 16 << 0 << 16 << 0 << 0 << int(Nb::EcMeta) << 8;
    for (int flag : {0x10, 0x20, 0x80})
        QTest::addRow("flag 0x%x", flag) << 2 << 0 << 1 << i32 << 16 << 0 << 16 << flag << 0 << int(Nb::EcBlockFlag) << 8;
    QTest::newRow("partly trained") << 2 << 0 << 1 << i32 << 16 << 0 << 16 << 0 << int(Nb::BsPartially)
                                    << int(Nb::EcBlockState) << 9;
}

void TestBcCondition::validation()
{
    QFETCH(int, alternatives);
    QFETCH(int, selectors);
    QFETCH(int, selectorCount);
    QFETCH(int, selectorFormat);
    QFETCH(int, inputBits);
    QFETCH(int, outputs);
    QFETCH(int, ownBits);
    QFETCH(int, flags);
    QFETCH(int, state);
    QFETCH(int, error);
    QFETCH(int, tag);
    Factory factory;
    Nb::Scheme s(&factory);
    Nb::SlotIds links;
    for (int k = 0; k < alternatives; ++k) {
        s.push(Nb::StIn, k == 1 ? Nb::Meta(inputBits, Nb::MfI1, Nb::MtDO) : Out);
        links << s.slotId(s.count() - 1);
    }
    for (int k = 0; k < selectors; ++k) {
        s.push(Nb::StSpIn, Nb::Meta(selectorCount, Nb::MetaFormat(selectorFormat), Nb::MtDO));
        links << s.slotId(s.count() - 1);
    }
    for (int k = 0; k < outputs; ++k) {
        s.push(Nb::StSpOut, Out);
        links << s.slotId(s.count() - 1);
    }
    DebugCapture capture;
    s.push(Nb::Slot(Nb::SlotId::conv(Nb::BtCondition, 1), Nb::Meta(ownBits, Nb::MfI1, Nb::MtDO), links,
                    Nb::BlockFlags(flags), Nb::BlockState(state)));
    BcSlot* cond = dynamic_cast<BcSlot*>(s.at(s.count() - 1));
    QVERIFY(cond);
    s.setStatus(Nb::ScOk);
    capture.clear();
    QCOMPARE(cond->validate(), error == 0);
    QCOMPARE(s.status(), error ? slotError(cond, Nb::ErrorCode(error)) : Nb::ScOk);
    if (error) {
        const QList<CapturedMessage> reports = capture.reports();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first().text.section(' ', 1, 1), QString::number(tag));
        QVERIFY(reports.first().file.endsWith(QLatin1String("BcCondition.cpp")));
    }
}

void TestBcCondition::modeFromSelectors()
{
    QCOMPARE(Rig(0).cond->mode(), int32_t(BcCondition::ModeFirst));
    QCOMPARE(Rig(1).cond->mode(), int32_t(BcCondition::ModeSelect));
    QCOMPARE(Rig(2).cond->mode(), int32_t(BcCondition::ModeScore));
    BcCondition loose(Nb::SlotId::conv(Nb::BtCondition, 1), Out);
    QCOMPARE(loose.mode(), int32_t(BcCondition::ModeNone));
}

void TestBcCondition::firstAvailable()
{
    Rig rig;
    auto second = bits(3);
    rig.inputs.at(1)->set(Nb::CtAny, Row(second.get(), 0));
    DebugCapture capture;
    QVERIFY(rig.emulate());
    QCOMPARE(rig.scheme.status(), Nb::ScOk);
    const Row out = rig.cond->constraint(Nb::CtAny);
    QCOMPARE(out.cols(), 3);
    for (int32_t j = 0; j < 3; ++j)
        QCOMPARE(cell(out, j), cell(Row(second.get(), 0), j));
    // The first input wins once it has data.
    auto first = bits(2);
    rig.inputs.at(0)->set(Nb::CtAny, Row(first.get(), 0));
    QVERIFY(rig.emulate());
    QCOMPARE(cell(rig.cond->constraint(Nb::CtAny), 1), cell(Row(first.get(), 0), 1));
    // Neither has data: a failure, and said so.
    rig.inputs.at(0)->clearConstraint(Nb::CtAny);
    rig.inputs.at(1)->clearConstraint(Nb::CtAny);
    QVERIFY(!rig.emulate());
    QCOMPARE(rig.scheme.status(), slotError(rig.cond, Nb::EcNoData));
    // Untrained: no output.
    Rig untrained(0, 0, Nb::BsUntrained);
    untrained.inputs.at(0)->set(Nb::CtAny, Row(first.get(), 0));
    QVERIFY(!untrained.emulate());
}

void TestBcCondition::inputFailureEndsSelection()
{
    // The first alternative is a converter marked trained without a layer:
    // its failure is not a lack of data, so the condition fails with it.
    Factory factory;
    Nb::Scheme s(&factory);
    s.push(Nb::StIn, Nb::Meta(8, Nb::MfR32, Nb::MtC)).push(Nb::StIn, Out);
    const Nb::SlotId conv = Nb::SlotId::conv(Nb::BtNeuralConv, 1);
    s.push(Nb::Slot(conv, Out, Nb::SlotIds{s.slotId(0)}, Nb::BlockFlags(0), Nb::BsTrained));
    s.push(Nb::Slot(Nb::SlotId::conv(Nb::BtCondition, 1), Out,
                    Nb::SlotIds{Nb::SlotId(conv.number()), s.slotId(1)}, Nb::BlockFlags(0), Nb::BsTrained));
    s.setOut(3);
    Nb::Matrix sample(1, Nb::Meta(8, Nb::MfR32, Nb::MtC));
    dynamic_cast<BcSlot*>(s.at(0))->set(Nb::CtAny, Row(&sample, 0));
    auto second = bits(1);
    dynamic_cast<BcSlot*>(s.at(1))->set(Nb::CtAny, Row(second.get(), 0));
    BcSlot* cond = dynamic_cast<BcSlot*>(s.at(3));
    DebugCapture capture;
    QVERIFY(!cond->emulate(Nb::CtAny, Nb::CtAny, true));
    QCOMPARE(s.status(), Nb::slotStatus(conv, Nb::EcConsistencyFail));
    QCOMPARE(cond->constraintCols(Nb::CtAny), 0);
}

void TestBcCondition::selectedByIndex()
{
    Rig rig(1);
    auto a = bits(2), b = bits(2);
    rig.inputs.at(0)->set(Nb::CtAny, Row(a.get(), 0));
    rig.inputs.at(1)->set(Nb::CtAny, Row(b.get(), 0));
    auto one = scores({1});
    rig.inputs.at(2)->set(Nb::CtAny, Row(one.get(), 0));
    QVERIFY(rig.emulate());
    QCOMPARE(cell(rig.cond->constraint(Nb::CtAny), 0), cell(Row(b.get(), 0), 0));
    QCOMPARE(cell(rig.cond->constraint(Nb::CtAny), 1), cell(Row(b.get(), 0), 1));

    DebugCapture capture;
    for (int32_t w : {2, -1, 0x7FFFFFFF}) {
        auto outside = scores({w});
        rig.inputs.at(2)->set(Nb::CtAny, Row(outside.get(), 0));
        rig.scheme.setStatus(Nb::ScOk);
        QVERIFY(!rig.emulate());
        QCOMPARE(rig.scheme.status(), slotError(rig.cond, Nb::EcUnboundIndex));
        QCOMPARE(rig.cond->constraintCols(Nb::CtAny), 0);
    }
    auto two = scores({0, 1});
    rig.inputs.at(2)->set(Nb::CtAny, Row(two.get(), 0));
    QVERIFY(!rig.emulate());
    rig.inputs.at(2)->clearConstraint(Nb::CtAny);
    QVERIFY(!rig.emulate());
}

void TestBcCondition::selectedBySampleScores()
{
    Rig rig(2);
    auto a = bits(2), b = bits(2);
    rig.inputs.at(0)->set(Nb::CtAny, Row(a.get(), 0));
    rig.inputs.at(1)->set(Nb::CtAny, Row(b.get(), 0));
    auto sa = scores({5, 9}), sb = scores({7, 9});
    rig.inputs.at(2)->set(Nb::CtAny, Row(sa.get(), 0));
    rig.inputs.at(3)->set(Nb::CtAny, Row(sb.get(), 0));
    QVERIFY(rig.emulate());
    const Row out = rig.cond->constraint(Nb::CtAny);
    QCOMPARE(out.cols(), 2);
    QCOMPARE(cell(out, 0), cell(Row(b.get(), 0), 0));
    QCOMPARE(cell(out, 1), cell(Row(a.get(), 0), 1));

    // A pair without scores drops out; the other pair decides alone.
    rig.inputs.at(2)->clearConstraint(Nb::CtAny);
    QVERIFY(rig.emulate());
    QCOMPARE(cell(rig.cond->constraint(Nb::CtAny), 1), cell(Row(b.get(), 0), 1));

    // Sample counts that differ between the pairs are refused.
    auto three = scores({1, 2, 3});
    rig.inputs.at(2)->set(Nb::CtAny, Row(three.get(), 0));
    DebugCapture capture;
    QVERIFY(!rig.emulate());
    QCOMPARE(rig.cond->constraintCols(Nb::CtAny), 0);
}

void TestBcCondition::training()
{
    Rig rig(0, 0x40, Nb::BsUntrained);
    DebugCapture capture;
    QVERIFY(!rig.cond->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(rig.scheme.status(), slotError(rig.cond, Nb::EcNoDataOwn));
    QVERIFY(!rig.cond->train(Nb::TmDefault, Nb::BsUntrained, Nb::BlockFlags(0x40)));
    QCOMPARE(rig.scheme.status(), slotError(rig.cond, Nb::EcBlockState));
    QVERIFY(!rig.cond->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0x50)));
    QCOMPARE(rig.scheme.status(), slotError(rig.cond, Nb::EcBlockFlag));
    QVERIFY(!rig.cond->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0x41)));

    // Handing down: every alternative gets the wanted output.
    auto code = bits(1);
    rig.cond->set(Nb::CtOwn, Row(code.get(), 0));
    QVERIFY(rig.cond->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(rig.cond->state(), Nb::BsTrained);
    for (int k = 0; k < 2; ++k)
        QCOMPARE(cell(rig.inputs.at(k)->constraint(Nb::CtOwn)), cell(Row(code.get(), 0)));
    QVERIFY(rig.cond->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0x44)));
    QCOMPARE(uint16_t(rig.cond->flags()), uint16_t(0x44));

    // Taking over needs output the slot can already give.
    Rig over(0, 0, Nb::BsUntrained);
    QVERIFY(!over.cond->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(over.scheme.status(), slotError(over.cond, Nb::EcNoDataOwn));
    auto own = bits(1);
    over.inputs.at(0)->set(Nb::CtOwn, Row(own.get(), 0));
    over.cond->set(Nb::CtOwn, Row(code.get(), 0));
    QVERIFY(over.cond->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(cell(over.cond->constraint(Nb::CtOwn)), cell(Row(own.get(), 0)));
}

void TestBcCondition::refusedWithoutAlternatives()
{
    // Selecting or scoring inputs only, or no link at all: there is nothing
    // to pass on, hand down, take over or take figures from.
    for (int selectors : {0, 1, 2}) {
        Factory factory;
        Nb::Scheme s(&factory);
        Nb::SlotIds links;
        for (int k = 0; k < selectors; ++k) {
            s.push(Nb::StSpIn, Score);
            links << s.slotId(k);
        }
        DebugCapture capture;
        s.push(Nb::Slot(Nb::SlotId::conv(Nb::BtCondition, 1), Out, links, Nb::BlockFlags(0x40), Nb::BsTrained));
        BcCondition* cond = dynamic_cast<BcCondition*>(s.at(selectors));
        QVERIFY(cond);
        QCOMPARE(cond->mode(), selectors + 1);
        auto zero = scores({0});
        for (int k = 0; k < selectors; ++k)
            dynamic_cast<BcSlot*>(s.at(k))->set(Nb::CtAny, Row(zero.get(), 0));
        auto code = bits(1);
        cond->set(Nb::CtOwn, Row(code.get(), 0));
        const Nb::Status refused = slotError(cond, Nb::EcCScheme);

        s.setStatus(Nb::ScOk);
        QVERIFY(!cond->emulate(Nb::CtAny, Nb::CtAny, true));
        QCOMPARE(s.status(), refused);
        QCOMPARE(cond->constraintCols(Nb::CtAny), 0);
        for (uint16_t flags : {uint16_t(0x40), uint16_t(0)}) {
            s.setStatus(Nb::ScOk);
            QVERIFY(!cond->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(flags)));
            QCOMPARE(s.status(), refused);
        }
        s.setStatus(Nb::ScOk);
        QVERIFY(!cond->test());
        QCOMPARE(s.status(), refused);
        QCOMPARE(cond->constraintCols(Nb::CtTst), 0);
    }
}

void TestBcCondition::testFigures()
{
    Rig rig;
    DebugCapture capture;
    setFigures(rig.inputs.at(0), 0.1f, 0.01f);
    QVERIFY(!rig.cond->test());
    QCOMPARE(rig.cond->constraintCols(Nb::CtTst), 0);
    setFigures(rig.inputs.at(1), 0.2f, 0.03f);
    QVERIFY(rig.cond->test());
    const float* f = rig.cond->constraint(Nb::CtTst).r32(0);
    QCOMPARE(f[0], 0.0f);
    QVERIFY(std::fabs(f[Nb::TmE1Bio] - 0.3f) < 1e-6f);
    for (int i = Nb::TmE2Bio; i <= Nb::TmE2Conv; ++i)
        QCOMPARE(f[i], 0.03f);
}

void TestBcCondition::parameterBlock()
{
    Rig untrained(0, 0, Nb::BsUntrained);
    Nb::Container none;
    QCOMPARE(untrained.cond->writeParams(none, nullptr, nullptr), 0);
    QVERIFY(none.isEmpty());

    Rig rig;
    Nb::Container c;
    QCOMPARE(rig.cond->writeParams(c, nullptr, nullptr), 1);
    QCOMPARE(c.count(), 1);
    QCOMPARE(c.at(0)->header(), int32_t(0x74000000));
    QCOMPARE(rig.cond->readParams(c, 0, nullptr), 1);

    DebugCapture capture;
    QCOMPARE(rig.cond->readParams(blockOf(Nb::BtCondition, "x"), 0, nullptr), -1);
    QCOMPARE(rig.scheme.status(), slotError(rig.cond, Nb::EcConsistencyFail));
    QCOMPARE(rig.cond->readParams(blockOf(Nb::BtConnector, QByteArray()), 0, nullptr), -1);
    QCOMPARE(rig.scheme.status(), slotError(rig.cond, Nb::EcBlockType));
    rig.scheme.setStatus(Nb::ScOk);
    QCOMPARE(rig.cond->readParams(c, 1, nullptr), -1);
    QCOMPARE(rig.scheme.status(), slotError(rig.cond, Nb::EcBlockType));
}

QTEST_GUILESS_MAIN(TestBcCondition)
#include "tst_bccondition.moc"
