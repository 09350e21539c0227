#include "quorvel/interface/WizardTools.h"

#include <QDialog>
#include <QGridLayout>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizard>
#include <QtTest>

class TestWizardTools : public QObject {
    Q_OBJECT

private slots:
    // A wizard's modal loop ends as QDialog::exec does: when the dialog
    // finishes, when it is hidden and when it is destroyed.
    void runModalEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("accepted") << "accept" << int(QDialog::Accepted);
        QTest::newRow("hidden") << "hide" << int(QDialog::Rejected);
        QTest::newRow("destroyed") << "delete" << int(QDialog::Rejected); // last: see the watchdog
    }
    void runModalEnds()
    {
        QFETCH(QString, how);
        auto* dialog = new QDialog;
        QPointer<QDialog> alive(dialog);
        QTimer::singleShot(20, dialog, [dialog, how] {
            if (how == "accept")
                dialog->accept();
            else if (how == "hide")
                dialog->hide();
            else
                dialog->deleteLater();
        });
        // A loop that goes on is ended through the dialog, or, once that is
        // gone, with every loop of the thread.
        bool stuck = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [&stuck, alive] {
            stuck = true;
            if (alive)
                alive->done(QDialog::Rejected);
            else
                QCoreApplication::exit(1);
        });
        watchdog.start(3000);
        QTEST(runModal(dialog), "result");
        QVERIFY(!stuck);
        QCOMPARE(alive.isNull(), how == "delete");
        delete alive;
    }

    // A view larger than the room a shown wizard gives it makes the wizard
    // grow rather than be cut off.
    void viewIsHeld()
    {
        QWizard wizard;
        auto* page = new QWizardPage;
        auto* area = new QWidget;
        area->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        (new QGridLayout(page))->addWidget(area, 0, 0);
        wizard.addPage(page);
        wizard.resize(500, 300);
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        auto* view = new QWidget;
        view->setFixedSize(300, 260);
        (new QVBoxLayout(area))->addWidget(view);
        QTest::qWait(20);
        QVERIFY(area->height() < view->height());
        holdView(area);
        QTRY_VERIFY(area->height() >= view->height());
        QCOMPARE(wizard.width(), 500);
    }
};

QTEST_MAIN(TestWizardTools)
#include "tst_wizardtools.moc"
