// The master-password dialog: which fields enable Ok, the validators, the
// create and change paths with their messages, and the current key taken
// from the unlock dialog.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "varnex/interface/changepswdlg.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QValidator>
#include <QtTest>

#include <memory>

using D = ModalDriver;

namespace {

QPushButton* okButton(QWidget* dlg)
{
    return D::find<QDialogButtonBox>(dlg, "buttonBox")->button(QDialogButtonBox::Ok);
}

QString text(QWidget* dlg, const char* name)
{
    return D::find<QLineEdit>(dlg, name)->text();
}

// Types the fields (the current one only when given) and presses Ok.
D::Action fill(const QString& current, const QString& fresh, const QString& confirm)
{
    return [=](QWidget* w) {
        if (!current.isNull())
            D::type(w, "lineEdit_currpsw", current);
        D::type(w, "lineEdit_newpsw", fresh);
        D::type(w, "lineEdit_newpsw2", confirm);
        QTest::mouseClick(okButton(w), Qt::LeftButton);
    };
}

} // namespace

class TestChangePswDlg : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
    }
    void cleanup() { scratch.reset(); }

    void okNeedsFourCharacters_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("typed"); // current, new, confirmation
        QTest::addColumn<bool>("enabled");
        QTest::newRow("create 3") << 0 << QStringList{"", "abc", "abcd"} << false;
        QTest::newRow("create 4") << 0 << QStringList{"", "abcd", "abce"} << true;
        QTest::newRow("change, current 3") << 1 << QStringList{"abc", "abcd", "abcd"} << false;
        QTest::newRow("change 4") << 1 << QStringList{"abcd", "wxyz", "wxyz"} << true;
    }
    void okNeedsFourCharacters()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, typed);
        ChangePswDlg dlg(mode, nullptr);
        QVERIFY(!okButton(&dlg)->isEnabled());
        QCOMPARE(D::find<QLineEdit>(&dlg, "lineEdit_currpsw")->isHidden(), mode == 0);
        QCOMPARE(D::find<QToolButton>(&dlg, "toolButton_input")->isHidden(), mode == 0);
        QCOMPARE(dlg.windowTitle(), mode ? QStringLiteral("Изменение мастер-пароля") : QStringLiteral("Создание мастер-пароля"));
        const char* names[] = {"lineEdit_currpsw", "lineEdit_newpsw", "lineEdit_newpsw2"};
        for (int i = 0; i < 3; ++i)
            D::keys(D::find<QLineEdit>(&dlg, names[i]), typed[i]);
        QTEST(okButton(&dlg)->isEnabled(), "enabled");
    }

    void validators()
    {
        ChangePswDlg dlg(1, nullptr);
        for (const char* name : {"lineEdit_currpsw", "lineEdit_newpsw", "lineEdit_newpsw2"}) {
            D::type(&dlg, name, "Пароль pass*1" + QString(40, '7'));
            QCOMPARE(text(&dlg, name), "pass1" + QString(27, '7'));
        }
    }

    // Create: a mismatch first, then a good pair; the store is new and the
    // settings are back to their defaults. Over an existing store it is
    // refused and nothing changes.
    void createStore()
    {
        QVERIFY(saveSettings(AppSettings{60000, "x.nbc", 1}));
        ChangePswDlg dlg(0, nullptr);
        QString afterMismatch = "x";
        D driver;
        driver.on("ChangePswDlg", fill(QString(), "abcd1", "abcd2"))
            .box()
            .on("ChangePswDlg", [&](QWidget* w) {
                afterMismatch = text(w, "lineEdit_newpsw") + text(w, "lineEdit_newpsw2");
                fill(QString(), "abcd1", "abcd1")(w);
            });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(driver.boxes[0].text,
                 QStringLiteral("Введённые пароли не совпадают.\nПовторите ввод нового пароля и его подтверждения."));
        QCOMPARE(afterMismatch, QString());
        QCOMPARE(fileBytes(Repository::defaultPath()).size(), 48);
        QVERIFY(Repository().isRightMainKey(QStringLiteral("abcd1")));
        QCOMPARE(fileBytes(settingsPath()), QByteArray("\0\0\0\0\xff\xff\xff\xff\0\0\0\0", 12));

        const QByteArray before = fileBytes(Repository::defaultPath());
        QVERIFY(saveSettings(AppSettings{5000, QString(), 0}));
        ChangePswDlg again(0, nullptr);
        D refused;
        refused.on("ChangePswDlg", fill(QString(), "second2", "second2"))
            .box()
            .on("ChangePswDlg", [](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
        QCOMPARE(again.exec(), int(QDialog::Rejected));
        QCOMPARE(refused.boxes.value(0).text, QStringLiteral("Ошибка создания хранилища."));
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
        QCOMPARE(fileBytes(settingsPath()).size(), 12);
        AppSettings s;
        loadSettings(s);
        QCOMPARE(s.lockInterval, 5000);
    }

    // Change: the same password (nothing happens), a wrong current password,
    // then the right one.
    void changeKey()
    {
        QVERIFY(Repository().makeMainPsw("old1"));
        const QByteArray before = fileBytes(Repository::defaultPath());
        ChangePswDlg same(1, nullptr);
        D quiet;
        quiet.on("ChangePswDlg", fill("old1", "old1", "old1"));
        QCOMPARE(same.exec(), int(QDialog::Accepted));
        QVERIFY(quiet.boxes.isEmpty());
        QCOMPARE(fileBytes(Repository::defaultPath()), before);

        ChangePswDlg dlg(1, nullptr);
        QStringList afterWrong;
        D driver;
        driver.on("ChangePswDlg", fill("bad1", "new2", "new2"))
            .box()
            .on("ChangePswDlg",
                [&](QWidget* w) {
                    afterWrong << text(w, "lineEdit_currpsw") << text(w, "lineEdit_newpsw") << text(w, "lineEdit_newpsw2");
                    D::type(w, "lineEdit_currpsw", "old1");
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

    // The current key from the unlock dialog: the stars shown, that key used.
    void keyFromUnlockDialog()
    {
        QVERIFY(Repository().makeMainPsw("old1"));
        ChangePswDlg dlg(1, nullptr);
        QString shown, unlockTitle;
        D driver;
        driver.on("ChangePswDlg", [](QWidget* w) { D::click(w, "toolButton_input"); })
            .on("AuthPswDlg",
                [&](QWidget* w) {
                    unlockTitle = w->windowTitle();
                    D::type(w, "lineEdit_psw", "old1");
                    D::click(w, "pushButton_unlock");
                })
            .on("ChangePswDlg",
                [&](QWidget* w) {
                    shown = text(w, "lineEdit_currpsw");
                    fill(QString(), "next3", "next3")(w);
                })
            .box();
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(unlockTitle, QStringLiteral("Введите мастер-пароль"));
        QCOMPARE(shown, QStringLiteral("********"));
        QVERIFY(Repository().isRightMainKey(QStringLiteral("next3")));
    }

    // Typing over the stars makes the change use the typed password, not
    // the key taken before: a wrong one is refused and the store keeps its
    // key.
    void typedOverBioKey()
    {
        QVERIFY(Repository().makeMainPsw("old1"));
        const QByteArray before = fileBytes(Repository::defaultPath());
        ChangePswDlg dlg(1, nullptr);
        QString afterWrong = "x";
        D driver;
        driver.on("ChangePswDlg", [](QWidget* w) { D::click(w, "toolButton_input"); })
            .on("AuthPswDlg",
                [](QWidget* w) {
                    D::type(w, "lineEdit_psw", "old1");
                    D::click(w, "pushButton_unlock");
                })
            .on("ChangePswDlg", fill("bad1", "next3", "next3"))
            .box()
            .on("ChangePswDlg", [&](QWidget* w) {
                afterWrong = text(w, "lineEdit_currpsw");
                static_cast<QDialog*>(w)->reject();
            });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(driver.boxes.value(0).text, QStringLiteral("Введённый пароль неправилен.\nВведите заново ваш пароль."));
        QCOMPARE(afterWrong, QString());
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
    }

    // A dialog built for a change, switched to create before it is shown:
    // the create texts, the current field out of play, Ok off, and one
    // working validator per field.
    void switchedToCreate()
    {
        ChangePswDlg dlg(1, nullptr);
        D::keys(D::find<QLineEdit>(&dlg, "lineEdit_currpsw"), "abcd");
        dlg.setMode(0);
        QCOMPARE(dlg.mode(), 0);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Создание мастер-пароля"));
        QCOMPARE(D::find<QLabel>(&dlg, "label")->text(),
                 QStringLiteral("Мастер-пароль используется для \nшифрования/расшифровывания хранилища."));
        QVERIFY(D::find<QLineEdit>(&dlg, "lineEdit_currpsw")->isHidden());
        QVERIFY(D::find<QToolButton>(&dlg, "toolButton_input")->isHidden());
        QVERIFY(!okButton(&dlg)->isEnabled());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(dlg.findChildren<QValidator*>().size(), 3);
        D::type(&dlg, "lineEdit_newpsw", "ab Жcd");
        D::type(&dlg, "lineEdit_newpsw2", "abcd");
        QCOMPARE(text(&dlg, "lineEdit_newpsw"), QStringLiteral("abcd"));
        QVERIFY(okButton(&dlg)->isEnabled());
        dlg.setMode(1);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Изменение мастер-пароля"));
        QVERIFY(!D::find<QLineEdit>(&dlg, "lineEdit_currpsw")->isHidden());
        QVERIFY(!okButton(&dlg)->isEnabled());
    }
};

QTEST_MAIN(TestChangePswDlg)
#include "tst_changepswdlg.moc"
