#include "bc/BcParam.h"
#include "bc/BcSlot.h"

#include <cstring>

#include <QtTest>

#include "DebugCapture.h"
#include "qtnb/Scheme.h"

using namespace Bc;
using Row = Nb::Matrix::Row;

namespace {

// Engine slots for a test scheme: parameter slots and a bare converter that
// only pulls its inputs.
class Probe : public BcSlot {
public:
    using BcSlot::BcSlot;
    bool train(Nb::TrainMode, Nb::BlockState, Nb::BlockFlags) override { return true; }
    bool emulate(Nb::ConstraintType, Nb::ConstraintType, bool) override { return false; }
    bool test() override { return true; }
    int32_t writeParams(Nb::Container&, const Nb::Uuid*, const Nb::BlockType*) const override { return 0; }
    int32_t readParams(const Nb::Container&, int32_t, const Nb::Uuid*) override { return 0; }
};

class Factory : public Nb::Scheme::Factory {
public:
    Nb::Slot* create(Nb::SlotId id) override
    {
        if (id.type() != Nb::StConv)
            return new BcParam(id, Nb::NilMeta);
        return new Probe(id, Nb::NilMeta);
    }
};

const Nb::Meta Sample(4, Nb::MfR32, Nb::MtC);

void fill(Nb::Matrix& m, int32_t cols, float base)
{
    m.resize(cols);
    for (int32_t c = 0; c < cols; ++c)
        for (int32_t i = 0; i < Sample.count; ++i)
            reinterpret_cast<float*>(m.at(0, c))[i] = base + float(c * 10 + i);
}

BcSlot* slotAt(Nb::Scheme& s, int32_t i) { return dynamic_cast<BcSlot*>(s.at(i)); }

} // namespace

class TestBcSlot : public QObject {
    Q_OBJECT
private slots:
    void updateLaysOutRows();
    void setCopiesAndNilClears();
    void setRefusesOtherMeta();
    void unknownConstraintType();
    void getCopiesIntoCallerRow();
    void actualize_data();
    void actualize();
    void inputsSplitByLinkKind();
    void unresolvedLinkFailsUpdate();

private:
    Factory m_factory;
};

void TestBcSlot::updateLaysOutRows()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = slotAt(s, 0);
    QVERIFY(p);
    QCOMPARE(p->constraint(Nb::CtGe).meta(), Nb::Meta(1, Nb::MfR32, Nb::MtCO));
    QCOMPARE(p->constraint(Nb::CtTst).meta(), Nb::Meta(9, Nb::MfR32, Nb::MtCO));
    for (Nb::ConstraintType ct : {Nb::CtAny, Nb::CtOwn, Nb::CtAll})
        QCOMPARE(p->constraint(ct).meta(), Sample);
    QVERIFY(p->clearConstraints());
    for (Nb::ConstraintType ct : {Nb::CtGe, Nb::CtTst, Nb::CtAny, Nb::CtOwn, Nb::CtAll})
        QCOMPARE(p->constraintCols(ct), 0);
}

void TestBcSlot::setCopiesAndNilClears()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = slotAt(s, 0);
    Nb::Matrix m(0, Sample);
    fill(m, 3, 1.0f);
    QVERIFY(p->set(Nb::CtOwn, Row(&m, 0)));
    QCOMPARE(p->constraintCols(Nb::CtOwn), 3);
    // A copy, not a reference: changing the source leaves the slot's row.
    reinterpret_cast<float*>(m.at(0, 2))[3] = -7.0f;
    QCOMPARE(p->constraint(Nb::CtOwn).r32(2)[3], 24.0f);
    QVERIFY(p->set(Nb::CtOwn, Row()));
    QCOMPARE(p->constraintCols(Nb::CtOwn), 0);
    QCOMPARE(s.status(), Nb::ScOk);
}

void TestBcSlot::setRefusesOtherMeta()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    s.push(Nb::StIn, Sample);
    BcSlot* p = slotAt(s, 1);
    Nb::Matrix m(2, Nb::Meta(5, Nb::MfR32, Nb::MtC));
    DebugCapture capture;
    QVERIFY(!p->set(Nb::CtAny, Row(&m, 0)));
    QCOMPARE(s.status(), Nb::slotStatus(p->id(), Nb::EcMeta));
    QCOMPARE(uint32_t(s.status()) >> 16, 0x8000u | 0x4000u | p->id());
    QCOMPARE(p->constraintCols(Nb::CtAny), 0);
    QVERIFY(!capture.reports().isEmpty());
}

void TestBcSlot::unknownConstraintType()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = slotAt(s, 0);
    DebugCapture capture;
    QVERIFY(p->constraint(Nb::ConstraintType(4)).isNull());
    QCOMPARE(s.status(), Nb::slotStatus(p->id(), Nb::EcConstraint));
    QVERIFY(!p->clearConstraint(Nb::ConstraintType(-2)));
    QCOMPARE(p->constraintCols(Nb::ConstraintType(7)), 0);
    Nb::Matrix m(1, Sample);
    QVERIFY(!p->set(Nb::ConstraintType(4), Row(&m, 0)));
    Row out(&m, 0);
    QVERIFY(!p->get(Nb::ConstraintType(4), out));
}

