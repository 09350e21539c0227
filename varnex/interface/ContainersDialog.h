#pragma once
// The container manager: the biometric containers of the data directory
// by display name; import, export, rename (the name inside the container)
// and delete one or all. Making a container is the settings dialog's.

#include "varnex/model/filenbc.h"

#include <QDialog>
#include <QFileInfoList>
#include <QString>

class QAction;
class QListWidgetItem;

namespace Ui {
class ContainersDialog;
}

class ContainersDialog : public QDialog {
    Q_OBJECT

public:
    explicit ContainersDialog(QWidget* parent = nullptr);
    ~ContainersDialog() override;

    // Whole text within the pattern of display names (20 characters at most).
    static bool isValidName(const QString& name);

public slots:
    void showListContextMenu(const QPoint& pos);
    void onImportClicked();
    void onExportClicked();
    void onDeleteClicked();
    void onDeleteAllClicked();
    void onRenameClicked();
    void onNameChanged(QListWidgetItem* item);

private:
    void initWnd();
    void updateNbcList();
    QString pathOf(int row) const;
    // Without raising itemChanged again.
    void setItemName(QListWidgetItem* item, const QString& name);
    void showError(const QString& text);
    void warn(const QString& text);

    Ui::ContainersDialog* form;
    FileNbc nbcFiles;
    QFileInfoList files; // row k of the list shows entry k
    QString dir;
    QAction* actRename;
    QAction* actExport;
    QAction* actDelete;
};
