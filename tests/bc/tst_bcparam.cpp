#include "bc/BcParam.h"

#include <cmath>

#include <QtTest>

#include "DebugCapture.h"
#include "qtnb/Scheme.h"

using namespace Bc;
using Row = Nb::Matrix::Row;

namespace {

class Factory : public Nb::Scheme::Factory {
public:
    Nb::Slot* create(Nb::SlotId id) override
    {
        return id.type() == Nb::StConv ? nullptr : new BcParam(id, Nb::NilMeta);
    }
};

const Nb::Meta Sample(3, Nb::MfR32, Nb::MtC);

void fill(Nb::Matrix& m, int32_t cols)
{
    m.resize(cols);
    for (int32_t c = 0; c < cols; ++c)
        for (int32_t i = 0; i < m.count(0); ++i)
            reinterpret_cast<float*>(m.at(0, c))[i] = float((c * 7 + i * 3) % 5) + 0.25f * float(c);
}

} // namespace

class TestBcParam : public QObject {
    Q_OBJECT
private slots:
    void emulateNeedsData();
    void refusesTraining();
    void qevalScoresOwnSamples();
    void qevalRefusals_data();
    void qevalRefusals();
    void noParameterBlocks();

private:
    Factory m_factory;
};

void TestBcParam::emulateNeedsData()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(0));
    Nb::Matrix m(0, Sample);
    fill(m, 1);
    QVERIFY(p->set(Nb::CtAny, Row(&m, 0)));
    QVERIFY(p->emulate(Nb::CtOwn, Nb::CtAny, true));
    QCOMPARE(p->constraintCols(Nb::CtAny), 1);
    QCOMPARE(p->constraint(Nb::CtAny).r32(0)[1], 3.0f);
    QCOMPARE(s.status(), Nb::ScOk);

    DebugCapture capture;
    QVERIFY(!p->emulate(Nb::CtAny, Nb::CtOwn, false));
    QCOMPARE(s.status(), Nb::slotStatus(p->id(), Nb::EcNoData));
    QCOMPARE(capture.reports().size(), 1);
}

void TestBcParam::refusesTraining()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(0));
    DebugCapture capture;
    const Nb::Status refused = Nb::slotStatus(p->id(), Nb::EcSlotId);
    QVERIFY(!p->reset());
    QCOMPARE(s.status(), refused);
    s.setStatus(Nb::ScOk);
    QVERIFY(!p->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(s.status(), refused);
    s.setStatus(Nb::ScOk);
    QVERIFY(!p->test());
    QCOMPARE(s.status(), refused);
    QCOMPARE(p->state(), Nb::BsUntrained);
}

void TestBcParam::qevalScoresOwnSamples()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(0));
    Nb::Matrix m(0, Sample);
    fill(m, 1);
    p->set(Nb::CtOwn, Row(&m, 0));
    QVERIFY(!p->qeval());
    QCOMPARE(s.status(), Nb::ScOk);
    QCOMPARE(p->constraintCols(Nb::CtGe), 0);

    fill(m, 2);
    p->set(Nb::CtOwn, Row(&m, 0));
    QVERIFY(p->qeval());
    QCOMPARE(p->constraintCols(Nb::CtGe), 2);
    // Two samples lie symmetric about their mean: equal, finite scores.
    const Row ge = p->constraint(Nb::CtGe);
    QVERIFY(std::isfinite(ge.r32(0)[0]));
    QCOMPARE(ge.r32(0)[0], ge.r32(1)[0]);

    fill(m, 6);
    p->set(Nb::CtOwn, Row(&m, 0));
    QVERIFY(p->qeval());
    QCOMPARE(p->constraintCols(Nb::CtGe), 6);
    for (int32_t j = 0; j < 6; ++j)
        QVERIFY(std::isfinite(ge.r32(j)[0]) && ge.r32(j)[0] >= 0.0f);
}

void TestBcParam::qevalRefusals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("format");
    QTest::newRow("special input") << int(Nb::StSpIn) << int(Nb::MfR32);
    QTest::newRow("MfR64 samples") << int(Nb::StIn) << int(Nb::MfR64);
}

void TestBcParam::qevalRefusals()
{
    QFETCH(int, kind);
    QFETCH(int, format);
    Nb::Scheme s(&m_factory);
    const Nb::Meta meta(3, Nb::MetaFormat(format), Nb::MtC);
    s.push(Nb::SlotType(kind), meta);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(0));
    Nb::Matrix m(4, meta);
    p->set(Nb::CtOwn, Row(&m, 0));
    QCOMPARE(p->constraintCols(Nb::CtOwn), 4);
    DebugCapture capture;
    QVERIFY(!p->qeval());
    QCOMPARE(s.status(), Nb::ScOk);
    QCOMPARE(p->constraintCols(Nb::CtGe), 0);
}

void TestBcParam::noParameterBlocks()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(0));
    Nb::Container c;
    c.push(Nb::Block(Nb::BtNeuralConv));
    QCOMPARE(p->writeParams(c, nullptr, nullptr), 0);
    QCOMPARE(c.count(), 1);
    QCOMPARE(p->readParams(c, 0, nullptr), 0);
}

QTEST_GUILESS_MAIN(TestBcParam)
#include "tst_bcparam.moc"
