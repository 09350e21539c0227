#include "varnex/interface/icondlg.h"
#include "ui_icondlg.h"

#include "varnex/interface/icontable.h"

#include <QDebug>
#include <QEvent>
#include <QListWidgetItem>

IconDlg::IconDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::IconDlg)
{
    // The form connects the button box and the slots by name.
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    setWindowTitle(tr("Сменить значок"));

    const QStringList& table = iconTable();
    for (const QString& path : table) {
        auto* item = new QListWidgetItem;
        item->setIcon(QIcon(path));
        ui->listWidget_icons->addItem(item);
    }
    // With the focus the first item becomes current once the dialog shows.
    ui->listWidget_icons->setFocus();
    m_iconPath = table.first();
    m_icon = QIcon(m_iconPath);
}

IconDlg::~IconDlg()
{
    qDebug() << "IconDlg::~IconDlg";
    delete ui;
}

QIcon IconDlg::icon()
{
    return m_icon;
}

QString IconDlg::iconPath()
{
    return m_iconPath;
}

void IconDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void IconDlg::on_listWidget_icons_currentItemChanged(QListWidgetItem* current, QListWidgetItem*)
{
    // No current item (the list being emptied) keeps the last choice.
    if (!current)
        return;
    const QStringList& table = iconTable();
    const int row = ui->listWidget_icons->row(current);
    if (row < 0 || row >= table.size())
        return;
    m_icon = current->icon();
    m_iconPath = table.at(row);
}

void IconDlg::on_buttonBox_accepted()
{
}
