#pragma once
// The program's only top-level window: tool bar, category list, card list
// and the card area with the twelve card widgets. It holds the whole
// content of the open store and writes all of it after every change.

#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"
#include "varnex/model/storesession.h"

#include <QByteArray>
#include <QMainWindow>
#include <QModelIndex>
#include <QTimer>

#include <array>

class QAction;
class QListWidgetItem;
class QToolButton;

class PatternCard;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Which of the four card buttons act (delete, add, edit, save).
    enum ToolbarState {
        TsNoStore = 0,  // no store open: none, nor find, cut, copy, paste, undo
        TsList = 2,     // card list, nothing selected, or a new card: add
        TsSelected = 3, // card list with a selected card: delete, add
        TsCard = 4      // a stored card shown: delete, edit
    };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The idle lock's timer, which tests look at and hasten.
    QTimer& lockTimer() { return idleTimer; }

public slots:
    void closeEvent(QCloseEvent* event) override;

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void onAuthTimeout();
    void onTimeout();
    void onRepositoryChanged();
    void onSettings();
    void onHelp();
    void onSearch();
    void onCut();
    void onCopy();
    void onPaste();
    void onUndo();
    void onBack();
    void onAdd();
    void onEdit();
    void onSave();
    void onDelete();
    void onCardChanged(bool changed);
    void showListContextMenu(const QPoint& pos);

    void on_pushButton_back_clicked();
    void on_listWidget_category_currentItemChanged(QListWidgetItem* current, QListWidgetItem* previous);
    void on_listWidget_card_currentRowChanged(int row);
    void on_listWidget_card_pressed(const QModelIndex& index);
    void on_listWidget_card_activated(const QModelIndex& index);

private:
    void createActions();
    void setupWindow();
    void createToolbar();
    void createCards();
    void setToolbarState(ToolbarState state);
    bool isActiveApp(QWidget* widget);
    void clearWindow();
    // The unlock dialog in its opening mode: its key taken, or the program
    // ended when it is refused (false).
    bool takeKey();
    void login(); // steps after an accepted unlock: read, list, lock timer
    // Starts the idle lock with the interval of the settings, as the settings
    // dialog shows it: one that is not among its choices counts as never.
    void startLockTimer();

    void createCategoryList();
    void createDefaultCategories();
    void fillCardList();
    void setCurrCard(const QString& type);
    bool selectCardRow(int row);
    void showCurrCard();
    void hideCurrCard();
    void returnHigher();
    void addCard();
    void saveNewCard(FieldMap& fields);
    void saveCurrCard(FieldMap& fields);
    void refuseTakenName(); // the warning; the card stays open and editable
    // The store written with the window's key, after making sure the key
    // still opens it (else the user is asked for the one that does) and
    // taking in what another program wrote; a failed write is warned. False
    // only when the saved card was refused because another program stored
    // one under its name: the card stays open and editable.
    bool writeStore();
    // currFolder again after the session changed its maps.
    void findCurrFolder();

    Ui::MainWindow* form;
    StoreSession session; // the open store: safe, descr, key and repository are its own
    FolderMap& safe;
    CardMap& descr;
    const QByteArray& key;
    QString currCategory;
    bool isNewCard;
    bool isCardSelected;
    AppSettings settings;
    QTimer authTimer;
    QTimer idleTimer;
    const Repository& repository;
    FolderMap::iterator currFolder;
    CardMap::iterator currEntry;
    PatternCard* currCard;
    // One editor of each card type, in the order of the window's table of
    // card types.
    std::array<PatternCard*, 12> cards{};

    QToolButton* toolButton_settings;
    QToolButton* toolButton_help;
    QToolButton* toolButton_find;
    QToolButton* toolButton_cut;
    QToolButton* toolButton_copy;
    QToolButton* toolButton_paste;
    QToolButton* toolButton_delete;
    QToolButton* toolButton_undo;
    QToolButton* toolButton_add;
    QToolButton* toolButton_edit;
    QToolButton* toolButton_save;

    QAction* actionBack;
    QAction* actionDelete;
    QAction* actionSave;
    QAction* actionAdd;
};
