// The settings dialog through its widgets: the lock interval, a container
// that is not made, a backup, restore and erase. The whole road through it
// is tst_biometricroad.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "nb-cpp/Nbc.h"
#include "varnex/interface/settingsdlg.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>
#include <QUuid>
#include <QtTest>

#include <memory>

using D = ModalDriver;

class TestSettingsDlg : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;

    static QString buttonsOn(SettingsDlg& dlg)
    {
        QString s;
        for (const char* n : {"toolButton_changePsw", "toolButton_makeNbc", "toolButton_manageNbc", "toolButton_backup",
                              "toolButton_loadBackup", "toolButton_eraseRep"})
            s += D::find<QToolButton>(&dlg, n)->isEnabled() ? '1' : '0';
        return s;
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
    }
    void cleanup() { scratch.reset(); }

    // The stored interval selects its row, an unknown or missing one
    // "никогда"; a chosen row is written at once, even if Escape follows.
    // The record the window takes back holds the interval shown.
    void lockInterval_data()
    {
        QTest::addColumn<int>("stored"); // -1: no settings file
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("used");
        QTest::newRow("30 min") << 1800000 << 5 << 1800000;
        QTest::newRow("unknown") << 1234 << 6 << 0;
        QTest::newRow("no file") << -1 << 6 << 0;
    }
    void lockInterval()
    {
        QFETCH(int, stored);
        if (stored >= 0)
            QVERIFY(saveSettings(AppSettings{stored, "a.nbc", 2}));
        SettingsDlg dlg;
        auto* combo = D::find<QComboBox>(&dlg, "comboBox_time");
        QTEST(combo->currentIndex(), "row");
        QTEST(dlg.settings().lockInterval, "used");
        D driver;
        driver.on("SettingsDlg", [&](QWidget* w) {
            QTest::keyClick(combo, Qt::Key_Home);
            QTest::keyClick(combo, Qt::Key_Down); // "30 секунд"
            QTest::keyClick(w, Qt::Key_Escape);
        });
        dlg.exec();
        AppSettings back;
        QVERIFY(loadSettings(back));
        QCOMPARE(back.lockInterval, 30000);
        QCOMPARE(dlg.settings().nbcFile, back.nbcFile);
    }

    // The wizard library (its stand-in) cancelled, failed or handed back no
    // container: nothing is written, and only a failure is reported.
    void makeNbcNotMade_data()
    {
        QTest::addColumn<int>("mode"); // of the stand-in
        QTest::addColumn<QString>("box");
        QTest::newRow("cancelled") << 1 << "";
        QTest::newRow("failed") << 4 << "Ошибка создания биометрического контейнера";
        QTest::newRow("no container") << 0 << "Ошибка сохранения биометрического контейнера";
    }
    void makeNbcNotMade()
    {
        QFETCH(int, mode);
        QFETCH(QString, box);
        const auto setMode = reinterpret_cast<void (*)(int)>(
            QLibrary(QCoreApplication::applicationDirPath() + "/libquorvel.so").resolve("nbtest_setMode"));
        QVERIFY(setMode && Repository().makeMainPsw("abcd1"));
        setMode(mode);
        SettingsDlg dlg;
        dlg.show();
        D driver;
        driver.on("AuthPswDlg", [](QWidget* w) {
            D::type(w, "lineEdit_psw", "abcd1");
            D::click(w, "pushButton_unlock");
        });
        if (!box.isEmpty())
            driver.box();
        QVERIFY(driver.press(&dlg, "toolButton_makeNbc"));
        QCOMPARE(driver.boxes.size(), int(!box.isEmpty()));
        QCOMPARE(driver.boxes.value(0).text, box.isEmpty() ? QString() : box);
        QVERIFY(QDir("data", "*.nbc").entryList(QDir::Files).isEmpty());
    }

    // Without a store the button sets the first password and signals the
    // new store; with one it changes the password and signals nothing.
    void passwordButton_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("title");
        QTest::newRow("create") << false << "Создание мастер-пароля";
        QTest::newRow("change") << true << "Изменение мастер-пароля";
    }
    void passwordButton()
    {
        QFETCH(bool, store);
        QVERIFY(!store || Repository().makeMainPsw("abcd1"));
        SettingsDlg dlg;
        dlg.show();
        QSignalSpy changed(&dlg, &SettingsDlg::repositoryChanged);
        QString title;
        D driver;
        driver.on("ChangePswDlg", [&](QWidget* d) {
            title = d->windowTitle();
            if (store)
                D::type(d, "lineEdit_currpsw", "abcd1");
            D::type(d, "lineEdit_newpsw", "efgh2");
            D::type(d, "lineEdit_newpsw2", "efgh2");
            QTest::keyClick(D::find<QLineEdit>(d, "lineEdit_newpsw2"), Qt::Key_Return);
        });
        if (store)
            driver.box();
        QVERIFY(driver.press(&dlg, "toolButton_changePsw"));
        QTEST(title, "title");
        QCOMPARE(driver.boxes.value(0).text, store ? "Мастер-пароль изменён." : QString());
        QCOMPARE(changed.count(), int(!store));
        QVERIFY(Repository().isRightMainKey(QStringLiteral("efgh2")));
        QCOMPARE(buttonsOn(dlg), "111111");
        QCOMPARE(D::find<QLabel>(&dlg, "label_changePsw")->text(), "Изменить мастер-пароль");
    }

    // Each container made gets a file of its own, named after a new identifier.
    void twoContainersTwoFiles()
    {
        const auto lib = QCoreApplication::applicationDirPath() + "/libquorvel.so";
        const auto setMode = reinterpret_cast<void (*)(int)>(QLibrary(lib).resolve("nbtest_setMode"));
        const auto setReply = reinterpret_cast<void (*)(const char*, uint32_t)>(QLibrary(lib).resolve("nbtest_setReply"));
        Nbc nbc;
        nbc.setCodeLength(160);
        nbc.setName("Перо");
        QByteArray made;
        QVERIFY(nbc.setStandardScheme(0) && nbc.toBytes(made));
        QVERIFY(setMode && setReply && Repository().makeMainPsw("abcd1"));
        setMode(5);
        setReply(made.constData(), uint32_t(made.size()));
        SettingsDlg dlg;
        dlg.show();
        for (int i = 0; i < 2; ++i) {
            D driver;
            driver.on("AuthPswDlg", [](QWidget* w) {
                D::type(w, "lineEdit_psw", "abcd1");
                D::click(w, "pushButton_unlock");
            });
            QVERIFY(driver.press(&dlg, "toolButton_makeNbc"));
        }
        const QStringList files = QDir("data", "*.nbc").entryList(QDir::Files);
        QCOMPARE(files.size(), 2);
        for (const QString& file : files) {
            QVERIFY(!QUuid(file.chopped(4)).isNull());
            Nbc back;
            QVERIFY(back.readFile("data/" + file) && back.name() == "Перо");
        }
    }

    // Today's name is proposed; a file that is there already stays as it was.
    void backupOverExisting()
    {
        QVERIFY(Repository().makeMainPsw("abcd1") && putBytes("old.bpk", "old"));
        SettingsDlg dlg;
        dlg.show();
        D driver;
        driver.file(QDir::current().absoluteFilePath("old.bpk")).box(QMessageBox::Yes).box();
        QVERIFY(driver.press(&dlg, "toolButton_backup"));
        QCOMPARE(driver.files.value(0),
                 (QStringList{"Выберите файл для сохранения резервной копии хранилища", "Хранилище (*.bpk)",
                              QDir::current().absoluteFilePath(
                                  QDate::currentDate().toString("'Varnex'_dd_MM_yyyy_'v1.bpk'"))}));
        QCOMPARE(driver.boxes.value(1).text, QStringLiteral("Не удалось создать резервную копию."));
        QCOMPARE(fileBytes("old.bpk"), QByteArray("old"));
    }

    // A backup replaces the store only when it reads as a store and is not
    // the store itself; otherwise the old store stays and nothing signals.
    // An erase removes it.
    void restoreErase_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("chosen"); // a file to restore, "" cancelled, "erase"
        QTest::addColumn<QString>("after");  // the file the store is then a copy of
        QTest::newRow("backup") << true << "backup.bpk" << "backup.bpk";
        QTest::newRow("no store, no folder, no question") << false << "backup.bpk" << "backup.bpk";
        QTest::newRow("the store itself") << true << "data/Varnex2013_v1.bpk" << "before.bpk";
        QTest::newRow("not a store") << true << "junk.bpk" << "before.bpk";
        QTest::newRow("cut short") << true << "short.bpk" << "before.bpk";
        QTest::newRow("cancelled") << true << "" << "before.bpk";
        QTest::newRow("erase") << true << "erase" << "";
    }
    void restoreErase()
    {
        QFETCH(bool, store);
        QFETCH(QString, chosen);
        QFETCH(QString, after);
        QVERIFY(Repository("backup.bpk").makeMainPsw("back9") && putBytes("junk.bpk", QByteArray(60, 'j')));
        QVERIFY(putBytes("short.bpk", fileBytes("backup.bpk").left(44) + QByteArray("\0\0\0\x09", 4)));
        QVERIFY(!store || (Repository().makeMainPsw("abcd1") && QFile::copy(Repository::defaultPath(), "before.bpk")));
        QVERIFY(store || QDir("data").removeRecursively()); // a first start: the backup brings the store over
        SettingsDlg dlg;
        dlg.show();
        QCOMPARE(buttonsOn(dlg), store ? "111111" : "101010");
        QSignalSpy changed(&dlg, &SettingsDlg::repositoryChanged);
        D driver;
        if (store)
            driver.box(QMessageBox::Yes);
        const bool erase = chosen == "erase";
        if (!erase)
            driver.file(chosen.isEmpty() ? chosen : QDir::current().absoluteFilePath(chosen));
        if (after == "before.bpk" && !chosen.isEmpty())
            driver.box();
        QVERIFY(driver.press(&dlg, erase ? "toolButton_eraseRep" : "toolButton_loadBackup"));
        QCOMPARE(driver.boxes.value(0).title,
                 erase ? "Удаление хранилища" : store ? "Замена хранилища" : QString());
        QCOMPARE(changed.count(), int(after != "before.bpk"));
        QCOMPARE(fileBytes(Repository::defaultPath()), fileBytes(after));
        QCOMPARE(buttonsOn(dlg), after.isEmpty() ? "101010" : "111111");
        QCOMPARE(D::find<QLabel>(&dlg, "label_changePsw")->text(),
                 after.isEmpty() ? "Задать мастер-пароль" : "Изменить мастер-пароль");
    }
};

QTEST_MAIN(TestSettingsDlg)
#include "tst_settingsdlg.moc"
