#include "varnex/interface/mainwindow.h"

#include "varnex/interface/aboutdlg.h"
#include "varnex/interface/authpswdlg.h"
#include "varnex/interface/changepswdlg.h"
#include "varnex/interface/cards/cardbank.h"
#include "varnex/interface/cards/cardcar.h"
#include "varnex/interface/cards/cardcloud.h"
#include "varnex/interface/cards/cardcomputer.h"
#include "varnex/interface/cards/cardicq.h"
#include "varnex/interface/cards/cardlock.h"
#include "varnex/interface/cards/cardnote.h"
#include "varnex/interface/cards/cardpassport.h"
#include "varnex/interface/cards/cardperiph.h"
#include "varnex/interface/cards/cardserver.h"
#include "varnex/interface/cards/carduser.h"
#include "varnex/interface/cards/cardwifi.h"
#include "varnex/interface/cards/patterncard.h"
#include "varnex/interface/settingsdlg.h"


#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QGridLayout>
#include <QHash>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>
#include <iterator>

namespace {

template <class Card>
PatternCard* makeCard()
{
    return new Card(nullptr);
}

// The card types: the name a card carries under "Тип карточки", and its
// editor. The editors are made in this order, the car's first.
const struct CardType {
    const char* name;
    PatternCard* (*make)();
} cardTypes[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "Автомобиль"), makeCard<CardCar>},
    {QT_TRANSLATE_NOOP("MainWindow", "Банковская карта"), makeCard<CardBank>},
    {QT_TRANSLATE_NOOP("MainWindow", "Беспроводное оборудование"), makeCard<CardWifi>},
    {QT_TRANSLATE_NOOP("MainWindow", "Заметки"), makeCard<CardNote>},
    {QT_TRANSLATE_NOOP("MainWindow", "Кодовый замок"), makeCard<CardLock>},
    {QT_TRANSLATE_NOOP("MainWindow", "Компьютер"), makeCard<CardComputer>},
    {QT_TRANSLATE_NOOP("MainWindow", "Мессенджер"), makeCard<CardIcq>},
    {QT_TRANSLATE_NOOP("MainWindow", "Оборудование"), makeCard<CardPeriph>},
    {QT_TRANSLATE_NOOP("MainWindow", "Онлайн хранилище"), makeCard<CardCloud>},
    {QT_TRANSLATE_NOOP("MainWindow", "Паспорт"), makeCard<CardPassport>},
    {QT_TRANSLATE_NOOP("MainWindow", "Учётная запись"), makeCard<CardUser>},
    {QT_TRANSLATE_NOOP("MainWindow", "Сервер"), makeCard<CardServer>},
};

} // namespace

namespace Ui {

class MainWindow {
public:
    QWidget* centralWidget;
    QGridLayout* gridLayout;
    QHBoxLayout* horizontalLayout_btn;
    QHBoxLayout* horizontalLayout;
    QListWidget* listWidget_category;
    QListWidget* listWidget_card;
    QScrollArea* scrollArea;
    QWidget* scrollAreaWidgetContents_2;
    QVBoxLayout* verticalLayout;
    QPushButton* pushButton_back;
    QVBoxLayout* verticalLayout_card;
    QMenuBar* menuBar;
    QToolBar* mainToolBar;
    QStatusBar* statusBar;

