// The program's road through its settings, on the real wizard library and
// the runtime's test module (a handwriting pad and processor handing out
// the samples queued here): the first password refused, then set from the
// settings; a container made; a backup; the lock opened with the
// container; a new master password, which the container's key no longer
// opens (and the user is told so); the backup restored, which the
// container opens again; the container deleted. The About box on the way.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "TestModule.h"
#include "varnex/interface/mainwindow.h"
#include "varnex/model/repository.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QWizard>
#include <QtTest>

#include <random>

using D = ModalDriver;

namespace {

D::Action press(const char* button)
{
    return [=](QWidget* w) { D::click(w, button); };
}

D::Action typeThen(const QVector<QPair<const char*, QString>>& fields, const char* button)
{
    return [=](QWidget* w) {
        for (const auto& f : fields)
            D::type(w, f.first, f.second);
        if (button)
            D::click(w, button);
        else // the button box's default Ok
            QTest::keyClick(D::find<QLineEdit>(w, "lineEdit_newpsw2"), Qt::Key_Return);
    };
}

D::Action comboKey(Qt::Key key, const QString& password = QString())
{
    return [=](QWidget* d) {
        QTest::keyClick(D::find<QComboBox>(d, "comboBox_nbc"), key);
        if (!password.isNull())
            typeThen({{"lineEdit_psw", password}}, "pushButton_unlock")(d);
    };
}

void train(QWidget* w)
{
    auto* wizard = static_cast<QWizard*>(w);
    D::type(w, "_txtContainerName", "Перо");
    wizard->button(QWizard::NextButton)->click();
    for (int i = 0; i < 12; ++i)
        D::click(w, "btnAccept");
    wizard->button(QWizard::NextButton)->click(); // trains
    wizard->button(QWizard::FinishButton)->click();
}

} // namespace

class TestBiometricRoad : public QObject {
    Q_OBJECT

private slots:
    void wholeRoad()
    {
        ScratchCwd scratch;
        TestModule* module = testModule();
        QVERIFY(module && scratch.ok());
        module->reset();
        for (int row : {TestModule::HandwritingProvider, TestModule::HandwritingProcessor, TestModule::Engine})
            module->enable(row);
        std::mt19937 gen(2024);
        const QVector<float> person = personVector(gen, TestModule::HandwritingFeatures);
        for (int i = 0; i < 15; ++i) // 12 to train, then 3 drawn at unlocks
            module->queueImage(TestModule::HandwritingProvider,
                               vectorBytes(sampleOf(gen, person, i < 12 ? 0.04f : 0.004f)));

        const QString backup = QDir::current().absoluteFilePath("before.bpk");
        const auto pswOk = [](const char* current, const char* psw) {
            return typeThen({{"lineEdit_currpsw", current}, {"lineEdit_newpsw", psw}, {"lineEdit_newpsw2", psw}}, nullptr);
        };
        const auto unlock = [](const char* psw) { return typeThen({{"lineEdit_psw", psw}}, "pushButton_unlock"); };
        QString about;
        QWidget other; // in front at the lock
        const auto leave = [&](QWidget* settings) {
            settings->close();
            QApplication::setActiveWindow(&other);
        };
        D driver;
        driver.box().on("ChangePswDlg", [](QWidget* d) { static_cast<QDialog*>(d)->reject(); });
        driver.on("AboutDlg", [&](QWidget* d) {
            about = D::find<QLabel>(d, "label_text")->text().section('\n', 0, 0).trimmed();
            d->close();
        });
        driver.on("SettingsDlg", press("toolButton_changePsw")).on("ChangePswDlg", pswOk("", "abcd1"));
        driver.on("AuthPswDlg", unlock("abcd1")).on("SettingsDlg", press("toolButton_makeNbc"));
        driver.on("AuthPswDlg", unlock("abcd1")).on("TrainWizard", train);
        driver.on("SettingsDlg", press("toolButton_backup")).file(backup).on("SettingsDlg", leave);
        driver.on("AuthPswDlg", comboKey(Qt::Key_Down)).on("ExtractWizard", press("_btnAdd"));
        driver.on("SettingsDlg", press("toolButton_changePsw")).on("ChangePswDlg", pswOk("abcd1", "efgh2")).box();
        driver.on("SettingsDlg", leave).on("AuthPswDlg", press("pushButton_unlock")); // the container preferred
        driver.on("ExtractWizard", press("_btnAdd")).box().on("AuthPswDlg", comboKey(Qt::Key_Up, "efgh2"));
        driver.on("SettingsDlg", press("toolButton_loadBackup")).box(QMessageBox::Yes).file(backup);
        driver.on("AuthPswDlg", comboKey(Qt::Key_Down)).on("ExtractWizard", press("_btnAdd"));
        driver.on("SettingsDlg", press("toolButton_manageNbc")).on("ContainersDialog", press("btnDelete"));
        driver.box(QMessageBox::Yes).on("ContainersDialog", press("btnClose")).on("SettingsDlg", leave);

        MainWindow window;
        window.show();
        const auto at = [&](int pending) {
            QTRY_VERIFY_WITH_TIMEOUT(driver.pending() == pending || !driver.errors.isEmpty(), 20000);
            QApplication::setActiveWindow(&window);
        };
        at(30);
        D::click(&window, "toolButton_help");
        D::click(&window, "toolButton_settings");
        const int made = QDir("data", "*.nbc").entryList(QDir::Files).size();
        QMetaObject::invokeMethod(&window, "onTimeout", Qt::QueuedConnection); // the lock's tick
        at(18);
        D::click(&window, "toolButton_settings");
        QMetaObject::invokeMethod(&window, "onTimeout", Qt::QueuedConnection);
        at(10);
        D::click(&window, "toolButton_settings");
        at(0);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(about, QStringLiteral("Варнекс - биометрический хранитель секретов."));
        QCOMPARE(made, 1);
        QCOMPARE(driver.boxes[2].text, QStringLiteral("Введённый пароль неправилен.\nВведите заново ваш пароль."));
        QCOMPARE(fileBytes(Repository::defaultPath()), fileBytes(backup));
        QCOMPARE(window.findChild<QListWidget*>("listWidget_category")->count(), 3);
        QVERIFY(QDir("data", "*.nbc").entryList(QDir::Files).isEmpty());
    }
};

QTEST_MAIN(TestBiometricRoad)
#include "tst_biometricroad.moc"
