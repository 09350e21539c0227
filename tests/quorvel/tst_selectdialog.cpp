#include "quorvel/interface/SelectDialog.h"

#include "ModalDriver.h"
#include "TestModule.h"
#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/InputSequence.h"
#include "nb-cpp/Nbc.h"
#include "nbi/nbModule.h"

#include <QListWidget>
#include <QtTest>

namespace {

// A container made by hand: a handwritten password or a fingerprint, and
// then a second handwritten password.
bool alternativesThenInput(Nbc& nbc)
{
    const Nb::Meta hand(TestModule::HandwritingFeatures, Nb::MfR32, Nb::MtC);
    const Nb::Meta finger(TestModule::FingerprintFeatures, Nb::MfR32, Nb::MtC);
    const Nb::Meta code(64, Nb::MfI1, Nb::MtDO), half(32, Nb::MfI1, Nb::MtDO);
    Nb::Scheme s;
    s.push(Nb::StIn, hand).push(Nb::StIn, finger).push(Nb::StIn, hand);
    for (int i = 0; i < 3; ++i)
        s.push(Nb::BtNeuralConv, half, {Nb::StIn}, {i}, Nb::BlockFlags(0));
    s.push(Nb::BtCondition, half, {Nb::StIn, Nb::StIn}, {3, 4}, Nb::BlockFlags(0x40));
    s.push(Nb::BtConnector, code, {Nb::StIn, Nb::StIn}, {6, 5}, Nb::BlockFlags(0x60));
    nbc.setCodeLength(64);
    return nbc.setScheme(s.setOut(7)) && nbc.setInputModules(s.slotId(0), {TECH_Handwriting, TECH_Handwriting})
           && nbc.setInputModules(s.slotId(1), {TECH_Fingerprint, TECH_Fingerprint})
           && nbc.setInputModules(s.slotId(2), {TECH_Handwriting, TECH_Handwriting});
}

} // namespace

class TestSelectDialog : public QObject {
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<int>("current"); // -1: closed without "Выбрать"
        QTest::addColumn<int>("chosen");
        QTest::newRow("closed") << -1 << 0;
        QTest::newRow("second") << 1 << 1;
    }
    void choice()
    {
        QFETCH(int, current);
        QFETCH(int, chosen);
        QStringList shown;
        ModalDriver driver;
        driver.on("SelectDialog", [&](QWidget* d) {
            auto* list = ModalDriver::find<QListWidget>(d, "listWidget");
            for (int i = 0; i < list->count(); ++i)
                shown << list->item(i)->text();
            if (current < 0) {
                d->close();
                return;
            }
            list->setCurrentRow(current);
            ModalDriver::click(d, "pushButton");
        });
        const QStringList names{"Рукописный образ", "Рукописный образ"};
        QCOMPARE(selectInputVariant(nullptr, names), chosen);
        QCOMPARE(shown, names);
    }

    // The chosen alternative becomes the current input, also when more
    // inputs follow the group.
    void movesSequence_data()
    {
        QTest::addColumn<int>("current"); // -1: closed without "Выбрать"
        QTest::addColumn<int>("step");
        QTest::newRow("closed") << -1 << 0;
        QTest::newRow("first") << 0 << 0;
        QTest::newRow("second") << 1 << 1;
    }
    void movesSequence()
    {
        QFETCH(int, current);
        TestModule* m = testModule();
        QVERIFY(m);
        m->resetTo(TestModule::HandwritingProvider);
        m->enable(TestModule::FingerprintProvider);
        Dispatcher dispatcher;
        dispatcher.scan(Dispatcher::modulesPath());
        Nbc nbc;
        QVERIFY(alternativesThenInput(nbc));
        InputSequence sequence;
        QVERIFY(sequence.build(nbc) && sequence.count() == 3 && sequence.stageSize() == 2);

        QStringList shown;
        ModalDriver driver;
        driver.on("SelectDialog", [&](QWidget* d) {
            auto* list = ModalDriver::find<QListWidget>(d, "listWidget");
            for (int i = 0; i < list->count(); ++i)
                shown << list->item(i)->text();
            if (current < 0) {
                d->close();
                return;
            }
            list->setCurrentRow(current);
            ModalDriver::click(d, "pushButton");
        });
        chooseInputVariant(nullptr, dispatcher, sequence);
        QCOMPARE(shown, (QStringList{"Рукописный образ", "Отпечаток пальца"}));
        QTEST(sequence.step(), "step");
        QCOMPARE(sequence.stage(), 0);
        QVERIFY(sequence.skipGroup());
        QCOMPARE(sequence.step(), 2);
    }
};

QTEST_MAIN(TestSelectDialog)
#include "tst_selectdialog.moc"
