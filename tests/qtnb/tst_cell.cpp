#include "qtnb/Cell.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace Nb;

namespace {

// A cell over a test-owned buffer; the test never lets the cell free it.
struct Buffer {
    explicit Buffer(size_t n, uint8_t fill = 0) : bytes(n, fill) {}
    Cell cell() { return Cell(bytes.data()); }
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ofFloats(const std::vector<float>& v)
{
    std::vector<uint8_t> b(v.size() * 4);
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

template <typename T>
T element(const Buffer& b, int i)
{
    T v;
    std::memcpy(&v, b.bytes.data() + i * sizeof(T), sizeof(T));
    return v;
}

} // namespace

class TestCell : public QObject {
    Q_OBJECT
private slots:
    void bitLayout();
    void packedElements();
    void ownership();
    void realsFromIntegers_data();
    void realsFromIntegers();
    void realsToIntegers_data();
    void realsToIntegers();
    void bitConversions();
    void unsupportedAndEqualFormats();
    void signs();
};

void TestCell::bitLayout()
{
    Buffer b(2);
    b.bytes = {0x05, 0x80};
    const Cell c = b.cell();
    QCOMPARE(c.bit(0), 1);
    QCOMPARE(c.bit(1), 0);
    QCOMPARE(c.bit(2), 1);
    QCOMPARE(c.bit(15), 1);
    QCOMPARE(c.sign(1), -1);
    QCOMPARE(c.sign(0), 1);

    c.setBit(3, 7);
    QCOMPARE(b.bytes[0], uint8_t(0x0D));
    c.setBit(3, 0);
    QCOMPARE(b.bytes[0], uint8_t(0x05));
    c.setBit(3, 7);
    c.setBit(3, -2);
    QCOMPARE(b.bytes[0], uint8_t(0x05));

    // Storing one bit keeps its neighbours.
    c.putBit(8, 1);
    c.putBit(15, 0);
    QCOMPARE(b.bytes[1], uint8_t(0x01));
    QCOMPARE(b.bytes[0], uint8_t(0x05));
}

void TestCell::packedElements()
{
    Buffer b(2);
    const Cell c = b.cell();
    const int values[4] = {1, 2, 3, 0};
    for (uint32_t i = 0; i < 4; ++i)
        c.putBits2(i, values[i]);
    QCOMPARE(b.bytes[0], uint8_t(0x39));
    for (uint32_t i = 0; i < 4; ++i)
        QCOMPARE(c.bits2(i), values[i]);
    c.putBits2(1, 0);
    QCOMPARE(b.bytes[0], uint8_t(0x31));

    c.putBits4(3, 0xA);
    c.putBits4(2, 0x5);
    QCOMPARE(b.bytes[1], uint8_t(0xA5));
    QCOMPARE(c.bits4(2), 5);
    QCOMPARE(c.bits4(3), 10);
    QCOMPARE(b.bytes[0], uint8_t(0x31));
}

void TestCell::ownership()
{
    Cell c;
    QVERIFY(c.isNull());
    QVERIFY(c.allocate(0));
    QVERIFY(c.isNull());
    QVERIFY(c.allocate(Meta(10, MetaFormat(8), MtC))); // unlisted format: size 0
    QVERIFY(c.isNull());

    QVERIFY(c.allocate(Meta(3, MfR32, MtC)));
    QVERIFY(!c.isNull());
    uint8_t* held = c.at(0);
    // A negative size fails and keeps what is held.
    QVERIFY(!c.allocate(-1));
    QCOMPARE(c.at(0), held);
    QVERIFY(!c.allocate(Meta(-4, MfU8, MtC)));
    QCOMPARE(c.at(0), held);
    // Allocating again over a held buffer releases it (the sanitizer build
    // would report the old one as leaked otherwise).
    QVERIFY(c.allocate(64));
    QVERIFY(c.allocate(0));
    QVERIFY(c.isNull());

    uint8_t local[4] = {1, 2, 3, 4};
    QVERIFY(c.attach(local));
    QVERIFY(!c.attach(local + 1));
    QCOMPARE(c.at(2), local + 2);
    QCOMPARE(c.detach(), local);
    QVERIFY(c.isNull());
    c.release(); // nothing held: nothing happens

    Buffer b(4);
    QCOMPARE(b.cell().copy(local, 3), 3);
    QCOMPARE(b.bytes, (std::vector<uint8_t>{1, 2, 3, 0}));
    QCOMPARE(b.cell().copy(local, -1), 0);
    QCOMPARE(Cell().copy(local, 3), 0);
}

void TestCell::realsFromIntegers_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QVector<float>>("expected");
    auto bytes = [](std::initializer_list<int> v) {
        QByteArray a;
        for (int x : v)
            a.append(char(x));
        return a;
    };
    QTest::newRow("I16") << int(MfI16) << bytes({0xFF, 0xFF, 0x00, 0x80, 0x10, 0x00})
                         << QVector<float>{-1, -32768, 16};
    QTest::newRow("U16") << int(MfU16) << bytes({0xFF, 0xFF, 0x00, 0x80})
                         << QVector<float>{65535, 32768};
    QTest::newRow("I32") << int(MfI32) << bytes({0xFE, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x01})
                         << QVector<float>{-2, 16777217.0f}; // rounds to the nearest float
    QTest::newRow("U32") << int(MfU32) << bytes({0xFF, 0xFF, 0xFF, 0xFF})
                         << QVector<float>{4294967296.0f};
    QTest::newRow("I1") << int(MfI1) << bytes({0x05}) << QVector<float>{1, -1, 1, -1};
    QTest::newRow("U1") << int(MfU1) << bytes({0x05}) << QVector<float>{1, 0, 1, 0};
}

void TestCell::realsFromIntegers()
{
    QFETCH(int, format);
    QFETCH(QByteArray, source);
    QFETCH(QVector<float>, expected);
    Buffer src(size_t(source.size()));
    std::memcpy(src.bytes.data(), source.constData(), size_t(source.size()));
    Buffer dst(size_t(expected.size()) * 4 + 4, 0xEE);
    QVERIFY(dst.cell().convert(src.cell(), expected.size(), MfR32, MetaFormat(format)));
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(element<float>(dst, i), expected[i]);
    QCOMPARE(dst.bytes.back(), uint8_t(0xEE)); // nothing past count elements
}

void TestCell::realsToIntegers_data()
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::addColumn<int>("format");
    QTest::addColumn<QVector<float>>("source");
    QTest::addColumn<QVector<qint64>>("expected");
    QTest::newRow("I32 truncates") << int(MfI32) << QVector<float>{2.9f, -2.9f, 0.0f}
                                   << QVector<qint64>{2, -2, 0};
    QTest::newRow("I32 saturates") << int(MfI32) << QVector<float>{3e9f, -3e9f, inf, -inf, nan}
                                   << QVector<qint64>{2147483647, -2147483648LL, 2147483647, -2147483648LL, 0};
    QTest::newRow("I16 truncates") << int(MfI16) << QVector<float>{-1.7f, 32767.5f, -32768.0f}
                                   << QVector<qint64>{-1, 32767, -32768};
    QTest::newRow("I16 saturates") << int(MfI16) << QVector<float>{40000.0f, -40000.0f, nan}
                                   << QVector<qint64>{32767, -32768, 0};
    // Unsigned 16: low half of the 32-bit truncation.
    QTest::newRow("U16 wraps") << int(MfU16) << QVector<float>{-1.7f, -1.0f, 70000.0f, 3.9f}
                               << QVector<qint64>{0xFFFF, 0xFFFF, 70000 & 0xFFFF, 3};
    QTest::newRow("U16 saturates") << int(MfU16) << QVector<float>{1e10f, -1e10f, nan}
                                   << QVector<qint64>{0xFFFF, 0, 0};
    // Unsigned 32: low half of the 64-bit truncation.
    QTest::newRow("U32 wraps") << int(MfU32) << QVector<float>{-1.0f, 3.9f, 4294967296.0f * 2}
                               << QVector<qint64>{0xFFFFFFFFLL, 3, 0};
    QTest::newRow("U32 saturates") << int(MfU32) << QVector<float>{1e30f, -1e30f, inf, nan}
                                   << QVector<qint64>{0xFFFFFFFFLL, 0, 0xFFFFFFFFLL, 0};
}

