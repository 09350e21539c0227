#include "varnex/interface/calendardlg.h"

#include "DebugCapture.h"

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QTableView>
#include <QTimer>
#include <QtTest>

namespace {

template <typename F>
int runModal(QDialog& dlg, F drive)
{
    QTimer::singleShot(0, &dlg, drive);
    QTimer::singleShot(5000, &dlg, [&dlg] { dlg.done(-1); }); // never hang
    return dlg.exec();
}

QTableView* daysOf(QCalendarWidget* cal)
{
    return cal->findChild<QTableView*>();
}

} // namespace

class TestCalendarDlg : public QObject {
    Q_OBJECT

private slots:
    void opensOnTodayFiftyYearsEitherSide()
    {
        const QDate today = QDate::currentDate();
        CalendarDlg dlg(nullptr);
        QCOMPARE(dlg.windowTitle(), QString("Выберите дату"));
        auto* cal = dlg.findChild<QCalendarWidget*>("calendarWidget");
        QVERIFY(cal);
        QVERIFY(!dlg.findChild<QDialogButtonBox*>());
        QCOMPARE(cal->selectedDate(), today);
        QCOMPARE(cal->minimumDate(), today.addYears(-50));
        QCOMPARE(cal->maximumDate(), today.addYears(50));
        QCOMPARE(dlg.getDate(), today);
        // Nothing beyond the range can be selected.
        cal->setSelectedDate(today.addYears(-50).addDays(-1));
        QCOMPARE(cal->selectedDate(), today.addYears(-50));
        cal->setSelectedDate(today.addYears(50).addDays(1));
        QCOMPARE(cal->selectedDate(), today.addYears(50));
    }

    void returnOnTodayAccepts()
    {
        CalendarDlg dlg(nullptr);
        auto* cal = dlg.findChild<QCalendarWidget*>("calendarWidget");
        const int result = runModal(dlg, [&] { QTest::keyClick(daysOf(cal), Qt::Key_Return); });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg.getDate(), QDate::currentDate());
    }

    // A day reached with the keyboard and activated by Enter, or activated by
    // a double click, is the date handed back; moving alone accepts nothing.
    void activatedDayIsTheDate()
    {
        const QDate today = QDate::currentDate();
        CalendarDlg dlg(nullptr);
        auto* cal = dlg.findChild<QCalendarWidget*>("calendarWidget");
        bool stillOpen = false;
        const int result = runModal(dlg, [&] {
            QTest::keyClick(daysOf(cal), Qt::Key_Down); // a week on
            QTest::keyClick(daysOf(cal), Qt::Key_Right);
            stillOpen = dlg.isVisible();
            QTest::keyClick(daysOf(cal), Qt::Key_Enter);
        });
        QVERIFY(stillOpen);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg.getDate(), today.addDays(8));

        CalendarDlg other(nullptr);
        auto* otherCal = other.findChild<QCalendarWidget*>("calendarWidget");
        const QDate target = today.addMonths(-3);
        const int otherResult = runModal(other, [&] {
            otherCal->setSelectedDate(target);
            QTableView* view = daysOf(otherCal);
            const QRect cell = view->visualRect(view->currentIndex());
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        });
        QCOMPARE(otherResult, int(QDialog::Accepted));
        QCOMPARE(other.getDate(), target);
    }

    void escapeOrCloseRejectsAndKeepsToday()
    {
        CalendarDlg dlg(nullptr);
        auto* cal = dlg.findChild<QCalendarWidget*>("calendarWidget");
        const int result = runModal(dlg, [&] {
            cal->setSelectedDate(QDate::currentDate().addDays(-20));
            QTest::keyClick(daysOf(cal), Qt::Key_Escape);
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(dlg.getDate(), QDate::currentDate());

        CalendarDlg closed(nullptr);
        QCOMPARE(runModal(closed, [&] { closed.close(); }), int(QDialog::Rejected));
        QCOMPARE(closed.getDate(), QDate::currentDate());
    }

    void debugLines()
    {
        DebugCapture capture;
        const QDate day = QDate::currentDate().addDays(3);
        {
            CalendarDlg dlg(nullptr);
            auto* cal = dlg.findChild<QCalendarWidget*>("calendarWidget");
            runModal(dlg, [&] {
                cal->setSelectedDate(day);
                QTest::keyClick(daysOf(cal), Qt::Key_Return);
            });
            QCOMPARE(dlg.getDate(), day);
        }
        const QStringList texts = capture.texts();
        QVERIFY(texts.contains("CalendarDlg::on_calendarWidget_activated " + printed(day)));
        QVERIFY(texts.contains("getDate " + printed(day)));
        QVERIFY(texts.contains("CalendarDlg::~CalendarDlg"));
    }
};

QTEST_MAIN(TestCalendarDlg)
#include "tst_calendardlg.moc"
