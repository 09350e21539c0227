#include "DebugCapture.h"
#include "qtnb/Enums.h"
#include "qtnb/Error.h"
#include "qtnb/Meta.h"

#include <QtTest>

using namespace Nb;

class TestEnums : public QObject {
    Q_OBJECT
private slots:
    void singleValues_data();
    void singleValues();
    void flags_data();
    void flags();
    void everyNameOfTheTables();
    void testResult();
    void byteExcerpt_data();
    void byteExcerpt();
    void otherExcerpts();
    void printersLeaveNoSpacing();
};

void TestEnums::singleValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("BtNeuralConv") << printed(BtNeuralConv) << "BtNeuralConv";
    QTest::newRow("127") << printed(BlockType(127)) << "BtNeuralConv";
    QTest::newRow("Bt200") << printed(BlockType(200)) << "Bt200";
    QTest::newRow("Bt2") << printed(BlockType(2)) << "Bt2";
    QTest::newRow("BtNbc") << printed(BlockType(0)) << "BtNbc";
    QTest::newRow("BtExtention") << printed(BlockType(255)) << "BtExtention";
    QTest::newRow("state listed") << printed(BsPartially) << "BsPartially";
    QTest::newRow("state 7") << printed(BlockState(7)) << "7";
    QTest::newRow("StConv") << printed(SlotType(0xC000)) << "StConv";
    QTest::newRow("slot type 4096") << printed(SlotType(0x1000)) << "4096";
    QTest::newRow("CtGe") << printed(ConstraintType(-1)) << "CtGe";
    QTest::newRow("CtAll") << printed(ConstraintType(3)) << "CtAll";
    QTest::newRow("Ct4") << printed(ConstraintType(4)) << "Ct4";
    QTest::newRow("Ct -2 as pattern") << printed(ConstraintType(-2)) << "Ct65534";
    QTest::newRow("TmE2Conv") << printed(TmE2Conv) << "TmE2Conv";
    QTest::newRow("Tm9") << printed(TestMode(9)) << "Tm9";
    QTest::newRow("Tt5") << printed(TagType(5)) << "Tt5";
    QTest::newRow("TtErrorII") << printed(TagType(10)) << "TtErrorII";
    QTest::newRow("ToInfinite") << printed(ToInfinite) << "ToInfinite";
    QTest::newRow("timeout 5000") << printed(Timeout(5000)) << "5000";
    QTest::newRow("Mf8") << printed(MetaFormat(8)) << "Mf8";
    QTest::newRow("MfR32") << printed(MfR32) << "MfR32";
    QTest::newRow("Mt2") << printed(MetaType(2)) << "Mt2";
    QTest::newRow("MtDO") << printed(MtDO) << "MtDO";
}

void TestEnums::singleValues()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestEnums::flags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("purpose 5") << printed(Purpose(5)) << "{PuAuthenticate|PuIdentify}";
    QTest::newRow("purpose 0") << printed(Purpose(0)) << "{}";
    QTest::newRow("purpose all") << printed(Purpose(0xFF))
                                 << "{PuAuthenticate|PuEnter|PuIdentify|PuAudit|PuMultiUser|PuMultiImage|"
                                    "PuBalanced|PuSynthetic}";
    QTest::newRow("train 0") << printed(TrainMode(0)) << "{}";
    QTest::newRow("train two") << printed(TrainMode(TmWithoutFlags | TmWithoutState))
                               << "{TmWithoutFlags|TmWithoutState}";
    QTest::newRow("train unnamed bit") << printed(TrainMode(0x0001)) << "{}";
    QTest::newRow("parts 0x3F") << printed(SchemeParts(0x3F))
                                << "{SsTrained|SsScheme|SsInAny|SsOutAny|SsInOwn|SsOutOwn}";
    QTest::newRow("parts info") << printed(SchemeParts(0x100 | 0x200)) << "{SsInfo}";
    QTest::newRow("block flags") << printed(BlockFlags(0xFFFF)) << "{}";
}

void TestEnums::flags()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