void TestBcSlot::getCopiesIntoCallerRow()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = slotAt(s, 0);
    Nb::Matrix in(0, Sample);
    fill(in, 2, 0.5f);
    QVERIFY(p->set(Nb::CtAll, Row(&in, 0)));
    Nb::Matrix out(2, Sample);
    Row r(&out, 0);
    QVERIFY(p->get(Nb::CtAll, r));
    QCOMPARE(std::memcmp(out.at(0, 1), in.at(0, 1), 16), 0);
    // A caller row of another layout is refused.
    Nb::Matrix wrong(2, Nb::Meta(4, Nb::MfR32, Nb::MtD));
    Row w(&wrong, 0);
    DebugCapture capture;
    QVERIFY(!p->get(Nb::CtAll, w));
    QCOMPARE(Nb::statusCode(s.status()), Nb::EcMeta);
    // Too few columns to take the row.
    Nb::Matrix small(1, Sample);
    Row sm(&small, 0);
    QVERIFY(!p->get(Nb::CtAll, sm));
    QCOMPARE(Nb::statusCode(s.status()), Nb::EcNoData);
}

void TestBcSlot::actualize_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("cols");
    QTest::newRow("equal") << 5 << 5 << true << 5;
    QTest::newRow("5 and 6") << 5 << 6 << false << 5;
    QTest::newRow("second empty") << 5 << 0 << false << 5;
}

void TestBcSlot::actualize()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, ok);
    QFETCH(int, cols);
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample).push(Nb::StIn, Sample);
    BcSlot* a = slotAt(s, 0);
    BcSlot* b = slotAt(s, 1);
    Nb::Matrix m(0, Sample);
    fill(m, first, 0);
    a->set(Nb::CtOwn, Row(&m, 0));
    fill(m, second, 0);
    b->set(Nb::CtOwn, Row(&m, 0));
    BcSlots list{a, b};
    int32_t n = -1;
    DebugCapture capture;
    QCOMPARE(a->actualize(list, Nb::CtOwn, n, true), ok);
    QCOMPARE(n, cols);
    BcSlots none;
    QVERIFY(a->actualize(none, Nb::CtOwn, n, false));
    QCOMPARE(n, 0);
    // Resizing the rows of a list reaches every slot of it.
    QVERIFY(a->resizeConstraints(list, Nb::CtAny, 2));
    QCOMPARE(b->constraintCols(Nb::CtAny), 2);
}

void TestBcSlot::inputsSplitByLinkKind()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample).push(Nb::StSpIn, Sample).push(Nb::StIn, Sample);
    s.push(Nb::BtNeuralConv, Nb::Meta(8, Nb::MfI1, Nb::MtDO), {Nb::StIn, Nb::StSpIn, Nb::StIn}, {2, 1, 0},
           Nb::BlockFlags(0));
    BcSlot* conv = slotAt(s, 3);
    QVERIFY(conv);
    QCOMPARE(conv->inputs().size(), 3);
    BcSlots in, spIn, spOut, self;
    conv->inputSlots(&in, &spIn, &spOut, &self);
    QCOMPARE(in, (BcSlots{slotAt(s, 2), slotAt(s, 0)}));
    QCOMPARE(spIn, BcSlots{slotAt(s, 1)});
    QVERIFY(spOut.isEmpty());
    QCOMPARE(self, BcSlots{conv});
    conv->inputSlots(nullptr, nullptr, nullptr, nullptr);

    Nb::Rows rows;
    constraintRows(in, Nb::CtAny, rows);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).matrix(), slotAt(s, 2)->constraint(Nb::CtAny).matrix());
}

void TestBcSlot::unresolvedLinkFailsUpdate()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    Probe loose(Nb::SlotId::conv(127, 1), Nb::Meta(8, Nb::MfI1, Nb::MtDO));
    QVERIFY(loose.update());
    QVERIFY(loose.inputs().isEmpty());
    // A link to slot number 9, which the scheme does not hold.
    Probe linked(Nb::SlotId::conv(127, 2), Nb::Meta(8, Nb::MfI1, Nb::MtDO));
    Nb::Slot record(Nb::SlotId::conv(127, 2), Nb::Meta(8, Nb::MfI1, Nb::MtDO), Nb::SlotIds{Nb::SlotId(9)},
                    Nb::BlockFlags(0), Nb::BsUntrained);
    linked.assign(record);
    DebugCapture capture;
    QVERIFY(!linked.setOwner(&s));
    QCOMPARE(s.status(), Nb::slotStatus(linked.id(), Nb::EcCScheme));
    QVERIFY(linked.inputs().isEmpty());
}

QTEST_GUILESS_MAIN(TestBcSlot)
#include "tst_bcslot.moc"
