#include "qtnb/Matrix.h"

#include <QtTest>

#include <cstring>

using namespace Nb;

namespace {

// Fills every byte of the row's first cols cells with a pattern of its own.
void fill(Matrix& m, int r, uint8_t seed)
{
    for (int c = 0; c < m.cols(); ++c)
        for (int b = 0; b < m.meta(r).size(); ++b)
            m.at(r, c)[b] = uint8_t(seed + c * 16 + b);
}

QByteArray cell(const Matrix& m, int r, int c)
{
    return QByteArray(reinterpret_cast<const char*>(m.at(r, c)), m.meta(r).size());
}

void putFloats(Matrix& m, int r, int c, std::initializer_list<float> v)
{
    std::memcpy(m.at(r, c), v.begin(), v.size() * sizeof(float));
}

float real(const Matrix& m, int r, int c, int i) { return reinterpret_cast<const float*>(m.at(r, c))[i]; }

} // namespace

class TestRows : public QObject {
    Q_OBJECT
private slots:
    void wholeRowCopy();
    void rangeCopy();
    void rangeCopyRefusesBadArguments_data();
    void rangeCopyRefusesBadArguments();
    void copyCell();
    void nullCellsAreSkipped();
    void convertBits();
    void convertIntegers();
    void convertRoundTrip_data();
    void convertRoundTrip();
    void convertRefusals();
    void joinSplit_data();
    void joinSplit();
    void joinRefusesSmallRows();
    void transpose_data();
    void transpose();
    void transposeRefusals();
};

void TestRows::wholeRowCopy()
{
    const Meta meta(3, MfU8, MtC);
    Matrix four(4, meta);
    Matrix six(6, meta);
    fill(four, 0, 1);
    fill(six, 0, 100);
    const QByteArray col4 = cell(six, 0, 4);
    QVERIFY(Matrix::Row(&six, 0).copy(Matrix::Row(&four, 0)));
    for (int c = 0; c < 4; ++c)
        QCOMPARE(cell(six, 0, c), cell(four, 0, c));
    QCOMPARE(cell(six, 0, 4), col4);

    const QByteArray before = cell(four, 0, 0);
    QVERIFY(!Matrix::Row(&four, 0).copy(Matrix::Row(&six, 0)));
    fill(six, 0, 200);
    QVERIFY(!Matrix::Row(&four, 0).copy(Matrix::Row(&six, 0)));
    QCOMPARE(cell(four, 0, 0), before);

    // Unequal Metas (here the type) do not copy.
    Matrix other(4, Meta(3, MfU8, MtD));
    QVERIFY(!Matrix::Row(&other, 0).copy(Matrix::Row(&four, 0)));
    QVERIFY(!Matrix::Row(&other, 0).copy(Matrix::Row(&four, 0), 0, 0, 1));
    QVERIFY(Matrix::Row(&six, 0).copy(Matrix::Row(&four, 0), 1, 4, 2));
    QCOMPARE(cell(six, 0, 5), cell(four, 0, 2));
}

void TestRows::rangeCopy()
{
    // Counts and types may differ: only the format is compared.
    Matrix src(4, Meta(8, MfU8, MtC));
    Matrix dst(4, Meta(4, MfU8, MtD));
    fill(src, 0, 1);
    std::memset(dst.at(0, 1), 0, 4);
    Matrix::Row to(&dst, 0);
    const Matrix::Row from(&src, 0);
    QVERIFY(to.copy(from, 2, 1, 2, 5, 1, 3));
    QCOMPARE(cell(dst, 0, 1), QByteArray::fromHex("00262728"));
    QCOMPARE(dst.at(0, 2)[1], uint8_t(0x36));

    QVERIFY(!to.copy(from, 2, 0, 3, 0, 0, 1)); // 3 cells from column 2 of 4
    QVERIFY(!to.copy(from, 0, 0, 1, 0, 0, 5)); // more than the destination cell
    QVERIFY(!to.copy(from, 0, 0, 1, 6, 0, 3)); // past the source cell
    Matrix reals(4, Meta(2, MfR32, MtC));
    QVERIFY(!to.copy(Matrix::Row(&reals, 0), 0, 0, 1, 0, 0, 1));

    // Copying within one cell moves overlapping bytes correctly.
    QVERIFY(Matrix::Row(&src, 0).copy(from, 0, 0, 1, 0, 2, 6));
    QCOMPARE(cell(src, 0, 0), QByteArray::fromHex("0102010203040506"));
    QVERIFY(Matrix::Row(&src, 0).copy(from, 0, 0, 4, 3, 3, 5)); // nothing to do
}