// Every listed value prints by its own name: a typo in a table would show here.
void TestEnums::everyNameOfTheTables()
{
    const QList<QPair<int, QString>> blocks = {
        {0, "BtNbc"}, {1, "BtAppConv"}, {116, "BtCondition"}, {117, "BtSecurity"},
        {118, "BtCodeTransformer"}, {119, "BtFuzzyAddresser"}, {120, "BtBioAuditor"},
        {121, "BtConnector"}, {122, "BtErrorSpectator"}, {123, "BtSoftIndicator"},
        {124, "BtHardIndicator"}, {125, "BtCryptoConv"}, {126, "BtFuzzyConv"}, {127, "BtNeuralConv"},
        {128, "BtAppData"}, {249, "BtTestResponse"}, {250, "BtCScheme"}, {251, "BtBioTech"},
        {252, "BtDate"}, {253, "BtUserId"}, {254, "BtNbcId"}, {255, "BtExtention"}};
    for (const auto& b : blocks)
        QCOMPARE(printed(BlockType(b.first)), b.second);
    int named = 0;
    for (int v = 0; v < 256; ++v)
        named += printed(BlockType(v)) != QString("Bt%1").arg(v);
    QCOMPARE(named, blocks.size());

    const QStringList formats = {"MfI1", "MfI2", "MfI4", "MfI8", "MfI16", "MfI32", "MfI64"};
    for (int i = 0; i < formats.size(); ++i) {
        QCOMPARE(printed(MetaFormat(1 + i)), formats[i]);
        QCOMPARE(printed(MetaFormat(17 + i)), QString(formats[i]).replace('I', 'U'));
    }
    QCOMPARE(printed(MetaFormat(37)), QString("MfR16"));
    QCOMPARE(printed(MetaFormat(39)), QString("MfR64"));
    QCOMPARE(printed(MetaFormat(40)), QString("Mf40"));

    const QStringList modes = {"TmE1Bio",  "TmE2Bio",       "TmE2BioHumanC", "TmE2BioC",
                               "TmE2Code", "TmE2BioWhiteN", "TmE2BioCorrN",  "TmE2Conv"};
    for (int i = 0; i < modes.size(); ++i)
        QCOMPARE(printed(TestMode(1 + i)), modes[i]);
    QCOMPARE(printed(TestMode(0)), QString("Tm0"));
}

void TestEnums::testResult()
{
    TestResult r;
    r.e1 = 0.5f;
    r.e2 = 1.0f / 3.0f;
    r.e2HC = 0;
    r.e2BC = 1e-10f;
    r.e2Code = 123456789.0f;
    r.e2WN = -2.25f;
    r.e2CN = 7;
    r.e2Conv = 0.125f;
    QCOMPARE(printed(r), QString("(e1:0.5 e2:0.333333 e2HC:0 e2BC:1e-10 e2Code:1.23457e+08 e2WN:-2.25 "
                                 "e2CN:7 e2Conv:0.125)"));
}

void TestEnums::byteExcerpt_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("head");
    QTest::addColumn<QString>("expected");
    QTest::newRow("3 bytes head 1") << QByteArray::fromHex("010203") << 1 << "01.. 03";
    QTest::newRow("16 bytes head 8") << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f") << 8
                                     << "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f";
    QTest::newRow("20 bytes head 8") << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f10111213")
                                     << 8 << "00 01 02 03 04 05 06 07.. 0c 0d 0e 0f 10 11 12 13";
    QTest::newRow("single byte") << QByteArray::fromHex("ff") << 1 << "ff";
    QTest::newRow("head over total") << QByteArray::fromHex("0a0b") << 5 << "0a 0b";
    QTest::newRow("negative head") << QByteArray::fromHex("0a0b") << -3 << "..";
    QTest::newRow("between h and 2h") << QByteArray::fromHex("0102030405") << 3 << "01 02 03..";
}

void TestEnums::byteExcerpt()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, head);
    QFETCH(QString, expected);
    const char16_t space = u' ';
    Excerpt<uint8_t> e{reinterpret_cast<const uint8_t*>(bytes.constData()), head, &space, int32_t(bytes.size())};
    QCOMPARE(printed(e), expected);
}

void TestEnums::otherExcerpts()
{
    const char16_t comma = u',';
    const char16_t none = 0;
    const char16_t wide = u'\u0416';
    const int32_t ints[] = {-1, 2, -3, 4, 5};
    QCOMPARE(printed(Excerpt<int32_t>{ints, 2, &comma, 5}), QString("-1,2..,4,5"));
    QCOMPARE(printed(Excerpt<int32_t>{ints, 2, &none, 4}), QString("-12-34"));
    QCOMPARE(printed(Excerpt<int32_t>{nullptr, 2, &comma, 4}), QString("Nil"));
    QCOMPARE(printed(Excerpt<int32_t>{ints, 1, &wide, 2}), QString("-1") + QChar(0) + "2");
    const float reals[] = {0.5f, -1.0f, 2.0f / 3.0f};
    QCOMPARE(printed(Excerpt<float>{reals, 1, &comma, 3}), QString("0.5..,0.666667"));
    const uint8_t bits[] = {0x01, 0x80, 0xF0};
    QCOMPARE(printed(BitExcerpt{bits, 1, 1}), QString("10000000"));
    QCOMPARE(printed(BitExcerpt{bits, 1, 3}), QString("10000000..00001111"));
    QCOMPARE(printed(BitExcerpt{bits, 1, 2}), QString("1000000000000001"));
    QCOMPARE(printed(BitExcerpt{nullptr, 1, 2}), QString("Nil"));

    QCOMPARE(excerptHead(0), 0);
    QCOMPARE(excerptHead(1), 1);
    QCOMPARE(excerptHead(5), 2);
    QCOMPARE(excerptHead(15), 7);
    QCOMPARE(excerptHead(16), 8);
    QCOMPARE(excerptHead(1000), 8);
}

void TestEnums::printersLeaveNoSpacing()
{
    QString s;
    {
        QDebug dbg(&s);
        dbg << BtCScheme << 1 << CtOwn << 2;
    }
    QCOMPARE(s, QString("BtCScheme1CtOwn2"));
}

QTEST_GUILESS_MAIN(TestEnums)
#include "tst_enums.moc"
