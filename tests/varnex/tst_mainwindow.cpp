// The main window on its main road, driven through its real widgets:
// first start, unlock, categories, computer and account cards added,
// edited, saved and deleted, duplicate names, the context menu, a damaged
// store, a failing write and a key changed behind the window's back. The
// store file is read back after each change.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "varnex/interface/cards/patterncard.h"
#include "varnex/interface/mainwindow.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

const QString Psw = QStringLiteral("abcd1");

QListWidget* list(QWidget* w, const char* name)
{
    return w->findChild<QListWidget*>(QLatin1String(name));
}
QListWidget* categories(QWidget* w) { return list(w, "listWidget_category"); }
QListWidget* cards(QWidget* w) { return list(w, "listWidget_card"); }
QToolButton* button(QWidget* w, const char* name)
{
    return w->findChild<QToolButton*>(QLatin1String(name));
}
QAction* action(QWidget* w, const char* name)
{
    return w->findChild<QAction*>(QLatin1String(name));
}

// The card widget on view, if any.
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

// The enabled flags of delete, add, edit and save.
QString cardButtons(QWidget* w)
{
    QString s;
    for (const char* n : {"toolButton_delete", "toolButton_add", "toolButton_edit", "toolButton_save"})
        s += button(w, n)->isEnabled() ? '1' : '0';
    return s;
}

ModalDriver::Action unlockWith(const QString& password, QString* title = nullptr)
{
    return [=](QWidget* d) {
        if (title)
            *title = d->windowTitle();
        ModalDriver::type(d, "lineEdit_psw", password);
        ModalDriver::click(d, "pushButton_unlock");
    };
}

struct Content {
    Repository::Status status = Repository::StMissing;
    CardMap descr;
    FolderMap safe;
};
Content readStore(const QString& password = Psw)
{
    Content c;
    Repository().read(Repository::keyFromPassword(password), c.descr, c.safe, &c.status);
    return c;
}

void fillCard(PatternCard* card, const QList<QPair<const char*, QString>>& values)
{
    for (const auto& v : values)
        ModalDriver::type(card, v.first, v.second);
}

void clickRow(QListWidget* l, int row)
{
    QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, l->visualItemRect(l->item(row)).center());
}