    void setupUi(QMainWindow* window)
    {
        if (window->objectName().isEmpty())
            window->setObjectName(QStringLiteral("MainWindow"));
        window->resize(540, 430);

        centralWidget = new QWidget(window);
        centralWidget->setObjectName(QStringLiteral("centralWidget"));
        gridLayout = new QGridLayout(centralWidget);
        gridLayout->setObjectName(QStringLiteral("gridLayout"));
        gridLayout->setSpacing(6);
        gridLayout->setContentsMargins(11, 11, 11, 11);
        horizontalLayout_btn = new QHBoxLayout();
        horizontalLayout_btn->setObjectName(QStringLiteral("horizontalLayout_btn"));
        gridLayout->addLayout(horizontalLayout_btn, 0, 0);
        horizontalLayout = new QHBoxLayout();
        horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
        horizontalLayout->setSpacing(6);

        listWidget_category = new QListWidget(centralWidget);
        listWidget_category->setObjectName(QStringLiteral("listWidget_category"));
        listWidget_category->setMinimumSize(QSize(100, 100));
        listWidget_category->setFrameShape(QFrame::StyledPanel);
        listWidget_category->setFrameShadow(QFrame::Sunken);
        listWidget_category->setSelectionMode(QAbstractItemView::SingleSelection);
        listWidget_category->setIconSize(QSize(32, 32));
        listWidget_category->setTextElideMode(Qt::ElideRight);
        listWidget_category->setMovement(QListView::Static);
        listWidget_category->setFlow(QListView::TopToBottom);
        listWidget_category->setWrapping(false);
        listWidget_category->setViewMode(QListView::ListMode);
        listWidget_category->setUniformItemSizes(false);
        listWidget_category->setWordWrap(false);
        listWidget_category->setSelectionRectVisible(false);
        listWidget_category->setSortingEnabled(false);
        horizontalLayout->addWidget(listWidget_category);

        listWidget_card = new QListWidget(centralWidget);
        listWidget_card->setObjectName(QStringLiteral("listWidget_card"));
        listWidget_card->setMinimumSize(QSize(100, 100));
        listWidget_card->setIconSize(QSize(32, 32));
        horizontalLayout->addWidget(listWidget_card);

        scrollArea = new QScrollArea(centralWidget);
        scrollArea->setObjectName(QStringLiteral("scrollArea"));
        scrollArea->setMinimumSize(QSize(100, 100));
        scrollArea->setWidgetResizable(true);
        scrollAreaWidgetContents_2 = new QWidget();
        scrollAreaWidgetContents_2->setObjectName(QStringLiteral("scrollAreaWidgetContents_2"));
        verticalLayout = new QVBoxLayout(scrollAreaWidgetContents_2);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        verticalLayout->setSpacing(6);
        verticalLayout->setContentsMargins(0, 0, 0, 0);
        pushButton_back = new QPushButton(scrollAreaWidgetContents_2);
        pushButton_back->setObjectName(QStringLiteral("pushButton_back"));
        verticalLayout->addWidget(pushButton_back);
        verticalLayout_card = new QVBoxLayout();
        verticalLayout_card->setObjectName(QStringLiteral("verticalLayout_card"));
        verticalLayout_card->setSpacing(6);
        verticalLayout->addLayout(verticalLayout_card);
        scrollArea->setWidget(scrollAreaWidgetContents_2);
        horizontalLayout->addWidget(scrollArea);

        gridLayout->addLayout(horizontalLayout, 3, 0);
        window->setCentralWidget(centralWidget);

        menuBar = new QMenuBar(window);
        menuBar->setObjectName(QStringLiteral("menuBar"));
        window->setMenuBar(menuBar);
        mainToolBar = new QToolBar(window);
        mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
        mainToolBar->setIconSize(QSize(32, 32));
        window->addToolBar(Qt::TopToolBarArea, mainToolBar);
        statusBar = new QStatusBar(window);
        statusBar->setObjectName(QStringLiteral("statusBar"));
        window->setStatusBar(statusBar);

        retranslateUi(window);
        QMetaObject::connectSlotsByName(window);
    }

    void retranslateUi(QMainWindow* window)
    {
        window->setWindowTitle(QCoreApplication::translate("MainWindow", "MainWindow"));
        pushButton_back->setText(QString());
    }
};

} // namespace Ui

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      form(new Ui::MainWindow),
      session(QString()),
      safe(session.safe),
      descr(session.descr),
      key(session.key()),
      isNewCard(false),
      isCardSelected(false),
      repository(session.repository()),
      currFolder(safe.end()),
      currCard(nullptr)
{
    form->setupUi(this);
    createActions();
    setupWindow();

    for (PatternCard* card : cards)
        connect(card, &PatternCard::cardChanged, this, &MainWindow::onCardChanged);

    connect(&idleTimer, &QTimer::timeout, this, &MainWindow::onTimeout);
    connect(&authTimer, &QTimer::timeout, this, &MainWindow::onAuthTimeout);

    form->listWidget_card->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(form->listWidget_card, &QListWidget::customContextMenuRequested, this,
            &MainWindow::showListContextMenu);

    authTimer.start(10);
}

