#include "WizardRig.h"

#include <QTableWidget>
#include <QtTest>

#include "nb-cpp/Nbc.h"

using namespace rig;

class TestExtractWizard : public QObject {
    Q_OBJECT

private slots:
    // A stranger's sample whose extraction failed is not kept for the next
    // attempt: the owner's sample alone gives the key back then.
    void failedAttemptStartsAfresh()
    {
        TestModule* m = module();
        QVERIFY(m);
        Person p(0, 11);
        ModalDriver training;
        training.on("TrainWizard", [&](QWidget* w) {
            trainScheme(w, m, p, 0);
            QTest::mouseClick(static_cast<QWizard*>(w)->button(QWizard::FinishButton), Qt::LeftButton);
        });
        const QByteArray container = train(p.key);
        QVERIFY(!container.isEmpty());

        m->fail(TestModule::HandwritingProcessor, "convert", 0xA0000003u, 1);
        ModalDriver driver;
        int page = -1;
        driver.on("ExtractWizard", [&](QWidget* w) {
            m->queueImage(1, p.stranger(0));
            ModalDriver::click(w, "_btnAdd"); // fails: the box, then the input page again
            page = static_cast<QWizard*>(w)->currentId();
            m->queueImage(1, p.live(0));
            ModalDriver::click(w, "_btnAdd");
        });
        driver.box();
        uint8_t* key = nullptr;
        uint32_t length = 0;
        QCOMPARE(nb_extract(reinterpret_cast<const uint8_t*>(container.constData()), uint32_t(container.size()), &key,
                            &length, nullptr),
                 0u);
        const QByteArray extracted(reinterpret_cast<char*>(key), int(length));
        QCOMPARE(nb_free(key), 0u);
        QCOMPARE(page, 0);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes.first().text, QString("Невозможно выполнить преобразование биометрических образов в параметры"));
        QCOMPARE(extracted, p.key);
    }

    // At the wizard's first size the scheme table shows every label whole.
    void schemeFitsAtFirstSize_data()
    {
        QTest::addColumn<int>("scheme");
        for (int scheme = 0; scheme < 8; ++scheme)
            QTest::newRow(qPrintable(inputsOf(scheme))) << scheme;
    }
    void schemeFitsAtFirstSize()
    {
        QFETCH(int, scheme);
        QVERIFY(module());
        Nbc nbc;
        nbc.setCodeLength(160);
        QByteArray container;
        QVERIFY(nbc.setStandardScheme(scheme) && nbc.toBytes(container));
        ModalDriver driver;
        if (inputsOf(scheme).contains('|'))
            choose(driver, 0);
        QStringList cut;
        int labels = 0;
        driver.on("ExtractWizard", [&](QWidget* w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QTest::qWait(50); // painted, which fits the table's columns
            for (QLabel* label : ModalDriver::find<QTableWidget>(w, "_tblScheme")->findChildren<QLabel*>()) {
                if (label->text().isEmpty())
                    continue;
                ++labels;
                if (label->contentsRect().width() < label->fontMetrics().horizontalAdvance(label->text()))
                    cut << label->text();
            }
            static_cast<QWizard*>(w)->reject();
        });
        uint8_t* key = nullptr;
        uint32_t length = 0;
        QCOMPARE(nb_extract(reinterpret_cast<const uint8_t*>(container.constData()), uint32_t(container.size()), &key,
                            &length, nullptr),
                 2u);
        QVERIFY(driver.done());
        QCOMPARE(labels, inputsOf(scheme).remove('|').size() + 2);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
    }
};

QTEST_MAIN(TestExtractWizard)
#include "tst_extractwizard.moc"
