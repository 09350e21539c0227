#include "qtnb/Matrix.h"

#include <QtTest>

#include <cstring>

using namespace Nb;

namespace {

// Every byte of the row's first cols cells gets a value of its own.
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

float real(const Matrix& m, int c, int i) { return reinterpret_cast<const float*>(m.at(0, c))[i]; }

Matrix::Row row(Matrix& m, int r = 0) { return Matrix::Row(&m, r); }

} // namespace

class TestRows : public QObject {
    Q_OBJECT
private slots:
    void copies();
    void copiesRefuseBadRanges_data();
    void copiesRefuseBadRanges();
    void nullCellsAreSkipped();
    void convertEdgeCases();
    void convertRoundTrip();
    void joinSplit_data();
    void joinSplit();
    void joinRefusesSmallRows();
    void transpose();
};

void TestRows::copies()
{
    const Meta meta(3, MfU8, MtC);
    Matrix four(4, meta), six(6, meta);
    fill(four, 0, 1);
    fill(six, 0, 100);
    const QByteArray col4 = cell(six, 0, 4);
    QVERIFY(row(six).copy(row(four)));
    QCOMPARE(cell(six, 0, 3), cell(four, 0, 3));
    QCOMPARE(cell(six, 0, 4), col4);
    fill(six, 0, 200);
    QVERIFY(!row(four).copy(row(six)));
    QCOMPARE(cell(four, 0, 0), QByteArray::fromHex("010203"));
    QVERIFY(row(six).copy(row(four), 1, 4, 2));
    QCOMPARE(cell(six, 0, 5), cell(four, 0, 2));

    // The range copy compares only the format; overlapping bytes move right.
    Matrix src(4, Meta(8, MfU8, MtC)), dst(4, Meta(4, MfU8, MtD));
    fill(src, 0, 1);
    std::memset(dst.at(0, 1), 0, 4);
    QVERIFY(row(dst).copy(row(src), 2, 1, 2, 5, 1, 3));
    QCOMPARE(cell(dst, 0, 1), QByteArray::fromHex("00262728"));
    QVERIFY(!row(dst).copy(row(src), 2, 0, 3, 0, 0, 1)); // 3 cells from column 2 of 4
    QVERIFY(row(src).copy(row(src), 0, 0, 1, 0, 2, 6));
    QCOMPARE(cell(src, 0, 0), QByteArray::fromHex("0102010203040506"));

    Matrix big(2, Meta(6, MfU8, MtC));
    fill(big, 0, 0x40);
    QVERIFY(row(big).copyCell(row(four), 1, 0));
    QCOMPARE(cell(big, 0, 0), QByteArray::fromHex("111213434445"));
    QVERIFY(!row(four).copyCell(row(big), 0, 0)); // would overrun the smaller cell
    QVERIFY(!row(big).copyCell(row(four), -1, 0));
    QVERIFY(!row(big).copyCell(row(four), 4, 0));
    QVERIFY(!row(big).copyCell(row(four), 0, 2));

    // Metas and formats compare by their raw byte: 129 sizes like MfI1 but
    // is another format.
    Matrix signedBits(2, Meta(24, MfI1, MtDO)), highBit(2, Meta(24, MetaFormat(129), MtDO));
    fill(signedBits, 0, 1);
    fill(highBit, 0, 50);
    const QByteArray kept = cell(highBit, 0, 0);
    QVERIFY(!row(highBit).copy(row(signedBits)));
    QVERIFY(!row(highBit).copy(row(signedBits), 0, 0, 1, 0, 0, 3));
    QVERIFY(!row(highBit).convert(row(signedBits)));
    QCOMPARE(cell(highBit, 0, 0), kept);

    // Rows without storage: onto each other there is nothing to do; from one
    // into a row with storage there are no cells to copy.
    Matrix bare, otherBare;
    QVERIFY(bare.create(meta) && otherBare.create(meta));
    QVERIFY(row(bare).copy(row(otherBare)));
    QVERIFY(!row(four).copy(row(bare)));
    QVERIFY(!row(bare).copy(row(four)));
}

