// The settings dialog through its widgets: the lock interval, restore and
// erase. The whole road through it is tst_biometricroad.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "varnex/interface/settingsdlg.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>
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
    void lockInterval_data()
    {
        QTest::addColumn<int>("stored"); // -1: no settings file
        QTest::addColumn<int>("row");
        QTest::newRow("30 min") << 1800000 << 5;
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

    // A backup replaces the store only when it reads as a store and is not
    // the store itself; otherwise the old store stays and nothing signals.
    // An erase removes it.
    void restoreErase_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("chosen"); // a file to restore, "" cancelled, "erase"
        QTest::addColumn<QString>("after");  // the file the store is then a copy of
        QTest::newRow("backup") << true << "backup.bpk" << "backup.bpk";
        QTest::newRow("no store, no question") << false << "backup.bpk" << "backup.bpk";
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
