// The settings dialog through its widgets: tabs and buttons with and
// without a store, the lock interval, the master password, making a
// container through the stand-in wizard library, backup, restore, erase.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "nb-cpp/Nbc.h"
#include "varnex/interface/settingsdlg.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/filenbc.h"
#include "varnex/model/repository.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QLabel>
#include <QLibrary>
#include <QSignalSpy>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <memory>

using D = ModalDriver;

namespace {

const QString Psw = QStringLiteral("abcd1");

void newPassword(QWidget* w, const QString& current, const QString& password)
{
    for (const char* f : {"lineEdit_currpsw", "lineEdit_newpsw", "lineEdit_newpsw2"})
        D::type(w, f, f[9] == 'c' ? current : password);
    QTest::mouseClick(D::find<QDialogButtonBox>(w, "buttonBox")->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

void unlock(QWidget* w)
{
    D::type(w, "lineEdit_psw", QStringLiteral("abcd1"));
    D::click(w, "pushButton_unlock");
}

QStringList nbcFiles() { return QDir("data", "*.nbc").entryList(QDir::Files); }

} // namespace

class TestSettingsDlg : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;
    QLibrary standIn{QCoreApplication::applicationDirPath() + "/libquorvel.so"};

    // Clicks the button; the driver serves what it opens.
    static bool press(SettingsDlg& dlg, D& driver, const char* button)
    {
        D::click(&dlg, button);
        const bool ok = QTest::qWaitFor([&] { return driver.done(); }, 5000);
        if (!driver.errors.isEmpty())
            qWarning() << driver.errors;
        return ok && driver.errors.isEmpty();
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
    }
    void cleanup() { scratch.reset(); }

    void form_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("pswLabel");
        QTest::addColumn<QString>("pswTip");
        QTest::newRow("no store") << false << "Задать мастер-пароль" << "Задать главный пароль";
        QTest::newRow("store") << true << "Изменить мастер-пароль" << "Изменить главный пароль";
    }
    void form()
    {
        QFETCH(bool, store);
        if (store)
            QVERIFY(Repository().makeMainPsw(Psw));
        SettingsDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Настройки приложения"));
        auto* tabs = D::find<QTabWidget>(&dlg, "tabWidget");
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE((QStringList{tabs->tabText(0), tabs->tabText(1), tabs->tabText(2)}),
                 (QStringList{"Пароль", "Хранилище", "Доп.опции"}));
        QTEST(D::find<QLabel>(&dlg, "label_changePsw")->text(), "pswLabel");
        QCOMPARE(D::find<QLabel>(&dlg, "label_makeNbc")->text(), QStringLiteral("Задать биометрический пароль"));
        QFETCH(QString, pswTip);
        // button, its tab, its tip, enabled without a store
        const std::tuple<const char*, int, QString, bool> buttons[] = {
            {"toolButton_changePsw", 0, pswTip, true},
            {"toolButton_makeNbc", 0, "Создать биометрический контейнер", false},
            {"toolButton_manageNbc", 0, "Биометрические контейнеры", true},
            {"toolButton_backup", 1, "Создать резервную копию", false},
            {"toolButton_loadBackup", 1, "Восстановить резервную копию", true},
            {"toolButton_eraseRep", 1, "Очистить и удалить хранилище", false},
        };
        for (const auto& b : buttons) {
            auto* button = D::find<QToolButton>(&dlg, std::get<0>(b));
            QVERIFY(tabs->widget(std::get<1>(b))->isAncestorOf(button));
            QCOMPARE(button->toolTip(), std::get<2>(b));
            QCOMPARE(button->whatsThis(), std::get<2>(b));
            QCOMPARE(button->isEnabled(), store || std::get<3>(b));
            QCOMPARE(button->iconSize(), QSize(32, 32));
            QVERIFY(!button->icon().isNull());
        }
        auto* combo = D::find<QComboBox>(&dlg, "comboBox_time");
        QVERIFY(tabs->widget(2)->isAncestorOf(combo));
        QCOMPARE(combo->count(), 7);
        QCOMPARE(combo->itemText(0), QStringLiteral("5 секунд"));
        QCOMPARE(combo->itemText(6), QStringLiteral("никогда"));
    }

