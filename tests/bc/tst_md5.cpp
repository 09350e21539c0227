#include "bc/Md5.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace Bc;

class TestMd5 : public QObject {
    Q_OBJECT
private slots:
    void rfcSuite_data();
    void rfcSuite();
    void millionA();
    void piecewiseEqualsOneShot();
    void finalClearsContext();
    void digestValue();
    void hexForms();
};

static QByteArray md5Hex(const QByteArray& data)
{
    uint8_t out[16];
    Md5::digest(data.constData(), uint32_t(data.size()), out);
    return QByteArray(reinterpret_cast<const char*>(out), 16).toHex();
}

void TestMd5::rfcSuite_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("digest");
    QTest::newRow("empty") << QByteArray("") << QByteArray("d41d8cd98f00b204e9800998ecf8427e");
    QTest::newRow("a") << QByteArray("a") << QByteArray("0cc175b9c0f1b6a831c399e269772661");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("900150983cd24fb0d6963f7d28e17f72");
    QTest::newRow("message digest") << QByteArray("message digest")
                                    << QByteArray("f96b697d7cb7938d525a2f31aaf161d0");
    QTest::newRow("alphabet") << QByteArray("abcdefghijklmnopqrstuvwxyz")
                              << QByteArray("c3fcd3d76192e4007dfb496cca67e13b");
    QTest::newRow("alnum") << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
                           << QByteArray("d174ab98d277d9f5a5611c2c9f419d9f");
    QTest::newRow("digits") << QByteArray("1234567890123456789012345678901234567890"
                                          "1234567890123456789012345678901234567890")
                            << QByteArray("57edf4a22be3c955ac49da2e2107b67a");
}

void TestMd5::rfcSuite()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, digest);
    QCOMPARE(md5Hex(message), digest);
}

void TestMd5::millionA()
{
    const QByteArray a(1000000, 'a');
    QCOMPARE(md5Hex(a), QByteArray("7707d6ae4e027c70eea2a935c2296f21"));
}

// Lengths around the 64-byte block and the 32768-byte piece boundaries, fed
// in uneven pieces, agree with an independent MD5.
void TestMd5::piecewiseEqualsOneShot()
{
    QByteArray data(70000, 0);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 131 + 7) & 0xFF);
    for (int len : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 32767, 32768, 32769, 70000}) {
        const QByteArray part = data.left(len);
        Md5 md5;
        int pos = 0;
        int step = 1;
        while (pos < len) {
            const int n = qMin(step, len - pos);
            md5.update(part.constData() + pos, uint32_t(n));
            pos += n;
            step = step * 3 + 1;
        }
        uint8_t out[16];
        md5.final(out);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(out), 16),
                 QCryptographicHash::hash(part, QCryptographicHash::Md5));
    }
}

void TestMd5::finalClearsContext()
{
    Md5 md5;
    md5.update("abc", 3);
    uint8_t out[16];
    md5.final(out);
    // The context is zeroed, not re-initialised: a second final differs from
    // the digest of the empty message.
    uint8_t again[16];
    md5.final(again);
    QVERIFY(QByteArray(reinterpret_cast<const char*>(again), 16).toHex() != "d41d8cd98f00b204e9800998ecf8427e");
    md5.init();
    md5.final(again);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(again), 16).toHex(),
             QByteArray("d41d8cd98f00b204e9800998ecf8427e"));
}

void TestMd5::digestValue()
{
    Md5Digest d;
    QVERIFY(d.isNull());
    uint8_t bytes[20];
    for (int i = 0; i < 20; ++i)
        bytes[i] = uint8_t(i + 1);
    d.fromBytes(bytes, 20);
    QVERIFY(!d.isNull());
    QCOMPARE(int(d.data()[15]), 16);
    Md5Digest e;
    e.copy(d);
    QVERIFY(e.equal(d));
    e.keepFirstBits(128);
    QVERIFY(e == d);
    e.keepFirstBits(64);
    for (int i = 0; i < 16; ++i)
        QCOMPARE(int(e.data()[i]), i < 8 ? i + 1 : 0);
    QVERIFY(!(e == d));
    e.fromBytes(bytes, 3);
    QCOMPARE(int(e.data()[2]), 3);
    QCOMPARE(int(e.data()[3]), 0);
    e.keepFirstBits(0);
    QVERIFY(e.isNull());
}

void TestMd5::hexForms()
{
    Md5Digest d;
    const uint8_t bytes[2] = {0x01, 0xAB};
    d.fromBytes(bytes, 2);
    const QString hex = d.toHex();
    QCOMPARE(hex.size(), 32);
    QVERIFY(hex.startsWith("01AB"));
    QCOMPARE(hex, QString("01AB") + QString(28, '0'));
    Md5Digest back;
    QVERIFY(back.fromHex(hex + "ZZ"));
    QVERIFY(back == d);
    Md5Digest untouched;
    untouched.fromBytes(bytes, 2);
    QVERIFY(!untouched.fromHex(hex.toLower()));
    QVERIFY(!untouched.fromHex(hex.left(31)));
    QVERIFY(!untouched.fromHex(QString(31, '0') + QChar(0x0130)));
    QVERIFY(untouched == d);
}

QTEST_GUILESS_MAIN(TestMd5)
#include "tst_md5.moc"
