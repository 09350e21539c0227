// The master-password dialog: which fields enable Ok, the validators, the
// create and change paths with their messages, and the key taken from the
// unlock dialog.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "varnex/interface/changepswdlg.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

QPushButton* okButton(QWidget* dlg)
{
    return dlg->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
}

QLineEdit* edit(QWidget* dlg, const char* name)
{
    return dlg->findChild<QLineEdit*>(QLatin1String(name));
}

// Types the three fields (the current one only when given) and presses Ok.
ModalDriver::Action fill(const QString& current, const QString& fresh, const QString& confirm)
{
    return [=](QWidget* w) {
        if (!current.isNull())
            ModalDriver::type(w, "lineEdit_currpsw", current);
        ModalDriver::type(w, "lineEdit_newpsw", fresh);
        ModalDriver::type(w, "lineEdit_newpsw2", confirm);
        QTest::mouseClick(okButton(w), Qt::LeftButton);
    };
}

} // namespace

class TestChangePswDlg : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* tmp = nullptr;
    QString oldCwd;

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
        QDir::setCurrent(oldCwd);
        delete tmp;
        tmp = nullptr;
    }

    void okNeedsFourCharacters_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("create 3") << 0 << "" << "abc" << "abcd" << false;
        QTest::newRow("create 4") << 0 << "" << "abcd" << "abce" << true;
        QTest::newRow("change without current") << 1 << "" << "abcd" << "abcd" << false;
        QTest::newRow("change current 3") << 1 << "abc" << "abcd" << "abcd" << false;
        QTest::newRow("change 4") << 1 << "abcd" << "wxyz" << "wxyz" << true;
    }
    void okNeedsFourCharacters()
    {
        QFETCH(int, mode);
        QFETCH(QString, current);
        QFETCH(QString, fresh);
        QFETCH(QString, confirm);
        QFETCH(bool, enabled);
        ChangePswDlg dlg(mode, nullptr);
        QVERIFY(!okButton(&dlg)->isEnabled());
        QCOMPARE(edit(&dlg, "lineEdit_currpsw")->isHidden(), mode == 0);
        QCOMPARE(dlg.findChild<QToolButton*>(QStringLiteral("toolButton_input"))->isHidden(), mode == 0);
        QCOMPARE(dlg.windowTitle(), mode == 0 ? QStringLiteral("Создание мастер-пароля")
                                               : QStringLiteral("Изменение мастер-пароля"));
        ModalDriver::keys(edit(&dlg, "lineEdit_currpsw"), current);
        ModalDriver::keys(edit(&dlg, "lineEdit_newpsw"), fresh);
        ModalDriver::keys(edit(&dlg, "lineEdit_newpsw2"), confirm);
        QCOMPARE(okButton(&dlg)->isEnabled(), enabled);
    }

    void validators()
    {
        ChangePswDlg dlg(1, nullptr);
        for (const char* name : {"lineEdit_currpsw", "lineEdit_newpsw", "lineEdit_newpsw2"}) {
            ModalDriver::keys(edit(&dlg, name), QStringLiteral("Пароль pass*1") + QString(40, '7'));
            QCOMPARE(edit(&dlg, name)->text(), QStringLiteral("pass1") + QString(27, '7'));
        }
    }

    // Create: a mismatch first, then a good pair; the store is new and the
    // settings are back to their defaults.
    void createStore()
    {
        AppSettings s;
        s.lockInterval = 60000;
        s.categoryRow = 1;
        QVERIFY(saveSettings(s));
        ChangePswDlg dlg(0, nullptr);
        QString newAfterMismatch = QStringLiteral("x");
        ModalDriver driver;
        driver.on("ChangePswDlg", fill(QString(), "abcd1", "abcd2"))
            .box()
            .on("ChangePswDlg",
                [&](QWidget* w) {
                    newAfterMismatch = edit(w, "lineEdit_newpsw")->text() + edit(w, "lineEdit_newpsw2")->text();
                    fill(QString(), "abcd1", "abcd1")(w);
                });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(driver.boxes[0].text,
                 QStringLiteral("Введённые пароли не совпадают.\nПовторите ввод нового пароля и его подтверждения."));
        QCOMPARE(newAfterMismatch, QString());
        QCOMPARE(fileBytes(Repository::defaultPath()).size(), 48);
        QVERIFY(Repository().isRightMainKey(QStringLiteral("abcd1")));
        QCOMPARE(fileBytes(settingsPath()), QByteArray("\0\0\0\0\xff\xff\xff\xff\0\0\0\0", 12));
    }

    // Create over an existing store is refused; the store and the settings
    // stay as they were.
    void createRefusedOverStore()
    {
        QVERIFY(Repository().makeMainPsw(QStringLiteral("first1")));
        const QByteArray before = fileBytes(Repository::defaultPath());
        AppSettings s;
        s.lockInterval = 5000;
        QVERIFY(saveSettings(s));
        const QByteArray settingsBefore = fileBytes(settingsPath());
        ChangePswDlg dlg(0, nullptr);
        ModalDriver driver;
        driver.on("ChangePswDlg", fill(QString(), "second2", "second2"))
            .box()
            .on("ChangePswDlg", [](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Ошибка создания хранилища."));
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
        QCOMPARE(fileBytes(settingsPath()), settingsBefore);
    }

    // Change: same password (nothing happens), a wrong current password,
    // then the right one.
    void changeKey()
    {
        QVERIFY(Repository().makeMainPsw(QStringLiteral("old1")));
        const QByteArray before = fileBytes(Repository::defaultPath());
        {
            ChangePswDlg same(1, nullptr);
            ModalDriver driver;
            driver.on("ChangePswDlg", fill("old1", "old1", "old1"));
            QCOMPARE(same.exec(), int(QDialog::Accepted));
            QVERIFY(driver.boxes.isEmpty());
            QCOMPARE(fileBytes(Repository::defaultPath()), before);
        }
        ChangePswDlg dlg(1, nullptr);
        QStringList afterWrong;
        ModalDriver driver;
        driver.on("ChangePswDlg", fill("bad1", "new2", "new2"))
            .box()
            .on("ChangePswDlg",
                [&](QWidget* w) {
                    for (const char* n : {"lineEdit_currpsw", "lineEdit_newpsw", "lineEdit_newpsw2"})
                        afterWrong << edit(w, n)->text();
                    ModalDriver::type(w, "lineEdit_currpsw", QStringLiteral("old1"));
                    QTest::mouseClick(okButton(w), Qt::LeftButton);
                })
            .box();
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(afterWrong, (QStringList{"", "new2", "new2"}));
        QCOMPARE(driver.boxes.size(), 2);
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Введённый пароль неправилен.\nВведите заново ваш пароль."));
        QCOMPARE(driver.boxes[1].title, QStringLiteral("Информация"));
        QCOMPARE(driver.boxes[1].text, QStringLiteral("Мастер-пароль изменён."));
        QVERIFY(Repository().isRightMainKey(QStringLiteral("new2")));
        QVERIFY(!Repository().isRightMainKey(QStringLiteral("old1")));
    }

    // The current key from the unlock dialog: the field shows the stars and
    // the change uses that key.
    void keyFromUnlockDialog()
    {
        QVERIFY(Repository().makeMainPsw(QStringLiteral("old1")));
        ChangePswDlg dlg(1, nullptr);
        QString shown, unlockTitle;
        ModalDriver driver;
        driver.on("ChangePswDlg", [](QWidget* w) { ModalDriver::click(w, "toolButton_input"); })
            .on("AuthPswDlg",
                [&](QWidget* w) {
                    unlockTitle = w->windowTitle();
                    ModalDriver::type(w, "lineEdit_psw", QStringLiteral("old1"));
                    ModalDriver::click(w, "pushButton_unlock");
                })
            .on("ChangePswDlg",
                [&](QWidget* w) {
                    shown = edit(w, "lineEdit_currpsw")->text();
                    fill(QString(), "next3", "next3")(w);
                })
            .box();
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(unlockTitle, QStringLiteral("Введите мастер-пароль"));
        QCOMPARE(shown, QStringLiteral("********"));
        QVERIFY(Repository().isRightMainKey(QStringLiteral("next3")));
    }
};

QTEST_MAIN(TestChangePswDlg)
#include "tst_changepswdlg.moc"
