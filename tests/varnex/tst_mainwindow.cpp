// The main window on its main road, driven through its real widgets:
// first start, unlock, categories, computer and account cards added,
// edited, saved and deleted, duplicate names, a damaged
// store, a failing write, a key changed behind the window's back, cards
// saved by another copy of the program, two windows on one store, the idle
// lock and refused unlocks. The store file is read back after each change.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "varnex/interface/cards/patterncard.h"
#include "varnex/interface/mainwindow.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"
#include "varnex/model/storesession.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

#include <memory>

using D = ModalDriver;

namespace {

const QString Psw = QStringLiteral("abcd1");

QListWidget* categories(QWidget* w) { return D::find<QListWidget>(w, "listWidget_category"); }
QListWidget* cards(QWidget* w) { return D::find<QListWidget>(w, "listWidget_card"); }
void click(QWidget* w, const char* name) { QTest::mouseClick(D::find<QAbstractButton>(w, name), Qt::LeftButton); }

PatternCard* shownCard(QWidget* w)
{
    for (PatternCard* c : w->findChildren<PatternCard*>())
        if (c->isVisible())
            return c;
    return nullptr;
}

QStringList texts(QListWidget* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

// Enabled flags of delete, add, edit and save.
QString cardButtons(QWidget* w)
{
    QString s;
    for (const char* n : {"toolButton_delete", "toolButton_add", "toolButton_edit", "toolButton_save"})
        s += D::find<QToolButton>(w, n)->isEnabled() ? '1' : '0';
    return s;
}

D::Action unlockWith(const QString& password, QString* title = nullptr)
{
    return [=](QWidget* d) {
        if (title)
            *title = d->windowTitle();
        D::type(d, "lineEdit_psw", password);
        D::click(d, "pushButton_unlock");
    };
}

FolderMap storedCards(const QString& password = Psw)
{
    CardMap descr;
    FolderMap safe;
    Repository().read(Repository::keyFromPassword(password), descr, safe);
    return safe;
}

// In the card on view: type the texts into the named edits, then save.
void enter(QWidget* w, const QList<QPair<const char*, QString>>& values)
{
    for (const auto& v : values)
        D::type(shownCard(w), v.first, v.second);
    click(w, "toolButton_save");
}

void clickRow(QListWidget* l, int row)
{
    QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, l->visualItemRect(l->item(row)).center());
}

void openRow(QListWidget* l, int row)
{
    clickRow(l, row);
    QTest::keyClick(l, Qt::Key_Return);
}

QByteArray storeBytes() { return fileBytes(Repository::defaultPath()); }

// A right click as the user makes it: press and release, then the
// context-menu request at the same place.
void rightClick(QListWidget* l, const QPoint& pos)
{
    QTest::mousePress(l->viewport(), Qt::RightButton, Qt::NoModifier, pos);
    QTest::mouseRelease(l->viewport(), Qt::RightButton, Qt::NoModifier, pos);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, l->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(l->viewport(), &event);
}

const QByteArray DefaultSettings("\0\0\0\0\xff\xff\xff\xff\0\0\0\0", 12);

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;
    std::unique_ptr<MainWindow> window;

    // A window over a store under Psw (made when missing), unlocked.
    bool openWindow()
    {
        if (!Repository().exists() && !Repository().makeMainPsw(Psw))
            return false;
        D driver;
        driver.on("AuthPswDlg", unlockWith(Psw));
        window.reset(new MainWindow);
        window->show();
        const bool open = QTest::qWaitFor([&] { return driver.done() && categories(window.get())->count() > 0; }, 5000);
        QApplication::setActiveWindow(window.get()); // the program in the foreground
        return open && driver.errors.isEmpty();
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
    }
    void cleanup()
    {
        window.reset();
        scratch.reset();
    }

