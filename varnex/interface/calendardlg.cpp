#include "varnex/interface/calendardlg.h"
#include "ui_calendardlg.h"

#include <QDebug>
#include <QIcon>

CalendarDlg::CalendarDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::CalendarDlg)
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    setWindowTitle(tr("Выберите дату"));
    m_date = QDate::currentDate();
    ui->calendarWidget->setDateRange(m_date.addYears(-50), m_date.addYears(50));
    ui->calendarWidget->setSelectedDate(m_date);
}

CalendarDlg::~CalendarDlg()
{
    qDebug() << "CalendarDlg::~CalendarDlg";
    delete ui;
}

QDate CalendarDlg::getDate()
{
    // The date may be a card's (a birth date): the operation is named, the date is not.
    qDebug() << "getDate";
    return m_date;
}

void CalendarDlg::on_calendarWidget_activated(const QDate& date)
{
    qDebug() << "CalendarDlg::on_calendarWidget_activated";
    m_date = date;
    accept();
}
