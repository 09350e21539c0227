#include "DebugCapture.h"
#include "FailingDevice.h"
#include "qtnb/Matrix.h"

#include <QtTest>

#include <cstring>

using namespace Nb;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

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

QByteArray cellBytes(const Matrix& m, int r, int c)
{
    return QByteArray(reinterpret_cast<const char*>(m.at(r, c)), m.meta(r).size());
}

} // namespace

class TestMatrix : public QObject {
    Q_OBJECT
private slots:
    void createLimits();
    void capacity();
    void growingMetaAllocatesEveryCell();
    void rowReferences();
    void assignAndConvert();
    void goldenBytes();
    void roundTripEveryFormat_data();
    void roundTripEveryFormat();
    void emptyAndLayoutOnly();
    void headerCases();
    void hostileHeaders_data();
    void hostileHeaders();
    void streamFailures();
    void rowDump();
    void matrixDump();
};

void TestMatrix::createLimits()
{
    const Meta meta(4, MfU8, MtC);
    Matrix m;
    QCOMPARE(m.state(), 0);
    QVERIFY(!m.create(0, &meta));
    QCOMPARE(m.rows(), 0);
    QVERIFY(m.metas() == nullptr);

    std::vector<Meta> many(65536, meta);
    QVERIFY(!m.create(65536, many.data()));
    QCOMPARE(m.rows(), 0);
    QVERIFY(m.create(65535, many.data()));
    QCOMPARE(m.rows(), 65535);
    QCOMPARE(m.cols(), 0);
    QCOMPARE(m.caps(), 0);
    QCOMPARE(m.state(), 1);
    QVERIFY(m.isNil());

    QVERIFY(!m.create(-1, &meta));
    QCOMPARE(m.state(), 0);
    QVERIFY(!m.reserve(4)); // no rows
    QVERIFY(m.resize(0));
    QVERIFY(!m.resize(1));
}

void TestMatrix::capacity()
{
    const Meta metas[2] = {Meta(3, MfR32, MtC), Meta(0, MfI1, MtDO)};
    Matrix m(2, 10, metas);
    QCOMPARE(m.caps(), 10);
    QCOMPARE(m.state(), 2);
    QVERIFY(!m.isNil());
    QVERIFY(m.hasRow(1));
    QVERIFY(!m.hasRow(2));
    QVERIFY(m.at(1, 0) == nullptr); // cell size 0 keeps no buffer
    uint8_t* kept[10];
    for (int c = 0; c < 10; ++c)
        kept[c] = m.at(0, c);
    QVERIFY(m.resize(3));
    QVERIFY(m.resize(8));
    QCOMPARE(m.cols(), 8);
    QCOMPARE(m.caps(), 10);
    for (int c = 0; c < 10; ++c)
        QCOMPARE(m.at(0, c), kept[c]);
    QVERIFY(m.resize(12));
    QCOMPARE(m.caps(), 12);
    for (int c = 0; c < 10; ++c)
        QCOMPARE(m.at(0, c), kept[c]); // growth keeps the old buffers
    QVERIFY(m.at(0, 11) != nullptr);
    QVERIFY(!m.resize(-1));
    QCOMPARE(m.cols(), 12);
    QVERIFY(m.clearData());
    QCOMPARE(m.cols(), 0);
    QCOMPARE(m.caps(), 12);
    QVERIFY(m.isNil());
    m.clear(); // frees every cell up to the capacity (checked by the sanitizer build)
    QCOMPARE(m.state(), 0);
    QCOMPARE(m.caps(), 0);
}

void TestMatrix::growingMetaAllocatesEveryCell()
{
    Matrix m(4, Meta(0, MfU8, MtC)); // cells of size 0: no buffers
    QVERIFY(m.at(0, 0) == nullptr);
    QVERIFY(m.setMeta(0, Meta(16, MfU8, MtC)));
    for (int c = 0; c < 4; ++c) {
        QVERIFY(m.at(0, c) != nullptr);
        std::memset(m.at(0, c), c, 16);
    }
    // A cell size that does not grow keeps the buffers and their bytes.
    uint8_t* first = m.at(0, 0);
    QVERIFY(m.setMeta(0, Meta(8, MfU8, MtC)));
    QCOMPARE(m.at(0, 0), first);
    QCOMPARE(int(m.at(0, 3)[7]), 3);
    QVERIFY(m.setMeta(0, Meta(64, MfI1, MtDO)));
    QCOMPARE(m.at(0, 0), first);

    // Through a row: the Meta grows, every cell up to the capacity is there.
    Matrix::Row row(&m, 0);
    QVERIFY(row.resize(6, Meta(5, MfR32, MtC)));
    QCOMPARE(m.cols(), 6);
    for (int c = 0; c < m.caps(); ++c)
        QVERIFY(row.at(c) != nullptr);
    QCOMPARE(row.zero(), 6);
    QCOMPARE(cellBytes(m, 0, 5), QByteArray(20, 0));

    // Unusable Metas are refused where storage exists.
    QVERIFY(!m.setMeta(0, Meta(-1, MfR32, MtC)));
    QVERIFY(!m.setMeta(0, Meta(0x40000000, MfR32, MtC)));
    QCOMPARE(m.meta(0), Meta(5, MfR32, MtC));
    QVERIFY(!m.setMeta(1, Meta(1, MfR32, MtC)));
    QVERIFY(!m.setMeta(-1, Meta(1, MfR32, MtC)));
}