void TestRows::rangeCopyRefusesBadArguments_data()
{
    QTest::addColumn<QVector<int>>("args"); // srcCol, col, count, srcByte, byte, len
    QTest::newRow("negative source column") << QVector<int>{-1, 0, 1, 0, 0, 1};
    QTest::newRow("negative column") << QVector<int>{0, -1, 1, 0, 0, 1};
    QTest::newRow("negative count") << QVector<int>{0, 0, -1, 0, 0, 1};
    QTest::newRow("negative source byte") << QVector<int>{0, 0, 1, -4, 0, 4};
    QTest::newRow("negative byte") << QVector<int>{0, 0, 1, 0, -4, 4};
    QTest::newRow("negative length") << QVector<int>{0, 0, 1, 4, 0, -4};
    QTest::newRow("count overflows") << QVector<int>{2, 2, 0x7FFFFFFF, 0, 0, 1};
    QTest::newRow("column overflows") << QVector<int>{0x7FFFFFFF, 0, 1, 0, 0, 1};
    QTest::newRow("byte overflows") << QVector<int>{0, 0, 1, 0x7FFFFFFF, 0, 2};
    QTest::newRow("length overflows") << QVector<int>{0, 0, 1, 1, 1, 0x7FFFFFFF};
}

void TestRows::rangeCopyRefusesBadArguments()
{
    QFETCH(QVector<int>, args);
    Matrix src(4, Meta(8, MfU8, MtC));
    Matrix dst(4, Meta(8, MfU8, MtC));
    fill(src, 0, 1);
    fill(dst, 0, 100);
    const QByteArray before = cell(dst, 0, 0);
    QVERIFY(!Matrix::Row(&dst, 0).copy(Matrix::Row(&src, 0), args[0], args[1], args[2], args[3], args[4], args[5]));
    QCOMPARE(cell(dst, 0, 0), before);
}

void TestRows::copyCell()
{
    Matrix src(2, Meta(4, MfU8, MtC));
    Matrix dst(2, Meta(6, MfU8, MtC));
    fill(src, 0, 1);
    fill(dst, 0, 100);
    Matrix::Row to(&dst, 0);
    QVERIFY(to.copyCell(Matrix::Row(&src, 0), 1, 0));
    QCOMPARE(cell(dst, 0, 0), QByteArray::fromHex("111213146869"));
    QVERIFY(!to.copyCell(Matrix::Row(&src, 0), 2, 0));
    QVERIFY(!to.copyCell(Matrix::Row(&src, 0), -1, 0));
    QVERIFY(!to.copyCell(Matrix::Row(&src, 0), 0, 2));
    // A larger source cell would overrun the destination.
    QVERIFY(!Matrix::Row(&src, 0).copyCell(to, 0, 0));
    // A missing destination cell.
    Matrix empty(2, Meta(0, MfU8, MtC));
    QVERIFY(!Matrix::Row(&empty, 0).copyCell(Matrix::Row(&empty, 0), 0, 1));
    QVERIFY(!to.copyCell(Matrix::Row(), 0, 0));
}

void TestRows::nullCellsAreSkipped()
{
    Matrix src(3, Meta(4, MfU8, MtC));
    Matrix dst(3, Meta(4, MfU8, MtC));
    fill(src, 0, 1);
    fill(dst, 0, 100);
    uint8_t* taken = dst.cell(0, 1).detach();
    const Matrix::Row to(&dst, 0);
    const Matrix::Row from(&src, 0);
    QVERIFY(!to.copy(from));
    QCOMPARE(cell(dst, 0, 0), cell(src, 0, 0));
    QCOMPARE(cell(dst, 0, 2), cell(src, 0, 2));

    Matrix bits(3, Meta(32, MfI1, MtDO));
    std::memset(bits.at(0, 0), 0, 4);
    Matrix realBits(3, Meta(32, MfR32, MtC));
    uint8_t* takenReal = realBits.cell(0, 2).detach();
    QVERIFY(!Matrix::Row(&realBits, 0).convert(Matrix::Row(&bits, 0)));
    QCOMPARE(real(realBits, 0, 0, 31), -1.0f);

    Matrix joined(3, Meta(8, MfU8, MtC));
    Rows parts{from, to};
    QVERIFY(!Matrix::Row(&joined, 0).join(parts, 0));
    QVERIFY(!Matrix::Row(&joined, 0).split(parts, 0));

    // Put the buffers back so the matrices free them.
    dst.cell(0, 1).attach(taken);
    realBits.cell(0, 2).attach(takenReal);
}

