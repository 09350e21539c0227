#pragma once
// Modal date picker: a month calendar fifty years either side of today;
// activating a day accepts the dialog with that date.

#include <QDate>
#include <QDialog>

namespace Ui {
class CalendarDlg;
}

class CalendarDlg : public QDialog {
    Q_OBJECT

public:
    explicit CalendarDlg(QWidget* parent = nullptr);
    ~CalendarDlg() override;

    // The activated date after Accepted; today until a day is activated.
    QDate getDate();

private slots:
    void on_calendarWidget_activated(const QDate& date);

private:
    Ui::CalendarDlg* ui;
    QDate m_date;
};
