#include "quorvel/interface/TrainWizard.h"

#include "WizardRig.h"

#include <QProgressBar>
#include <QTableWidget>
#include <QtTest>

#include <cmath>

#include "nb-cpp/Nbc.h"

using namespace rig;

namespace {
QListWidget* samples(QWidget* w) { return ModalDriver::find<QListWidget>(w, "listImages"); }
void press(QWidget* w, QWizard::WizardButton b)
{
    QTest::mouseClick(static_cast<QWizard*>(w)->button(b), Qt::LeftButton);
}
} // namespace

class TestTrainWizard : public QObject {
    Q_OBJECT

    TestModule* m = nullptr;

private slots:
    void init() { QVERIFY(m = module()); }

    void figures_data()
    {
        QTest::addColumn<float>("errorI");
        QTest::addColumn<float>("errorII");
        QTest::addColumn<float>("protectedII");
        QTest::addColumn<int>("quality");
        QTest::addColumn<QString>("lines"); // the numbers of the three lines
        QTest::newRow("0.001") << 0.0f << 0.001f << 0.0f << 37 << "0|0.001|менее 10e-50";
        QTest::newRow("1e-4") << 0.0f << 1e-4f << 2.5e-7f << 50 << "0|0.0001|2.5e-07";
        QTest::newRow("1e-8") << 0.0f << 1e-8f << 1.0f << 100 << "0|1e-08|1";
        QTest::newRow("0") << 0.0f << 0.0f << 1.0f << 100 << "0|0|1";
        QTest::newRow("0.5") << 0.0f << 0.5f << 1.0f << 3 << "0|0.5|1";
        QTest::newRow("1") << 0.0f << 1.0f << 1.0f << 0 << "0|1|1";
        QTest::newRow("above 1") << 0.0f << 2.0f << 1.0f << 0 << "0|2|1";
        QTest::newRow("NaN") << 0.0f << float(NAN) << 1.0f << 0 << "0|nan|1";
        // The owner turned away bounds the bar too.
        QTest::newRow("owner 1 in 12") << 1.0f / 12 << 0.0f << 1.0f << 79 << "0.0833333|0|1";
        QTest::newRow("owner 0.1, 1e-4") << 0.1f << 1e-4f << 1.0f << 50 << "0.1|0.0001|1";
        QTest::newRow("owner 0.4") << 0.4f << 0.0f << 1.0f << 0 << "0.4|0|1";
        QTest::newRow("owner NaN") << float(NAN) << 0.0f << 1.0f << 0 << "nan|0|1";
    }
    void figures()
    {
        QFETCH(float, errorI);
        QFETCH(float, errorII);
        QFETCH(float, protectedII);
        QFETCH(int, quality);
        QFETCH(QString, lines);
        TrainResult r;
        r.errorI() = errorI;
        r.errorII() = errorII;
        r.errorIIProtected() = protectedII;
        const QStringList n = lines.split('|');
        const QString prefix = "Предполагаемая вероятность ошибки ";
        QCOMPARE(TrainWizard::figuresText(r),
                 prefix + "первого рода: " + n[0] + "\r\n" + prefix + "второго рода: " + n[1] + "\r\n" + prefix
                     + "второго рода с защитой кода (защита в контейнер не записывается): " + n[2] + "\r\n");
        QCOMPARE(TrainWizard::qualityValue(r), quality);
    }

    // A steady hand is turned away less often than a shaky one: the first
    // figure shown rises with the samples' noise and the bar falls.
    void figuresFollowSamples()
    {
        QList<float> shown;
        QList<int> bars;
        for (float spread : {0.04f, 1.8f}) {
            Person p(0, 9);
            p.spread = spread;
            ModalDriver driver;
            driver.on("TrainWizard", [&](QWidget* w) {
                trainScheme(w, m, p, 0);
                const QString line = ModalDriver::find<QLabel>(w, "txtQuality")->text().section("\r\n", 0, 0);
                shown << line.mid(line.lastIndexOf(": ") + 2).toFloat();
                bars << ModalDriver::find<QProgressBar>(w, "progressQuality")->value();
                press(w, QWizard::CancelButton);
            });
            train(p.key);
        }
        // The shaky owner is turned away far more often than the steady one.
        QVERIFY2(shown[0] < shown[1] && shown[1] > 0.2f, qPrintable(QString("%1, %2").arg(shown[0]).arg(shown[1])));
        QVERIFY(bars[0] > bars[1]);
    }

