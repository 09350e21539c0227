#pragma once
// The unlock dialog: produces a store key from the master password or from
// a biometric container, and accepts only a key that opens the store.
//   mode 0: opening the store (at start, after the store was replaced)
//   mode 1: unlocking after the idle lock
//   mode 2: asking for the current master password (no exit button)

#include "varnex/model/DynLibUlvar.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/filenbc.h"
#include "qtnb/Wipe.h"

#include <QByteArray>
#include <QDialog>
#include <QStringList>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace Ui {
class AuthPswDlg;
}

class AuthPswDlg : public QDialog {
    Q_OBJECT

public:
    enum Mode {
        AmOpen = 0,     // opening the store
        AmUnlock = 1,   // after the idle lock
        AmMasterPsw = 2 // the current master password, for another dialog
    };

    AuthPswDlg(int mode, QWidget* parent = nullptr);
    ~AuthPswDlg() override;

    const QByteArray& key() const { return m_key.bytes(); }

public slots:
    void onUnlock();
    void onBack();
    void onClose();
    void onComboActivated(int row);

protected:
    void changeEvent(QEvent* event) override;

private:
    void initWnd();
    void fillCombo();
    bool keyFromNbc(const QString& path);

    Ui::AuthPswDlg* ui;
    AppSettings settings;
    FileNbc nbcDir;
    DynLibUlvar lib;
    int mode;
    Nb::SecretBytes m_key;
    QStringList nbcFiles;
};
