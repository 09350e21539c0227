#pragma once
// The About box: the program's icon, name and purpose, its developers and
// a link to their web page.

#include <QDialog>

namespace Ui {
class AboutDlg;
}

class AboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit AboutDlg(QWidget* parent = nullptr);
    ~AboutDlg() override;

private:
    Ui::AboutDlg* form;
};