void TestRows::copiesRefuseBadRanges_data()
{
    QTest::addColumn<QVector<int>>("args"); // srcCol, col, count, srcByte, byte, len
    QTest::newRow("negative source column") << QVector<int>{-1, 0, 1, 0, 0, 1};
    QTest::newRow("negative column") << QVector<int>{0, -1, 1, 0, 0, 1};
    QTest::newRow("negative count") << QVector<int>{0, 0, -1, 0, 0, 1};
    QTest::newRow("negative length") << QVector<int>{0, 0, 1, 4, 0, -4};
    QTest::newRow("count overflows") << QVector<int>{2, 2, 0x7FFFFFFF, 0, 0, 1};
    QTest::newRow("byte overflows") << QVector<int>{0, 0, 1, 0x7FFFFFFF, 0, 2};
    QTest::newRow("length overflows") << QVector<int>{0, 0, 1, 1, 1, 0x7FFFFFFF};
}

void TestRows::copiesRefuseBadRanges()
{
    QFETCH(QVector<int>, args);
    Matrix src(4, Meta(8, MfU8, MtC)), dst(4, Meta(8, MfU8, MtC));
    fill(src, 0, 1);
    fill(dst, 0, 100);
    const QByteArray before = cell(dst, 0, 0);
    QVERIFY(!row(dst).copy(row(src), args[0], args[1], args[2], args[3], args[4], args[5]));
    QCOMPARE(cell(dst, 0, 0), before);
}

void TestRows::nullCellsAreSkipped()
{
    Matrix src(3, Meta(4, MfU8, MtC)), dst(3, Meta(4, MfU8, MtC));
    fill(src, 0, 1);
    fill(dst, 0, 100);
    uint8_t* taken = dst.cell(0, 1).detach();
    QVERIFY(!row(dst).copy(row(src)));
    QCOMPARE(cell(dst, 0, 2), cell(src, 0, 2));
    QVERIFY(!row(dst).copyCell(row(src), 0, 1));

    Matrix bits(3, Meta(32, MfI1, MtDO)), reals(3, Meta(32, MfR32, MtC));
    std::memset(bits.at(0, 0), 0, 4);
    uint8_t* takenReal = reals.cell(0, 2).detach();
    QVERIFY(!row(reals).convert(row(bits)));
    QCOMPARE(real(reals, 0, 31), -1.0f);

    Matrix joined(3, Meta(8, MfU8, MtC));
    Rows parts{row(src), row(dst)};
    QVERIFY(!row(joined).join(parts, 0));
    QVERIFY(!row(joined).split(parts, 0));
    dst.cell(0, 1).attach(taken); // back to the matrices, which free them
    reals.cell(0, 2).attach(takenReal);
}

