// The unlock dialog: texts by mode, the password validator, right, wrong
// and empty passwords, and a stale container preference.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "varnex/interface/authpswdlg.h"
#include "varnex/model/appsettings.h"
#include "nb-cpp/Nbc.h"
#include "varnex/model/filenbc.h"
#include "varnex/model/repository.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUuid>
#include <QtTest>

#include <algorithm>

class TestAuthPswDlg : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* tmp = nullptr;
    QString oldCwd;
    QString standIn;
    void (*setMode)(int) = nullptr;

    // The test stand-in of the wizard library, under the name the dialog
    // loads; it answers an extraction with the container bytes reversed.
    bool installStandIn()
    {
        const QString dir = QCoreApplication::applicationDirPath();
        standIn = dir + QStringLiteral("/libquorvel.so");
        if (!QFile::exists(standIn) && !QFile::copy(dir + QStringLiteral("/libnbtest_full.so"), standIn))
            return false;
        QLibrary lib(standIn);
        setMode = reinterpret_cast<void (*)(int)>(lib.resolve("nbtest_setMode"));
        return setMode != nullptr;
    }

    // A container named name in the data directory and a store whose key is
    // what the stand-in extracts from it.
    static QString makeContainer(const QString& name)
    {
        Nbc nbc;
        nbc.setName(name);
        const QString file = QUuid::createUuid().toString() + QStringLiteral(".nbc");
        QByteArray bytes;
        if (!nbc.writeFile(FileNbc::defaultDir() + file) || !nbc.toBytes(bytes))
            return QString();
        QByteArray key(bytes.size(), '\0');
        std::reverse_copy(bytes.begin(), bytes.end(), key.begin());
        return Repository().write(key, QByteArray()) ? file : QString();
    }

    template <typename T>
    static T* child(QWidget* w, const char* name)
    {
        return w->findChild<T*>(QLatin1String(name));
    }

