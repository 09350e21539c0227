#include "DebugCapture.h"
#include "FailingDevice.h"
#include "qtnb/Container.h"
#include "qtnb/Matrix.h"

#include <QtTest>

#include <cstring>

using namespace Nb;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

QByteArray written(const Matrix& m, int32_t* result = nullptr)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    const int32_t n = m.write(out);
    if (result)
        *result = n;
    return bytes;
}

int32_t readBack(const QByteArray& bytes, Matrix& m)
{
    QDataStream in(bytes);
    return m.read(in);
}

void putFloats(Matrix& m, int r, int c, std::initializer_list<float> v)
{
    std::memcpy(m.at(r, c), v.begin(), v.size() * sizeof(float));
}

QByteArray cell(const Matrix& m, int r, int c)
{
    return QByteArray(reinterpret_cast<const char*>(m.at(r, c)), m.meta(r).size());
}

} // namespace

class TestMatrix : public QObject {
    Q_OBJECT
private slots:
    void layout();
    void growingMetaAllocatesEveryCell();
    void assignTruncates();
    void goldenBytes();
    void roundTripEveryFormat();
    void hostileBytes_data();
    void hostileBytes();
    void streamFailures();
    void insideBlock();
    void dumps();
};

void TestMatrix::layout()
{
    std::vector<Meta> metas(65536, Meta(2, MfR32, MtC));
    metas[1] = Meta(0, MfI1, MtDO);
    Matrix m;
    QVERIFY(!m.create(0, metas.data()));
    QVERIFY(!m.create(65536, metas.data()));
    QCOMPARE(m.state(), 0);
    QVERIFY(m.create(65535, metas.data()));
    QCOMPARE(QVector<int>({m.rows(), m.cols(), m.caps(), m.state()}), QVector<int>({65535, 0, 0, 1}));

    QVERIFY(m.create(2, m.metas())); // its own Metas, copied before they are freed
    QVERIFY(m.resize(10));
    QVERIFY(m.at(1, 0) == nullptr); // cell size 0: no buffer
    uint8_t* kept = m.at(0, 9);
    QVector<uint8_t*> reused;
    for (int c = 3; c < 8; ++c)
        reused << m.at(0, c);
    QVERIFY(m.resize(3) && m.resize(8));
    QCOMPARE(m.caps(), 10);
    QCOMPARE(m.at(0, 9), kept);
    for (int c = 3; c < 8; ++c)
        QCOMPARE(m.at(0, c), reused[c - 3]);
    QVERIFY(m.resize(12));
    QCOMPARE(m.at(0, 9), kept); // growth keeps the old buffers
    QVERIFY(!m.resize(-1));
    QCOMPARE(m.cols(), 12);

    // Resizing through a row changes every row; a read-only row refuses.
    const Matrix& cm = m;
    QVERIFY(!Matrix::Row(&cm, 1).resize(4));
    QCOMPARE(m.cols(), 12);
    QVERIFY(Matrix::Row(&m, 1).resize(4));
    QCOMPARE(Matrix::Row(&m, 0).cols(), 4);
    m.clear(); // frees every cell up to the capacity (the sanitizer build checks)
    QCOMPARE(m.state(), 0);
}

