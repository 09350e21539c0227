#include "bc/BitStream.h"

#include <random>

#include <QBuffer>
#include <QtTest>

#include "FailingDevice.h"

using namespace Bc;

class TestBitStream : public QObject {
    Q_OBJECT
private slots:
    void goldenBytes_data();
    void goldenBytes();
    void roundTrip_data();
    void roundTrip();
    void flushOnlyWhenPending();
    void readPastEndFails();
    void resetStartsAtNextByte();
    void writeFailureReported();
    void widthAbove32Refused();
};

void TestBitStream::goldenBytes_data()
{
    QTest::addColumn<int>("lsbFirst");
    QTest::addColumn<QByteArray>("bytes");
    // 5 in 3 bits, 3 in 2 bits, 0x1AB in 9 bits, worked out bit by bit.
    QTest::newRow("lsb first") << 1 << QByteArray::fromHex("7d35");
    QTest::newRow("msb first") << 0 << QByteArray::fromHex("beac");
}

void TestBitStream::goldenBytes()
{
    QFETCH(int, lsbFirst);
    QFETCH(QByteArray, bytes);
    QByteArray out;
    {
        QDataStream s(&out, QIODevice::WriteOnly);
        BitStream bs(&s, lsbFirst);
        QVERIFY(bs.put(5, 3));
        QVERIFY(bs.put(3, 2));
        QVERIFY(bs.put(0x1AB, 9));
        QVERIFY(bs.flush());
    }
    QCOMPARE(out.toHex(), bytes.toHex());

    QDataStream in(bytes);
    BitStream bs(&in, lsbFirst);
    uint32_t a = 0, b = 0, c = 0;
    QVERIFY(bs.get(&a, 3));
    QVERIFY(bs.get(&b, 2));
    QVERIFY(bs.get(&c, 9));
    QCOMPARE(a, 5u);
    QCOMPARE(b, 3u);
    QCOMPARE(c, 0x1ABu);
}

void TestBitStream::roundTrip_data()
{
    QTest::addColumn<int>("lsbFirst");
    QTest::newRow("lsb first") << 1;
    QTest::newRow("msb first") << 0;
}

void TestBitStream::roundTrip()
{
    QFETCH(int, lsbFirst);
    std::mt19937 gen(11);
    std::vector<std::pair<uint32_t, int>> values;
    for (int i = 0; i < 400; ++i) {
        const int n = int(gen() % 33);
        values.push_back({uint32_t(gen()) & BitStream::Mask[n], n});
    }
    values.push_back({0xFFFFFFFFu, 32});
    QByteArray out;
    {
        QDataStream s(&out, QIODevice::WriteOnly);
        BitStream bs(&s, lsbFirst);
        for (const auto& v : values)
            QVERIFY(bs.put(v.first, v.second));
        QVERIFY(bs.flush());
    }
    QDataStream in(out);
    BitStream bs(&in, lsbFirst);
    for (const auto& v : values) {
        uint32_t got = 0xDEADBEEF;
        QVERIFY(bs.get(&got, v.second));
        QCOMPARE(got, v.first);
    }
    QVERIFY(in.atEnd());
}

void TestBitStream::flushOnlyWhenPending()
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    BitStream bs(&s);
    QVERIFY(bs.flush());
    QCOMPARE(out.size(), 0);
    QVERIFY(bs.put(0xFF, 8)); // a full byte goes out at once
    QCOMPARE(out.size(), 1);
    QVERIFY(bs.flush());
    QCOMPARE(out.size(), 1);
    // High bits beyond the width are not written.
    QVERIFY(bs.put(0xFFFFFFF1u, 2));
    QVERIFY(bs.flush());
    QCOMPARE(out.toHex(), QByteArray("ff01"));
}

void TestBitStream::readPastEndFails()
{
    QDataStream in(QByteArray::fromHex("ab"));
    BitStream bs(&in);
    uint32_t v = 0;
    QVERIFY(bs.get(&v, 4));
    QCOMPARE(v, 0xBu);
    QVERIFY(bs.get(&v, 4));
    QCOMPARE(v, 0xAu);
    QVERIFY(!bs.get(&v, 1));
}

void TestBitStream::resetStartsAtNextByte()
{
    QDataStream in(QByteArray::fromHex("0f3c"));
    BitStream bs(&in);
    uint32_t v = 0;
    QVERIFY(bs.get(&v, 2));
    bs.reset();
    QVERIFY(bs.get(&v, 8));
    QCOMPARE(v, 0x3Cu);
}

void TestBitStream::writeFailureReported()
{
    FailingDevice dev(1);
    dev.open(QIODevice::WriteOnly);
    QDataStream s(&dev);
    BitStream bs(&s);
    QVERIFY(bs.put(0x55, 8));
    QVERIFY(!bs.put(0x55, 8));
    QVERIFY(bs.put(1, 3));
    QVERIFY(!bs.flush());
}

void TestBitStream::widthAbove32Refused()
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    BitStream bs(&s);
    QVERIFY(!bs.put(1, 33));
    uint32_t v = 0;
    QVERIFY(!bs.get(&v, 33));
    QVERIFY(bs.put(7, 0));
    QCOMPARE(out.size(), 0);
}

QTEST_GUILESS_MAIN(TestBitStream)
#include "tst_bitstream.moc"
