#include "DebugCapture.h"
#include "qtnb/Uuid.h"

#include <QUuid>
#include <QtTest>

using namespace Nb;

class TestUuid : public QObject {
    Q_OBJECT
private slots:
    void byteImageIsLittleEndianGuid();
    void parsing_data();
    void parsing();
    void textRoundTrip();
    void printer();
};

static QByteArray bytesOf(const Uuid& id) { return QByteArray(reinterpret_cast<const char*>(id.data()), 16); }

void TestUuid::byteImageIsLittleEndianGuid()
{
    const Uuid fromText("{00000001-0002-0003-0405-060708090a0b}");
    QCOMPARE(bytesOf(fromText), QByteArray::fromHex("0100000002000300040506070809" "0a0b"));
    const Uuid fromFields(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11);
    QCOMPARE(fromFields, fromText);
    // The engine's class id as the container files carry it.
    QCOMPARE(bytesOf(Uuid("{9AC0FE89-596E-4414-9436-05122BD94D34}")),
             QByteArray::fromHex("89FEC09A6E5914449436" "05122BD94D34"));
    // QUuid's own byte form is big-endian and must not be the one used.
    QVERIFY(bytesOf(fromText) != QUuid(fromText.toString()).toRfc4122());
    QCOMPARE(bytesOf(Uuid()), QByteArray(16, '\0'));
    QCOMPARE(bytesOf(NilUuid), QByteArray(16, '\0'));
    QVERIFY(fromText != NilUuid);
    Uuid changed = fromText;
    changed.data()[15] ^= 1;
    QVERIFY(changed != fromText);
}

void TestUuid::parsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNull");
    QTest::newRow("braced") << "{c42a41d2-0118-4ef9-b71c-f3b27d1a980d}" << false;
    QTest::newRow("upper case") << "{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}" << false;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("garbage") << "not an id" << true;
    QTest::newRow("short") << "{c42a41d2-0118-4ef9-b71c}" << true;
    QTest::newRow("bad digit") << "{c42a41d2-0118-4ef9-b71c-f3b27d1a98zz}" << true;
}

void TestUuid::parsing()
{
    QFETCH(QString, text);
    QFETCH(bool, isNull);
    QCOMPARE(Uuid(text) == NilUuid, isNull);
    QCOMPARE(Uuid(text.toLatin1().constData()), Uuid(text));
    if (!isNull)
        QCOMPARE(Uuid(text).toString(), QString("{c42a41d2-0118-4ef9-b71c-f3b27d1a980d}"));
}

void TestUuid::textRoundTrip()
{
    for (int i = 0; i < 20; ++i) {
        const QUuid q = QUuid::createUuid();
        const Uuid id(q.toString());
        QCOMPARE(id.toString(), q.toString());
        QCOMPARE(Uuid(id.toString()), id);
    }
    QCOMPARE(Uuid(static_cast<const char*>(nullptr)), NilUuid);
}

void TestUuid::printer()
{
    QCOMPARE(printed(NilUuid), QString("{Nil}"));
    QCOMPARE(printed(Uuid(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11)),
             QString("{00000001-0002-0003-0405-060708090a0b}"));
    // No quotes, and the stream is left without automatic spacing.
    QString s;
    QDebug(&s) << Uuid(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11) << "x";
    QCOMPARE(s, QString("{00000001-0002-0003-0405-060708090a0b}x"));
}

QTEST_GUILESS_MAIN(TestUuid)
#include "tst_uuid.moc"
