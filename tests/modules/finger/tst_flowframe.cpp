// The frame of an impression: turned by its flow's fit to the built-in
// strangers' flow of its own kind, so that a print seen only in part is
// turned about as the whole print is; a press that misses the print's
// centre, where the frame is read, is told apart.

#include <algorithm>
#include <cmath>
#include <vector>

#include <QtTest>

#include "modules/finger/ForeignFingers.h"
#include "modules/finger/SyntheticFinger.h"

using namespace Finger;

class TestFlowFrame : public QObject {
    Q_OBJECT
private slots:
    void partTurnedAsWhole_data();
    void partTurnedAsWhole();
    void pressMissingCentre_data();
    void pressMissingCentre();
};

void TestFlowFrame::partTurnedAsWhole_data()
{
    QTest::addColumn<int>("pattern");
    // Loops and whorls cut off below the core lose the deltas that hold the
    // turn on the mean flow of all kinds.
    QTest::newRow("left loop") << int(SyntheticFinger::LeftLoop);
    QTest::newRow("right loop") << int(SyntheticFinger::RightLoop);
    QTest::newRow("whorl") << int(SyntheticFinger::Whorl);
}

void TestFlowFrame::partTurnedAsWhole()
{
    QFETCH(int, pattern);
    // Six fingers of the class, each pressed whole and with a third of the
    // reader below it missed: the two frames' turns differ by a few degrees
    // at most for most of them.
    std::vector<float> apart;
    for (uint32_t seed = 100; apart.size() < 6; ++seed) {
        const SyntheticFinger finger(seed);
        if (finger.pattern() != pattern)
            continue;
        Press press;
        press.angle = 0.12f;
        press.dy = -10.0f;
        const float whole = meanFlow().frame(RidgeField(finger.impression(press))).angle;
        press.cut = 0.3f;
        press.side = 3;
        const float part = meanFlow().frame(RidgeField(finger.impression(press))).angle;
        apart.push_back(std::fabs(part - whole) * 180.0f / 3.14159265f);
    }
    std::sort(apart.begin(), apart.end());
    const float median = (apart[2] + apart[3]) / 2;
    QVERIFY2(median < 3.0f, qPrintable(QString::number(median)));
}

void TestFlowFrame::pressMissingCentre_data()
{
    QTest::addColumn<float>("cut");
    QTest::addColumn<int>("side");
    QTest::addColumn<bool>("shown");
    QTest::newRow("whole") << 0.0f << 0 << true;
    QTest::newRow("cut below, away from the centre") << 0.15f << 3 << true;
    QTest::newRow("cut above, across the centre") << 0.33f << 1 << false;
}

void TestFlowFrame::pressMissingCentre()
{
    QFETCH(float, cut);
    QFETCH(int, side);
    QFETCH(bool, shown);
    for (const uint32_t seed : {206u, 208u, 211u}) {
        Press press;
        press.cut = cut;
        press.side = side;
        QVERIFY2(showsCentre(SyntheticFinger(seed).impression(press)) == shown, qPrintable(QString::number(seed)));
    }
}

QTEST_MAIN(TestFlowFrame)
#include "tst_flowframe.moc"