void TestMatrix::growingMetaAllocatesEveryCell()
{
    Matrix m(4, Meta(0, MfU8, MtC)); // size 0: no buffers yet
    QVERIFY(m.setMeta(0, Meta(16, MfU8, MtC)));
    for (int c = 0; c < 4; ++c) {
        QVERIFY(m.at(0, c) != nullptr);
        std::memset(m.at(0, c), c, 16);
    }
    uint8_t* first = m.at(0, 0);
    QVERIFY(m.setMeta(0, Meta(64, MfI1, MtDO))); // not larger: buffers and bytes stay
    QCOMPARE(m.at(0, 0), first);
    QCOMPARE(int(m.at(0, 3)[7]), 3);

    QVERIFY(Matrix::Row(&m, 0).resize(6, Meta(5, MfR32, MtC)));
    for (int c = 0; c < m.caps(); ++c)
        QVERIFY(m.at(0, c) != nullptr);
    QCOMPARE(Matrix::Row(&m, 0).zero(), 6);
    QCOMPARE(cell(m, 0, 5), QByteArray(20, 0));

    QVERIFY(!m.setMeta(0, Meta(-1, MfR32, MtC)));
    QVERIFY(!m.setMeta(0, Meta(0x40000000, MfR32, MtC))); // size overflows 32 bits
    QVERIFY(!m.setMeta(1, Meta(1, MfR32, MtC)));
    QCOMPARE(m.meta(0), Meta(5, MfR32, MtC));
}

void TestMatrix::assignTruncates()
{
    Matrix src(2, Meta(2, MfR32, MtC));
    putFloats(src, 0, 0, {1.5f, -2.0f});
    putFloats(src, 0, 1, {0.0f, 3.0f});
    Matrix same{Rows(static_cast<const Matrix&>(src))};
    QCOMPARE(same.cols(), 2);
    QCOMPARE(cell(same, 0, 1), cell(src, 0, 1));

    // Too small a destination takes what fits and says so.
    Matrix small(1, Meta(1, MfR32, MtC));
    QVERIFY(!small.assign(src));
    QCOMPARE(*reinterpret_cast<float*>(small.at(0, 0)), 1.5f);
}

void TestMatrix::goldenBytes()
{
    // Row 0: 3 reals per cell; row 1: 10 unsigned bits; 2 columns.
    const Meta metas[2] = {Meta(3, MfR32, MtC), Meta(10, MfU1, MtDO)};
    Matrix m(2, 2, metas);
    putFloats(m, 0, 0, {1.0f, 2.0f, -1.0f});
    putFloats(m, 0, 1, {0.5f, 0.0f, 3.0f});
    std::memcpy(m.at(1, 0), "\x81\x02", 2);
    std::memcpy(m.at(1, 1), "\xff\x03", 2);
    int32_t n = 0;
    const QByteArray bytes = written(m, &n);
    QCOMPARE(bytes.toHex(), QByteArray("02000000" "02000000" "00000000" "00000000"
                                       "03000000" "26" "01" "0a000000" "11" "06"
                                       "0000803f" "00000040" "000080bf" "0000003f" "00000000" "00004040"
                                       "8102" "ff03"));
    QCOMPARE(n, 56);
    Matrix back;
    QCOMPARE(readBack(bytes, back), 56);
    QCOMPARE(QVector<int>({back.rows(), back.cols(), back.caps()}), QVector<int>({2, 2, 2}));
    QCOMPARE(written(back), bytes);

    Matrix one(2, metas[0]); // 16 + 6 + 2 x 12
    QCOMPARE(written(one, &n).size(), 46);
    QCOMPARE(n, 46);

    Matrix empty;
    QCOMPARE(written(empty, &n), QByteArray(16, 0));
    QCOMPARE(n, 16);
    QCOMPARE(readBack(QByteArray(16, 0), m), 16);
    QCOMPARE(m.state(), 0);

    Matrix layout;
    QVERIFY(layout.create(Meta(4, MfI16, MtD)));
    QCOMPARE(written(layout), hex("01000000000000000000000000000000" "04000000" "05" "03"));
    QCOMPARE(readBack(written(layout), back), 22);
    QCOMPARE(back.state(), 1);
}

