#include "bc/BcParam.h"
#include "bc/BcSlot.h"

#include <cstring>

#include <QtTest>

#include "DebugCapture.h"
#include "SlotTestKit.h"
#include "qtnb/Scheme.h"

using namespace Bc;
using namespace SlotTestKit;
using Row = Nb::Matrix::Row;

namespace {

using Probe = StubSlot<true>;

class Factory : public SlotFactory {
protected:
    Nb::Slot* converter(Nb::SlotId id) override { return new Probe(id, Nb::NilMeta); }
};

const Nb::Meta Sample(4, Nb::MfR32, Nb::MtC);

void fill(Nb::Matrix& m, int32_t cols)
{
    m.resize(cols);
    for (int32_t c = 0; c < cols; ++c)
        for (int32_t i = 0; i < Sample.count; ++i)
            reinterpret_cast<float*>(m.at(0, c))[i] = float(c * 10 + i);
}

} // namespace

class TestBcSlot : public QObject {
    Q_OBJECT
private slots:
    void setAndGet();
    void refusals();
    void actualize_data();
    void actualize();
    void inputsSplitByLinkKind();
    void unresolvedLinkFailsUpdate();
    void nestedIdsResolved();

private:
    Factory m_factory;
};

void TestBcSlot::setAndGet()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(0));
    QCOMPARE(p->constraint(Nb::CtGe).meta(), Nb::Meta(1, Nb::MfR32, Nb::MtCO));
    QCOMPARE(p->constraint(Nb::CtTst).meta(), Nb::Meta(9, Nb::MfR32, Nb::MtCO));
    QCOMPARE(p->constraint(Nb::CtAll).meta(), Sample);
    QVERIFY(p->clearConstraints());
    for (Nb::ConstraintType ct : {Nb::CtGe, Nb::CtTst, Nb::CtAny, Nb::CtOwn, Nb::CtAll})
        QCOMPARE(p->constraintCols(ct), 0);

    Nb::Matrix m(0, Sample);
    fill(m, 3);
    QVERIFY(p->set(Nb::CtOwn, Row(&m, 0)));
    QCOMPARE(p->constraintCols(Nb::CtOwn), 3);
    // A copy, not a reference.
    reinterpret_cast<float*>(m.at(0, 2))[3] = -7.0f;
    QCOMPARE(p->constraint(Nb::CtOwn).r32(2)[3], 23.0f);
    Nb::Matrix out(3, Sample);
    Row r(&out, 0);
    QVERIFY(p->get(Nb::CtOwn, r));
    QCOMPARE(r.r32(2)[3], 23.0f);
    QVERIFY(p->set(Nb::CtOwn, Row()));
    QCOMPARE(p->constraintCols(Nb::CtOwn), 0);
    QCOMPARE(s.status(), Nb::ScOk);

    // Updating lays the rows out afresh, empty.
    QVERIFY(p->set(Nb::CtAll, Row(&m, 0)));
    QVERIFY(p->set(Nb::CtAny, Row(&m, 0)));
    QVERIFY(p->update());
    QCOMPARE(p->constraintCols(Nb::CtAll), 0);
    QCOMPARE(p->constraintCols(Nb::CtAny), 0);
    QCOMPARE(p->constraint(Nb::CtAny).meta(), Sample);
}

void TestBcSlot::refusals()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample).push(Nb::StIn, Sample);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(1));
    DebugCapture capture;
    Nb::Matrix other(2, Nb::Meta(5, Nb::MfR32, Nb::MtC));
    QVERIFY(!p->set(Nb::CtAny, Row(&other, 0)));
    QCOMPARE(s.status(), Nb::slotStatus(p->id(), Nb::EcMeta));
    QCOMPARE(uint32_t(s.status()) >> 16, 0x8000u | 0x4000u | p->id());
    QCOMPARE(p->constraintCols(Nb::CtAny), 0);
    Row o(&other, 0);
    QVERIFY(!p->get(Nb::CtAny, o));
    QCOMPARE(Nb::statusCode(s.status()), Nb::EcMeta);
    // Too few columns to take the row.
    Nb::Matrix m(0, Sample);
    fill(m, 2);
    p->set(Nb::CtAll, Row(&m, 0));
    Nb::Matrix small(1, Sample);
    Row sm(&small, 0);
    QVERIFY(!p->get(Nb::CtAll, sm));
    QCOMPARE(Nb::statusCode(s.status()), Nb::EcNoData);

    capture.clear();
    QVERIFY(p->constraint(Nb::ConstraintType(4)).isNull());
    QCOMPARE(s.status(), Nb::slotStatus(p->id(), Nb::EcConstraint));
    QCOMPARE(capture.reports().size(), 1);
    QVERIFY(capture.reports().at(0).text.startsWith(QLatin1String("@err 1 ")));
    QVERIFY(!p->clearConstraint(Nb::ConstraintType(-2)));
    QVERIFY(!p->set(Nb::ConstraintType(4), Row(&m, 0)));
    QCOMPARE(p->constraintCols(Nb::ConstraintType(7)), 0);
    QVERIFY(!capture.reports().isEmpty());
}

