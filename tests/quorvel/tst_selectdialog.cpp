#include "quorvel/interface/SelectDialog.h"

#include "ModalDriver.h"

#include <QListWidget>
#include <QtTest>

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
};

QTEST_MAIN(TestSelectDialog)
#include "tst_selectdialog.moc"