void TestMatrix::rowReferences()
{
    const Meta metas[3] = {Meta(1, MfI32, MtC), Meta(2, MfI32, MtC), Meta(3, MfI32, MtC)};
    Matrix m(3, 2, metas);
    const Matrix& cm = m;
    Matrix::Row ro(&cm, 2);
    QVERIFY(ro.isReadOnly());
    QCOMPARE(ro.index(), 2);
    QCOMPARE(ro.meta(), metas[2]);
    QVERIFY(!ro.resize(5));
    QVERIFY(!ro.resize(5, metas[0]));
    QCOMPARE(m.cols(), 2);
    Matrix::Row rw(&m, 0);
    QVERIFY(rw.resize(5));
    QCOMPARE(m.cols(), 5);
    QCOMPARE(Matrix::Row(&m, 1).cols(), 5);

    *ro.i32(1) = 77;
    QCOMPARE(*reinterpret_cast<int32_t*>(m.at(2, 1)), 77);
    QCOMPARE(ro.at(m.caps()), static_cast<uint8_t*>(nullptr));

    Matrix::Row copy;
    copy.assignReadOnly(rw);
    QVERIFY(copy.isReadOnly());
    QCOMPARE(copy.data(), rw.data());
    copy.reset();
    QVERIFY(copy.isNull());
    QVERIFY(copy.isNil());
    QCOMPARE(copy.meta(), Meta());
    QCOMPARE(copy.cols(), 0);
    QVERIFY(copy.data() == nullptr);
    QCOMPARE(copy.zero(), 0);

    const Matrix::Row::View v = rw.view();
    QCOMPARE(int(v.rows), 1);
    QCOMPARE(int(v.cols), 5);
    QCOMPARE(v.metas, m.metas());
    QCOMPARE(v.data, m.data());
    QCOMPARE(int(copy.view().rows), 0);

    // An index past the rows reads as nothing.
    Matrix::Row past(&m, 7);
    QCOMPARE(past.meta(), Meta());
    QVERIFY(past.data() == nullptr);

    const Rows writable(m);
    const Rows readOnly(cm);
    QCOMPARE(writable.size(), 3);
    QVERIFY(!writable[1].isReadOnly());
    QVERIFY(readOnly[1].isReadOnly());
}

void TestMatrix::assignAndConvert()
{
    Matrix src(2, Meta(2, MfR32, MtC));
    putFloats(src, 0, 0, {1.5f, -2.0f});
    putFloats(src, 0, 1, {0.0f, 3.0f});

    Matrix same(Rows(static_cast<const Matrix&>(src)));
    QCOMPARE(same.cols(), 2);
    QCOMPARE(cellBytes(same, 0, 1), cellBytes(src, 0, 1));
    QVERIFY(same.assign(same));

    // Conversion row by row into an integer matrix, and back.
    Matrix ints(2, Meta(2, MfI32, MtC));
    QVERIFY(ints.convert(src));
    QCOMPARE(reinterpret_cast<int32_t*>(ints.at(0, 0))[0], 1);
    QCOMPARE(reinterpret_cast<int32_t*>(ints.at(0, 0))[1], -2);
    QCOMPARE(reinterpret_cast<int32_t*>(ints.at(0, 1))[1], 3);
    QVERIFY(!ints.convert(Rows()));

    // A destination too small for the source takes what fits and says so.
    Matrix small(1, Meta(1, MfR32, MtC));
    std::memset(small.at(0, 0), 0, 4);
    QVERIFY(!small.assign(src));
    QCOMPARE(*reinterpret_cast<float*>(small.at(0, 0)), 1.5f);

    Matrix none(Rows{});
    QCOMPARE(none.state(), 0);
}