void TestMatrix::roundTripEveryFormat()
{
    for (int format : {1, 2, 3, 4, 5, 6, 7, 17, 18, 19, 20, 21, 22, 23, 37, 38, 39, 40, 54, 129}) {
        const Meta metas[2] = {Meta(7, MetaFormat(format), MtDO), Meta(1, MfU8, MtC)};
        Matrix m(2, 3, metas);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c)
                for (int b = 0; b < m.meta(r).size(); ++b)
                    m.at(r, c)[b] = uint8_t(r * 100 + c * 10 + b + 1);
        const QByteArray bytes = written(m);
        QCOMPARE(bytes.size(), 16 + 12 + 3 * metas[0].size() + 3);
        Matrix back;
        QCOMPARE(readBack(bytes, back), bytes.size());
        QCOMPARE(back.meta(0), metas[0]);
        QCOMPARE(cell(back, 0, 2), cell(m, 0, 2));
        QCOMPARE(written(back), bytes);
    }
}

void TestMatrix::hostileBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("result");
    // Headers that carry nothing: 16 bytes consumed, nothing more read.
    QTest::newRow("rows above 65535") << hex("00000100010000000000000000000000ffff") << 16;
    QTest::newRow("rows negative") << hex("ffffffff010000000000000000000000") << 16;
    QTest::newRow("rows 0, third word set") << hex("00000000000000000100000000000000") << 16;
    QTest::newRow("header short") << hex("0100000001000000") << -1;
    QTest::newRow("negative cols") << hex("01000000ffffffff0000000000000000" "01000000" "1401") << -1;
    QTest::newRow("negative count") << hex("01000000010000000000000000000000" "feffffff" "1401" "00") << -1;
    QTest::newRow("count overflows") << hex("01000000010000000000000000000000" "01000020" "2601") + QByteArray(8, 0) << -1;
    QTest::newRow("metas short") << hex("02000000010000000000000000000000" "01000000" "1401") << -1;
    QTest::newRow("cells beyond the bytes") << hex("01000000000001000000000000000000" "00010000" "1401" "00") << -1;
    QTest::newRow("cells short") << hex("01000000020000000000000000000000" "02000000" "1401" "aabbcc") << -1;
    QTest::newRow("sum overflows") << hex("02000000ffffff7f0000000000000000" "ffffff0f0401" "ffffff0f0401") << -1;
    QTest::newRow("empty cells, huge cols") << hex("ffff0000ffffff7f0000000000000000") + QByteArray(6 * 65535, 0) << -1;
}

void TestMatrix::hostileBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, result);
    Matrix m(1, Meta(1, MfU8, MtC));
    DebugCapture capture; // a refused matrix reports nothing
    QCOMPARE(readBack(bytes, m), result);
    QVERIFY(capture.messages.isEmpty());
    QCOMPARE(m.state(), 0);
    QCOMPARE(m.caps(), 0);
}

void TestMatrix::streamFailures()
{
    Matrix m(3, Meta(4, MfR32, MtC));
    QByteArray bytes;
    QDataStream bad(&bytes, QIODevice::WriteOnly);
    bad.setStatus(QDataStream::WriteFailed);
    QCOMPARE(m.write(bad), 0);
    QVERIFY(bytes.isEmpty());
    for (qint64 room : {0, 10, 40}) { // in the header, the Meta, the cells
        FailingDevice device(room);
        device.open(QIODevice::WriteOnly);
        QDataStream out(&device);
        QCOMPARE(m.write(out), -1);
    }
    QDataStream in(written(m));
    in.setStatus(QDataStream::ReadCorruptData);
    QCOMPARE(m.read(in), -1);
    QCOMPARE(m.cols(), 3); // a bad stream at entry leaves the matrix alone
}

