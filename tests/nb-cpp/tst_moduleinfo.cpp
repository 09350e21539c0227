#include "nb-cpp/ModuleInfo.h"

#include <QtTest>

// The table's ids are those the modules were built for: written out here,
// not taken from the interface header that the modules share.
class TestModuleInfo : public QObject {
    Q_OBJECT

private slots:
    void table_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("classId");
        QTest::addColumn<QString>("interfaceId");
        QTest::addColumn<QString>("technologyId");
        const QString hand = QString::fromUtf8("Рукописный образ"), finger = QString::fromUtf8("Отпечаток пальца");
        const QString provider = "{4077DC01-8AB9-4322-B37E-26C2A4A27A2C}", processor = "{45EB7F85-D92D-4045-B05C-502294F4F7B4}";
        const QString hw = "{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}", fp = "{EFAD1EB7-29F3-4C69-8689-EA2C938D1119}";
        const QString engine = "{A3213E60-57B3-4643-84E4-11CAB9E81FFE}";
        QTest::newRow("1") << hand << "{A9EBF452-CF25-408C-8647-5E3A1D57FF4E}" << provider << hw;
        QTest::newRow("2") << hand << "{702CBB42-7367-48CF-BED1-D78D1774BA52}" << processor << hw;
        QTest::newRow("3") << hand << "{9668C4D8-E454-4F95-A005-C45F7D2D7474}" << provider << hw;
        QTest::newRow("4") << hand << "{6B5F390B-B441-41AD-B3FC-15F57C0E5750}" << processor << hw;
        QTest::newRow("5") << finger << "{7F4D6E5A-4950-493C-84F9-A6EAE368AE9D}" << provider << fp;
        QTest::newRow("6") << finger << "{6B2E0B0B-FF32-4DB7-B22F-2E60F6D3C68C}" << processor << fp;
        QTest::newRow("7") << QString::fromUtf8("Преобразователь биометрия-код")
                           << "{9AC0FE89-596E-4414-9436-05122BD94D34}" << engine << engine;
    }
    void table()
    {
        QFETCH(QString, name);
        QFETCH(QString, classId);
        QFETCH(QString, interfaceId);
        QFETCH(QString, technologyId);
        const ModuleInfo& row = TechnologyTable[QString(QTest::currentDataTag()).toInt() - 1];
        QCOMPARE(row.name, name);
        QCOMPARE(row.vendor, QString::fromUtf8("КЕРВ"));
        QVERIFY(row.path.isEmpty());
        QVERIFY(row.classId == Nb::Uuid(classId));
        QVERIFY(row.interfaceId == Nb::Uuid(interfaceId));
        QVERIFY(row.technologyId == Nb::Uuid(technologyId));
    }
};

QTEST_GUILESS_MAIN(TestModuleInfo)
#include "tst_moduleinfo.moc"