    // The stored interval selects its row (an unknown or missing one
    // "никогда"); a chosen row is written at once, also when the dialog is
    // then closed with Escape.
    void lockInterval_data()
    {
        QTest::addColumn<int>("stored"); // -1: no settings file
        QTest::addColumn<int>("row");
        QTest::newRow("5 s") << 5000 << 0;
        QTest::newRow("30 min") << 1800000 << 5;
        QTest::newRow("never") << 0 << 6;
        QTest::newRow("unknown") << 1234 << 6;
        QTest::newRow("no file") << -1 << 6;
    }
    void lockInterval()
    {
        QFETCH(int, stored);
        if (stored >= 0)
            QVERIFY(saveSettings(AppSettings{stored, "a.nbc", 2}));
        SettingsDlg dlg;
        auto* combo = D::find<QComboBox>(&dlg, "comboBox_time");
        QTEST(combo->currentIndex(), "row");
        D driver;
        driver.on("SettingsDlg", [&](QWidget* w) {
            combo->setFocus();
            QTest::keyClick(combo, Qt::Key_Home); // row 0: 5 s
            QTest::keyClick(combo, Qt::Key_Down);
            QTest::keyClick(w, Qt::Key_Escape);
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        AppSettings back;
        QVERIFY(loadSettings(back));
        QCOMPARE(back.lockInterval, 30000);
        QCOMPARE(dlg.settings().lockInterval, 30000);
        QCOMPARE(back.nbcFile, stored >= 0 ? QString("a.nbc") : QString());
    }

    // Without a store the button creates one (signal, buttons enabled);
    // with one it changes the password (no signal).
    void masterPassword_data()
    {
        QTest::addColumn<bool>("store");
        QTest::newRow("create") << false;
        QTest::newRow("change") << true;
    }
    void masterPassword()
    {
        QFETCH(bool, store);
        if (store)
            QVERIFY(Repository().makeMainPsw(Psw));
        SettingsDlg dlg;
        dlg.show();
        QSignalSpy changed(&dlg, &SettingsDlg::repositoryChanged);
        QString title;
        D driver;
        driver.on("ChangePswDlg", [&](QWidget* w) {
            title = w->windowTitle();
            newPassword(w, Psw, "wxyz9");
        });
        if (store)
            driver.box();
        QVERIFY(press(dlg, driver, "toolButton_changePsw"));
        QCOMPARE(title, store ? QStringLiteral("Изменение мастер-пароля") : QStringLiteral("Создание мастер-пароля"));
        QVERIFY(Repository().isRightMainKey(QString("wxyz9")));
        QCOMPARE(changed.count(), store ? 0 : 1);
        QCOMPARE(D::find<QLabel>(&dlg, "label_changePsw")->text(), QStringLiteral("Изменить мастер-пароль"));
        QVERIFY(D::find<QToolButton>(&dlg, "toolButton_makeNbc")->isEnabled());
    }

    // The master password asked for, then the wizard: its result decides.
    void makeNbc_data()
    {
        QTest::addColumn<int>("wizard"); // stand-in mode; -1: password dialog cancelled
        QTest::addColumn<QString>("warning");
        QTest::newRow("made") << 5 << "";
        QTest::newRow("password refused") << -1 << "";
        QTest::newRow("wizard cancelled") << 1 << "";
        QTest::newRow("wizard failed") << 4 << "Ошибка создания биометрического контейнера";
        QTest::newRow("no container back") << 0 << "Ошибка сохранения биометрического контейнера";
    }
    void makeNbc()
    {
        QFETCH(int, wizard);
        QFETCH(QString, warning);
        auto setMode = reinterpret_cast<void (*)(int)>(standIn.resolve("nbtest_setMode"));
        auto setReply = reinterpret_cast<void (*)(const uint8_t*, uint32_t)>(standIn.resolve("nbtest_setReply"));
        auto lastInput = reinterpret_cast<const uint8_t* (*)(uint32_t*, const uint8_t**, QWidget**)>(
            standIn.resolve("nbtest_lastInput"));
        QVERIFY(setMode && setReply && lastInput);
        QVERIFY(Repository().makeMainPsw(Psw));
        Nbc nbc;
        nbc.setName("Перо");
        QByteArray bytes;
        QVERIFY(nbc.toBytes(bytes));
        setReply(reinterpret_cast<const uint8_t*>(bytes.constData()), uint32_t(bytes.size()));
        setMode(wizard);

        SettingsDlg dlg;
        dlg.show();
        QString title;
        D driver;
        for (int i = 0; i < (wizard == 5 ? 2 : 1); ++i) {
            driver.on("AuthPswDlg", [&](QWidget* w) {
                title = w->windowTitle();
                if (wizard < 0)
                    w->close();
                else
                    unlock(w);
            });
            if (!warning.isEmpty())
                driver.box();
            QVERIFY(press(dlg, driver, "toolButton_makeNbc"));
        }
        QCOMPARE(title, QStringLiteral("Введите мастер-пароль"));
        QCOMPARE(driver.boxes.size(), warning.isEmpty() ? 0 : 1);
        if (!warning.isEmpty())
            QCOMPARE(driver.boxes[0].text, warning);
        const QStringList made = nbcFiles();
        QCOMPARE(made.size(), wizard == 5 ? 2 : 0); // two, under two identifiers
        for (const QString& file : made) {
            QVERIFY(!QUuid(file.chopped(4)).isNull());
            QCOMPARE(fileBytes("data/" + file), bytes);
        }
        if (wizard >= 0) { // the wizard was given the store key
            uint32_t len = 0;
            const uint8_t* ptr = nullptr;
            QWidget* parent = nullptr;
            const uint8_t* in = lastInput(&len, &ptr, &parent);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(in), int(len)), Repository::keyFromPassword(Psw));
            QCOMPARE(parent, &dlg);
        }
    }