void TestMatrix::goldenBytes()
{
    // Row 0: 3 reals per cell; row 1: 10 unsigned bits per cell; 2 columns.
    const Meta metas[2] = {Meta(3, MfR32, MtC), Meta(10, MfU1, MtDO)};
    Matrix m(2, 2, metas);
    putFloats(m, 0, 0, {1.0f, 2.0f, -1.0f});
    putFloats(m, 0, 1, {0.5f, 0.0f, 3.0f});
    m.at(1, 0)[0] = 0x81;
    m.at(1, 0)[1] = 0x02;
    m.at(1, 1)[0] = 0xFF;
    m.at(1, 1)[1] = 0x03;
    int32_t n = 0;
    const QByteArray bytes = written(m, &n);
    const QByteArray golden = hex("02000000 02000000 00000000 00000000"
                                  "03000000 26 01"
                                  "0a000000 11 06"
                                  "0000803f 00000040 000080bf"
                                  "0000003f 00000000 00004040"
                                  "8102 ff03");
    QCOMPARE(bytes.toHex(), golden.toHex());
    QCOMPARE(n, 56);

    Matrix back;
    QCOMPARE(readBack(bytes, back), 56);
    QCOMPARE(back.rows(), 2);
    QCOMPARE(back.cols(), 2);
    QCOMPARE(back.caps(), 2);
    QCOMPARE(back.meta(1), metas[1]);
    QCOMPARE(written(back), bytes);

    // The example of one row of 2 columns of 3 reals: 46 bytes.
    Matrix one(2, metas[0]);
    putFloats(one, 0, 0, {1, 2, 3});
    putFloats(one, 0, 1, {4, 5, 6});
    QCOMPARE(written(one).size(), 46);
    Matrix oneBack;
    QCOMPARE(readBack(written(one), oneBack), 46);
    QCOMPARE(cellBytes(oneBack, 0, 1), cellBytes(one, 0, 1));
}

void TestMatrix::roundTripEveryFormat_data()
{
    QTest::addColumn<int>("format");
    for (int f : std::initializer_list<int>{MfI1, MfI2, MfI4, MfI8, MfI16, MfI32, MfI64, MfU1, MfU2, MfU4, MfU8, MfU16, MfU32, MfU64, MfR16,
                  MfR32, MfR64, 40, 54, 129})
        QTest::newRow(QByteArray::number(f)) << f;
}

void TestMatrix::roundTripEveryFormat()
{
    QFETCH(int, format);
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
    for (int c = 0; c < 3; ++c)
        QCOMPARE(cellBytes(back, 0, c), cellBytes(m, 0, c));
    QCOMPARE(written(back), bytes);
}

void TestMatrix::emptyAndLayoutOnly()
{
    Matrix empty;
    int32_t n = -5;
    const QByteArray bytes = written(empty, &n);
    QCOMPARE(bytes, QByteArray(16, 0));
    QCOMPARE(n, 16);
    Matrix back(1, Meta(1, MfU8, MtC));
    QCOMPARE(readBack(bytes, back), 16);
    QCOMPARE(back.state(), 0);

    Matrix layout;
    QVERIFY(layout.create(Meta(4, MfI16, MtD)));
    QCOMPARE(written(layout), hex("01000000 00000000 00000000 00000000 04000000 05 03"));
    QCOMPARE(readBack(written(layout), back), 22);
    QCOMPARE(back.state(), 1);
    QCOMPARE(back.meta(0), Meta(4, MfI16, MtD));
}

void TestMatrix::headerCases()
{
    // Headers that carry nothing: 16 bytes consumed, matrix empty.
    Matrix m(1, Meta(1, MfU8, MtC));
    QCOMPARE(readBack(hex("00000100 01000000 00000000 00000000 ffff"), m), 16);
    QCOMPARE(m.state(), 0);
    QCOMPARE(readBack(hex("ffffffff 01000000 00000000 00000000"), m), 16);
    QCOMPARE(readBack(hex("00000000 00000000 01000000 00000000"), m), 16);
    QCOMPARE(m.state(), 0);
}

void TestMatrix::hostileHeaders_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("negative cols") << hex("01000000 ffffffff 00000000 00000000 01000000 14 01");
    QTest::newRow("negative count") << hex("01000000 01000000 00000000 00000000 feffffff 14 01 00");
    QTest::newRow("count overflows") << hex("01000000 01000000 00000000 00000000 01000020 26 01 0000000000000000");
    QTest::newRow("metas missing") << hex("02000000 01000000 00000000 00000000 01000000 14 01");
    QTest::newRow("cells beyond the bytes") << hex("01000000 00000080 00000000 00000000 00010000 14 01 00");
    QTest::newRow("cells short") << hex("01000000 02000000 00000000 00000000 02000000 14 01 aabb cc");
    QTest::newRow("product overflows") << hex("02000000 ffffff7f 00000000 00000000"
                                               "ffffff0f 04 01 ffffff0f 04 01");
    QTest::newRow("empty cells, huge cols") << hex("ffff0000 ffffff7f 00000000 00000000") + QByteArray(6 * 65535, 0);
    QTest::newRow("header short") << hex("01000000 01000000 0000");
}

