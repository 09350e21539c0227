#include "qtnb/Cell.h"

#include <QtTest>

#include <cstring>
#include <limits>

using namespace Nb;

namespace {
const float Inf = std::numeric_limits<float>::infinity();
const float NaN = std::numeric_limits<float>::quiet_NaN();
} // namespace

class TestCell : public QObject {
    Q_OBJECT
private slots:
    void packedAccess();
    void ownership();
    void toReals();
    void fromReals_data();
    void fromReals();
    void bitsThroughReals();
    void otherPairs();
};

void TestCell::packedAccess()
{
    uint8_t b[2] = {0x05, 0x80};
    const Cell c(b);
    QCOMPARE(QVector<int>({c.bit(0), c.bit(1), c.bit(2), c.bit(15), c.sign(1), c.sign(0)}),
             QVector<int>({1, 0, 1, 1, -1, 1}));
    c.setBit(3, 7);
    QCOMPARE(b[0], uint8_t(0x0D));
    c.setBit(3, 0);
    QCOMPARE(b[0], uint8_t(0x05));
    c.setBit(3, 7);
    c.setBit(3, -2);
    QCOMPARE(b[0], uint8_t(0x05));
    c.putBit(8, 1); // neighbours keep their values
    QCOMPARE(b[1], uint8_t(0x81));

    b[0] = b[1] = 0;
    for (uint32_t i = 0; i < 4; ++i)
        c.putBits2(i, int32_t((i + 1) & 3));
    QCOMPARE(b[0], uint8_t(0x39));
    QCOMPARE(QVector<int>({c.bits2(0), c.bits2(1), c.bits2(2), c.bits2(3)}), QVector<int>({1, 2, 3, 0}));
    c.putBits4(3, 0xA);
    c.putBits4(2, 0x5);
    QCOMPARE(b[1], uint8_t(0xA5));
    QCOMPARE(c.bits4(3), 0xA);
    QCOMPARE(b[0], uint8_t(0x39));
}

void TestCell::ownership()
{
    Cell c;
    QVERIFY(c.allocate(0) && c.isNull());
    QVERIFY(c.allocate(Meta(10, MetaFormat(8), MtC)) && c.isNull()); // unlisted format: size 0
    QVERIFY(c.allocate(Meta(3, MfR32, MtC)));
    uint8_t* held = c.at(0);
    // A negative size fails without touching what is held.
    QVERIFY(!c.allocate(-1));
    QVERIFY(!c.allocate(Meta(-4, MfU8, MtC)));
    QCOMPARE(c.at(0), held);
    QVERIFY(!c.attach(held + 1));
    // A held buffer is neither lost nor freed from under a copy of the cell
    // (the sanitizer build sees a leak or a double free otherwise).
    const Cell copy = c;
    QVERIFY(!c.allocate(64));
    QVERIFY(!c.allocate(0));
    QCOMPARE(c.at(0), held);
    std::memset(copy.at(0), 0x5A, 12);
    QVERIFY(c.detach() == held && c.isNull());
    QVERIFY(c.attach(held));
    c.release();
    QVERIFY(c.isNull());
    QVERIFY(c.allocate(64));
    c.release();
}

void TestCell::toReals()
{
    struct Case {
        MetaFormat format;
        QByteArray bytes;
        QVector<float> reals;
    };
    const Case cases[] = {
        {MfI1, QByteArray::fromHex("05"), {1, -1, 1, -1}},
        {MfU1, QByteArray::fromHex("05"), {1, 0, 1, 0}},
        {MfI16, QByteArray::fromHex("ffff0080"), {-1, -32768}},
        {MfU16, QByteArray::fromHex("ffff0080"), {65535, 32768}},
        {MfI32, QByteArray::fromHex("feffffff01000001"), {-2, 16777216}}, // nearest float
        {MfU32, QByteArray::fromHex("ffffffff"), {4294967296.0f}},
    };
    for (const Case& k : cases) {
        QByteArray bytes = k.bytes;
        QVector<float> out(k.reals.size() + 1, 7.0f);
        QVERIFY(Cell(reinterpret_cast<uint8_t*>(out.data()))
                    .convert(Cell(reinterpret_cast<uint8_t*>(bytes.data())), k.reals.size(), MfR32, k.format));
        QCOMPARE(out.mid(0, k.reals.size()), k.reals);
        QCOMPARE(out.last(), 7.0f); // nothing written past count elements
    }
}