private slots:
    void init()
    {
        oldCwd = QDir::currentPath();
        tmp = new QTemporaryDir;
        QVERIFY(tmp->isValid());
        QDir::setCurrent(tmp->path());
        QVERIFY(QDir().mkpath(QStringLiteral("data")));
    }
    void cleanupTestCase()
    {
        if (!standIn.isEmpty())
            QFile::remove(standIn);
    }
    void cleanup()
    {
        QDir::setCurrent(oldCwd);
        delete tmp;
        tmp = nullptr;
    }

    void textsByMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QString>("placeholder");
        QTest::addColumn<bool>("closeShown");
        QTest::newRow("open") << 0 << "Открыть хранилище" << "Открыть"
                              << "Введите пароль для доступа \nк вашим персональным данным." << "Пароль" << true;
        QTest::newRow("lock") << 1 << "Снятие блокировки" << "Разблокировать"
                              << "Программа заблокирована.\nДля снятия блокировки\nвведите пароль." << "Пароль" << true;
        QTest::newRow("current") << 2 << "Введите мастер-пароль" << "Ввод"
                                 << "Для создания биометрического \nконтейнера (НБК) необходимо ввести \nтекущий мастер-пароль."
                                 << "Введите текущий пароль" << false;
    }
    void textsByMode()
    {
        QFETCH(int, mode);
        QFETCH(QString, title);
        QFETCH(QString, button);
        QFETCH(QString, info);
        QFETCH(QString, placeholder);
        QFETCH(bool, closeShown);
        AuthPswDlg dlg(mode, nullptr);
        QCOMPARE(dlg.objectName(), QStringLiteral("AuthPswDlg"));
        QCOMPARE(dlg.windowTitle(), title);
        QCOMPARE(child<QPushButton>(&dlg, "pushButton_unlock")->text(), button);
        QCOMPARE(child<QLabel>(&dlg, "label_info")->text(), info);
        QCOMPARE(child<QLineEdit>(&dlg, "lineEdit_psw")->placeholderText(), placeholder);
        QCOMPARE(!child<QToolButton>(&dlg, "toolButton_close")->isHidden(), closeShown);
        QVERIFY(child<QToolButton>(&dlg, "toolButton_back")->isChecked());
        QCOMPARE(child<QComboBox>(&dlg, "comboBox_nbc")->itemText(0), QStringLiteral("Пароль"));
    }

    void validator_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("latin and digits") << "Abc123xyz" << "Abc123xyz";
        QTest::newRow("cyrillic refused") << "abЖcд1" << "abc1";
        QTest::newRow("punctuation refused") << "a b-c!d" << "abcd";
        QTest::newRow("33rd refused") << QString(40, 'q') << QString(32, 'q');
    }
    void validator()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        AuthPswDlg dlg(0, nullptr);
        QLineEdit* edit = child<QLineEdit>(&dlg, "lineEdit_psw");
        ModalDriver::keys(edit, typed);
        QCOMPARE(edit->text(), kept);
    }

    // Wrong, then empty, then right: one warning, the field emptied, then an
    // accepted dialog with the password's key; the preference saved.
    void wrongThenRight()
    {
        QVERIFY(Repository().makeMainPsw(QStringLiteral("Secret77")));
        AuthPswDlg dlg(0, nullptr);
        QString afterWrong = QStringLiteral("untouched");
        ModalDriver driver;
        driver
            .on("AuthPswDlg",
                [](QWidget* w) {
                    ModalDriver::type(w, "lineEdit_psw", QStringLiteral("Secret78"));
                    ModalDriver::click(w, "pushButton_unlock");
                })
            .box()
            .on("AuthPswDlg",
                [&](QWidget* w) {
                    afterWrong = child<QLineEdit>(w, "lineEdit_psw")->text();
                    ModalDriver::click(w, "pushButton_unlock"); // empty: nothing happens
                })
            .on("AuthPswDlg", [](QWidget* w) {
                ModalDriver::type(w, "lineEdit_psw", QStringLiteral("Secret77"));
                ModalDriver::click(w, "pushButton_unlock");
            });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QVERIFY(driver.done());
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Предупреждение"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Введённый пароль неправилен.\nВведите заново ваш пароль."));
        QCOMPARE(afterWrong, QString());
        QCOMPARE(dlg.key(), Repository::keyFromPassword(QStringLiteral("Secret77")));
        QCOMPARE(dlg.key().size(), 20);
        QCOMPARE(fileBytes(settingsPath()).size(), 12);
    }

    // A preference for a container, while no wizard library is there and the
    // file is rubbish: only the password is offered, and the preference is
    // dropped on the next success.
    void stalePreference()
    {
        QVERIFY(Repository().makeMainPsw(QStringLiteral("Secret77")));
        const QString nbc = QStringLiteral("{6f1b2c3d-0000-4000-8000-000000000001}.nbc");
        QVERIFY(putBytes(QStringLiteral("data/") + nbc, QByteArray(64, '\xff')));
        AppSettings s;
        s.lockInterval = 5000;
        s.nbcFile = nbc;
        s.categoryRow = 2;
        QVERIFY(saveSettings(s));

        AuthPswDlg dlg(1, nullptr);
        QComboBox* combo = child<QComboBox>(&dlg, "comboBox_nbc");
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->itemText(0), QStringLiteral("Пароль"));
        QVERIFY(!child<QLineEdit>(&dlg, "lineEdit_psw")->isHidden());
        ModalDriver driver;
        driver.on("AuthPswDlg", [](QWidget* w) {
            ModalDriver::type(w, "lineEdit_psw", QStringLiteral("Secret77"));
            ModalDriver::click(w, "pushButton_unlock");
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        AppSettings back;
        QVERIFY(loadSettings(back));
        QVERIFY(back.nbcFile.isNull());
        QCOMPARE(back.lockInterval, 5000);
        QCOMPARE(back.categoryRow, 2);
    }

    // A store that is not a store: no password opens it.
    void garbageStore()
    {
        QVERIFY(putBytes(Repository::defaultPath(), QByteArray("\x00\x00\x00\x14short", 9)));
        AuthPswDlg dlg(0, nullptr);
        ModalDriver driver;
        driver
            .on("AuthPswDlg",
                [](QWidget* w) {
                    ModalDriver::type(w, "lineEdit_psw", QStringLiteral("anything1"));
                    ModalDriver::click(w, "pushButton_unlock");
                })
            .box()
            .on("AuthPswDlg", [](QWidget* w) { ModalDriver::click(w, "toolButton_close"); });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY(dlg.key().isEmpty());
        QVERIFY(!QFile::exists(settingsPath()));
    }

    // The preferred container is still there: it is selected, the password
    // field hidden, and the unlock button takes the key from it.
    void preferredContainer()
    {
        QVERIFY(installStandIn());
        setMode(0);
        const QString file = makeContainer(QStringLiteral("Мой отпечаток"));
        QVERIFY(!file.isEmpty());
        AppSettings s;
        s.nbcFile = file;
        QVERIFY(saveSettings(s));
        AuthPswDlg dlg(0, nullptr);
        QComboBox* combo = child<QComboBox>(&dlg, "comboBox_nbc");
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(combo->currentText(), QStringLiteral("Мой отпечаток"));
        QVERIFY(child<QLineEdit>(&dlg, "lineEdit_psw")->isHidden());
        ModalDriver driver;
        driver.on("AuthPswDlg", [](QWidget* w) { ModalDriver::click(w, "pushButton_unlock"); });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY(driver.boxes.isEmpty());
        QVERIFY(Repository().isRightMainKey(dlg.key()));
        AppSettings back;
        loadSettings(back);
        QCOMPARE(back.nbcFile, file);
    }

    // Choosing the container row starts at once: cancelled (no message),
    // failed ("Ошибка извлечения ключа"); back to the password, which wins
    // and clears the preference.
    void containerChosenFromList()
    {
        QVERIFY(installStandIn());
        QVERIFY(!makeContainer(QStringLiteral("Ладонь")).isEmpty());
        const QByteArray storeBefore = fileBytes(Repository::defaultPath());
        AuthPswDlg dlg(2, nullptr);
        QComboBox* combo = child<QComboBox>(&dlg, "comboBox_nbc");
        QCOMPARE(combo->currentIndex(), 0);
        bool pswHiddenAfterChoice = false;
        ModalDriver driver;
        driver
            .on("AuthPswDlg",
                [&](QWidget* w) {
                    setMode(1); // the user cancels the wizard
                    QTest::keyClick(child<QComboBox>(w, "comboBox_nbc"), Qt::Key_Down);
                    pswHiddenAfterChoice = child<QLineEdit>(w, "lineEdit_psw")->isHidden();
                })
            .on("AuthPswDlg",
                [&](QWidget* w) {
                    setMode(4); // the wizard fails
                    ModalDriver::click(w, "pushButton_unlock");
                })
            .box()
            .on("AuthPswDlg", [&](QWidget* w) {
                static_cast<QDialog*>(w)->reject();
            });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QVERIFY(pswHiddenAfterChoice);
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Ошибка извлечения ключа"));
        QVERIFY(dlg.key().isEmpty());
        QCOMPARE(fileBytes(Repository::defaultPath()), storeBefore);

        // Back to the password: the field comes back; a right one is taken
        // and the preference saved as none.
        const QByteArray key = Repository::keyFromPassword(QStringLiteral("typed1"));
        QVERIFY(Repository().write(key, QByteArray()));
        AppSettings s;
        s.nbcFile = FileNbc().names().value(0);
        QVERIFY(saveSettings(s));
        AuthPswDlg again(0, nullptr);
        QCOMPARE(child<QComboBox>(&again, "comboBox_nbc")->currentIndex(), 1);
        ModalDriver driver2;
        driver2.on("AuthPswDlg", [](QWidget* w) {
            QTest::keyClick(child<QComboBox>(w, "comboBox_nbc"), Qt::Key_Up);
            ModalDriver::type(w, "lineEdit_psw", QStringLiteral("typed1"));
            ModalDriver::click(w, "pushButton_unlock");
        });
        QCOMPARE(again.exec(), int(QDialog::Accepted));
        QCOMPARE(again.key(), key);
        AppSettings back;
        loadSettings(back);
        QVERIFY(back.nbcFile.isNull());
    }
};

QTEST_MAIN(TestAuthPswDlg)
#include "tst_authpswdlg.moc"
