#include "bc/BcParam.h"

#include <cmath>
#include <memory>

#include <QtTest>

#include "DebugCapture.h"
#include "SlotTestKit.h"
#include "qtnb/Scheme.h"

using namespace Bc;
using namespace SlotTestKit;
using Row = Nb::Matrix::Row;

namespace {

// Parameter slots only.
using Factory = SlotFactory;

const Nb::Meta Sample(3, Nb::MfR32, Nb::MtC);

std::unique_ptr<Nb::Matrix> samples(int32_t cols, const Nb::Meta& meta = Sample)
{
    auto m = std::make_unique<Nb::Matrix>(cols, meta);
    for (int32_t c = 0; c < cols; ++c)
        for (int32_t i = 0; i < meta.count && meta.format == Nb::MfR32; ++i)
            reinterpret_cast<float*>(m->at(0, c))[i] = float((c * 7 + i * 3) % 5) + 0.25f * float(c);
    return m;
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

private:
    Factory m_factory;
};

void TestBcParam::emulateNeedsData()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(0));
    auto one = samples(1);
    QVERIFY(p->set(Nb::CtAny, Row(one.get(), 0)));
    QVERIFY(p->emulate(Nb::CtOwn, Nb::CtAny, true));
    QCOMPARE(p->constraintCols(Nb::CtAny), 1);
    QCOMPARE(p->constraint(Nb::CtAny).r32(0)[1], 3.0f);
    QCOMPARE(s.status(), Nb::ScOk);
    DebugCapture capture;
    QVERIFY(!p->emulate(Nb::CtAny, Nb::CtOwn, false));
    QCOMPARE(s.status(), Nb::slotStatus(p->id(), Nb::EcNoData));
    // No parameter block of its own.
    Nb::Container c;
    c.push(Nb::Block(Nb::BtNeuralConv));
    QCOMPARE(p->writeParams(c, nullptr, nullptr), 0);
    QCOMPARE(c.count(), 1);
    QCOMPARE(p->readParams(c, 0, nullptr), 0);
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
    QCOMPARE(capture.reports().size(), 3);
    for (const CapturedMessage& m : capture.reports())
        QVERIFY2(m.text.startsWith(QLatin1String("@err 1 ")), qPrintable(m.text));
}

void TestBcParam::qevalScoresOwnSamples()
{
    Nb::Scheme s(&m_factory);
    s.push(Nb::StIn, Sample);
    BcSlot* p = dynamic_cast<BcSlot*>(s.at(0));
    p->set(Nb::CtOwn, Row(samples(1).get(), 0));
    QVERIFY(!p->qeval());
    QCOMPARE(s.status(), Nb::ScOk);
    QCOMPARE(p->constraintCols(Nb::CtGe), 0);

    p->set(Nb::CtOwn, Row(samples(2).get(), 0));
    QVERIFY(p->qeval());
    const Row ge = p->constraint(Nb::CtGe);
    QCOMPARE(ge.cols(), 2);
    // Two samples lie one spread either side of their mean in every
    // feature: both score 1, and so does the threshold.
    QCOMPARE(ge.r32(0)[0], 1.0f);
    QCOMPARE(ge.r32(1)[0], 1.0f);

    p->set(Nb::CtOwn, Row(samples(6).get(), 0));
    QVERIFY(p->qeval());
    QCOMPARE(ge.cols(), 6);
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
    p->set(Nb::CtOwn, Row(samples(4, meta).get(), 0));
    QCOMPARE(p->constraintCols(Nb::CtOwn), 4);
    DebugCapture capture;
    QVERIFY(!p->qeval());
    QCOMPARE(s.status(), Nb::ScOk);
    QCOMPARE(p->constraintCols(Nb::CtGe), 0);
    QCOMPARE(capture.reports().size(), 1);
    const QString tag = kind == int(Nb::StSpIn) ? QStringLiteral("@err 2 ") : QStringLiteral("@err 3 ");
    QVERIFY(capture.reports().at(0).text.startsWith(tag));
}

QTEST_GUILESS_MAIN(TestBcParam)
#include "tst_bcparam.moc"
