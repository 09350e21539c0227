// The unlock dialog: texts by mode, the password validator, wrong, empty
// and right passwords, a stale container preference, and the container
// path through a stand-in of the wizard library.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "nb-cpp/Nbc.h"
#include "varnex/interface/authpswdlg.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/filenbc.h"
#include "varnex/model/repository.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QUuid>
#include <QtTest>

#include <algorithm>
#include <memory>

using D = ModalDriver;

class TestAuthPswDlg : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;
    void (*setMode)(int) = nullptr;

    // The stand-in built under the name the dialog loads; it answers an
    // extraction with the container bytes reversed.
    bool installStandIn()
    {
        setMode = reinterpret_cast<void (*)(int)>(
            QLibrary(QCoreApplication::applicationDirPath() + "/libquorvel.so").resolve("nbtest_setMode"));
        return setMode;
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
    }
    void cleanup() { scratch.reset(); }

    void textsByMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("texts"); // title, button, info, placeholder
        QTest::addColumn<bool>("closeShown");
        QTest::newRow("open") << 0
                              << QStringList{"Открыть хранилище", "Открыть",
                                             "Введите пароль для доступа \nк вашим персональным данным.", "Пароль"}
                              << true;
        QTest::newRow("lock") << 1
                              << QStringList{"Снятие блокировки", "Разблокировать",
                                             "Программа заблокирована.\nДля снятия блокировки\nвведите пароль.", "Пароль"}
                              << true;
        QTest::newRow("current") << 2
                                 << QStringList{"Введите мастер-пароль", "Ввод",
                                                "Для создания биометрического \nконтейнера (НБК) необходимо ввести \n"
                                                "текущий мастер-пароль.",
                                                "Введите текущий пароль"}
                                 << false;
    }
    void textsByMode()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, texts);
        QFETCH(bool, closeShown);
        AuthPswDlg dlg(mode, nullptr);
        QCOMPARE((QStringList{dlg.windowTitle(), D::find<QPushButton>(&dlg, "pushButton_unlock")->text(),
                              D::find<QLabel>(&dlg, "label_info")->text(),
                              D::find<QLineEdit>(&dlg, "lineEdit_psw")->placeholderText()}),
                 texts);
        QCOMPARE(!D::find<QToolButton>(&dlg, "toolButton_close")->isHidden(), closeShown);
        // Closing by the title bar rejects, with or without the exit button.
        D driver;
        driver.on("AuthPswDlg", [](QWidget* w) { w->close(); });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
    }

    void validator_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("latin and digits") << "Abc123xyz" << "Abc123xyz";
        QTest::newRow("cyrillic and punctuation refused") << "abЖcд 1-!" << "abc1";
        QTest::newRow("33rd refused") << QString(40, 'q') << QString(32, 'q');
    }
    void validator()
    {
        QFETCH(QString, typed);
        AuthPswDlg dlg(0, nullptr);
        D::type(&dlg, "lineEdit_psw", typed);
        QTEST(D::find<QLineEdit>(&dlg, "lineEdit_psw")->text(), "kept");
    }

    // With a preference for a container that does not read, only the
    // password is offered. Wrong, then empty, then right: one warning, the
    // field emptied (also after the right one), the key of the password, the
    // preference dropped.
    void wrongThenRight()
    {
        QVERIFY(Repository().makeMainPsw("Secret77"));
        QVERIFY(putBytes("data/{6f1b2c3d-0000-4000-8000-000000000001}.nbc", QByteArray(64, '\xff')));
        AppSettings s{5000, "{6f1b2c3d-0000-4000-8000-000000000001}.nbc", 2};
        QVERIFY(saveSettings(s));
        AuthPswDlg dlg(1, nullptr);
        QCOMPARE(D::find<QComboBox>(&dlg, "comboBox_nbc")->count(), 1);
        QVERIFY(!D::find<QLineEdit>(&dlg, "lineEdit_psw")->isHidden());
        QString afterWrong = "untouched";
        D driver;
        auto unlock = [](const char* psw) {
            return [=](QWidget* w) {
                D::type(w, "lineEdit_psw", psw);
                D::click(w, "pushButton_unlock");
            };
        };
        driver.on("AuthPswDlg", unlock("Secret78"))
            .box()
            .on("AuthPswDlg",
                [&](QWidget* w) {
                    afterWrong = D::find<QLineEdit>(w, "lineEdit_psw")->text();
                    D::click(w, "pushButton_unlock"); // empty: nothing happens
                })
            .on("AuthPswDlg", unlock("Secret77"));
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Введённый пароль неправилен.\nВведите заново ваш пароль."));
        QCOMPARE(afterWrong, QString());
        QCOMPARE(D::find<QLineEdit>(&dlg, "lineEdit_psw")->text(), QString()); // emptied on success too
        QCOMPARE(dlg.key(), Repository::keyFromPassword("Secret77"));
        AppSettings back;
        QVERIFY(loadSettings(back));
        QVERIFY(back.nbcFile.isNull());
        QCOMPARE(back.lockInterval, 5000);
        QCOMPARE(back.categoryRow, 2);
    }

    // The preferred container is selected with the password hidden; the
    // wizard cancelled (no message), failed ("Ошибка извлечения ключа"),
    // then the password row and back to the container, whose choice alone
    // unlocks; the choice is saved.
    void containers()
    {
        QVERIFY(installStandIn());
        Nbc nbc;
        nbc.setName("Ладонь");
        const QString file = QUuid::createUuid().toString() + ".nbc";
        QByteArray bytes;
        QVERIFY(nbc.writeFile(FileNbc::defaultDir() + file) && nbc.toBytes(bytes));
        std::reverse(bytes.begin(), bytes.end());
        QVERIFY(Repository().write(bytes, QByteArray()));
        QVERIFY(saveSettings(AppSettings{0, file, 0}));

        AuthPswDlg dlg(0, nullptr);
        QComboBox* combo = D::find<QComboBox>(&dlg, "comboBox_nbc");
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(combo->currentText(), QStringLiteral("Ладонь"));
        QVERIFY(D::find<QLineEdit>(&dlg, "lineEdit_psw")->isHidden());
        bool pswShownOnRow0 = false, keptAfterCancel = false;
        D driver;
        driver
            .on("AuthPswDlg",
                [&](QWidget* w) {
                    setMode(1);
                    D::click(w, "pushButton_unlock");
                })
            .on("AuthPswDlg",
                [&](QWidget* w) {
                    keptAfterCancel = combo->currentIndex() == 1 && D::find<QLineEdit>(w, "lineEdit_psw")->isHidden();
                    setMode(4);
                    D::click(w, "pushButton_unlock");
                })
            .box()
            .on("AuthPswDlg", [&](QWidget* w) {
                setMode(0);
                QTest::keyClick(combo, Qt::Key_Up);
                pswShownOnRow0 = !D::find<QLineEdit>(w, "lineEdit_psw")->isHidden();
                QTest::keyClick(combo, Qt::Key_Down);
            });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Ошибка извлечения ключа"));
        QVERIFY(pswShownOnRow0);
        QVERIFY(keptAfterCancel);
        QCOMPARE(dlg.key(), bytes);
        AppSettings back;
        loadSettings(back);
        QCOMPARE(back.nbcFile, file);
    }

    // The password after a container preference: one whose file is gone,
    // or "Пароль" chosen over a listed one; the right password then saves
    // the settings with no preferred container.
    void passwordOverPreference_data()
    {
        QTest::addColumn<QString>("preferred");
        QTest::newRow("file gone") << "{00000000-0000-4000-8000-00000000dead}.nbc";
        QTest::newRow("password chosen") << "good.nbc";
    }
    void passwordOverPreference()
    {
        QFETCH(QString, preferred);
        QVERIFY(installStandIn());
        setMode(0);
        Nbc nbc;
        nbc.setName("Палец");
        QVERIFY(nbc.writeFile(FileNbc::defaultDir() + "good.nbc"));
        QVERIFY(Repository().makeMainPsw("Secret77"));
        QVERIFY(saveSettings(AppSettings{0, preferred, 0}));
        AuthPswDlg dlg(0, nullptr);
        QComboBox* combo = D::find<QComboBox>(&dlg, "comboBox_nbc");
        QLineEdit* psw = D::find<QLineEdit>(&dlg, "lineEdit_psw");
        QCOMPARE(combo->count(), 2);
        const bool gone = preferred != "good.nbc";
        QCOMPARE(combo->currentIndex(), gone ? 0 : 1);
        QCOMPARE(psw->isHidden(), !gone);
        D driver;
        driver.on("AuthPswDlg", [&](QWidget* w) {
            if (!gone)
                QTest::keyClick(combo, Qt::Key_Up);
            D::type(w, "lineEdit_psw", "Secret77");
            D::click(w, "pushButton_unlock");
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(dlg.key(), Repository::keyFromPassword("Secret77"));
        AppSettings back;
        QVERIFY(loadSettings(back));
        QVERIFY(back.nbcFile.isNull());
    }

    // Unreadable container files: one in the listing ends the list there
    // with the password selected; one that became unreadable after the
    // listing is warned about when unlocking, and the dialog stays open
    // without writing the settings.
    void unreadableContainers()
    {
        QVERIFY(installStandIn());
        setMode(0);
        Nbc nbc;
        nbc.setName("Палец");
        QVERIFY(nbc.writeFile(FileNbc::defaultDir() + "good.nbc"));
        QVERIFY(putBytes("data/bad.nbc", QByteArray(64, '\xff')));
        QVERIFY(Repository().makeMainPsw("Secret77"));
        QVERIFY(saveSettings(AppSettings{0, "good.nbc", 0}));
        {
            AuthPswDlg dlg(0, nullptr);
            const QStringList order = QDir("data", "*.nbc").entryList(QDir::Files, QDir::NoSort);
            QComboBox* combo = D::find<QComboBox>(&dlg, "comboBox_nbc");
            QCOMPARE(combo->count(), 1 + order.indexOf("bad.nbc"));
            QCOMPARE(combo->currentIndex(), 0);
            QVERIFY(!D::find<QLineEdit>(&dlg, "lineEdit_psw")->isHidden());
        }

        QVERIFY(QFile::remove("data/bad.nbc"));
        const QByteArray settingsBefore = fileBytes(settingsPath());
        AuthPswDlg dlg(0, nullptr);
        QComboBox* combo = D::find<QComboBox>(&dlg, "comboBox_nbc");
        QCOMPARE(combo->currentIndex(), 1);
        QVERIFY(putBytes("data/good.nbc", QByteArray(7, '\x01')));
        bool stillOpen = false;
        D driver;
        driver.on("AuthPswDlg", [](QWidget* w) { D::click(w, "pushButton_unlock"); })
            .box()
            .on("AuthPswDlg", [&](QWidget* w) {
                stillOpen = combo->currentIndex() == 1;
                D::click(w, "toolButton_close");
            });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Не удалось загрузить биометрический контейнер"));
        QVERIFY(stillOpen);
        QVERIFY(dlg.key().isEmpty());
        QCOMPARE(fileBytes(settingsPath()), settingsBefore);
    }
};

QTEST_MAIN(TestAuthPswDlg)
#include "tst_authpswdlg.moc"