MainWindow::~MainWindow()
{
    delete form;
}

void MainWindow::createActions()
{
    actionBack = new QAction(this);
    actionBack->setObjectName(QStringLiteral("actionBack"));
    actionBack->setShortcuts(QKeySequence::Back);
    connect(actionBack, &QAction::triggered, this, &MainWindow::onBack);

    actionDelete = new QAction(QIcon(QStringLiteral(":/16/oxygen/buttons/clear")), tr("Удалить карточку"), this);
    actionDelete->setObjectName(QStringLiteral("actionDelete"));
    actionDelete->setShortcuts(QKeySequence::Delete);
    connect(actionDelete, &QAction::triggered, this, &MainWindow::onDelete);

    actionSave = new QAction(QIcon(QStringLiteral(":/16/oxygen/buttons/save")), tr("Сохранить изменения"), this);
    actionSave->setObjectName(QStringLiteral("actionSave"));
    actionSave->setShortcuts(QKeySequence::Save);
    connect(actionSave, &QAction::triggered, this, &MainWindow::onSave);

    actionAdd = new QAction(QIcon(QStringLiteral(":/16/oxygen/buttons/new")), tr("Добавить карточку"), this);
    actionAdd->setObjectName(QStringLiteral("actionAdd"));
    actionAdd->setShortcuts(QKeySequence::New);
    connect(actionAdd, &QAction::triggered, this, &MainWindow::onAdd);
}