// Press on a row, then Enter: the card opens.
void openRow(QListWidget* l, int row)
{
    clickRow(l, row);
    QTest::keyClick(l, Qt::Key_Return);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* tmp = nullptr;
    QString oldCwd;
    std::unique_ptr<MainWindow> window;

    // A store under Psw, a window on it, unlocked.
    bool openWindow()
    {
        if (!Repository().exists() && !Repository().makeMainPsw(Psw))
            return false;
        ModalDriver driver;
        driver.on("AuthPswDlg", unlockWith(Psw));
        window.reset(new MainWindow);
        window->show();
        if (!QTest::qWaitFor([&] { return driver.done() && categories(window.get())->count() > 0; }, 5000))
            return false;
        return driver.errors.isEmpty();
    }

    QString errors(const ModalDriver& d) { return d.errors.join('\n'); }

private slots:
    void init()
    {
        oldCwd = QDir::currentPath();
        tmp = new QTemporaryDir;
        QDir::setCurrent(tmp->path());
        QVERIFY(QDir().mkpath(QStringLiteral("data")));
    }
    void cleanup()
    {
        window.reset();
        QDir::setCurrent(oldCwd);
        delete tmp;
        tmp = nullptr;
    }

    // No store: the warning, the first password, a wrong and then the right
    // unlock; the default categories, nothing written yet.
    void firstStart()
    {
        QString unlockTitle;
        ModalDriver driver;
        driver.box()
            .on("ChangePswDlg",
                [](QWidget* d) {
                    ModalDriver::type(d, "lineEdit_newpsw", Psw);
                    ModalDriver::type(d, "lineEdit_newpsw2", Psw);
                    QTest::keyClick(d->findChild<QLineEdit*>("lineEdit_newpsw2"), Qt::Key_Return);
                })
            .on("AuthPswDlg", unlockWith(QStringLiteral("abcd2"), &unlockTitle))
            .box()
            .on("AuthPswDlg", unlockWith(Psw));
        window.reset(new MainWindow);
        window->show();
        QCOMPARE(window->windowTitle(), QStringLiteral("Варнекс - биометрический хранитель секретов"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.done() && categories(window.get())->count() == 3, 5000);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(errors(driver)));
        QCOMPARE(driver.boxes.size(), 2);
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Хранилище не создано.\nНеобходимо задать мастер-пароль."));
        QCOMPARE(driver.boxes[1].text, QStringLiteral("Введённый пароль неправилен.\nВведите заново ваш пароль."));
        QCOMPARE(unlockTitle, QStringLiteral("Открыть хранилище"));
        QCOMPARE(texts(categories(window.get())), (QStringList{"Компьютеры", "Почта", "Сайты"}));
        QCOMPARE(categories(window.get())->currentRow(), 0);
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("Регистрационные данные домашних и рабочих компьютеров"));
        QCOMPARE(cardButtons(window.get()), QStringLiteral("0100"));
        QVERIFY(button(window.get(), "toolButton_settings")->isEnabled());
        QVERIFY(!button(window.get(), "toolButton_find")->isEnabled());
        QCOMPARE(fileBytes(Repository::defaultPath()).size(), 48);
    }

    void firstPasswordCancelled()
    {
        ModalDriver driver;
        driver.box().on("ChangePswDlg", [](QWidget* d) { static_cast<QDialog*>(d)->reject(); });
        window.reset(new MainWindow);
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
        QTest::qWait(50);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(errors(driver)));
        QCOMPARE(cardButtons(window.get()), QStringLiteral("0000"));
        for (const char* n : {"toolButton_find", "toolButton_cut", "toolButton_copy", "toolButton_paste", "toolButton_undo"})
            QVERIFY(!button(window.get(), n)->isEnabled());
        QVERIFY(button(window.get(), "toolButton_settings")->isEnabled());
        QVERIFY(button(window.get(), "toolButton_help")->isEnabled());
        QVERIFY(!Repository().exists());
        QCOMPARE(categories(window.get())->count(), 0);
    }

    void categoryRowFromSettings_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("current");
        QTest::newRow("third") << 2 << "Сайты";
        QTest::newRow("past the end") << 5 << "Компьютеры";
        QTest::newRow("negative") << -1 << "Компьютеры";
    }
    void categoryRowFromSettings()
    {
        QFETCH(int, stored);
        QFETCH(QString, current);
        QVERIFY(Repository().makeMainPsw(Psw));
        AppSettings s;
        s.categoryRow = stored;
        QVERIFY(saveSettings(s));
        QVERIFY(openWindow());
        QCOMPARE(categories(window.get())->currentItem()->text(), current);
    }

    // Computer cards: add, duplicate name, edit, rename onto another card,
    // unchanged save, delete with No and Yes; the file after each step.
    void computerCards()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
        PatternCard* card = shownCard(w);
        QVERIFY(card);
        QCOMPARE(card->metaObject()->className(), "CardComputer");
        QVERIFY(!w->findChild<QScrollArea*>("scrollArea")->isHidden());
        fillCard(card, {{"lineEdit_name", "Ноутбук"}, {"lineEdit_descr", "Рабочий"},
                        {"lineEdit_login", "admin"}, {"lineEdit_passw", "pa55word"}});
        QVERIFY(button(w, "toolButton_save")->isEnabled());
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QCOMPARE(texts(cards(w)), QStringList{"Ноутбук\nРабочий"});
        QVERIFY(w->findChild<QScrollArea*>("scrollArea")->isHidden());
        Content c = readStore();
        QCOMPARE(c.status, Repository::StOk);
        QCOMPARE(c.descr.keys(), (QStringList{"Компьютеры", "Почта", "Сайты"}));
        QCOMPARE(c.descr["Почта"]["card"], QStringLiteral("Учётная запись"));
        const FieldMap laptop = c.safe["Компьютеры"]["Ноутбук"];
        QCOMPARE(laptop["Тип карточки"], QStringLiteral("Компьютер"));
        QCOMPARE(laptop["Имя пользователя"], QStringLiteral("admin"));
        QCOMPARE(laptop["Пароль"], QStringLiteral("pa55word"));

        // The same name again: refused, the card stays open and editable.
        QByteArray before = fileBytes(Repository::defaultPath());
        ModalDriver driver;
        driver.box();
        QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
        card = shownCard(w);
        fillCard(card, {{"lineEdit_name", "Ноутбук"}, {"lineEdit_login", "guest"}});
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QTRY_VERIFY(driver.done());
        QCOMPARE(driver.boxes.value(0).title, QStringLiteral("Сохранение карточки"));
        QCOMPARE(driver.boxes.value(0).text, QStringLiteral("Карточка с таким именем уже существует."));
        QCOMPARE(shownCard(w), card);
        QVERIFY(!card->findChild<QLineEdit*>("lineEdit_name")->isReadOnly());
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
        ModalDriver::type(card, "lineEdit_name", QStringLiteral("Desktop"));
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QCOMPARE(texts(cards(w)), (QStringList{"Desktop\n", "Ноутбук\nРабочий"}));
        QCOMPARE(readStore().safe["Компьютеры"].keys(), (QStringList{"Desktop", "Ноутбук"}));

        // Open read-only, edit, save.
        openRow(cards(w), 1);
        card = shownCard(w);
        QVERIFY(card);
        QCOMPARE(cardButtons(w), QStringLiteral("1010"));
        QVERIFY(card->findChild<QLineEdit*>("lineEdit_name")->isReadOnly());
        QCOMPARE(card->findChild<QLineEdit*>("lineEdit_login")->text(), QStringLiteral("admin"));
        QTest::mouseClick(button(w, "toolButton_edit"), Qt::LeftButton);
        ModalDriver::type(card, "lineEdit_login", QStringLiteral("root"));
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QCOMPARE(readStore().safe["Компьютеры"]["Ноутбук"]["Имя пользователя"], QStringLiteral("root"));

        // Renaming onto the other card is refused; neither card is lost.
        before = fileBytes(Repository::defaultPath());
        openRow(cards(w), 1);
        QTest::mouseClick(button(w, "toolButton_edit"), Qt::LeftButton);
        card = shownCard(w);
        ModalDriver::type(card, "lineEdit_name", QStringLiteral("Desktop"));
        ModalDriver rename;
        rename.box();
        action(w, "actionSave")->trigger();
        QTRY_VERIFY(rename.done());
        QCOMPARE(rename.boxes.value(0).text, QStringLiteral("Карточка с таким именем уже существует."));
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
        QVERIFY(!card->findChild<QLineEdit*>("lineEdit_name")->isReadOnly());
        // A real rename moves the card to its new place in the list.
        ModalDriver::type(card, "lineEdit_name", QStringLiteral("Alpha"));
        action(w, "actionSave")->trigger();
        QCOMPARE(texts(cards(w)), (QStringList{"Alpha\nРабочий", "Desktop\n"}));
        QCOMPARE(readStore().safe["Компьютеры"].keys(), (QStringList{"Alpha", "Desktop"}));

        // Saving an unchanged card writes nothing and keeps it open.
        before = fileBytes(Repository::defaultPath());
        openRow(cards(w), 0);
        QTest::mouseClick(button(w, "toolButton_edit"), Qt::LeftButton);
        action(w, "actionSave")->trigger();
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
        QVERIFY(shownCard(w));
        QTest::mouseClick(w->findChild<QPushButton*>("pushButton_back"), Qt::LeftButton);
        QVERIFY(!shownCard(w));

        // Delete: No keeps it, Yes removes it; the last card takes the folder.
        ModalDriver del;
        del.box(QMessageBox::No).box(QMessageBox::Yes).box(QMessageBox::Yes);
        clickRow(cards(w), 0);
        QCOMPARE(cardButtons(w), QStringLiteral("1100"));
        QTest::mouseClick(button(w, "toolButton_delete"), Qt::LeftButton);
        QCOMPARE(cards(w)->count(), 2);
        QTest::mouseClick(button(w, "toolButton_delete"), Qt::LeftButton);
        QCOMPARE(texts(cards(w)), QStringList{"Desktop\n"});
        QCOMPARE(readStore().safe["Компьютеры"].keys(), QStringList{"Desktop"});
        clickRow(cards(w), 0);
        QTest::mouseClick(button(w, "toolButton_delete"), Qt::LeftButton);
        QTRY_VERIFY(del.done());
        QCOMPARE(del.boxes.value(0).title, QStringLiteral("Удаление карточки"));
        QCOMPARE(del.boxes.value(0).text, QStringLiteral("Вы уверены, что хотите удалить карточку?"));
        QCOMPARE(cards(w)->count(), 0);
        c = readStore();
        QVERIFY(!c.safe.contains("Компьютеры"));
        QCOMPARE(c.descr.size(), 3);
    }

    // Account cards in "Почта"; the same name as in another category is
    // accepted; an empty name is refused.
    void accountCards()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
        fillCard(shownCard(w), {{"lineEdit_name", "Box"}});
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);

        clickRow(categories(w), 1);
        QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("Учётные записи электронной почты"));
        QCOMPARE(cards(w)->count(), 0);
        ModalDriver empty;
        empty.box();
        QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
        PatternCard* card = shownCard(w);
        QCOMPARE(card->metaObject()->className(), "CardUser");
        fillCard(card, {{"lineEdit_descr", "нет имени"}});
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QTRY_VERIFY(empty.done());
        QCOMPARE(empty.boxes.value(0).text, QStringLiteral("Не заполнено поле \"Название карточки\"."));
        fillCard(card, {{"lineEdit_name", "Box"}, {"lineEdit_mail", "me@example.com"}, {"lineEdit_passw", "Qwerty12"}});
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QCOMPARE(texts(cards(w)), QStringList{"Box\nнет имени"});
        const Content c = readStore();
        QCOMPARE(c.safe["Почта"]["Box"]["Тип карточки"], QStringLiteral("Учётная запись"));
        QCOMPARE(c.safe["Почта"]["Box"]["E-Mail"], QStringLiteral("me@example.com"));
        QCOMPARE(c.safe["Компьютеры"]["Box"]["Тип карточки"], QStringLiteral("Компьютер"));

        // Another category while a card is open drops its edits.
        openRow(cards(w), 0);
        QTest::mouseClick(button(w, "toolButton_edit"), Qt::LeftButton);
        ModalDriver::type(shownCard(w), "lineEdit_mail", QStringLiteral("lost@example.com"));
        clickRow(categories(w), 2);
        QVERIFY(!shownCard(w));
        QCOMPARE(readStore().safe["Почта"]["Box"]["E-Mail"], QStringLiteral("me@example.com"));
        w->close();
        AppSettings s;
        QVERIFY(loadSettings(s));
        QCOMPARE(s.categoryRow, 2);
    }

    void contextMenu()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
        fillCard(shownCard(w), {{"lineEdit_name", "One"}});
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QListWidget* l = cards(w);
        QList<bool> deleteEnabled;
        QStringList entries;
        ModalDriver driver;
        auto look = [&](QWidget* m) {
            deleteEnabled << action(w, "actionDelete")->isEnabled();
            entries.clear();
            for (QAction* a : static_cast<QMenu*>(m)->actions())
                entries << a->text();
            static_cast<QMenu*>(m)->close();
        };
        driver.on("QMenu", look).on("QMenu", look);
        for (const QPoint& pos : {QPoint(l->viewport()->width() / 2, l->viewport()->height() - 5),
                                  l->visualItemRect(l->item(0)).center()}) {
            QContextMenuEvent ev(QContextMenuEvent::Mouse, pos, l->viewport()->mapToGlobal(pos));
            QApplication::sendEvent(l->viewport(), &ev);
        }
        QTRY_VERIFY(driver.done());
        QCOMPARE(deleteEnabled, (QList<bool>{false, true}));
        QCOMPARE(entries, (QStringList{"Удалить карточку", "", "Добавить карточку"}));
    }

    // Right key, but the content cannot be read: a warning, no default
    // categories, and the file stays exactly as it was.
    void damagedStore_data()
    {
        QTest::addColumn<int>("damage");
        QTest::newRow("cut short") << 0;
        QTest::newRow("payload not maps") << 1;
    }
    void damagedStore()
    {
        QFETCH(int, damage);
        const QByteArray key = Repository::keyFromPassword(Psw);
        QVERIFY(QDir().mkpath("data"));
        if (damage == 0) {
            CardMap d{{"X", FieldMap{{"name", "X"}}}};
            FolderMap s{{"X", CardMap{{"c", FieldMap{{"Название карточки", "c"}}}}}};
            QVERIFY(Repository().write(key, d, s));
            QByteArray bytes = fileBytes(Repository::defaultPath());
            bytes.chop(10);
            QVERIFY(putBytes(Repository::defaultPath(), bytes));
        } else {
            QVERIFY(Repository().write(key, QByteArray("\x00\x00\x00\x05garbage", 11)));
        }
        const QByteArray before = fileBytes(Repository::defaultPath());
        ModalDriver driver;
        driver.on("AuthPswDlg", unlockWith(Psw)).box();
        window.reset(new MainWindow);
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(errors(driver)));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(categories(window.get())->count(), 0);
        QCOMPARE(cardButtons(window.get()), QStringLiteral("0000"));
        QTest::mouseClick(button(window.get(), "toolButton_add"), Qt::LeftButton);
        window->close();
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
    }

    // A write that fails: warned as a card save, the card kept in memory and
    // written with the next save that succeeds.
    void failingWrite()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        const QByteArray before = fileBytes(Repository::defaultPath());
        ModalDriver driver;
        driver.box();
        {
            FileSizeLimit limit(40);
            QVERIFY(limit.ok());
            QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
            fillCard(shownCard(w), {{"lineEdit_name", "Kept"}});
            QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
            QTRY_VERIFY(driver.done());
        }
        QCOMPARE(driver.boxes.value(0).title, QStringLiteral("Сохранение карточки"));
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
        QCOMPARE(texts(cards(w)), QStringList{"Kept\n"});
        QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
        fillCard(shownCard(w), {{"lineEdit_name", "Next"}});
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QCOMPARE(readStore().safe["Компьютеры"].keys(), (QStringList{"Kept", "Next"}));
    }

    // The master password changed while the window is open: nothing is
    // written under the old key; the unlock dialog asks first.
    void keyChangedBehindWindow()
    {
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        QVERIFY(Repository().changeKey(Psw, QStringLiteral("efgh2")));
        const QByteArray changed = fileBytes(Repository::defaultPath());
        bool untouchedWhileAsking = false;
        ModalDriver driver;
        driver
            .on("AuthPswDlg",
                [&](QWidget* d) {
                    untouchedWhileAsking = fileBytes(Repository::defaultPath()) == changed;
                    unlockWith(Psw)(d);
                })
            .box()
            .on("AuthPswDlg", unlockWith(QStringLiteral("efgh2")));
        QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
        fillCard(shownCard(w), {{"lineEdit_name", "After"}});
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QTRY_VERIFY(driver.done());
        QVERIFY2(driver.errors.isEmpty(), qPrintable(errors(driver)));
        QVERIFY(untouchedWhileAsking);
        QCOMPARE(readStore(QStringLiteral("efgh2")).safe["Компьютеры"].keys(), QStringList{"After"});
        QVERIFY(!Repository().isRightMainKey(Psw));
        // The window keeps the new key: the next save asks nothing.
        QTest::mouseClick(button(w, "toolButton_add"), Qt::LeftButton);
        fillCard(shownCard(w), {{"lineEdit_name", "Again"}});
        QTest::mouseClick(button(w, "toolButton_save"), Qt::LeftButton);
        QCOMPARE(readStore(QStringLiteral("efgh2")).safe["Компьютеры"].size(), 2);
    }

    // The idle lock in the background: the lists are hidden behind the lock
    // dialog and come back after the password.
    void idleLock()
    {
        QVERIFY(Repository().makeMainPsw(Psw));
        AppSettings s;
        s.lockInterval = 200;
        QVERIFY(saveSettings(s));
        QVERIFY(openWindow());
        MainWindow* w = window.get();
        QApplication::setActiveWindow(w);
        QVERIFY(w->isActiveWindow());
        {
            ModalDriver guard; // would turn a lock dialog into an error
            QTest::qWait(400); // in the foreground nothing happens
            QVERIFY(guard.errors.isEmpty());
            QVERIFY(!QApplication::activeModalWidget());
        }

        QString title;
        bool listsShown = true;
        ModalDriver driver;
        driver.on("AuthPswDlg", [&](QWidget* d) {
            listsShown = categories(w)->isVisible() || cards(w)->isVisible();
            unlockWith(Psw, &title)(d);
        });
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(errors(driver)));
        QCOMPARE(title, QStringLiteral("Снятие блокировки"));
        QVERIFY(!listsShown);
        QTRY_VERIFY(categories(w)->isVisible());
        QCOMPARE(categories(w)->count(), 3);
        QApplication::setActiveWindow(w);
    }

    // Refusing the unlock dialog ends the program's loop with 0, at start and
    // at the idle lock.
    void refusedUnlockEndsProgram_data()
    {
        QTest::addColumn<int>("lockInterval");
        QTest::newRow("at start") << 0;
        QTest::newRow("at the lock") << 100;
    }
    void refusedUnlockEndsProgram()
    {
        QFETCH(int, lockInterval);
        QVERIFY(Repository().makeMainPsw(Psw));
        AppSettings s;
        s.lockInterval = lockInterval;
        QVERIFY(saveSettings(s));
        const QByteArray before = fileBytes(Repository::defaultPath());
        ModalDriver driver;
        QWidget other;
        if (lockInterval)
            driver.on("AuthPswDlg", [&](QWidget* d) {
                unlockWith(Psw)(d);
                other.show();
                QApplication::setActiveWindow(&other);
            });
        driver.on("AuthPswDlg", [](QWidget* d) { ModalDriver::click(d, "toolButton_close"); });
        window.reset(new MainWindow);
        window->show();
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(errors(driver)));
        QVERIFY(driver.done());
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