    // Twelve samples open the way on; a look at a stored one disarms the
    // device until Clear; Delete takes one back.
    void sampleList()
    {
        Person p(0, 3);
        ModalDriver driver;
        QList<int> rows;
        QList<bool> nextEnabled;
        driver.on("TrainWizard", [&](QWidget* w) {
            next(w);
            const auto state = [&] {
                rows << samples(w)->count();
                nextEnabled << static_cast<QWizard*>(w)->button(QWizard::NextButton)->isEnabled();
            };
            for (int i = 0; i < 12; ++i) {
                m->queueImage(1, p.training(0));
                ModalDriver::click(w, "btnAccept");
                if (i >= 10)
                    state(); // 11, then 12
            }
            samples(w)->setCurrentRow(3);
            m->queueImage(1, p.training(0));
            ModalDriver::click(w, "btnAccept");
            state(); // not taken
            ModalDriver::click(w, "btnDelete");
            state();
            ModalDriver::click(w, "btnClear"); // drops the pending image
            m->queueImage(1, p.training(0));
            ModalDriver::click(w, "btnAccept");
            state(); // taken now
            press(w, QWizard::CancelButton);
        });
        uint32_t rc = 0;
        train(p.key, &rc);
        QCOMPARE(rc, 2u);
        QCOMPARE(rows, (QList<int>{11, 12, 12, 11, 12}));
        QCOMPARE(nextEnabled, (QList<bool>{false, true, true, false, true}));
        QVERIFY(m->journal(1).contains("viewImage"));
    }

    // Page 1 entered three times still takes one sample per device event.
    void signalsConnectedOnce()
    {
        Person p(0, 4);
        ModalDriver driver;
        int taken = -1;
        driver.on("TrainWizard", [&](QWidget* w) {
            next(w);
            press(w, QWizard::BackButton);
            next(w);
            press(w, QWizard::BackButton);
            next(w);
            for (int i = 0; i < 3; ++i)
                m->queueImage(1, p.training(0));
            m->fireEvent(1, 0x103);
            QTest::qWait(50);
            taken = samples(w)->count();
            press(w, QWizard::CancelButton);
        });
        train(p.key);
        QCOMPARE(taken, 1);
    }

    // Training again after Back keeps one template per input, and the key
    // still comes back.
    void retraining()
    {
        Person p(0, 5);
        ModalDriver driver;
        driver.on("TrainWizard", [&](QWidget* w) {
            trainScheme(w, m, p, 0);
            press(w, QWizard::BackButton);
            next(w);
            press(w, QWizard::FinishButton);
        });
        const QByteArray bytes = train(p.key);
        Nbc nbc;
        QVERIFY(nbc.fromBytes(bytes));
        QList<Nb::Block*> found;
        nbc.findBlocks(found, Nbc::BtTemplate);
        QCOMPARE(found.size(), 1);
        QCOMPARE(extract(m, p, 0, bytes), p.key);
    }

    void missingModule_data()
    {
        QTest::addColumn<int>("scheme");
        QTest::addColumn<int>("row"); // switched off
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("input"); // page 1 shows it again
        QTest::newRow("processor of the second input") << 2 << 6 << "Модуль биометрического процессора не найден!" << 1;
        // (The engine cannot go missing here: a copy of it sits beside the
        // test module.)
        QTest::newRow("processor of the only input") << 0 << 2 << "Модуль биометрического процессора не найден!" << 0;
    }
    void missingModule()
    {
        QFETCH(int, scheme);
        QFETCH(int, row);
        QFETCH(QString, message);
        QFETCH(int, input);
        m->enable(row, false);
        Person p(scheme, 6);
        ModalDriver driver;
        int page = -1, listed = -1;
        QString mark;
        driver.on("TrainWizard", [&](QWidget* w) {
            trainScheme(w, m, p, scheme);
            page = static_cast<QWizard*>(w)->currentId();
            listed = samples(w)->count();
            mark = ModalDriver::find<QTableWidget>(w, "scheme_2")->cellWidget(0, 2 + 2 * input)->styleSheet();
            press(w, QWizard::CancelButton);
        });
        driver.box();
        train(p.key);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes.first().text, message);
        QCOMPARE(page, 1);
        QCOMPARE(listed, 12);
        QVERIFY(mark.contains("color: red"));
    }
};

QTEST_MAIN(TestTrainWizard)
#include "tst_trainwizard.moc"
