#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"

#include <QtTest>

namespace {

// "id:count format <links> /flags" per slot; r = real parameters (MtC),
// b = code bits (MtDO); "out n" for the result's index.
QString describe(const Nb::Scheme& s)
{
    QStringList parts;
    for (int32_t i = 0; i < s.count(); ++i) {
        const Nb::Slot* slot = s.at(i);
        const Nb::Meta& m = slot->meta();
        QString text = QString::number(slot->id().value(), 16) + ":" + QString::number(m.count)
                       + (m.format == Nb::MfR32 && m.type == Nb::MtC     ? "r"
                          : m.format == Nb::MfI1 && m.type == Nb::MtDO ? "b"
                                                                             : "?");
        QStringList links;
        for (Nb::SlotId link : slot->links())
            links << QString::number(link.value(), 16);
        if (!links.isEmpty())
            text += "<" + links.join(",") + ">";
        if (slot->flags())
            text += "/" + QString::number(slot->flags(), 16);
        parts << text;
    }
    return parts.join(" ") + " out " + QString::number(s.out());
}

QList<int> blockTypes(const Nbc& nbc)
{
    QList<int> types;
    for (const Nb::Block* b : nbc.blocks())
        types << b->type();
    return types;
}

const Nb::Uuid Hw("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}");
const Nb::Uuid Fp("{EFAD1EB7-29F3-4C69-8689-EA2C938D1119}");

} // namespace

class TestStandardSchemes : public QObject {
    Q_OBJECT

private slots:
    void schemes_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("inputs"); // technology per input: h or f
        QTest::newRow("0 handwriting, 160") << 0 << 160 << "1:480r ff81:160b<1> out 1" << "h";
        QTest::newRow("1 fingerprint, 256") << 1 << 256 << "1:256r ff81:256b<1> out 1" << "f";
        QTest::newRow("2 and, 168") << 2 << 168
                                    << "1:480r 2:256r ff81:88b<1> ff82:80b<2> fc81:168b<3f81,3f82>/60 out 4"
                                    << "hf";
        QTest::newRow("3 or, 160") << 3 << 160
                                   << "1:480r 2:256r ff81:160b<1> ff82:160b<2> fa01:160b<3f81,3f82>/40 out 4"
                                   << "hf";
        QTest::newRow("4 and, 160") << 4 << 160
                                    << "1:480r 2:480r ff81:80b<1> ff82:80b<2> fc81:160b<3f81,3f82>/60 out 4"
                                    << "hh";
        QTest::newRow("4 and, 8") << 4 << 8 << "1:480r 2:480r ff81:8b<1> ff82:0b<2> fc81:8b<3f81,3f82>/60 out 4"
                                  << "hh";
        QTest::newRow("5 and, 256") << 5 << 256
                                    << "1:256r 2:256r ff81:128b<1> ff82:128b<2> fc81:256b<3f81,3f82>/60 out 4"
                                    << "ff";
        QTest::newRow("6 or, 40") << 6 << 40 << "1:480r 2:480r ff81:40b<1> ff82:40b<2> fa01:40b<3f81,3f82>/40 out 4"
                                  << "hh";
        QTest::newRow("7 or, 256") << 7 << 256
                                   << "1:256r 2:256r ff81:256b<1> ff82:256b<2> fa01:256b<3f81,3f82>/40 out 4"
                                   << "ff";
    }
    void schemes()
    {
        QFETCH(int, number);
        QFETCH(int, bits);
        QFETCH(QString, layout);
        QFETCH(QString, inputs);
        Nbc built;
        built.setCodeLength(bits);
        QVERIFY(built.setStandardScheme(number));
        QByteArray bytes;
        Nbc nbc;
        QVERIFY(built.toBytes(bytes) && nbc.fromBytes(bytes)); // what is stored, read back
        QList<int> types{0, 135, 136};
        for (int i = 0; i < inputs.size(); ++i)
            types << 134;
        QCOMPARE(blockTypes(nbc), types << 250 << 129);
        QCOMPARE(nbc.schemeNumber(), number);
        Nb::Scheme scheme;
        QVERIFY(nbc.scheme(scheme));
        QCOMPARE(describe(scheme), layout);
        for (int i = 0; i < inputs.size(); ++i)
        {
            const Nb::Uuid tech = inputs.at(i) == 'h' ? Hw : Fp;
            QCOMPARE(nbc.inputModules(Nb::SlotId(uint16_t(i + 1))), (QList<Nb::Uuid>{tech, tech}));
        }
    }

    void refused()
    {
        for (int number : {8, -1}) {
            Nbc nbc;
            nbc.setCodeLength(160);
            QByteArray before, after;
            QVERIFY(nbc.toBytes(before));
            try {
                nbc.setStandardScheme(number);
                QFAIL("nothing thrown");
            } catch (Exception e) {
                QCOMPARE(e.message, QString::fromUtf8("Стандартная схема с таким номером не найдена"));
            }
            QVERIFY(nbc.toBytes(after) && after == before);
        }
        for (int bits : {0, -160, 7, 65544}) {
            Nbc nbc;
            nbc.setCodeLength(bits);
            QVERIFY(!nbc.setStandardScheme(0));
            QCOMPARE(blockTypes(nbc), (QList<int>{0, 135, 136}));
        }
    }

    void buildingTwice()
    {
        Nbc nbc;
        nbc.setCodeLength(160);
        QVERIFY(nbc.setStandardScheme(0) && nbc.setStandardScheme(7));
        QCOMPARE(blockTypes(nbc), (QList<int>{0, 135, 136, 134, 250, 129, 134, 134, 129}));
        QCOMPARE(nbc.schemeNumber(), 0);
        QCOMPARE(nbc.inputModules(1), (QList<Nb::Uuid>{Hw, Hw})); // the first record wins
        Nb::Scheme scheme;
        QVERIFY(nbc.scheme(scheme) && scheme.count() == 5); // the scheme is the second's
    }
};

QTEST_GUILESS_MAIN(TestStandardSchemes)
#include "tst_standardschemes.moc"
