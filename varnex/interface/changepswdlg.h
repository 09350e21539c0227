#pragma once
// The master-password dialog: sets the first master password of a new,
// empty store (mode 0) or re-keys the existing store (mode 1).

#include "qtnb/Wipe.h"

#include <QByteArray>
#include <QDialog>

namespace Ui {
class ChangePswDlg;
}

class ChangePswDlg : public QDialog {
    Q_OBJECT

public:
    enum Mode {
        CmCreate = 0, // the first master password of a new, empty store
        CmChange = 1  // the existing store re-keyed
    };

    ChangePswDlg(int mode, QWidget* parent = nullptr);
    ~ChangePswDlg() override;

    int mode() const { return m_mode; }
    void setMode(int mode);

    bool changeMasterKey(const QByteArray& oldKey, const QByteArray& newKey);

public slots:
    void onKeyFromBio();
    void textChangedPsw();
    void onOk();
    void onCancel();

protected:
    void changeEvent(QEvent* event) override;

private:
    void initWnd();

    Ui::ChangePswDlg* ui;
    int m_mode;
    Nb::SecretBytes bioKey;
};
