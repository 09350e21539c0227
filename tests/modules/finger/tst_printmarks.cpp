// The marks that tell fingers of one pattern class apart: the deltas beside
// the core and the ridge period, found in each impression by itself.

#include <cmath>

#include <QtTest>

#include "modules/finger/PrintCore.h"
#include "modules/finger/SyntheticFinger.h"

using namespace Finger;

class TestPrintMarks : public QObject {
    Q_OBJECT
private slots:
    void marks_data();
    void marks();
};

void TestPrintMarks::marks_data()
{
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("pattern");
    QTest::addColumn<int>("deltas");
    QTest::newRow("arch") << 101u << int(SyntheticFinger::Arch) << 0;
    QTest::newRow("left loop") << 100u << int(SyntheticFinger::LeftLoop) << 1;
    QTest::newRow("right loop") << 103u << int(SyntheticFinger::RightLoop) << 1;
    // A whorl whose two deltas both lie on the reader.
    QTest::newRow("whorl") << 105u << int(SyntheticFinger::Whorl) << 2;
}

void TestPrintMarks::marks()
{
    QFETCH(uint, seed);
    QFETCH(int, pattern);
    QFETCH(int, deltas);
    const SyntheticFinger finger(seed);
    QCOMPARE(int(finger.pattern()), pattern);
    // Pressed in the middle: the class's deltas, each below the core; the
    // finger's ridge period.
    const RidgeField field(finger.impression(Press()));
    const PrintCore core = findCore(field);
    const std::vector<PrintDelta> found = findDeltas(field, core, 3);
    QCOMPARE(int(found.size()), deltas);
    for (const PrintDelta& d : found)
        QVERIFY2(d.y > core.y + 20.0f && d.strength >= MinDeltaStrength, qPrintable(QString::number(d.y - core.y)));
    QVERIFY2(std::fabs(field.period() - finger.ridgePeriod()) < 0.5f, qPrintable(QString::number(field.period())));
    // Pressed anew, shifted and turned: the delta keeps its distance from
    // the core within a few pixels.
    if (deltas == 1) {
        const float apart = std::hypot(found[0].x - core.x, found[0].y - core.y);
        const Press press{12.0f, -9.0f, 0.15f};
        const RidgeField again(finger.impression(press));
        const PrintCore moved = findCore(again);
        const std::vector<PrintDelta> there = findDeltas(again, moved);
        QCOMPARE(int(there.size()), 1);
        QVERIFY(std::fabs(std::hypot(there[0].x - moved.x, there[0].y - moved.y) - apart) < 8.0f);
    }
}

QTEST_MAIN(TestPrintMarks)
#include "tst_printmarks.moc"
