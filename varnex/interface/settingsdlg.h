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

    // The lock interval that a stored one stands for: itself when it is one
    // of the dialog's choices, else 0 (never), which is what the dialog shows.
    static qint32 lockIntervalInUse(qint32 stored);

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
    // The record from the settings file, its lock interval as the dialog
    // shows it.
    void loadRecord();
    // After a store was created, replaced or removed: the window resets the
    // settings file and unlocks the new store, and this record follows.
    void signalStoreChanged();
    void updateState();
    void setPswTexts(bool change);
    void warn(const QString& text);

    Ui::SettingsDlg* form;
    Repository repository;
    bool storeExists = false;
    AppSettings m_settings;
};
