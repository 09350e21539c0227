#include "DebugCapture.h"
#include "qtnb/Error.h"

#include <QtTest>

using namespace Nb;

class TestError : public QObject {
    Q_OBJECT
private slots:
    void codeNames_data();
    void codeNames();
    void resultCodes();
    void statusWords_data();
    void statusWords();
    void errorReport();
};

void TestError::codeNames_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("36") << 36 << "EcConstraint";
    QTest::newRow("26") << 26 << "Ec26";
    QTest::newRow("0") << 0 << "Ec0";
    QTest::newRow("62") << 62 << "Ec62";
    QTest::newRow("1") << 1 << "EcFail";
    QTest::newRow("55") << 55 << "EcPoorDivirgence";
    QTest::newRow("61") << 61 << "EcObjectState";
    QTest::newRow("60") << 60 << "Ec60";
    QTest::newRow("65535") << 65535 << "Ec65535";
}

void TestError::codeNames()
{
    QFETCH(int, code);
    QFETCH(QString, expected);
    QCOMPARE(printed(ErrorCode(code)), expected);
}

void TestError::resultCodes()
{
    QCOMPARE(resultCode(EcParam), 0xA0000003u);
    QCOMPARE(resultCode(EcInsufficientBuffer), 0xA0000008u);
    QCOMPARE(resultCode(EcTestMode), 0xA0000022u);
    QCOMPARE(ErrorCode(resultCode(EcInsufficientBuffer) & 0xFFFF), EcInsufficientBuffer);
    // 49 names, and the gaps of the numbering print as numbers.
    int named = 0;
    for (int v = 1; v < 64; ++v)
        named += !printed(ErrorCode(v)).startsWith(QString("Ec%1").arg(v));
    QCOMPARE(named, 49);
}

void TestError::statusWords_data()
{
    QTest::addColumn<quint32>("word");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ok") << quint32(0) << "(ScOk)";
    QTest::newRow("high half only") << quint32(0x00010000) << "(ScOk)";
    QTest::newRow("5") << quint32(5) << "(5)";
    QTest::newRow("scheme failure") << quint32(0xC0000026) << "(0x4000;EcCScheme)";
    QTest::newRow("slot 1") << quint32(slotStatus(0x0001, EcSlotId)) << "(0x4001;EcSlotId)";
    QTest::newRow("unnamed code") << quint32(0xC000001A) << "(0x4000;Ec26)";
    QTest::newRow("converter slot") << quint32(slotStatus(0xFF81, EcMeta)) << "(0x7f81;EcMeta)";
}

void TestError::statusWords()
{
    QFETCH(quint32, word);
    QFETCH(QString, expected);
    QCOMPARE(printed(Status(int32_t(word))), expected);
}

namespace {
void failTwice()
{
    NB_ERR(1);
    NB_ERR(2);
}
} // namespace

void TestError::errorReport()
{
    QCOMPARE(uint32_t(slotStatus(0x0001, EcSlotId)), 0xC0010021u);
    QCOMPARE(uint32_t(slotStatus(0x4001, EcSlotId)), 0xC0010021u);
    QCOMPARE(uint32_t(schemeStatus(EcCScheme)), 0xC0000026u);
    QCOMPARE(uint32_t(schemeStatus(EcIo)), 0xC0000012u);
    QVERIFY(isFailure(schemeStatus(EcIo)));
    QVERIFY(!isFailure(ScOk));
    QCOMPARE(statusCode(slotStatus(0x0001, EcSlotId)), EcSlotId);

    DebugCapture capture;
    failTwice();
    const QList<CapturedMessage> reports = capture.reports();
    QCOMPARE(reports.size(), 2);
    const QString file = QString::fromUtf8(__FILE__);
    for (int i = 0; i < 2; ++i) {
        const CapturedMessage& m = reports[i];
        QCOMPARE(m.type, QtDebugMsg);
        QCOMPARE(m.category, QString("default"));
        QCOMPARE(m.file, file);
        QVERIFY2(m.function.contains("failTwice"), qPrintable(m.function));
        QCOMPARE(m.text, QString("@err %1  line: %2  file: %3").arg(i + 1).arg(m.line).arg(file));
    }
    QCOMPARE(reports[1].line, reports[0].line + 1);
    QCOMPARE(reports[0].function, reports[1].function);

    capture.clear();
    BC_ERR(3);
    QCOMPARE(capture.reports().size(), 1);
    QCOMPARE(capture.reports()[0].text,
             QString("@err 3  line: %1  file:%2").arg(capture.reports()[0].line).arg(file));
}

QTEST_GUILESS_MAIN(TestError)
#include "tst_error.moc"