void TestRows::convertBits()
{
    Matrix u1(1, Meta(3, MfU1, MtDO));
    Matrix i1(1, Meta(3, MfI1, MtDO));
    Matrix reals(1, Meta(3, MfR32, MtC));
    u1.at(0, 0)[0] = 0x05;
    i1.at(0, 0)[0] = 0x05;
    const Matrix::Row r(&reals, 0);
    QVERIFY(r.convert(Matrix::Row(&u1, 0)));
    QCOMPARE(real(reals, 0, 0, 0), 1.0f);
    QCOMPARE(real(reals, 0, 0, 1), 0.0f);
    QCOMPARE(real(reals, 0, 0, 2), 1.0f);
    QVERIFY(r.convert(Matrix::Row(&i1, 0)));
    QCOMPARE(real(reals, 0, 0, 1), -1.0f);

    putFloats(reals, 0, 0, {0.5f, -0.5f, 0.0f});
    i1.at(0, 0)[0] = 0xF8;
    u1.at(0, 0)[0] = 0xF8;
    QVERIFY(Matrix::Row(&i1, 0).convert(r));
    QVERIFY(Matrix::Row(&u1, 0).convert(r));
    QCOMPARE(i1.at(0, 0)[0], uint8_t(0xF9)); // bits 1, 0, 0; the rest kept
    QCOMPARE(u1.at(0, 0)[0], uint8_t(0xFB)); // bits 1, 1, 0
}

void TestRows::convertIntegers()
{
    Matrix reals(1, Meta(2, MfR32, MtC));
    putFloats(reals, 0, 0, {-1.7f, 3.9f});
    Matrix i16(1, Meta(2, MfI16, MtD));
    Matrix u16(1, Meta(2, MfU16, MtD));
    Matrix u32(1, Meta(2, MfU32, MtD));
    const Matrix::Row r(&reals, 0);
    QVERIFY(Matrix::Row(&i16, 0).convert(r));
    QVERIFY(Matrix::Row(&u16, 0).convert(r));
    QVERIFY(Matrix::Row(&u32, 0).convert(r));
    QCOMPARE(reinterpret_cast<int16_t*>(i16.at(0, 0))[0], int16_t(-1));
    QCOMPARE(reinterpret_cast<uint16_t*>(u16.at(0, 0))[0], uint16_t(0xFFFF));
    QCOMPARE(reinterpret_cast<uint32_t*>(u32.at(0, 0))[0], uint32_t(0xFFFFFFFF));
    QCOMPARE(reinterpret_cast<uint32_t*>(u32.at(0, 0))[1], uint32_t(3));
}

void TestRows::convertRoundTrip_data()
{
    QTest::addColumn<int>("format");
    for (int f : {MfI1, MfU1, MfI16, MfU16, MfI32, MfU32})
        QTest::newRow(QByteArray::number(f)) << f;
}

void TestRows::convertRoundTrip()
{
    // Integers that floats hold exactly survive integer -> real -> integer.
    QFETCH(int, format);
    const Meta meta(40, MetaFormat(format), MtD);
    Matrix ints(3, meta);
    fill(ints, 0, 7);
    if (format == MfI32 || format == MfU32)
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 40; ++i)
                ints.at(0, c)[i * 4 + 3] = 0; // keep within 24 bits
    Matrix reals(3, Meta(40, MfR32, MtC));
    Matrix back(3, meta);
    QVERIFY(Matrix::Row(&reals, 0).convert(Matrix::Row(&ints, 0)));
    QVERIFY(Matrix::Row(&back, 0).convert(Matrix::Row(&reals, 0)));
    for (int c = 0; c < 3; ++c)
        QCOMPARE(cell(back, 0, c), cell(ints, 0, c));
}