    // No store: the warning, the first password (cancelled once, which
    // leaves the window without a store), a wrong and then the right unlock;
    // the default categories, nothing written yet.
    void firstStart()
    {
        QVERIFY(saveSettings(AppSettings{5000, QString(), 0}));
        D cancel;
        cancel.box().on("ChangePswDlg", [](QWidget* d) { static_cast<QDialog*>(d)->reject(); });
        window.reset(new MainWindow);
        window->show();
        QTRY_VERIFY(cancel.done());
        QTest::qWait(30);
        QCOMPARE(cardButtons(window.get()), QStringLiteral("0000"));
        for (const char* n : {"toolButton_find", "toolButton_cut", "toolButton_copy", "toolButton_paste", "toolButton_undo"})
            QVERIFY(!D::find<QToolButton>(window.get(), n)->isEnabled());
        QVERIFY(D::find<QToolButton>(window.get(), "toolButton_settings")->isEnabled());
        QVERIFY(D::find<QToolButton>(window.get(), "toolButton_help")->isEnabled());
        QVERIFY(!Repository().exists());
        {
            // Without a store: no context menu, and no lock in the background
            // although the settings name an interval.
            D guard;
            rightClick(cards(window.get()), QPoint(5, 5));
            QWidget other;
            other.show();
            QApplication::setActiveWindow(&other);
            QTest::qWait(450);
            QVERIFY2(guard.errors.isEmpty(), qPrintable(guard.errors.join('\n')));
            QVERIFY(!window->lockTimer().isActive());
        }

        QString unlockTitle;
        D driver;
        driver.box()
            .on("ChangePswDlg",
                [](QWidget* d) {
                    D::type(d, "lineEdit_newpsw", Psw);
                    D::type(d, "lineEdit_newpsw2", Psw);
                    QTest::keyClick(D::find<QLineEdit>(d, "lineEdit_newpsw2"), Qt::Key_Return);
                })
            .on("AuthPswDlg", unlockWith("abcd2", &unlockTitle))
            .box()
            .on("AuthPswDlg", unlockWith(Psw));
        window.reset(new MainWindow);
        window->show();
        QCOMPARE(window->windowTitle(), QStringLiteral("Варнекс - биометрический хранитель секретов"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.done() && categories(window.get())->count() == 3, 5000);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(driver.boxes.size(), 2);
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Хранилище не создано.\nНеобходимо задать мастер-пароль."));
        QCOMPARE(driver.boxes[1].text, QStringLiteral("Введённый пароль неправилен.\nВведите заново ваш пароль."));
        QCOMPARE(unlockTitle, QStringLiteral("Открыть хранилище"));
        QCOMPARE(texts(categories(window.get())), (QStringList{"Компьютеры", "Почта", "Сайты"}));
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("Регистрационные данные домашних и рабочих компьютеров"));
        QCOMPARE(cardButtons(window.get()), QStringLiteral("0100"));
        QCOMPARE(storeBytes().size(), 48);
    }

    // Computer cards: add, a taken name, edit, a rename onto another card,
    // a real rename, an unchanged save, delete with No and Yes.
    void computerCards()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        click(w, "toolButton_add");
        QCOMPARE(shownCard(w)->metaObject()->className(), "CardComputer");
        enter(w, {{"lineEdit_name", "Ноутбук"}, {"lineEdit_descr", "Рабочий"}, {"lineEdit_login", "admin"},
                  {"lineEdit_passw", "pa55word"}});
        QCOMPARE(texts(cards(w)), QStringList{"Ноутбук\nРабочий"});
        QVERIFY(!shownCard(w));
        CardMap descr;
        FolderMap safe;
        QVERIFY(Repository().read(Repository::keyFromPassword(Psw), descr, safe));
        QCOMPARE(descr.keys(), (QStringList{"Компьютеры", "Почта", "Сайты"}));
        QCOMPARE(descr["Почта"]["card"], QStringLiteral("Учётная запись"));
        QCOMPARE(safe["Компьютеры"]["Ноутбук"]["Тип карточки"], QStringLiteral("Компьютер"));
        QCOMPARE(safe["Компьютеры"]["Ноутбук"]["Пароль"], QStringLiteral("pa55word"));

