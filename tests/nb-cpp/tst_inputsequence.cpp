#include "nb-cpp/InputSequence.h"
#include "nb-cpp/Nbc.h"

#include <QtTest>

namespace {

const Nb::Uuid Hw("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}");
const Nb::Uuid Fp("{EFAD1EB7-29F3-4C69-8689-EA2C938D1119}");

// step,stage,position,stageSize,slot id and the provider's technology (h,
// f, or - for the null id, which the processor's must equal).
QString state(const InputSequence& s)
{
    const Nb::Uuid p = s.providerId();
    const QString tech = p == Hw ? "h" : p == Fp ? "f" : p == Nb::NilUuid ? "-" : "?";
    return QString("%1,%2,%3,%4,%5").arg(s.step()).arg(s.stage()).arg(s.position()).arg(s.stageSize())
        .arg(s.slotId().value(), 0, 16) + (s.processorId() == p ? tech : "!");
}

} // namespace

class TestInputSequence : public QObject {
    Q_OBJECT

private slots:
    // Scheme -1: no scheme; -2: two inputs, a module record for the second only.
    void walk_data()
    {
        QTest::addColumn<int>("scheme");
        QTest::addColumn<QString>("moves"); // n next, p prev, s skipGroup, r restartGroup, 0 reset
        QTest::addColumn<QString>("trace"); // count/stage count, start, each move: result and state
        QTest::newRow("0") << 0 << "np" << "1/1 0,0,0,0,1h n0 0,0,0,0,1h p0 0,0,0,0,1h";
        QTest::newRow("1") << 1 << "ns" << "1/1 0,0,0,0,1f n0 0,0,0,0,1f s0 0,0,0,0,1f";
        QTest::newRow("2") << 2 << "nnpp" << "2/1 0,0,0,0,1h n1 1,1,0,0,2f n0 1,1,0,0,2f p1 0,0,-1,0,1h p0 0,0,-1,0,1h";
        QTest::newRow("4 skip") << 4 << "sr0" << "2/1 0,0,0,0,1h s1 1,1,0,0,2h r1 0,1,0,0,1h 01 0,0,0,0,1h";
        QTest::newRow("5") << 5 << "np" << "2/1 0,0,0,0,1f n1 1,1,0,0,2f p1 0,0,-1,0,1f";
        QTest::newRow("3") << 3 << "nps" << "2/2 0,0,0,2,1h n1 1,0,1,2,2f p1 0,0,0,2,1h s0 1,0,1,2,2f";
        QTest::newRow("6 restart") << 6 << "nrnn" << "2/2 0,0,0,2,1h n1 1,0,1,2,2h r1 0,0,0,2,1h n1 1,0,1,2,2h n0 1,0,1,2,2h";
        QTest::newRow("7") << 7 << "sp" << "2/2 0,0,0,2,1f s0 1,0,1,2,2f p1 0,0,0,2,1f";
        QTest::newRow("empty") << -1 << "nps" << "0/0 0,0,0,0,0- n0 0,0,0,0,0- p0 0,0,0,0,0- s0 0,0,0,0,0-";
        QTest::newRow("record missing") << -2 << "n" << "2/1 0,0,0,0,1- n1 1,1,0,0,2f";
    }
    void walk()
    {
        QFETCH(int, scheme);
        QFETCH(QString, moves);
        QFETCH(QString, trace);
        Nbc nbc;
        nbc.setCodeLength(160);
        if (scheme >= 0) {
            QVERIFY(nbc.setStandardScheme(scheme));
        } else if (scheme == -2) {
            Nb::Scheme s;
            s.push(Nb::StIn, Nb::Meta(4, Nb::MfR32, Nb::MtC)).push(Nb::StIn, Nb::Meta(4, Nb::MfR32, Nb::MtC));
            QVERIFY(nbc.setScheme(s.setOut(1)) && nbc.setInputModules(2, {Fp, Fp}));
        }
        InputSequence seq;
        QVERIFY(seq.build(nbc));
        QStringList got{QString("%1/%2").arg(seq.count()).arg(seq.stageCount()), state(seq)};
        for (QChar move : moves) {
            const bool moved = move == 'n' ? seq.next() : move == 'p' ? seq.prev() : move == 's' ? seq.skipGroup()
                               : move == 'r' ? seq.restartGroup() : seq.reset();
            got << QString(move) + (moved ? "1" : "0") + " " + state(seq);
        }
        QCOMPARE(got.join(" "), trace);
        QVERIFY(seq.clear() && seq.count() == 0 && seq.providerId() == Nb::NilUuid);
    }
};

QTEST_GUILESS_MAIN(TestInputSequence)
#include "tst_inputsequence.moc"
