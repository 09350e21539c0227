#pragma once
// Dialog that lets the user pick a card's picture from the icon table.

#include <QDialog>
#include <QIcon>
#include <QString>

class QListWidgetItem;

namespace Ui {
class IconDlg;
}

class IconDlg : public QDialog {
    Q_OBJECT

public:
    explicit IconDlg(QWidget* parent = nullptr);
    ~IconDlg() override;

    // The chosen picture and its resource path (the table's first entry
    // until an item becomes current).
    QIcon icon();
    QString iconPath();

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_listWidget_icons_currentItemChanged(QListWidgetItem* current, QListWidgetItem* previous);
    void on_buttonBox_accepted();

private:
    Ui::IconDlg* ui;
    QIcon m_icon;
    QString m_iconPath;
};