void TestCell::fromReals_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QVector<float>>("reals");
    QTest::addColumn<QVector<qint64>>("values");
    QTest::newRow("I32") << int(MfI32) << QVector<float>{2.9f, -2.9f, 3e9f, -3e9f, Inf, NaN}
                         << QVector<qint64>{2, -2, 2147483647, -2147483648LL, 2147483647, 0};
    QTest::newRow("I16") << int(MfI16) << QVector<float>{-1.7f, 32767.5f, 40000.0f, -40000.0f, -Inf, NaN}
                         << QVector<qint64>{-1, 32767, 32767, -32768, -32768, 0};
    // Unsigned 16: the low half of the saturated 32-bit truncation.
    QTest::newRow("U16") << int(MfU16) << QVector<float>{-1.7f, 3.9f, 70000.0f, 1e10f, -1e10f, NaN}
                         << QVector<qint64>{0xFFFF, 3, 70000 & 0xFFFF, 0xFFFF, 0, 0};
    // Unsigned 32: the low half of the saturated 64-bit truncation.
    QTest::newRow("U32") << int(MfU32) << QVector<float>{-1.0f, 3.9f, 8589934592.0f, 1e30f, -Inf, NaN}
                         << QVector<qint64>{0xFFFFFFFFLL, 3, 0, 0xFFFFFFFFLL, 0, 0};
}

void TestCell::fromReals()
{
    QFETCH(int, format);
    QFETCH(QVector<float>, reals);
    QFETCH(QVector<qint64>, values);
    QByteArray out(reals.size() * 4, 0);
    QVERIFY(Cell(reinterpret_cast<uint8_t*>(out.data()))
                .convert(Cell(reinterpret_cast<uint8_t*>(reals.data())), reals.size(), MetaFormat(format), MfR32));
    for (int i = 0; i < values.size(); ++i) {
        const char* p = out.constData();
        qint64 got = 0;
        switch (format) {
        case MfI16: got = reinterpret_cast<const int16_t*>(p)[i]; break;
        case MfU16: got = reinterpret_cast<const uint16_t*>(p)[i]; break;
        case MfI32: got = reinterpret_cast<const int32_t*>(p)[i]; break;
        default: got = reinterpret_cast<const uint32_t*>(p)[i]; break;
        }
        QCOMPARE(got, values[i]);
    }
}

void TestCell::bitsThroughReals()
{
    float reals[4] = {0.5f, 0.0f, -0.5f, NaN};
    uint8_t i1 = 0xF0, u1 = 0xF0; // the bits beyond count keep their values
    QVERIFY(Cell(&i1).convert(Cell(reinterpret_cast<uint8_t*>(reals)), 4, MfI1, MfR32));
    QVERIFY(Cell(&u1).convert(Cell(reinterpret_cast<uint8_t*>(reals)), 4, MfU1, MfR32));
    QCOMPARE(i1, uint8_t(0xF1)); // > 0: 1 0 0, NaN clear
    QCOMPARE(u1, uint8_t(0xFD)); // != 0: 1 0 1, NaN set

    // A 128-bit code survives bits -> reals -> bits in both bit formats,
    // and ints -> bits through the sign converters.
    uint8_t code[16], back[16];
    float wide[128];
    int32_t signs[128];
    for (int i = 0; i < 16; ++i)
        code[i] = uint8_t(i * 37 + 11);
    for (MetaFormat f : {MfI1, MfU1}) {
        std::memset(back, 0xAA, sizeof back);
        QVERIFY(Cell(reinterpret_cast<uint8_t*>(wide)).convert(Cell(code), 128, MfR32, f));
        QVERIFY(Cell(back).convert(Cell(reinterpret_cast<uint8_t*>(wide)), 128, f, MfR32));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(back), 16), QByteArray(reinterpret_cast<char*>(code), 16));
    }
    Cell::toSigns(Cell(reinterpret_cast<uint8_t*>(signs)), Cell(code), 128);
    QCOMPARE(signs[2], -1); // 0x0B: bits 1 1 0 1
    std::memset(back, 0, sizeof back);
    Cell::fromSigns(Cell(back), Cell(reinterpret_cast<uint8_t*>(signs)), 128);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(back), 16), QByteArray(reinterpret_cast<char*>(code), 16));
}

void TestCell::otherPairs()
{
    uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t dst[8];
    std::memset(dst, 0x22, sizeof dst);
    const Cell s(src), d(dst);
    for (auto pair : {std::make_pair(MfR64, MfR32), std::make_pair(MfR32, MfI8), std::make_pair(MfR32, MfR16),
                      std::make_pair(MfU2, MfR32), std::make_pair(MfI32, MfU32)})
        QVERIFY(!d.convert(s, 2, pair.first, pair.second));
    QCOMPARE(dst[0], uint8_t(0x22));
    // Equal formats copy the cell's bytes and still answer false.
    QVERIFY(!d.convert(s, 3, MfU8, MfU8));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(dst), 4), QByteArray::fromHex("01020322"));
    // A supported pair with count 0 succeeds.
    QVERIFY(d.convert(s, 0, MfR32, MfI1));
    QVERIFY(!d.convert(s, -1, MfR32, MfI1));
}

QTEST_GUILESS_MAIN(TestCell)
#include "tst_cell.moc"