        QByteArray before = storeBytes();
        D taken;
        taken.box().box();
        click(w, "toolButton_add");
        PatternCard* card = shownCard(w);
        enter(w, {{"lineEdit_name", "Ноутбук"}});
        QTRY_COMPARE(taken.pending(), 1);
        QCOMPARE(taken.boxes.value(0).title, QStringLiteral("Сохранение карточки"));
        QCOMPARE(taken.boxes.value(0).text, QStringLiteral("Карточка с таким именем уже существует."));
        QCOMPARE(shownCard(w), card);
        QVERIFY(!D::find<QLineEdit>(card, "lineEdit_name")->isReadOnly());
        QCOMPARE(storeBytes(), before);
        enter(w, {{"lineEdit_name", "Desktop"}});
        QCOMPARE(texts(cards(w)), (QStringList{"Desktop\n", "Ноутбук\nРабочий"}));

        // Opened read-only, edited, saved.
        openRow(cards(w), 1);
        QCOMPARE(cardButtons(w), QStringLiteral("1010"));
        QVERIFY(D::find<QLineEdit>(shownCard(w), "lineEdit_name")->isReadOnly());
        QCOMPARE(D::find<QLineEdit>(shownCard(w), "lineEdit_login")->text(), QStringLiteral("admin"));
        click(w, "toolButton_edit");
        enter(w, {{"lineEdit_login", "root"}});
        QCOMPARE(storedCards()["Компьютеры"]["Ноутбук"]["Имя пользователя"], QStringLiteral("root"));

        // Renaming onto the other card is refused (neither is lost); a real
        // rename moves the card to its new place.
        before = storeBytes();
        openRow(cards(w), 1);
        click(w, "toolButton_edit");
        enter(w, {{"lineEdit_name", "Desktop"}});
        QTRY_VERIFY(taken.done());
        QCOMPARE(taken.boxes.value(1).text, QStringLiteral("Карточка с таким именем уже существует."));
        QCOMPARE(storeBytes(), before);
        enter(w, {{"lineEdit_name", "Alpha"}});
        QCOMPARE(texts(cards(w)), (QStringList{"Alpha\nРабочий", "Desktop\n"}));
        QCOMPARE(storedCards()["Компьютеры"].keys(), (QStringList{"Alpha", "Desktop"}));

        // An unchanged save writes nothing and the card stays open.
        before = storeBytes();
        openRow(cards(w), 0);
        click(w, "toolButton_edit");
        D::find<QAction>(w, "actionSave")->trigger();
        QCOMPARE(storeBytes(), before);
        QVERIFY(shownCard(w));
        click(w, "pushButton_back");
        QVERIFY(!shownCard(w));