void TestRows::convertRefusals()
{
    Matrix reals(2, Meta(4, MfR32, MtC));
    fill(reals, 0, 1);
    Matrix cols3(3, Meta(4, MfI32, MtC));
    Matrix count5(2, Meta(5, MfI32, MtC));
    Matrix i8(2, Meta(4, MfI8, MtC));
    const Matrix::Row r(&reals, 0);
    QVERIFY(!Matrix::Row(&cols3, 0).convert(r));
    QVERIFY(!Matrix::Row(&count5, 0).convert(r));
    QVERIFY(!Matrix::Row(&i8, 0).convert(r));
    QVERIFY(!r.convert(Matrix::Row(&i8, 0)));

    // Equal Metas copy and succeed; a row onto itself has nothing to do.
    Matrix same(2, Meta(4, MfR32, MtC));
    QVERIFY(Matrix::Row(&same, 0).convert(r));
    QCOMPARE(cell(same, 0, 1), cell(reals, 0, 1));
    QVERIFY(r.convert(r));
    QVERIFY(Matrix::Row().convert(Matrix::Row()));
    // Equal formats of a different type are no conversion and no copy.
    Matrix typed(2, Meta(4, MfR32, MtCO));
    QVERIFY(!Matrix::Row(&typed, 0).convert(r));
}

void TestRows::joinSplit_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("joinedCols");
    QTest::addColumn<int>("joinedSize");
    QTest::addColumn<int>("firstSize");
    QTest::addColumn<int>("secondSize");
    QTest::newRow("cells concatenated") << 0 << 2 << 20 << 16 << 4;
    QTest::newRow("columns interleaved") << 1 << 4 << 4 << 4 << 4;
    QTest::newRow("row after row") << 2 << 4 << 4 << 4 << 4;
}

void TestRows::joinSplit()
{
    QFETCH(int, mode);
    QFETCH(int, joinedCols);
    QFETCH(int, joinedSize);
    QFETCH(int, firstSize);
    QFETCH(int, secondSize);
    const Meta metas[2] = {Meta(firstSize, MfU8, MtC), Meta(secondSize, MfU8, MtC)};
    Matrix parts(2, 2, metas);
    fill(parts, 0, 0x10);
    fill(parts, 1, 0x80);
    Matrix joined(joinedCols, Meta(joinedSize, MfU8, MtC));
    const Matrix::Row j(&joined, 0);
    QVERIFY(j.join(Rows(parts), mode));

    auto expected = [&](int r, int c) { return cell(parts, r, c); };
    switch (mode) {
    case 0:
        QCOMPARE(cell(joined, 0, 0), expected(0, 0) + expected(1, 0));
        QCOMPARE(cell(joined, 0, 1), expected(0, 1) + expected(1, 1));
        break;
    case 1:
        QCOMPARE(cell(joined, 0, 0), expected(0, 0));
        QCOMPARE(cell(joined, 0, 1), expected(1, 0));
        QCOMPARE(cell(joined, 0, 2), expected(0, 1));
        QCOMPARE(cell(joined, 0, 3), expected(1, 1));
        break;
    default:
        QCOMPARE(cell(joined, 0, 1), expected(0, 1));
        QCOMPARE(cell(joined, 0, 2), expected(1, 0));
        break;
    }

    Matrix restored(2, 2, metas);
    Rows targets(restored);
    QVERIFY(j.split(targets, mode));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            QCOMPARE(cell(restored, r, c), cell(parts, r, c));

    const QByteArray before = cell(joined, 0, 0);
    QVERIFY(!j.join(Rows(parts), 3));
    QVERIFY(!j.join(Rows(parts), -1));
    QCOMPARE(cell(joined, 0, 0), before);
    QVERIFY(j.join(Rows(), mode));
}

void TestRows::joinRefusesSmallRows()
{
    const Meta metas[2] = {Meta(16, MfU8, MtC), Meta(4, MfU8, MtC)};
    Matrix parts(2, 2, metas);
    fill(parts, 0, 1);
    fill(parts, 1, 1);
    Matrix narrowCell(2, Meta(19, MfU8, MtC));
    Matrix fewCols(1, Meta(20, MfU8, MtC));
    Matrix fewCols3(3, Meta(16, MfU8, MtC));
    std::memset(narrowCell.at(0, 0), 0, 19);
    QVERIFY(!Matrix::Row(&narrowCell, 0).join(Rows(parts), 0));
    QCOMPARE(cell(narrowCell, 0, 0), QByteArray(19, 0));
    QVERIFY(!Matrix::Row(&fewCols, 0).join(Rows(parts), 0));
    QVERIFY(!Matrix::Row(&fewCols3, 0).join(Rows(parts), 1)); // needs 4 columns
    QVERIFY(!Matrix::Row(&fewCols3, 0).join(Rows(parts), 2));
    Rows splitInto(parts);
    QVERIFY(!Matrix::Row(&narrowCell, 0).split(splitInto, 0));
    // Modes 1 and 2 take the first part's cell size: a smaller later part is refused.
    Matrix wide(4, Meta(16, MfU8, MtC));
    QVERIFY(!Matrix::Row(&wide, 0).join(Rows(parts), 1));
    QVERIFY(!Matrix::Row(&wide, 0).split(splitInto, 2));
    QVERIFY(!Matrix::Row().join(Rows(parts), 0));
}

