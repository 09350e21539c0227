#include "DebugCapture.h"
#include "qtnb/Meta.h"

#include <QtTest>

using namespace Nb;

class TestMeta : public QObject {
    Q_OBJECT
private slots:
    void sizes_data();
    void sizes();
    void checkedSizes();
    void patterns();
    void printer();
};

void TestMeta::sizes_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("size");
    QTest::newRow("code 128") << 128 << int(MfI1) << 16;
    QTest::newRow("test 9") << 9 << int(MfR32) << 36;
    QTest::newRow("params 480") << 480 << int(MfR32) << 1920;
    QTest::newRow("3 x U2") << 3 << int(MfU2) << 1;
    QTest::newRow("5 x I4") << 5 << int(MfI4) << 3;
    QTest::newRow("1 x I1") << 1 << int(MfI1) << 1;
    QTest::newRow("9 x U1") << 9 << int(MfU1) << 2;
    QTest::newRow("bit 7 ignored") << 8 << 129 << 1;
    QTest::newRow("format 40") << 1 << 40 << 10;
    QTest::newRow("format 54") << 1 << 54 << 4;
    QTest::newRow("format 8") << 10 << 8 << 0;
    QTest::newRow("format 0") << 10 << 0 << 0;
    QTest::newRow("I64") << 3 << int(MfI64) << 24;
    QTest::newRow("R16") << 3 << int(MfR16) << 6;
    QTest::newRow("negative count") << -8 << int(MfU8) << -8;
}

void TestMeta::sizes()
{
    QFETCH(int, count);
    QFETCH(int, format);
    QFETCH(int, size);
    QCOMPARE(Meta(count, MetaFormat(format), MtC).size(), size);
    if (count >= 0)
        QCOMPARE(Meta(count, MetaFormat(format), MtC).checkedSize(), qint64(size));
}

void TestMeta::checkedSizes()
{
    QCOMPARE(Meta(-1, MfU8, MtC).checkedSize(), qint64(-1));
    QCOMPARE(Meta(0x10000000, MfR64, MtC).checkedSize(), qint64(-1));
    QCOMPARE(Meta(0x0FFFFFFF, MfU8, MtC).checkedSize(), qint64(0x0FFFFFFF));
}

void TestMeta::patterns()
{
    const Meta params(480, MfR32, MtC);
    QVERIFY(params.match(Meta()));
    QVERIFY(Meta(1, MfI1, MtDO).match(NilMeta));
    const Meta pattern(0, MfR32, MtC);
    QVERIFY(params.match(pattern));
    QVERIFY(!Meta(480, MfI1, MtDO).match(pattern));
    QVERIFY(!Meta(480, MfR32, MtCO).match(pattern));
    QVERIFY(!params.match(Meta(481, MfR32, MtC)));
    QVERIFY(pattern.isPattern());
    QVERIFY(!params.isPattern());
    QVERIFY(Meta().isNil() && NilMeta.isNil());
    QVERIFY(!pattern.isNil());
    QVERIFY(params.isLike(Meta(1, MfR32, MtC)));
    QVERIFY(!params.isLike(Meta(480, MfR32, MtCO)));
    QVERIFY(params == Meta(480, MfR32, MtC));
    // Equality compares the raw format byte.
    QVERIFY(Meta(8, MfI1, MtDO) != Meta(8, MetaFormat(129), MtDO));
    Meta m;
    m.set(9, MfR32, MtCO);
    QCOMPARE(m, Meta(9, MfR32, MtCO));
    QCOMPARE(int(m.bits()), 32);
}

void TestMeta::printer()
{
    QCOMPARE(printed(Meta(480, MfR32, MtC)), QString("(480 MfR32 MtC)"));
    QCOMPARE(printed(Meta()), QString("(0 Mf0 Mt0)"));
    QCOMPARE(printed(Meta(-1, MetaFormat(8), MetaType(2))), QString("(4294967295 Mf8 Mt2)"));
}

QTEST_GUILESS_MAIN(TestMeta)
#include "tst_meta.moc"
