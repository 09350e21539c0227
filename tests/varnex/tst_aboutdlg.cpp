// The About box: title, icon, text and link; OK, Escape and the window's
// close button all close it.

#include "ModalDriver.h"
#include "varnex/interface/aboutdlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using D = ModalDriver;

class TestAboutDlg : public QObject {
    Q_OBJECT

private slots:
    void content()
    {
        AboutDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("О программе"));
        QVERIFY(!D::find<QLabel>(&dlg, "label_ico")->pixmap(Qt::ReturnByValue).isNull());
        const QStringList lines = D::find<QLabel>(&dlg, "label_text")->text().split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], "Варнекс - биометрический хранитель секретов." + QString(38, ' '));
        QVERIFY(lines[1].isEmpty() && lines[2].endsWith(QString(38, ' ')) && !lines[3].isEmpty());
        QLabel* url = D::find<QLabel>(&dlg, "label_url");
        QVERIFY(url->text().startsWith("<a href="));
        QVERIFY(url->openExternalLinks());
    }

    void closing_data()
    {
        QTest::addColumn<int>("how"); // 0 OK, 1 Escape, 2 close button
        QTest::newRow("OK") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close") << 2;
    }
    void closing()
    {
        QFETCH(int, how);
        AboutDlg dlg;
        D driver;
        driver.on("AboutDlg", [how](QWidget* w) {
            if (how == 0)
                QTest::mouseClick(D::find<QDialogButtonBox>(w, "buttonBox")->button(QDialogButtonBox::Ok),
                                  Qt::LeftButton);
            else if (how == 1)
                QTest::keyClick(w, Qt::Key_Escape);
            else
                w->close();
        });
        dlg.exec();
        QVERIFY(driver.done() && driver.errors.isEmpty());
        QVERIFY(!dlg.isVisible());
    }
};

QTEST_MAIN(TestAboutDlg)
#include "tst_aboutdlg.moc"