void TestRows::transpose_data()
{
    QTest::addColumn<int>("format");
    for (int f : std::initializer_list<int>{MfU1, MfI2, MfU4, MfU8, MfI16, MfR32, 54})
        QTest::newRow(QByteArray::number(f)) << f;
}

void TestRows::transpose()
{
    // A 5 x 3 block of elements and its transpose, and back again.
    QFETCH(int, format);
    const MetaFormat f = MetaFormat(format);
    const uint8_t bits = Meta(1, f, MtD).bits();
    const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    auto value = [&](uint32_t i, uint32_t j) { return (i * 7 + j * 3 + 1) * 0x01010101u & mask; };
    Matrix src(5, Meta(3, f, MtD));
    Matrix dst(3, Meta(5, f, MtD));
    Matrix back(5, Meta(3, f, MtD));
    for (int i = 0; i < 5; ++i) {
        std::memset(src.at(0, i), 0, size_t(src.meta(0).size()));
        std::memset(back.at(0, i), 0, size_t(back.meta(0).size()));
    }
    for (int j = 0; j < 3; ++j)
        std::memset(dst.at(0, j), 0, size_t(dst.meta(0).size()));
    auto put = [&](Matrix& m, int c, uint32_t k, uint32_t v) {
        const Cell cell(m.at(0, c));
        switch (bits) {
        case 1: cell.putBit(k, int32_t(v)); break;
        case 2: cell.putBits2(k, int32_t(v)); break;
        case 4: cell.putBits4(k, int32_t(v)); break;
        default: std::memcpy(cell.at(int32_t(k * bits / 8)), &v, bits / 8); break;
        }
    };
    auto get = [&](const Matrix& m, int c, uint32_t k) {
        const Cell cell(m.at(0, c));
        uint32_t v = 0;
        switch (bits) {
        case 1: return uint32_t(cell.bit(k));
        case 2: return uint32_t(cell.bits2(k));
        case 4: return uint32_t(cell.bits4(k));
        default: std::memcpy(&v, cell.at(int32_t(k * bits / 8)), bits / 8); return v;
        }
    };
    for (uint32_t i = 0; i < 5; ++i)
        for (uint32_t j = 0; j < 3; ++j)
            put(src, int(i), j, value(i, j));
    QVERIFY(Matrix::Row(&dst, 0).transpose(Matrix::Row(&src, 0)));
    for (uint32_t i = 0; i < 5; ++i)
        for (uint32_t j = 0; j < 3; ++j)
            QCOMPARE(get(dst, int(j), i), value(i, j));
    QVERIFY(Matrix::Row(&back, 0).transpose(Matrix::Row(&dst, 0)));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(cell(back, 0, i), cell(src, 0, i));
}

void TestRows::transposeRefusals()
{
    Matrix src(5, Meta(3, MfR32, MtD));
    Matrix dst(3, Meta(5, MfR32, MtD));
    QVERIFY(Matrix::Row(&dst, 0).transpose(Matrix::Row(&src, 0)));
    Matrix wrongCols(4, Meta(5, MfR32, MtD));
    Matrix wrongCount(3, Meta(4, MfR32, MtD));
    Matrix wrongType(3, Meta(5, MfR32, MtC));
    Matrix wrongFormat(3, Meta(5, MfI32, MtD));
    const Matrix::Row s(&src, 0);
    QVERIFY(!Matrix::Row(&wrongCols, 0).transpose(s));
    QVERIFY(!Matrix::Row(&wrongCount, 0).transpose(s));
    QVERIFY(!Matrix::Row(&wrongType, 0).transpose(s));
    QVERIFY(!Matrix::Row(&wrongFormat, 0).transpose(s));
    Matrix wide(5, Meta(3, MfR64, MtD));
    Matrix wideT(3, Meta(5, MfR64, MtD));
    QVERIFY(!Matrix::Row(&wideT, 0).transpose(Matrix::Row(&wide, 0)));
    Matrix square(2, Meta(2, MfU8, MtD));
    QVERIFY(!Matrix::Row(&square, 0).transpose(Matrix::Row(&square, 0)));
}

QTEST_GUILESS_MAIN(TestRows)
#include "tst_rows.moc"