void TestRows::convertEdgeCases()
{
    Matrix u1(1, Meta(3, MfU1, MtDO)), i1(1, Meta(3, MfI1, MtDO)), reals(1, Meta(3, MfR32, MtC));
    u1.at(0, 0)[0] = i1.at(0, 0)[0] = 0x05;
    QVERIFY(row(reals).convert(row(u1)));
    QCOMPARE(QVector<float>({real(reals, 0, 0), real(reals, 0, 1), real(reals, 0, 2)}), QVector<float>({1, 0, 1}));
    QVERIFY(row(reals).convert(row(i1)));
    QCOMPARE(real(reals, 0, 1), -1.0f);
    const float back[3] = {0.5f, -0.5f, 0.0f};
    std::memcpy(reals.at(0, 0), back, sizeof back);
    u1.at(0, 0)[0] = i1.at(0, 0)[0] = 0xF8;
    QVERIFY(row(i1).convert(row(reals)) && row(u1).convert(row(reals)));
    QCOMPARE(i1.at(0, 0)[0], uint8_t(0xF9)); // 1 0 0, other bits kept
    QCOMPARE(u1.at(0, 0)[0], uint8_t(0xFB)); // 1 1 0

    Matrix r2(1, Meta(2, MfR32, MtC)), i16(1, Meta(2, MfI16, MtD)), u16(1, Meta(2, MfU16, MtD)),
        u32(1, Meta(2, MfU32, MtD));
    const float values[2] = {-1.7f, 3.9f};
    std::memcpy(r2.at(0, 0), values, sizeof values);
    QVERIFY(row(i16).convert(row(r2)) && row(u16).convert(row(r2)) && row(u32).convert(row(r2)));
    QCOMPARE(cell(i16, 0, 0), QByteArray::fromHex("ffff0300"));
    QCOMPARE(cell(u16, 0, 0), QByteArray::fromHex("ffff0300"));
    QCOMPARE(cell(u32, 0, 0), QByteArray::fromHex("ffffffff03000000"));

    // Refusals: other cols, other counts, no pair and unequal Metas.
    for (auto bad : {std::make_pair(3, Meta(2, MfI32, MtC)), std::make_pair(1, Meta(5, MfI32, MtC)),
                     std::make_pair(1, Meta(2, MfI8, MtC)), std::make_pair(1, Meta(2, MfR32, MtCO))}) {
        Matrix other(bad.first, bad.second);
        QVERIFY(!row(other).convert(row(r2)));
    }
    // Equal Metas copy and succeed, unlike a cell conversion of equal formats.
    Matrix same(1, Meta(2, MfR32, MtC));
    QVERIFY(row(same).convert(row(r2)));
    QCOMPARE(cell(same, 0, 0), cell(r2, 0, 0));
    QVERIFY(row(r2).convert(row(r2)));
}

void TestRows::convertRoundTrip()
{
    // Integers that floats hold exactly come back from reals unchanged.
    for (MetaFormat f : {MfI1, MfU1, MfI16, MfU16, MfI32, MfU32}) {
        Matrix ints(3, Meta(40, f, MtD)), reals(3, Meta(40, MfR32, MtC)), back(3, Meta(40, f, MtD));
        fill(ints, 0, 7);
        if (f == MfI32 || f == MfU32)
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 40; ++i)
                    ints.at(0, c)[i * 4 + 3] = 0;
        QVERIFY(row(reals).convert(row(ints)));
        QVERIFY(row(back).convert(row(reals)));
        for (int c = 0; c < 3; ++c)
            QCOMPARE(cell(back, 0, c), cell(ints, 0, c));
    }
    Matrix a(2, Meta(4, MfR32, MtC)), b(2, Meta(4, MfI32, MtC));
    fill(a, 0, 1);
    QVERIFY(b.convert(a));
    QVERIFY(!b.convert(Rows()));
}

void TestRows::joinSplit_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("joinedCols");
    QTest::addColumn<int>("joinedSize");
    QTest::addColumn<int>("firstSize");
    QTest::addColumn<QVector<int>>("order"); // joined cell k: part * 10 + column (mode 0: first part)
    QTest::newRow("cells concatenated") << 0 << 2 << 20 << 16 << QVector<int>{0, 1};
    QTest::newRow("columns interleaved") << 1 << 4 << 4 << 4 << QVector<int>{0, 10, 1, 11};
    QTest::newRow("row after row") << 2 << 4 << 4 << 4 << QVector<int>{0, 1, 10, 11};
}