void TestCell::realsToIntegers()
{
    QFETCH(int, format);
    QFETCH(QVector<float>, source);
    QFETCH(QVector<qint64>, expected);
    Buffer src(0);
    src.bytes = ofFloats(std::vector<float>(source.begin(), source.end()));
    Buffer dst(size_t(source.size()) * 4);
    QVERIFY(dst.cell().convert(src.cell(), source.size(), MetaFormat(format), MfR32));
    for (int i = 0; i < expected.size(); ++i) {
        qint64 got = 0;
        switch (format) {
        case MfI16: got = element<int16_t>(dst, i); break;
        case MfU16: got = element<uint16_t>(dst, i); break;
        case MfI32: got = element<int32_t>(dst, i); break;
        default: got = element<uint32_t>(dst, i); break;
        }
        QCOMPARE(got, expected[i]);
    }
}

void TestCell::bitConversions()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Buffer src(0);
    src.bytes = ofFloats({0.5f, 0.0f, -0.5f, nan});
    // The bits of the last byte beyond count keep their values.
    Buffer i1(1, 0xF0);
    QVERIFY(i1.cell().convert(src.cell(), 4, MfI1, MfR32));
    QCOMPARE(i1.bytes[0], uint8_t(0xF1)); // 1, 0, 0, NaN clear
    Buffer u1(1, 0xF0);
    QVERIFY(u1.cell().convert(src.cell(), 4, MfU1, MfR32));
    QCOMPARE(u1.bytes[0], uint8_t(0xFD)); // 1, 0, 1, NaN set

    // Every bit of a longer vector survives the trip through reals.
    Buffer code(16);
    for (int i = 0; i < 16; ++i)
        code.bytes[size_t(i)] = uint8_t(i * 37 + 11);
    for (MetaFormat f : {MfI1, MfU1}) {
        Buffer reals(128 * 4);
        Buffer back(16, 0xAA);
        QVERIFY(reals.cell().convert(code.cell(), 128, MfR32, f));
        QVERIFY(back.cell().convert(reals.cell(), 128, f, MfR32));
        QCOMPARE(back.bytes, code.bytes);
    }
}