void MainWindow::setupWindow()
{
    setWindowTitle(tr("Варнекс - биометрический хранитель секретов"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    form->pushButton_back->setIcon(QIcon(QStringLiteral(":/32/oxygen/buttons/previous")));
    createToolbar();
    createCards();
    for (QToolButton* b : {toolButton_find, toolButton_cut, toolButton_copy, toolButton_paste, toolButton_undo})
        b->setEnabled(false);
    form->scrollArea->hide();
    addAction(actionBack);
    form->listWidget_card->addAction(actionDelete);
    form->listWidget_card->addAction(actionAdd);
    form->scrollArea->addAction(actionSave);
}

void MainWindow::createToolbar()
{
    struct Button {
        QToolButton** button;
        const char* name;
        const char* icon;
        QString tip;
        void (MainWindow::*slot)();
    };
    const Button buttons[] = {
        {&toolButton_settings, "toolButton_settings", ":/32/oxygen/buttons/settings", tr("Настройки"),
         &MainWindow::onSettings},
        {&toolButton_help, "toolButton_help", ":/32/oxygen/buttons/help", tr("Справка"), &MainWindow::onHelp},
        {&toolButton_find, "toolButton_find", ":/32/oxygen/buttons/find", tr("Поиск"), &MainWindow::onSearch},
        {&toolButton_cut, "toolButton_cut", ":/32/oxygen/buttons/cut", tr("Вырезать"), &MainWindow::onCut},
        {&toolButton_copy, "toolButton_copy", ":/32/oxygen/buttons/copy", tr("Копировать"), &MainWindow::onCopy},
        {&toolButton_paste, "toolButton_paste", ":/32/oxygen/buttons/paste", tr("Вставить"), &MainWindow::onPaste},
        {&toolButton_delete, "toolButton_delete", ":/32/oxygen/buttons/clear", tr("Удалить карточку"),
         &MainWindow::onDelete},
        {&toolButton_undo, "toolButton_undo", ":/32/oxygen/buttons/undo", tr("Отменить"), &MainWindow::onUndo},
        {&toolButton_add, "toolButton_add", ":/32/oxygen/buttons/new", tr("Добавить карточку"), &MainWindow::onAdd},
        {&toolButton_edit, "toolButton_edit", ":/32/oxygen/buttons/edit", tr("Редактировать карточку"),
         &MainWindow::onEdit},
        {&toolButton_save, "toolButton_save", ":/32/oxygen/buttons/save", tr("Сохранить изменения"),
         &MainWindow::onSave},
    };
    int n = 0;
    for (const Button& b : buttons) {
        QToolButton* button = new QToolButton(form->mainToolBar);
        button->setObjectName(QLatin1String(b.name));
        button->setIcon(QIcon(QLatin1String(b.icon)));
        button->setToolTip(b.tip);
        form->mainToolBar->addWidget(button);
        connect(button, &QToolButton::clicked, this, b.slot);
        *b.button = button;
        ++n;
        if (n == 3 || n == 8)
            form->mainToolBar->addSeparator();
    }
    setToolbarState(TsNoStore);
}

void MainWindow::createCards()
{
    static_assert(std::size(cardTypes) == std::tuple_size<decltype(cards)>::value, "one editor per card type");
    for (size_t i = 0; i < cards.size(); ++i)
        cards[i] = cardTypes[i].make();
    currCard = cards[0];
    for (PatternCard* card : cards) {
        form->verticalLayout_card->addWidget(card);
        card->hide();
    }
}

void MainWindow::setToolbarState(ToolbarState state)
{
    bool del, add, edit, save;
    switch (state) {
    case TsNoStore:
        del = add = edit = save = false;
        for (QToolButton* b : {toolButton_find, toolButton_cut, toolButton_copy, toolButton_paste, toolButton_undo})
            b->setEnabled(false);
        break;
    case TsList:
        del = false, add = true, edit = false, save = false;
        break;
    case TsSelected:
        del = true, add = true, edit = false, save = false;
        break;
    case TsCard:
        del = true, add = false, edit = true, save = false;
        break;
    default:
        return;
    }
    toolButton_delete->setEnabled(del);
    toolButton_add->setEnabled(add);
    toolButton_edit->setEnabled(edit);
    toolButton_save->setEnabled(save);
}

bool MainWindow::isActiveApp(QWidget* widget)
{
    if (!widget)
        return false;
    if (widget->isActiveWindow())
        return true;
    const QList<QDialog*> dialogs = widget->findChildren<QDialog*>();
    for (QDialog* dialog : dialogs)
        if (dialog->isActiveWindow())
            return true;
    return false;
}

void MainWindow::clearWindow()
{
    statusBar()->showMessage(QString());
    hideCurrCard();
    setToolbarState(TsNoStore);
    form->listWidget_category->clear();
    form->listWidget_card->clear();
    session.close();
    currCategory = QString("");
    currFolder = safe.end();
    isCardSelected = false;
    isNewCard = false;
}

void MainWindow::onAuthTimeout()
{
    authTimer.stop();
    if (!repository.exists()) {
        QMessageBox::warning(this, tr("Предупреждение"), tr("Хранилище не создано.\nНеобходимо задать мастер-пароль."),
                             QMessageBox::Ok);
        ChangePswDlg first(ChangePswDlg::CmCreate, this);
        if (first.exec() != QDialog::Accepted) {
            loadSettings(settings);
            setToolbarState(TsNoStore);
            return;
        }
    }
    if (takeKey())
        login();
}

void MainWindow::login()
{
    const Repository::Status status = session.open();
    if (status != Repository::StOk && status != Repository::StEmpty) {
        // Only a store that read as empty gets the default categories; a
        // damaged one stays as it is on disk, and the session (closed)
        // never writes over it.
        currFolder = safe.end();
        setToolbarState(TsNoStore);
        // The record goes back to the file at close: keep what it holds.
        loadSettings(settings);
        QMessageBox::warning(this, tr("Предупреждение"),
                             tr("Хранилище повреждено и не может быть прочитано.\nФайл хранилища оставлен без изменений."),
                             QMessageBox::Ok);
        return;
    }
    currFolder = safe.begin();
    loadSettings(settings);
    createCategoryList();
    startLockTimer();
}

void MainWindow::startLockTimer()
{
    settings.lockInterval = SettingsDlg::lockIntervalInUse(settings.lockInterval);
    if (settings.lockInterval != 0)
        idleTimer.start(settings.lockInterval);
}

void MainWindow::onTimeout()
{
    if (isActiveApp(this))
        return;
    idleTimer.stop();
    // Nothing of the store stays on view behind the lock.
    form->centralWidget->hide();
    AuthPswDlg lock(AuthPswDlg::AmUnlock, this);
    if (lock.exec() != QDialog::Accepted) {
        QCoreApplication::exit(0);
        return;
    }
    form->centralWidget->show();
    startLockTimer();
}

void MainWindow::onRepositoryChanged()
{
    if (idleTimer.isActive())
        idleTimer.stop();
    clearWindow();
    settings = AppSettings();
    saveDefaultSettings();
    if (!repository.exists())
        return;
    if (takeKey())
        login();
}

void MainWindow::onSettings()
{
    SettingsDlg dlg(this);
    connect(&dlg, &SettingsDlg::repositoryChanged, this, &MainWindow::onRepositoryChanged);
    dlg.exec();
    settings = dlg.settings();
    if (idleTimer.isActive())
        idleTimer.stop();
    if (repository.exists())
        startLockTimer();
}

void MainWindow::onHelp()
{
    AboutDlg dlg(this);
    dlg.exec();
}

void MainWindow::onSearch()
{
    qDebug() << "onSearch";
}

void MainWindow::onCut()
{
    qDebug() << "onCut";
}

void MainWindow::onCopy()
{
    qDebug() << "onCopy";
}

void MainWindow::onPaste()
{
    qDebug() << "onPaste";
}

void MainWindow::onUndo()
{
    qDebug() << "onUndo";
}

void MainWindow::onBack()
{
    if (form->pushButton_back->isVisible())
        on_pushButton_back_clicked();
}

void MainWindow::onCardChanged(bool changed)
{
    toolButton_save->setEnabled(changed);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (idleTimer.isActive())
        idleTimer.stop();
    saveSettings(settings);
    // The program ends with the window: the key and the cards go now.
    clearWindow();
    event->accept();
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        form->retranslateUi(this);
    QMainWindow::changeEvent(event);
}

// ---- categories and cards ----

void MainWindow::createDefaultCategories()
{
    descr.clear();
    const struct {
        const char* name;
        const char* descr;
        const char* card;
        const char* icon;
    } defaults[] = {
        {QT_TR_NOOP("Компьютеры"), QT_TR_NOOP("Регистрационные данные домашних и рабочих компьютеров"),
         QT_TR_NOOP("Компьютер"), ":/32/oxygen/folders/computer"},
        {QT_TR_NOOP("Почта"), QT_TR_NOOP("Учётные записи электронной почты"), QT_TR_NOOP("Учётная запись"),
         ":/32/oxygen/folders/mail"},
        {QT_TR_NOOP("Сайты"), QT_TR_NOOP("Регистрационные данные сайтов"), QT_TR_NOOP("Учётная запись"),
         ":/32/oxygen/folders/site"},
    };
    for (const auto& d : defaults) {
        FieldMap category;
        category.insert(tr("name"), tr(d.name));
        category.insert(tr("descr"), tr(d.descr));
        category.insert(tr("card"), tr(d.card));
        category.insert(tr("icon"), QLatin1String(d.icon));
        descr.insert(tr(d.name), category);
    }
}

void MainWindow::createCategoryList()
{
    if (descr.isEmpty())
        createDefaultCategories();
    const int wanted = settings.categoryRow;
    form->listWidget_category->clear();
    for (auto it = descr.cbegin(); it != descr.cend(); ++it) {
        // The key is the name; a descriptor whose own "name" disagrees
        // must not send its cards to another folder.
        new QListWidgetItem(QIcon(it->value(tr("icon"))), it.key(), form->listWidget_category);
    }
    const int n = form->listWidget_category->count();
    const int row = (wanted >= 0 && wanted < n) ? wanted : 0;
    if (n > 0)
        form->listWidget_category->setCurrentRow(row);
}

void MainWindow::on_listWidget_category_currentItemChanged(QListWidgetItem* current, QListWidgetItem*)
{
    if (!current)
        return;
    hideCurrCard();
    currCategory = current->text();
    settings.categoryRow = form->listWidget_category->row(current);
    const FieldMap category = descr.value(currCategory);
    statusBar()->showMessage(category.value(tr("descr")));
    setCurrCard(category.value(tr("card")));
    const FolderMap::iterator folder = safe.find(currCategory);
    if (folder == safe.end()) {
        form->listWidget_card->clear();
        currFolder = safe.end();
    } else {
        currFolder = folder;
        fillCardList();
    }
    setToolbarState(TsList);
}

void MainWindow::fillCardList()
{
    form->listWidget_card->clear();
    if (currFolder == safe.end())
        return;
    // Cards share a handful of icons: each is loaded once per fill.
    QHash<QString, QIcon> icons;
    const QString iconLabel = tr("Иконка");
    const QString descrLabel = tr("Описание карточки");
    const QString lineBreak = tr("\n");
    for (auto it = currFolder->cbegin(); it != currFolder->cend(); ++it) {
        const QString path = it->value(iconLabel);
        auto icon = icons.find(path);
        if (icon == icons.end())
            icon = icons.insert(path, QIcon(path));
        // Made whole before it joins the list: an item made inside its list
        // is searched for in the list at each of its fields, which makes
        // the filling quadratic in the number of cards.
        form->listWidget_card->addItem(new QListWidgetItem(*icon, it.key() + lineBreak + it->value(descrLabel)));
    }
}

void MainWindow::setCurrCard(const QString& type)
{
    for (size_t i = 0; i < cards.size(); ++i)
        if (type == tr(cardTypes[i].name)) {
            currCard = cards[i];
            return;
        }
}

bool MainWindow::selectCardRow(int row)
{
    if (currFolder == safe.end() || row < 0 || row >= currFolder->size())
        return false;
    currEntry = std::next(currFolder->begin(), row);
    return true;
}

void MainWindow::on_listWidget_card_currentRowChanged(int row)
{
    isCardSelected = row == -1 ? false : selectCardRow(row);
}

void MainWindow::on_listWidget_card_pressed(const QModelIndex& index)
{
    isCardSelected = selectCardRow(index.row());
    setToolbarState(TsSelected);
}

void MainWindow::on_listWidget_card_activated(const QModelIndex&)
{
    if (!isCardSelected)
        return;
    setCurrCard(currEntry->value(tr("Тип карточки")));
    currCard->setData(*currEntry);
    showCurrCard();
    setToolbarState(TsCard);
}

void MainWindow::showCurrCard()
{
    for (PatternCard* card : cards)
        if (card != currCard)
            card->hide();
    if (currCard)
        currCard->show();
    form->listWidget_card->hide();
    form->scrollArea->show();
    form->pushButton_back->show();
}

void MainWindow::hideCurrCard()
{
    if (currCard)
        currCard->hide();
    form->scrollArea->hide();
    form->pushButton_back->hide();
    form->listWidget_card->show();
    isCardSelected = false;
    isNewCard = false;
    if (form->listWidget_card->count() == 0 || form->listWidget_card->currentRow() < 0)
        setToolbarState(TsList);
    else
        setToolbarState(TsSelected);
}

void MainWindow::returnHigher()
{
    if (currCard)
        currCard->setReadOnly(true);
    hideCurrCard();
    if (form->listWidget_card->count() > 0)
        form->listWidget_card->setFocus(Qt::OtherFocusReason);
}

void MainWindow::on_pushButton_back_clicked()
{
    returnHigher();
}

void MainWindow::onAdd()
{
    if (form->listWidget_category->count() > 0)
        addCard();
}

void MainWindow::addCard()
{
    isNewCard = true;
    currCard->erase();
    showCurrCard();
    onEdit();
}

void MainWindow::onEdit()
{
    currCard->setReadOnly(false);
    setToolbarState(isNewCard ? TsList : TsCard);
}

void MainWindow::onSave()
{
    // The save button follows the card's edits; with no card on view there
    // is nothing to save.
    if (form->scrollArea->isHidden())
        return;
    FieldMap fields = currCard->getData();
    if (fields.value(tr("Название карточки")).isEmpty()) {
        QMessageBox::warning(this, tr("Сохранение карточки"), tr("Не заполнено поле \"Название карточки\"."),
                             QMessageBox::Ok);
        return;
    }
    if (isNewCard)
        saveNewCard(fields);
    else
        saveCurrCard(fields);
    fillCardList();
}

void MainWindow::saveNewCard(FieldMap& fields)
{
    if (!session.saveCard(currCategory, QString(), fields.value(tr("Название карточки")), fields)) {
        refuseTakenName();
        return;
    }
    if (!writeStore())
        return;
    isNewCard = false;
    returnHigher();
    setToolbarState(TsList);
}

void MainWindow::saveCurrCard(FieldMap& fields)
{
    // The shown card is the one opened from the list; a refused save
    // refills the list (which drops the selection) but leaves the folder
    // as it was, so the entry still stands. Make sure of it.
    if (currFolder == safe.end())
        return;
    bool shown = false;
    for (auto it = currFolder->begin(); it != currFolder->end() && !shown; ++it)
        shown = it == currEntry;
    if (!shown)
        return;
    if (fields == *currEntry)
        return;
    // Another card of the category under the new name would be lost: the
    // session refuses it.
    const QString oldName = currEntry.key();
    if (!session.saveCard(currCategory, oldName, fields.value(tr("Название карточки")), fields)) {
        refuseTakenName();
        return;
    }
    isCardSelected = false;
    if (!writeStore()) {
        // The card stays open on the stored one, or, if another program
        // removed that meanwhile, as a new card.
        if (currFolder != safe.end() && (currEntry = currFolder->find(oldName)) != currFolder->end())
            return;
        isNewCard = true;
        return;
    }
    returnHigher();
    setToolbarState(TsList);
}

void MainWindow::refuseTakenName()
{
    QMessageBox::warning(this, tr("Сохранение карточки"), tr("Карточка с таким именем уже существует."),
                         QMessageBox::Ok);
    currCard->setReadOnly(false);
}

void MainWindow::onDelete()
{
    if (!isCardSelected)
        return;
    if (QMessageBox::question(this, tr("Удаление карточки"), tr("Вы уверены, что хотите удалить карточку?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
        == QMessageBox::No)
        return;
    if (!isCardSelected || currFolder == safe.end())
        return;
    session.deleteCard(currCategory, currEntry.key());
    isCardSelected = false;
    findCurrFolder();
    fillCardList();
    writeStore();
    fillCardList(); // with what another program may have written
    hideCurrCard();
}

bool MainWindow::takeKey()
{
    AuthPswDlg auth(AuthPswDlg::AmOpen, this);
    if (auth.exec() != QDialog::Accepted) {
        QCoreApplication::exit(0);
        return false;
    }
    session.setKey(auth.key());
    return true;
}

bool MainWindow::writeStore()
{
    for (;;) {
        const StoreSession::Outcome outcome = session.write();
        findCurrFolder(); // the maps may hold another program's content now
        switch (outcome) {
        case StoreSession::OcWritten:
        case StoreSession::OcNoStore:
            return true;
        case StoreSession::OcNameTaken:
            refuseTakenName();
            return false;
        case StoreSession::OcKeyChanged:
            // The store now has another key (the master password was
            // changed): nothing is written until the user gives the
            // password that opens it.
            if (!takeKey())
                return true;
            continue;
        case StoreSession::OcWriteFailed:
            QMessageBox::warning(this, tr("Сохранение карточки"),
                                 tr("Не удалось записать хранилище.\nИзменения сохранены только в памяти программы."),
                                 QMessageBox::Ok);
            return true;
        }
    }
}

void MainWindow::findCurrFolder()
{
    currFolder = currCategory.isEmpty() ? safe.end() : safe.find(currCategory);
}

void MainWindow::showListContextMenu(const QPoint& pos)
{
    if (form->listWidget_category->count() == 0)
        return;
    QListWidget* list = qobject_cast<QListWidget*>(sender());
    if (!list)
        list = form->listWidget_card;
    QMenu menu(list);
    menu.addAction(actionDelete);
    menu.addSeparator();
    menu.addAction(actionAdd);
    actionDelete->setEnabled(list->itemAt(pos) != nullptr);
    menu.exec(list->viewport()->mapToGlobal(pos));
}