void TestRows::joinSplit()
{
    QFETCH(int, mode);
    QFETCH(int, joinedCols);
    QFETCH(int, joinedSize);
    QFETCH(int, firstSize);
    QFETCH(QVector<int>, order);
    const Meta metas[2] = {Meta(firstSize, MfU8, MtC), Meta(4, MfU8, MtC)};
    Matrix parts(2, 2, metas), joined(joinedCols, Meta(joinedSize, MfU8, MtC));
    fill(parts, 0, 0x10);
    fill(parts, 1, 0x80);
    QVERIFY(row(joined).join(Rows(parts), mode));
    for (int k = 0; k < order.size(); ++k) {
        QByteArray want = cell(parts, order[k] / 10, order[k] % 10);
        if (mode == 0)
            want += cell(parts, 1, k);
        QCOMPARE(cell(joined, 0, k), want);
    }
    Matrix restored(2, 2, metas);
    Rows targets(restored);
    QVERIFY(row(joined).split(targets, mode));
    for (int k = 0; k < 4; ++k)
        QCOMPARE(cell(restored, k / 2, k % 2), cell(parts, k / 2, k % 2));

    const QByteArray before = cell(joined, 0, 0);
    QVERIFY(!row(joined).join(Rows(parts), 3));
    QVERIFY(!row(joined).join(Rows(parts), -1));
    QCOMPARE(cell(joined, 0, 0), before);
    QVERIFY(row(joined).join(Rows(), mode));
}

void TestRows::joinRefusesSmallRows()
{
    const Meta metas[2] = {Meta(16, MfU8, MtC), Meta(4, MfU8, MtC)};
    Matrix parts(2, 2, metas);
    fill(parts, 0, 1);
    fill(parts, 1, 1);
    Rows list(parts);
    Matrix narrow(2, Meta(19, MfU8, MtC)), fewCols(1, Meta(20, MfU8, MtC)), three(3, Meta(4, MfU8, MtC)),
        wide(4, Meta(16, MfU8, MtC));
    std::memset(narrow.at(0, 0), 0, 19);
    QVERIFY(!row(narrow).join(list, 0) && !row(narrow).split(list, 0));
    QCOMPARE(cell(narrow, 0, 0), QByteArray(19, 0));
    QVERIFY(!row(fewCols).join(list, 0));
    Rows equal{row(parts, 1), row(parts, 1)};
    QVERIFY(!row(three).join(equal, 1) && !row(three).split(equal, 2)); // 4 columns needed
    QVERIFY(row(wide).join(equal, 2));
    QVERIFY(!row(wide).join(list, 1)); // a later part smaller than the first
}

void TestRows::transpose()
{
    // A block of 5 cells of 3 elements, transposed and back, in every width.
    for (int format : {1, 18, 19, 20, 5, 38, 54}) {
        const MetaFormat f = MetaFormat(format);
        Matrix src(5, Meta(3, f, MtD)), dst(3, Meta(5, f, MtD)), back(5, Meta(3, f, MtD));
        fill(src, 0, 3);
        QVERIFY(row(dst).transpose(row(src)));
        QVERIFY(row(back).transpose(row(dst)));
        const uint8_t bits = src.meta(0).bits();
        // Bit b of element j of source cell i is bit b of element i of cell j.
        for (uint32_t i = 0; i < 5; ++i) {
            const Cell a(src.at(0, int(i))), b(back.at(0, int(i)));
            for (uint32_t j = 0; j < 3; ++j)
                for (uint32_t k = 0; k < bits; ++k) {
                    QCOMPARE(Cell(dst.at(0, int(j))).bit(i * bits + k), a.bit(j * bits + k));
                    QCOMPARE(b.bit(j * bits + k), a.bit(j * bits + k));
                }
        }
    }
    Matrix src(5, Meta(3, MfR32, MtD));
    for (const Meta& bad : {Meta(4, MfR32, MtD), Meta(5, MfR32, MtC), Meta(5, MfI32, MtD)}) {
        Matrix dst(3, bad);
        QVERIFY(!row(dst).transpose(row(src)));
    }
    Matrix wrongCols(4, Meta(5, MfR32, MtD)), wide(5, Meta(3, MfR64, MtD)), wideT(3, Meta(5, MfR64, MtD)),
        square(2, Meta(2, MfU8, MtD));
    QVERIFY(!row(wrongCols).transpose(row(src)));
    QVERIFY(!row(wideT).transpose(row(wide)));
    QVERIFY(!row(square).transpose(row(square)));
}

QTEST_GUILESS_MAIN(TestRows)
#include "tst_rows.moc"