void TestCell::unsupportedAndEqualFormats()
{
    Buffer src(8, 0x11);
    Buffer dst(8, 0x22);
    QVERIFY(!dst.cell().convert(src.cell(), 2, MfR64, MfR32));
    QVERIFY(!dst.cell().convert(src.cell(), 2, MfR32, MfI8));
    QVERIFY(!dst.cell().convert(src.cell(), 2, MfR32, MfR16));
    QVERIFY(!dst.cell().convert(src.cell(), 2, MfU2, MfR32));
    QVERIFY(!dst.cell().convert(src.cell(), 2, MfI32, MfU32));
    QCOMPARE(dst.bytes, std::vector<uint8_t>(8, 0x22));

    // Equal formats copy the cell's bytes and still answer false.
    src.bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    QVERIFY(!dst.cell().convert(src.cell(), 3, MfU8, MfU8));
    QCOMPARE(dst.bytes, (std::vector<uint8_t>{1, 2, 3, 0x22, 0x22, 0x22, 0x22, 0x22}));
    QVERIFY(!dst.cell().convert(src.cell(), 10, MfU1, MfU1));
    QCOMPARE(dst.bytes[1], uint8_t(2));
    QCOMPARE(dst.bytes[2], uint8_t(3));

    // A supported pair with count 0 succeeds and writes nothing.
    QVERIFY(dst.cell().convert(src.cell(), 0, MfR32, MfI1));
    QVERIFY(dst.cell().convert(Cell(), 0, MfI1, MfR32));
    QVERIFY(!dst.cell().convert(src.cell(), -1, MfR32, MfI1));
    QVERIFY(!Cell().convert(src.cell(), 1, MfR32, MfI1));
}

void TestCell::signs()
{
    Buffer bits(1);
    bits.bytes = {0x06};
    Buffer ints(3 * 4);
    Cell::toSigns(ints.cell(), bits.cell(), 3);
    QCOMPARE(element<int32_t>(ints, 0), -1);
    QCOMPARE(element<int32_t>(ints, 1), 1);
    QCOMPARE(element<int32_t>(ints, 2), 1);

    const int32_t values[3] = {5, 0, -5};
    std::memcpy(ints.bytes.data(), values, sizeof values);
    Buffer back(1, 0xF8);
    Cell::fromSigns(back.cell(), ints.cell(), 3);
    QCOMPARE(back.bytes[0], uint8_t(0xF9));
}

QTEST_GUILESS_MAIN(TestCell)
#include "tst_cell.moc"