void TestMatrix::hostileHeaders()
{
    QFETCH(QByteArray, bytes);
    Matrix m(1, Meta(1, MfU8, MtC));
    QCOMPARE(readBack(bytes, m), -1);
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

    for (qint64 room : {0, 10, 20, 40}) {
        FailingDevice device(room);
        device.open(QIODevice::WriteOnly);
        QDataStream out(&device);
        QCOMPARE(m.write(out), -1);
    }

    QDataStream in(written(m));
    in.setStatus(QDataStream::ReadCorruptData);
    QCOMPARE(m.read(in), -1);
    QCOMPARE(m.cols(), 3); // untouched when the stream is bad at entry
}

void TestMatrix::rowDump()
{
    const Meta metas[3] = {Meta(3, MfR32, MtC), Meta(10, MfI1, MtDO), Meta(2, MfU16, MtD)};
    Matrix m(3, 2, metas);
    putFloats(m, 0, 0, {1.5f, -2.0f, 0.25f});
    putFloats(m, 0, 1, {4.0f, 5.0f, 6.0f});
    m.at(1, 0)[0] = 0x01;
    m.at(1, 0)[1] = 0x80;
    m.at(1, 1)[0] = 0xFF;
    m.at(1, 1)[1] = 0x00;
    const uint8_t u16[4] = {0x01, 0x00, 0xff, 0xff};
    std::memcpy(m.at(2, 0), u16, 4);
    std::memcpy(m.at(2, 1), u16, 4);
    const Matrix& cm = m;

    QCOMPARE(printed(Matrix::Row(&cm, 0)), QString("Row(cols:2 meta:(3 MfR32 MtC) data:"
                                                   "\n\t0:[1.5.. 0.25] \n\t1:[4.. 6] \n)"));
    QCOMPARE(printed(Matrix::Row(&cm, 1)), QString("Row(cols:2 meta:(10 MfI1 MtDO) data:"
                                                   "\n\t0:[1000000000000001] \n\t1:[1111111100000000] \n)"));
    QCOMPARE(printed(Matrix::Row(&cm, 2)), QString("Row(cols:2 meta:(2 MfU16 MtD) data:"
                                                   "\n\t0:[01 00 ff ff] \n\t1:[01 00 ff ff] \n)"));
    QCOMPARE(printed(Matrix::Row(&cm, 5)), QString("Row(ErrIRow)"));
    QCOMPARE(printed(Matrix::Row()), QString("Row(Nil)"));

    Matrix ints(2, Meta(2, MfI32, MtDO));
    const int32_t v[2] = {-7, 42};
    std::memcpy(ints.at(0, 0), v, 8);
    std::memcpy(ints.at(0, 1), v, 8);
    QVERIFY(ints.resize(1));
    QCOMPARE(printed(Matrix::Row(&ints, 0)), QString("Row(cols:1 meta:(2 MfI32 MtDO) data:\n\t0:[-7 42] \n)"));

    Matrix bare(0, Meta(0, MfU8, MtC));
    QVERIFY(bare.reserve(2));
    QVERIFY(bare.resize(2));
    QCOMPARE(printed(Matrix::Row(&bare, 0)), QString("Row(cols:2 meta:(0 MfU8 MtC) data:0:Nil 1:Nil \n)"));

    Matrix layout;
    QVERIFY(layout.create(Meta(4, MfI16, MtD)));
    QCOMPARE(printed(Matrix::Row(&layout, 0)), QString("Row(cols:0 meta:(4 MfI16 MtD) data:\nNil\n)"));
}

void TestMatrix::matrixDump()
{
    Matrix m(1, Meta(2, MfU8, MtC));
    m.at(0, 0)[0] = 0x0a;
    m.at(0, 0)[1] = 0xb0;
    QCOMPARE(printed(m), QString("Matrix(rows:1 cols:1 caps:1 data:\n"
                                 "0:Row(cols:1 meta:(2 MfU8 MtC) data:\n\t0:[0a b0] \n)\n)"));
    Matrix layout;
    QVERIFY(layout.create(Meta(4, MfI16, MtD)));
    QCOMPARE(printed(layout), QString("Matrix(rows:1 cols:0 caps:0 data:\nNil\n)"));
    QCOMPARE(printed(Matrix()), QString("Matrix(rows:0 cols:0 caps:0 data:\nNil\n)"));
}

QTEST_GUILESS_MAIN(TestMatrix)
#include "tst_matrix.moc"