void TestMatrix::insideBlock()
{
    Matrix m(2, Meta(3, MfU8, MtC));
    std::memcpy(m.at(0, 0), "\x01\x02\x03", 3);
    std::memcpy(m.at(0, 1), "\x04\x05\x06", 3);
    Block block(BtAppData);
    block.push(int32_t(7)).push(m).push(uint8_t(9));
    QCOMPARE(block.length(), 4 + 28 + 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(block.data(4)), 28), written(m));

    int32_t pos = 0, seven = 0;
    uint8_t nine = 0;
    Matrix back;
    block.pop(pos, seven).pop(pos, back).pop(pos, nine);
    QCOMPARE(QVector<int>({pos, seven, nine}), QVector<int>({33, 7, 9}));
    QCOMPARE(cell(back, 0, 1), QByteArray::fromHex("040506"));

    // Positions outside the data, and a matrix cut short inside the block.
    for (int32_t start : {-1, 34}) {
        pos = start;
        block.pop(pos, back);
        QCOMPARE(pos, -1);
    }
    Block cut(BtAppData);
    cut.push(reinterpret_cast<const uint8_t*>(written(m).constData()), 27);
    pos = 0;
    cut.pop(pos, back);
    QCOMPARE(pos, -1);
    QCOMPARE(back.state(), 0);
}

void TestMatrix::dumps()
{
    const Meta metas[4] = {Meta(3, MfR32, MtC), Meta(10, MfI1, MtDO), Meta(2, MfU16, MtD), Meta(2, MfI32, MtDO)};
    Matrix m(4, 2, metas);
    putFloats(m, 0, 0, {1.5f, -2.0f, 0.25f});
    putFloats(m, 0, 1, {4.0f, 5.0f, 6.0f});
    std::memcpy(m.at(1, 0), "\x01\x80", 2);
    std::memcpy(m.at(1, 1), "\xff\x00", 2);
    std::memcpy(m.at(2, 0), "\x01\x00\xff\xff", 4);
    std::memcpy(m.at(2, 1), "\x0a\x00\x00\x00", 4);
    const int32_t ints[2] = {-7, 42};
    std::memcpy(m.at(3, 0), ints, 8);
    std::memcpy(m.at(3, 1), ints, 8);
    const Matrix& cm = m;
    QCOMPARE(printed(Matrix::Row(&cm, 0)), QString("Row(cols:2 meta:(3 MfR32 MtC) data:\n\t0:[1.5.. 0.25] \n\t1:[4.. 6] \n)"));
    QCOMPARE(printed(Matrix::Row(&cm, 1)),
             QString("Row(cols:2 meta:(10 MfI1 MtDO) data:\n\t0:[1000000000000001] \n\t1:[1111111100000000] \n)"));
    QCOMPARE(printed(Matrix::Row(&cm, 2)), QString("Row(cols:2 meta:(2 MfU16 MtD) data:\n\t0:[01 00 ff ff] \n\t1:[0a 00 00 00] \n)"));
    QCOMPARE(printed(Matrix::Row(&cm, 3)), QString("Row(cols:2 meta:(2 MfI32 MtDO) data:\n\t0:[-7 42] \n\t1:[-7 42] \n)"));
    QCOMPARE(printed(Matrix::Row(&cm, 5)), QString("Row(ErrIRow)"));
    QCOMPARE(printed(Matrix::Row()), QString("Row(Nil)"));

    Matrix bare(2, Meta(0, MfU8, MtC));
    QCOMPARE(printed(Matrix::Row(&bare, 0)), QString("Row(cols:2 meta:(0 MfU8 MtC) data:0:Nil 1:Nil \n)"));
    Matrix small(1, Meta(2, MfU8, MtC));
    std::memcpy(small.at(0, 0), "\x0a\xb0", 2);
    QCOMPARE(printed(small), QString("Matrix(rows:1 cols:1 caps:1 data:\n0:Row(cols:1 meta:(2 MfU8 MtC) data:\n\t0:[0a b0] \n)\n)"));
    Matrix layout;
    QVERIFY(layout.create(Meta(4, MfI16, MtD)));
    QCOMPARE(printed(Matrix::Row(&layout, 0)), QString("Row(cols:0 meta:(4 MfI16 MtD) data:\nNil\n)"));
    QCOMPARE(printed(layout), QString("Matrix(rows:1 cols:0 caps:0 data:\nNil\n)"));
}

QTEST_GUILESS_MAIN(TestMatrix)
#include "tst_matrix.moc"
