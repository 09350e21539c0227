#pragma once
// The settings dialog: the master password, making a biometric container
// and the container manager; backing up, restoring and erasing the store;
// the idle time before the program locks itself.

#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"

#include <QDialog>

namespace Ui {
class SettingsDlg;
}

class SettingsDlg : public QDialog {
    Q_OBJECT

public:
    explicit SettingsDlg(QWidget* parent = nullptr);
    ~SettingsDlg() override;

    const AppSettings& settings() const { return m_settings; }

signals:
    // The store was created, replaced or removed while the dialog was open.
    void repositoryChanged();

public slots:
    void onActivatedCombo(int row);
    void onChangePsw();
    void onMakeNbc();
    void onManageNbc();
    void onSaveBackup();
    void onLoadBackup();
    void onEraseRepository();

protected:
    void changeEvent(QEvent* event) override;

private:
    void initWnd();
    void updateState();
    void setPswTexts(bool change);
    void warn(const QString& text);

    Ui::SettingsDlg* form;
    Repository repository;
    bool storeExists = false;
    AppSettings m_settings;
};