    void manageNbc()
    {
        SettingsDlg dlg;
        dlg.show();
        D driver;
        driver.on("ContainersDialog", [](QWidget* w) { D::click(w, "btnClose"); });
        QVERIFY(press(dlg, driver, "toolButton_manageNbc"));
    }

    // The proposed name carries the date; an existing target is never
    // replaced, even after the file dialog's confirmation.
    void backup()
    {
        QVERIFY(Repository().makeMainPsw(Psw));
        const QString target = QDir::current().absoluteFilePath("copy.bpk");
        SettingsDlg dlg;
        dlg.show();
        D driver;
        driver.file(target);
        QVERIFY(press(dlg, driver, "toolButton_backup"));
        QCOMPARE(driver.files.value(0).mid(0, 2),
                 (QStringList{"Выберите файл для сохранения резервной копии хранилища", "Хранилище (*.bpk)"}));
        QVERIFY(driver.files[0][2].endsWith(
            "Varnex" + QDate::currentDate().toString("_dd_MM_yyyy_") + "v1.bpk"));
        QCOMPARE(fileBytes(target), fileBytes(Repository::defaultPath()));

        QVERIFY(putBytes(target, "older"));
        driver.file(target).box(QMessageBox::Yes).box();
        QVERIFY(press(dlg, driver, "toolButton_backup"));
        QCOMPARE(driver.boxes.value(1).text, QStringLiteral("Не удалось создать резервную копию."));
        QCOMPARE(fileBytes(target), QByteArray("older"));
    }

    // A backup replaces the store only when it reads as a store and is not
    // the store itself; otherwise the old store stays and nothing signals.
    void restore_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("chosen"); // "backup", "store", "junk", "" (cancelled)
        QTest::addColumn<bool>("replaced");
        QTest::newRow("backup") << true << "backup" << true;
        QTest::newRow("no store, no question") << false << "backup" << true;
        QTest::newRow("the store itself") << true << "store" << false;
        QTest::newRow("not a store") << true << "junk" << false;
        QTest::newRow("cut short") << true << "short" << false;
        QTest::newRow("cancelled") << true << "" << false;
    }
    void restore()
    {
        QFETCH(bool, store);
        QFETCH(QString, chosen);
        QFETCH(bool, replaced);
        QVERIFY(Repository("backup.bpk").makeMainPsw("back9"));
        QVERIFY(putBytes("junk.bpk", QByteArray(60, 'j')));
        QVERIFY(putBytes("short.bpk", fileBytes("short.bpk").left(44) + QByteArray("\0\0\0\x09", 4)));
        if (store)
            QVERIFY(Repository().makeMainPsw(Psw));
        const QByteArray before = fileBytes(Repository::defaultPath());
        const QString path = chosen == "store" ? Repository::defaultPath()
                                               : chosen.isEmpty() ? QString()
                                                                  : QDir::current().absoluteFilePath(chosen + ".bpk");
        SettingsDlg dlg;
        dlg.show();
        QSignalSpy changed(&dlg, &SettingsDlg::repositoryChanged);
        D driver;
        if (store)
            driver.box(QMessageBox::Yes);
        driver.file(path);
        if (!replaced && !path.isEmpty())
            driver.box();
        QVERIFY(press(dlg, driver, "toolButton_loadBackup"));
        QCOMPARE(driver.files.value(0).mid(0, 2),
                 (QStringList{"Выберите файл резервной копии хранилища", "Хранилище (*.bpk)"}));
        if (store)
            QCOMPARE(driver.boxes.value(0).title, QStringLiteral("Замена хранилища"));
        QCOMPARE(changed.count(), int(replaced));
        QCOMPARE(fileBytes(Repository::defaultPath()), replaced ? fileBytes("backup.bpk") : before);
        if (!replaced && !path.isEmpty())
            QCOMPARE(driver.boxes.last().text, QStringLiteral("Не удалось восстановить резервную копию."));
        QCOMPARE(D::find<QToolButton>(&dlg, "toolButton_eraseRep")->isEnabled(), store || replaced);
    }

    void erase_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void erase()
    {
        QFETCH(bool, yes);
        QVERIFY(Repository().makeMainPsw(Psw));
        SettingsDlg dlg;
        dlg.show();
        QSignalSpy changed(&dlg, &SettingsDlg::repositoryChanged);
        D driver;
        driver.box(yes ? QMessageBox::Yes : QMessageBox::No);
        QVERIFY(press(dlg, driver, "toolButton_eraseRep"));
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Удаление хранилища"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Вы уверены, что хотите БЕЗВОЗВРАТНО удалить хранилище?"));
        QCOMPARE(Repository().exists(), !yes);
        QCOMPARE(changed.count(), int(yes));
        QCOMPARE(D::find<QToolButton>(&dlg, "toolButton_backup")->isEnabled(), !yes);
        QCOMPARE(D::find<QLabel>(&dlg, "label_changePsw")->text(),
                 yes ? QStringLiteral("Задать мастер-пароль") : QStringLiteral("Изменить мастер-пароль"));
    }
};

QTEST_MAIN(TestSettingsDlg)
#include "tst_settingsdlg.moc"
