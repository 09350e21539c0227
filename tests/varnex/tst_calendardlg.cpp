#include "varnex/interface/calendardlg.h"

#include "DebugCapture.h"

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

namespace {

template <typename F>
int runModal(QDialog& dlg, F drive)
{
    QTimer::singleShot(0, &dlg, drive);
    QTimer::singleShot(5000, &dlg, [&dlg] { dlg.done(-1); }); // never hang
    return dlg.exec();
}

QCalendarWidget* calendar(CalendarDlg& dlg)
{
    return dlg.findChild<QCalendarWidget*>("calendarWidget");
}

QTableView* days(CalendarDlg& dlg)
{
    return calendar(dlg)->findChild<QTableView*>();
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
        QVERIFY(calendar(dlg) && !dlg.findChild<QDialogButtonBox*>());
        QCOMPARE(calendar(dlg)->selectedDate(), today);
        QCOMPARE(dlg.getDate(), today);
        QCOMPARE(dlg.size(), QSize(284, 189));
        auto* outer = dlg.findChild<QVBoxLayout*>("verticalLayout");
        auto* main = dlg.findChild<QVBoxLayout*>("mainLayout");
        QVERIFY(outer && main && outer->indexOf(main) == 0 && main->indexOf(calendar(dlg)) == 0);
        // Exactly QDate::addYears either side, also on 29 February.
        QCOMPARE(calendar(dlg)->minimumDate(), today.addYears(-50));
        QCOMPARE(calendar(dlg)->maximumDate(), today.addYears(50));
        calendar(dlg)->setSelectedDate(today.addYears(-50).addDays(-1));
        QCOMPARE(calendar(dlg)->selectedDate(), today.addYears(-50));
        calendar(dlg)->setSelectedDate(today.addYears(50).addDays(1));
        QCOMPARE(calendar(dlg)->selectedDate(), today.addYears(50));
    }

    // Enter on a day reached with the keyboard, Return on today, or a double
    // click hands that day back; moving alone accepts nothing.
    void activatedDayIsTheDate_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<QDate>("expected");
        const QDate today = QDate::currentDate();
        QTest::newRow("Return on today") << 0 << today;
        QTest::newRow("Down, Right, Enter") << 1 << today.addDays(8);
        QTest::newRow("double click") << 2 << today.addMonths(-3);
    }
    void activatedDayIsTheDate()
    {
        QFETCH(int, how);
        QFETCH(QDate, expected);
        DebugCapture capture;
        CalendarDlg dlg(nullptr);
        bool openAfterMoving = false;
        const int result = runModal(dlg, [&] {
            QTableView* view = days(dlg);
            if (how == 1) {
                QTest::keyClick(view, Qt::Key_Down);
                QTest::keyClick(view, Qt::Key_Right);
            } else if (how == 2) {
                calendar(dlg)->setSelectedDate(expected);
            }
            openAfterMoving = dlg.isVisible();
            if (how == 2)
                QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                                   view->visualRect(view->currentIndex()).center());
            else
                QTest::keyClick(view, how == 0 ? Qt::Key_Return : Qt::Key_Enter);
        });
        QVERIFY(openAfterMoving);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg.getDate(), expected);
        QVERIFY(capture.texts().contains("CalendarDlg::on_calendarWidget_activated"));
        QVERIFY(capture.texts().contains("getDate"));
        QVERIFY(!capture.texts().join(' ').contains(printed(expected)));  // card dates stay out of the log
    }

    void escapeOrCloseRejectsAndKeepsToday()
    {
        DebugCapture capture;
        {
            CalendarDlg dlg(nullptr);
            const int result = runModal(dlg, [&] {
                calendar(dlg)->setSelectedDate(QDate::currentDate().addDays(-20));
                QTest::keyClick(days(dlg), Qt::Key_Escape);
            });
            QCOMPARE(result, int(QDialog::Rejected));
            QCOMPARE(dlg.getDate(), QDate::currentDate());
            CalendarDlg closed(nullptr);
            QCOMPARE(runModal(closed, [&] { closed.close(); }), int(QDialog::Rejected));
        }
        QCOMPARE(capture.texts().count("CalendarDlg::~CalendarDlg"), 2);
    }
};

QTEST_MAIN(TestCalendarDlg)
#include "tst_calendardlg.moc"