void TestBcSlot::actualize_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("ok");
    QTest::newRow("equal") << 5 << 5 << true;
    QTest::newRow("5 and 6") << 5 << 6 << false;
    QTest::newRow("second empty") << 5 << 0 << false;
}

void TestBcSlot::actualize()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, ok);
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample).push(Nb::StIn, Sample);
    BcSlot* a = dynamic_cast<BcSlot*>(s.at(0));
    BcSlot* b = dynamic_cast<BcSlot*>(s.at(1));
    Nb::Matrix m(0, Sample);
    fill(m, first);
    a->set(Nb::CtOwn, Row(&m, 0));
    fill(m, second);
    b->set(Nb::CtOwn, Row(&m, 0));
    BcSlots list{a, b};
    int32_t n = -1;
    DebugCapture capture;
    QCOMPARE(a->actualize(list, Nb::CtOwn, n, true), ok);
    QCOMPARE(n, first);
    if (second == 0)
        QVERIFY(capture.reports().last().text.startsWith(QLatin1String("@err 1 ")));
    // Without leave to emulate, an empty row is a failure.
    b->clearConstraint(Nb::CtOwn);
    BcSlots one{b};
    QVERIFY(!a->actualize(one, Nb::CtOwn, n, false));
    QCOMPARE(n, 0);
    BcSlots none;
    QVERIFY(a->actualize(none, Nb::CtOwn, n, false));
    QCOMPARE(n, 0);
    QVERIFY(a->resizeConstraints(list, Nb::CtAny, 2));
    QCOMPARE(b->constraintCols(Nb::CtAny), 2);
}

void TestBcSlot::inputsSplitByLinkKind()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample).push(Nb::StSpIn, Sample).push(Nb::StIn, Sample);
    s.push(Nb::BtNeuralConv, Nb::Meta(8, Nb::MfI1, Nb::MtDO), {Nb::StIn, Nb::StSpIn, Nb::StIn}, {2, 1, 0},
           Nb::BlockFlags(0));
    BcSlot* conv = dynamic_cast<BcSlot*>(s.at(3));
    auto at = [&](int i) { return dynamic_cast<BcSlot*>(s.at(i)); };
    BcSlots in, spIn, spOut, self;
    conv->inputSlots(&in, &spIn, &spOut, &self);
    QCOMPARE(in, (BcSlots{at(2), at(0)}));
    QCOMPARE(spIn, BcSlots{at(1)});
    QVERIFY(spOut.isEmpty());
    QCOMPARE(self, BcSlots{conv});
    conv->inputSlots(nullptr, nullptr, nullptr, nullptr);
    Nb::Rows rows;
    constraintRows(in, Nb::CtAny, rows);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).matrix(), at(2)->constraint(Nb::CtAny).matrix());
}

void TestBcSlot::unresolvedLinkFailsUpdate()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    // A link to slot number 9, which the scheme does not hold.
    Probe linked(Nb::SlotId::conv(127, 2), Nb::NilMeta);
    linked.assign(Nb::Slot(Nb::SlotId::conv(127, 2), Nb::Meta(8, Nb::MfI1, Nb::MtDO), Nb::SlotIds{Nb::SlotId(9)},
                           Nb::BlockFlags(0), Nb::BsUntrained));
    DebugCapture capture;
    QVERIFY(!linked.setOwner(&s));
    QCOMPARE(s.status(), Nb::slotStatus(linked.id(), Nb::EcCScheme));
    QVERIFY(linked.inputs().isEmpty());
}

void TestBcSlot::nestedIdsResolved()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    Nb::Scheme inner(&m_factory);
    inner.push(Nb::StIn, Sample).push(Nb::StIn, Sample);
    const Nb::SlotId second = inner.slotId(1);
    Probe block(Nb::SlotId::conv(0, 1), Nb::NilMeta);
    block.assign(Nb::Slot(Nb::SlotId::conv(0, 1), Nb::Meta(8, Nb::MfI1, Nb::MtDO), Nb::SlotIds{s.slotId(0)},
                          Nb::SlotIds{second}, Nb::BlockFlags(0), Nb::BsUntrained, nullptr));
    block.setOwner(&s);
    block.setNested(&inner);
    QCOMPARE(block.nestedSlots(), BcSlots{dynamic_cast<BcSlot*>(inner.at(1))});

    Nb::Scheme empty(&m_factory);
    empty.push(Nb::StIn, Sample);
    DebugCapture capture;
    s.setStatus(Nb::ScOk);
    QVERIFY(!block.setNested(&empty));
    QCOMPARE(s.status(), Nb::slotStatus(block.id(), Nb::EcCScheme));
    QVERIFY(block.nestedSlots().isEmpty());
}

QTEST_GUILESS_MAIN(TestBcSlot)
#include "tst_bcslot.moc"
