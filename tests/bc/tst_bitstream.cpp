#include "bc/BitStream.h"

#include <random>

#include <QtTest>

#include "FailingDevice.h"

using namespace Bc;

class TestBitStream : public QObject {
    Q_OBJECT
private slots:
    void goldenBytes_data();
    void goldenBytes();
    void roundTrip_data() { goldenBytes_data(); }
    void roundTrip();
    void endsAndFailures();
};

void TestBitStream::goldenBytes_data()
{
    QTest::addColumn<int>("lsbFirst");
    QTest::addColumn<QByteArray>("bytes");
    // 5 in 3 bits, 3 in 2 bits, 0x1AB in 9 bits, worked out bit by bit.
    QTest::newRow("lsb first") << 1 << QByteArray("7d35");
    QTest::newRow("msb first") << 0 << QByteArray("beac");
}

void TestBitStream::goldenBytes()
{
    QFETCH(int, lsbFirst);
    QFETCH(QByteArray, bytes);
    QByteArray out;
    {
        QDataStream s(&out, QIODevice::WriteOnly);
        BitStream bs(&s, lsbFirst);
        QVERIFY(bs.put(5, 3) && bs.put(3, 2) && bs.put(0x1AB, 9) && bs.flush());
        QVERIFY(bs.flush()); // nothing pending: writes nothing
    }
    QCOMPARE(out.toHex(), bytes);
    QDataStream in(out);
    BitStream bs(&in, lsbFirst);
    uint32_t a = 0, b = 0, c = 0;
    QVERIFY(bs.get(&a, 3) && bs.get(&b, 2) && bs.get(&c, 9));
    QCOMPARE(a, 5u);
    QCOMPARE(b, 3u);
    QCOMPARE(c, 0x1ABu);
}

void TestBitStream::roundTrip()
{
    QFETCH(int, lsbFirst);
    std::mt19937 gen(11);
    std::vector<std::pair<uint32_t, int>> values{{0xFFFFFFFFu, 32}};
    for (int i = 0; i < 400; ++i) {
        const int n = int(gen() % 33);
        values.push_back({uint32_t(gen()) & BitStream::Mask[n], n});
    }
    QByteArray out;
    {
        QDataStream s(&out, QIODevice::WriteOnly);
        BitStream bs(&s, lsbFirst);
        for (const auto& v : values)
            QVERIFY(bs.put(v.first | ~BitStream::Mask[v.second], v.second)); // high bits ignored
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

void TestBitStream::endsAndFailures()
{
    QDataStream in(QByteArray::fromHex("ab3c"));
    BitStream r(&in);
    uint32_t v = 0;
    QVERIFY(r.get(&v, 4));
    QCOMPARE(v, 0xBu);
    r.reset(); // the rest of 0xab is dropped
    QVERIFY(r.get(&v, 8));
    QCOMPARE(v, 0x3Cu);
    QVERIFY(!r.get(&v, 1));
    QVERIFY(!r.get(&v, 33));

    FailingDevice dev(1);
    dev.open(QIODevice::WriteOnly);
    QDataStream s(&dev);
    BitStream w(&s);
    QVERIFY(!w.put(1, 33));
    QVERIFY(w.put(0x55, 8));
    QVERIFY(!w.put(0x55, 8));
    QVERIFY(w.put(1, 3));
    QVERIFY(!w.flush());
}

QTEST_GUILESS_MAIN(TestBitStream)
#include "tst_bitstream.moc"