        // Delete: No keeps the card, Yes removes it; the last one takes its
        // folder with it.
        D del;
        del.box(QMessageBox::No).box(QMessageBox::Yes).box(QMessageBox::Yes);
        clickRow(cards(w), 0);
        QCOMPARE(cardButtons(w), QStringLiteral("1100"));
        click(w, "toolButton_delete");
        QCOMPARE(cards(w)->count(), 2);
        click(w, "toolButton_delete");
        QCOMPARE(storedCards()["Компьютеры"].keys(), QStringList{"Desktop"});
        clickRow(cards(w), 0);
        click(w, "toolButton_delete");
        QTRY_VERIFY(del.done());
        QCOMPARE(del.boxes.value(0).title, QStringLiteral("Удаление карточки"));
        QCOMPARE(del.boxes.value(0).text, QStringLiteral("Вы уверены, что хотите удалить карточку?"));
        QCOMPARE(cards(w)->count(), 0);
        QVERIFY(!storedCards().contains("Компьютеры"));
    }

    // Account cards in "Почта": an empty name refused, the name of a card of
    // another category accepted; another category drops unsaved edits.
    void accountCards()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        click(w, "toolButton_add");
        enter(w, {{"lineEdit_name", "Box"}});
        clickRow(categories(w), 1);
        QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("Учётные записи электронной почты"));
        QCOMPARE(cards(w)->count(), 0);
        D empty;
        empty.box();
        click(w, "toolButton_add");
        QCOMPARE(shownCard(w)->metaObject()->className(), "CardUser");
        enter(w, {{"lineEdit_descr", "почта"}});
        QTRY_VERIFY(empty.done());
        QCOMPARE(empty.boxes.value(0).text, QStringLiteral("Не заполнено поле \"Название карточки\"."));
        enter(w, {{"lineEdit_name", "Box"}, {"lineEdit_mail", "me@example.com"}});
        QCOMPARE(texts(cards(w)), QStringList{"Box\nпочта"});
        FolderMap safe = storedCards();
        QCOMPARE(safe["Почта"]["Box"]["Тип карточки"], QStringLiteral("Учётная запись"));
        QCOMPARE(safe["Почта"]["Box"]["E-Mail"], QStringLiteral("me@example.com"));
        QCOMPARE(safe["Компьютеры"]["Box"]["Тип карточки"], QStringLiteral("Компьютер"));

        openRow(cards(w), 0);
        click(w, "toolButton_edit");
        D::type(shownCard(w), "lineEdit_mail", "lost@example.com");
        clickRow(categories(w), 2);
        QVERIFY(!shownCard(w));
        QCOMPARE(storedCards()["Почта"]["Box"]["E-Mail"], QStringLiteral("me@example.com"));
    }

    // The right key, but content that cannot be read: a warning, no
    // default categories, and the file stays exactly as it was.
    void damagedStore_data()
    {
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("cut short") << true;
        QTest::newRow("payload not maps") << false;
    }
    void damagedStore()
    {
        QFETCH(bool, cutShort);
        const QByteArray key = Repository::keyFromPassword(Psw);
        if (cutShort) {
            QVERIFY(Repository().write(key, CardMap{{"X", FieldMap{{"name", "X"}}}},
                                       FolderMap{{"X", CardMap{{"c", FieldMap{{"Название карточки", "c"}}}}}}));
            QVERIFY(putBytes(Repository::defaultPath(), storeBytes().chopped(10)));
        } else {
            QVERIFY(Repository().write(key, QByteArray("\x00\x00\x00\x05garbage", 11)));
        }
        const QByteArray before = storeBytes();
        QVERIFY(saveSettings(AppSettings{5000, QString(), 2}));
        D driver;
        driver.on("AuthPswDlg", unlockWith(Psw)).box();
        window.reset(new MainWindow);
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(driver.boxes.value(0).title, QStringLiteral("Предупреждение"));
        QCOMPARE(categories(window.get())->count(), 0);
        QCOMPARE(cardButtons(window.get()), QStringLiteral("0000"));
        window->close();
        QCOMPARE(storeBytes(), before);
        AppSettings kept;
        QVERIFY(loadSettings(kept));
        QCOMPARE(kept.lockInterval, 5000);
        QCOMPARE(kept.categoryRow, 2);
    }

    // A failing write, of a save or of a delete, is warned as a card save;
    // the change stays in memory and goes to the file with the next write
    // that succeeds.
    void failingWrite()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        const QByteArray before = storeBytes();
        D driver;
        driver.box();
        {
            FileSizeLimit limit(40);
            QVERIFY(limit.ok());
            click(w, "toolButton_add");
            enter(w, {{"lineEdit_name", "Kept"}});
            QTRY_VERIFY(driver.done());
        }
        QCOMPARE(driver.boxes.value(0).title, QStringLiteral("Сохранение карточки"));
        QCOMPARE(storeBytes(), before);
        QCOMPARE(texts(cards(w)), QStringList{"Kept\n"});
        click(w, "toolButton_add");
        enter(w, {{"lineEdit_name", "Next"}});
        QCOMPARE(storedCards()["Компьютеры"].keys(), (QStringList{"Kept", "Next"}));

        // A delete whose write fails: the same warning, the card gone from
        // memory only, and the next write takes the deletion along.
        const QByteArray two = storeBytes();
        D del;
        del.box(QMessageBox::Yes).box();
        {
            FileSizeLimit limit(40);
            QVERIFY(limit.ok());
            clickRow(cards(w), 0);
            click(w, "toolButton_delete");
            QTRY_VERIFY(del.done());
        }
        QCOMPARE(del.boxes.value(1).title, QStringLiteral("Сохранение карточки"));
        QCOMPARE(storeBytes(), two);
        QCOMPARE(texts(cards(w)), QStringList{"Next\n"});
        click(w, "toolButton_add");
        enter(w, {{"lineEdit_name", "Third"}});
        QCOMPARE(storedCards()["Компьютеры"].keys(), (QStringList{"Next", "Third"}));
    }

    // The master password changed under the open window: nothing is written
    // under the old key; the unlock dialog asks first, and the window keeps
    // the new key.
    void keyChangedBehindWindow()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        QVERIFY(Repository().changeKey(Psw, QStringLiteral("efgh2")));
        const QByteArray changed = storeBytes();
        bool untouchedWhileAsking = false;
        D driver;
        driver
            .on("AuthPswDlg",
                [&](QWidget* d) {
                    untouchedWhileAsking = storeBytes() == changed;
                    unlockWith(Psw)(d);
                })
            .box()
            .on("AuthPswDlg", unlockWith("efgh2"));
        click(w, "toolButton_add");
        enter(w, {{"lineEdit_name", "After"}});
        QTRY_VERIFY(driver.done());
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QVERIFY(untouchedWhileAsking);
        QCOMPARE(storedCards("efgh2")["Компьютеры"].keys(), QStringList{"After"});
        click(w, "toolButton_add");
        enter(w, {{"lineEdit_name", "Again"}});
        QCOMPARE(storedCards("efgh2")["Компьютеры"].size(), 2);
    }

    // Another copy of the program saved cards meanwhile: the window's next
    // save keeps and shows them; a name the other took is refused, and the
    // card stays open for another.
    void anotherProgramsCards()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        StoreSession other;
        other.setKey(Repository::keyFromPassword(Psw));
        QCOMPARE(other.open(), Repository::StEmpty);
        D taken;
        taken.box();
        for (const char* name : {"Theirs", "Taken"}) { // each saved there, then here
            QVERIFY(other.saveCard("Компьютеры", QString(), name, FieldMap{{"Название карточки", name}}));
            QCOMPARE(other.write(), StoreSession::OcWritten);
            click(w, "toolButton_add");
            enter(w, {{"lineEdit_name", name == QLatin1String("Theirs") ? "Mine" : name}});
        }
        enter(w, {{"lineEdit_name", "Newer"}});
        QTRY_VERIFY(taken.done());
        QCOMPARE(taken.boxes.value(0).text, QStringLiteral("Карточка с таким именем уже существует."));
        QCOMPARE(texts(cards(w)), (QStringList{"Mine\n", "Newer\n", "Taken\n", "Theirs\n"}));
        QCOMPARE(storedCards()["Компьютеры"].keys(), (QStringList{"Mine", "Newer", "Taken", "Theirs"}));
    }

    // Two windows on one store: each save keeps what the other wrote, and
    // a window that still shows an old card does not write it back.
    void twoWindowsOnOneStore()
    {
        QVERIFY(openWindow());
        MainWindow* a = window.get();
        std::unique_ptr<MainWindow> second(new MainWindow);
        {
            D driver;
            driver.on("AuthPswDlg", unlockWith(Psw));
            second->show();
            QVERIFY(QTest::qWaitFor([&] { return driver.done() && categories(second.get())->count() > 0; }, 5000));
        }
        MainWindow* b = second.get();
        click(a, "toolButton_add");
        enter(a, {{"lineEdit_name", "A1"}, {"lineEdit_login", "old"}});
        click(b, "toolButton_add");
        enter(b, {{"lineEdit_name", "B1"}});
        QCOMPARE(texts(cards(b)), (QStringList{"A1\n", "B1\n"}));
        openRow(cards(a), 0);
        click(a, "toolButton_edit");
        enter(a, {{"lineEdit_login", "new"}});
        D del;
        del.box(QMessageBox::Yes);
        clickRow(cards(b), 1);
        click(b, "toolButton_delete");
        QTRY_VERIFY(del.done());
        QCOMPARE(texts(cards(b)), QStringList{"A1\n"});
        QCOMPARE(storedCards()["Компьютеры"].keys(), QStringList{"A1"});
        QCOMPARE(storedCards()["Компьютеры"]["A1"]["Имя пользователя"], QStringLiteral("new"));
    }

    // The idle lock comes only in the background; the lists are hidden
    // behind it and come back after the password. The stored category row
    // chooses the current category.
    void idleLock()
    {
        QVERIFY(Repository().makeMainPsw(Psw));
        QVERIFY(saveSettings(AppSettings{5000, QString(), 2}));
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        QCOMPARE(w->lockTimer().interval(), 5000);
        w->lockTimer().start(200); // not a choice of the settings: hastened here
        QCOMPARE(categories(w)->currentItem()->text(), QStringLiteral("Сайты"));
        {
            D guard; // a lock dialog here would be an error
            QTest::qWait(400);
            QVERIFY(guard.errors.isEmpty());
        }
        {
            // A message box of the window in front, the window itself not
            // active: no lock either.
            // Waits for the box to be the active window however slow the
            // build, then keeps it up for more than two lock intervals.
            bool boxActive = false, boxStillOnTop = false;
            auto closeBox = [&] {
                QWidget* b = QApplication::activeModalWidget();
                boxStillOnTop = b && b->inherits("QMessageBox");
                if (QDialog* d = qobject_cast<QDialog*>(b))
                    d->reject();
            };
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                QWidget* b = QApplication::activeModalWidget();
                if (!b || !b->inherits("QMessageBox") || QApplication::activeWindow() != b)
                    return;
                poll.stop();
                boxActive = !w->isActiveWindow();
                QTimer::singleShot(500, closeBox);
            });
            poll.start(10);
            // Whatever is still up after the wait goes, so that a lock
            // opened in front of the box fails the test rather than hangs it.
            QTimer giveUp;
            QObject::connect(&giveUp, &QTimer::timeout, [&] {
                if (poll.isActive())
                    closeBox();
            });
            giveUp.start(10000);
            click(w, "toolButton_add");
            D::find<QAction>(w, "actionSave")->trigger(); // empty name: the warning
            QVERIFY(boxActive);
            QVERIFY(boxStillOnTop);
            click(w, "pushButton_back");
            QApplication::setActiveWindow(w);
        }
        QString title;
        bool listsShown = true;
        D driver;
        driver.on("AuthPswDlg", [&](QWidget* d) {
            listsShown = categories(w)->isVisible() || cards(w)->isVisible();
            unlockWith(Psw, &title)(d);
        });
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(title, QStringLiteral("Снятие блокировки"));
        QVERIFY(!listsShown);
        QTRY_VERIFY(categories(w)->isVisible());
        QApplication::setActiveWindow(w);
    }

    // The stored category row chooses the first current category when it
    // names one; a lock interval of 0 never locks, even in the background.
    void categoryRowAtLogin_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("current");
        QTest::newRow("third") << 2 << "Сайты";
        QTest::newRow("beyond") << 5 << "Компьютеры";
        QTest::newRow("negative") << -1 << "Компьютеры";
    }
    void categoryRowAtLogin()
    {
        QFETCH(int, row);
        QVERIFY(Repository().makeMainPsw(Psw));
        QVERIFY(saveSettings(AppSettings{0, QString(), row}));
        QVERIFY(openWindow());
        QTEST(categories(window.get())->currentItem()->text(), "current");
        D guard;
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QTest::qWait(400);
        QVERIFY2(guard.errors.isEmpty(), qPrintable(guard.errors.join('\n')));
    }

    // The card list's context menu: its entries; delete disabled over empty
    // space, which also holds for the Delete key until a menu is opened
    // over a card; delete from the menu over a card. Going back from a card
    // leaves the delete button on with nothing selected.
    void contextMenu()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        for (const char* name : {"A", "B"}) {
            click(w, "toolButton_add");
            enter(w, {{"lineEdit_name", name}});
        }
        QListWidget* list = cards(w);
        QCOMPARE(texts(list), (QStringList{"A\n", "B\n"}));
        QAction* del = D::find<QAction>(w, "actionDelete");

        openRow(list, 0);
        click(w, "pushButton_back");
        QCOMPARE(cardButtons(w), QStringLiteral("1100"));
        {
            D guard; // no question: nothing counts as selected
            click(w, "toolButton_delete");
            QVERIFY2(guard.errors.isEmpty(), qPrintable(guard.errors.join('\n')));
        }

        QStringList entries;
        bool delEnabled = true;
        D empty;
        empty.on("QMenu", [&](QWidget* m) {
            for (QAction* a : static_cast<QMenu*>(m)->actions())
                entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
            delEnabled = del->isEnabled();
            m->close();
        });
        rightClick(list, QPoint(5, list->viewport()->height() - 5));
        QTRY_VERIFY(empty.done());
        QCOMPARE(entries, (QStringList{"Удалить карточку", "-", "Добавить карточку"}));
        QVERIFY(!delEnabled);
        clickRow(list, 0);
        QApplication::setActiveWindow(w); // popups leave no active window offscreen
        {
            D guard;
            QTest::keyClick(list, Qt::Key_Delete);
            QVERIFY2(guard.errors.isEmpty(), qPrintable(guard.errors.join('\n')));
        }
        QCOMPARE(list->count(), 2);

        D over;
        over.on("QMenu",
                [&](QWidget* m) {
                    delEnabled = del->isEnabled();
                    QTest::mouseClick(m, Qt::LeftButton, Qt::NoModifier,
                                      static_cast<QMenu*>(m)->actionGeometry(del).center());
                })
            .box(QMessageBox::Yes);
        rightClick(list, list->visualItemRect(list->item(1)).center());
        QTRY_VERIFY(over.done());
        QVERIFY2(over.errors.isEmpty(), qPrintable(over.errors.join('\n')));
        QVERIFY(delEnabled);
        QCOMPARE(over.boxes.value(0).title, QStringLiteral("Удаление карточки"));
        QCOMPARE(texts(list), QStringList{"A\n"});
        QCOMPARE(storedCards()["Компьютеры"].keys(), QStringList{"A"});

        // The menu over a card left delete on: the Delete key asks again.
        D key;
        key.box(QMessageBox::No);
        clickRow(list, 0);
        QApplication::setActiveWindow(w);
        QTest::keyClick(list, Qt::Key_Delete);
        QTRY_VERIFY(key.done());
        QCOMPARE(key.boxes.value(0).text, QStringLiteral("Вы уверены, что хотите удалить карточку?"));
        QCOMPARE(list->count(), 1);
    }

    // The idle lock runs with the interval that the settings dialog shows:
    // one that is not among its choices counts as never, and is written so.
    void lockIntervalAtLogin_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("used");
        QTest::newRow("5 min") << 300000 << 300000;
        QTest::newRow("unknown") << 1234 << 0;
        QTest::newRow("negative") << -5000 << 0;
    }
    void lockIntervalAtLogin()
    {
        QFETCH(int, stored);
        QFETCH(int, used);
        QVERIFY(saveSettings(AppSettings{stored, QString(), 0}));
        QVERIFY(openWindow());
        QCOMPARE(window->lockTimer().isActive(), used != 0);
        QCOMPARE(window->lockTimer().isActive() ? window->lockTimer().interval() : 0, used);
        window->close();
        AppSettings written;
        QVERIFY(loadSettings(written));
        QCOMPARE(written.lockInterval, used);
    }

    // A store restored or erased from the settings dialog leaves the
    // settings at their defaults, not at the dialog's record from before.
    void settingsAfterStoreChange_data()
    {
        QTest::addColumn<bool>("restored");
        QTest::newRow("restored") << true;
        QTest::newRow("erased") << false;
    }
    void settingsAfterStoreChange()
    {
        QFETCH(bool, restored);
        QVERIFY(Repository("backup.bpk").makeMainPsw("efgh2"));
        QVERIFY(saveSettings(AppSettings{60000, "x.nbc", 2}));
        QVERIFY(openWindow());
        D driver;
        driver.on("SettingsDlg", [restored](QWidget* d) {
            D::click(d, restored ? "toolButton_loadBackup" : "toolButton_eraseRep");
        });
        driver.box(QMessageBox::Yes);
        if (restored)
            driver.file(QDir::current().absoluteFilePath("backup.bpk")).on("AuthPswDlg", unlockWith("efgh2"));
        driver.on("SettingsDlg", [](QWidget* d) { static_cast<QDialog*>(d)->accept(); });
        click(window.get(), "toolButton_settings");
        QTRY_VERIFY(driver.done());
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QVERIFY(!window->lockTimer().isActive());
        window->close();
        QCOMPARE(fileBytes(settingsPath()), DefaultSettings);
    }

    // The store changed from the settings: the window is emptied and the
    // settings reset; an erased store brings no unlock dialog, a replaced one
    // the unlock dialog and its content.
    void storeChanged_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("erased") << false;
        QTest::newRow("replaced") << true;
    }
    void storeChanged()
    {
        QFETCH(bool, replaced);
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        click(w, "toolButton_add");
        enter(w, {{"lineEdit_name", "Old"}});
        QVERIFY(saveSettings(AppSettings{60000, "x.nbc", 1}));
        QString title;
        D driver;
        if (replaced) {
            QVERIFY(Repository().write(Repository::keyFromPassword("efgh2"),
                                       CardMap{{"Z", FieldMap{{"name", "Z"}, {"descr", "zz"}, {"card", "Заметки"},
                                                               {"icon", ":/32/oxygen/folders/note"}}}},
                                       FolderMap{{"Z", CardMap{{"z1", FieldMap{{"Название карточки", "z1"},
                                                                               {"Тип карточки", "Компьютер"}}},
                                                               {"z2", FieldMap{{"Название карточки", "z2"},
                                                                               {"Тип карточки", "Неизвестный"}}}}}}));
            driver.on("AuthPswDlg", unlockWith("efgh2", &title));
        } else {
            QVERIFY(QFile::remove(Repository::defaultPath()));
        }
        QVERIFY(QMetaObject::invokeMethod(w, "onRepositoryChanged"));
        QTRY_VERIFY(driver.done());
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(fileBytes(settingsPath()), DefaultSettings);
        if (replaced) {
            QCOMPARE(title, QStringLiteral("Открыть хранилище"));
            QCOMPARE(texts(categories(w)), QStringList{"Z"});
            QCOMPARE(texts(cards(w)), (QStringList{"z1\n", "z2\n"}));
            QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("zz"));
            // A card opens in the widget of its type; a type that no widget
            // has keeps the widget of the last card opened.
            openRow(cards(w), 0);
            QCOMPARE(shownCard(w)->metaObject()->className(), "CardComputer");
            click(w, "pushButton_back");
            openRow(cards(w), 1);
            QCOMPARE(shownCard(w)->metaObject()->className(), "CardComputer");
            QCOMPARE(D::find<QLineEdit>(shownCard(w), "lineEdit_name")->text(), QStringLiteral("z2"));
        } else {
            QTest::qWait(30);
            QCOMPARE(categories(w)->count(), 0);
            QCOMPARE(cards(w)->count(), 0);
            QCOMPARE(cardButtons(w), QStringLiteral("0000"));
            QCOMPARE(w->statusBar()->currentMessage(), QString());
            QVERIFY(!Repository().exists());
        }
    }

    // Refusing the unlock dialog, at start or at the lock, ends the
    // program's loop with 0 and writes nothing.
    void refusedUnlockEndsProgram_data()
    {
        QTest::addColumn<int>("lockInterval");
        QTest::newRow("at start") << 0;
        QTest::newRow("at the lock") << 5000;
    }
    void refusedUnlockEndsProgram()
    {
        QFETCH(int, lockInterval);
        QVERIFY(Repository().makeMainPsw(Psw));
        QVERIFY(saveSettings(AppSettings{lockInterval, QString(), 0}));
        const QByteArray before = storeBytes();
        D driver;
        QWidget other;
        if (lockInterval)
            driver.on("AuthPswDlg", [&](QWidget* d) {
                unlockWith(Psw)(d);
                other.show();
                QApplication::setActiveWindow(&other);
                QTimer::singleShot(0, [this] { window->lockTimer().start(100); }); // after the login
            });
        driver.on("AuthPswDlg", [](QWidget* d) { D::click(d, "toolButton_close"); });
        window.reset(new MainWindow);
        window->show();
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QVERIFY(driver.done());
        QCOMPARE(storeBytes(), before);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
