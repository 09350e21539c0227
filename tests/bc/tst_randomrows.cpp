#include "bc/RandomRows.h"

#include <QCryptographicHash>
#include <QtTest>

#include "DebugCapture.h"

using namespace Bc;
using Nb::Matrix;
using Nb::Meta;

namespace {

Meta bytes(int32_t n) { return Meta(n, Nb::MfU8, Nb::MtD); }

QByteArray cell(const Matrix::Row& row, int32_t col)
{
    return QByteArray(reinterpret_cast<const char*>(row.at(col)), row.meta().size());
}

void put(const Matrix::Row& row, int32_t col, const QByteArray& b)
{
    QCOMPARE(b.size(), row.meta().size());
    memcpy(row.at(col), b.constData(), size_t(b.size()));
}

QByteArray md5(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Md5); }

QByteArray xorBytes(const QByteArray& a, const QByteArray& b)
{
    QByteArray out(a.size(), 0);
    for (int i = 0; i < a.size(); ++i)
        out[i] = char(a[i] ^ b[i]);
    return out;
}

} // namespace

class TestRandomRows : public QObject {
    Q_OBJECT
private slots:
    void keyStreamRepeatsAndMasks();
    void keyStreamTwoColumnsAndSalt();
    void keyStreamAliasedRows();
    void keyStreamRefusesBadRows_data();
    void keyStreamRefusesBadRows();
    void fillRandomPieces();
    void fillRandomRowsStopsAtFirstFailure();
    void joinAndSplitRoundTrip();
    void digests();
};

void TestRandomRows::keyStreamRepeatsAndMasks()
{
    Matrix in(1, bytes(3)), out16(1, bytes(16)), out(1, bytes(20)), mask(1, bytes(20));
    const Matrix::Row o(&out, 0);
    put(Matrix::Row(&in, 0), 0, "abc");
    QVERIFY(keyStream(Nb::Rows{Matrix::Row(&in, 0)}, Matrix::Row(&out16, 0)));
    const QByteArray d = QByteArray::fromHex("900150983cd24fb0d6963f7d28e17f72"); // RFC 1321
    QCOMPARE(cell(Matrix::Row(&out16, 0), 0), d);
    QVERIFY(keyStream(Nb::Rows{Matrix::Row(&in, 0)}, o));
    QCOMPARE(cell(o, 0), d + d.left(4));

    QByteArray m(20, 0);
    for (int i = 0; i < 20; ++i)
        m[i] = char(0x11 * (i + 1));
    put(Matrix::Row(&mask, 0), 0, m);
    QVERIFY(keyStream(Nb::Rows{Matrix::Row(&in, 0)}, o, Matrix::Row(&mask, 0)));
    QCOMPARE(cell(o, 0), xorBytes(d + d.left(4), m));
}

void TestRandomRows::keyStreamTwoColumnsAndSalt()
{
    Matrix a(2, bytes(5)), b(2, bytes(3)), out(2, bytes(20)), mask(1, bytes(20)), salt(1, bytes(16));
    const Matrix::Row ra(&a, 0), rb(&b, 0), o(&out, 0);
    put(ra, 0, "first");
    put(ra, 1, "other");
    put(rb, 0, "one");
    put(rb, 1, "two");
    const QByteArray s = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    const QByteArray m = QByteArray(10, '\x5a') + QByteArray(10, '\xa5');
    put(Matrix::Row(&salt, 0), 0, s);
    put(Matrix::Row(&mask, 0), 0, m);
    QVERIFY(keyStream(Nb::Rows{ra, rb}, o, Matrix::Row(&mask, 0), Matrix::Row(&salt, 0)));
    const QByteArray d0 = md5("firstone" + s), d1 = md5("othertwo" + s);
    QCOMPARE(cell(o, 0), xorBytes(d0 + d0.left(4), m));
    QCOMPARE(cell(o, 1), xorBytes(d1 + d1.left(4), m));

    // Inputs may have more columns than the output; the salt alone, no mask.
    Matrix one(1, bytes(16));
    QVERIFY(keyStream(Nb::Rows{ra, rb}, Matrix::Row(&one, 0), Matrix::Row(), Matrix::Row(&salt, 0)));
    QCOMPARE(cell(Matrix::Row(&one, 0), 0), d0);
    // No input rows: the digest of the salt alone.
    QVERIFY(keyStream(Nb::Rows{}, Matrix::Row(&one, 0), Matrix::Row(), Matrix::Row(&salt, 0)));
    QCOMPARE(cell(Matrix::Row(&one, 0), 0), md5(s));
}

void TestRandomRows::keyStreamAliasedRows()
{
    // When the output row is also the mask or the salt, every column still
    // sees the mask and salt as they were on entry.
    Matrix in(2, bytes(2)), out(2, bytes(16));
    const Matrix::Row i(&in, 0), o(&out, 0);
    put(i, 0, "aa");
    put(i, 1, "bb");
    const QByteArray first = QByteArray::fromHex("0f0e0d0c0b0a09080706050403020100");
    put(o, 0, first);
    QVERIFY(keyStream(Nb::Rows{i}, o, o));
    QCOMPARE(cell(o, 0), xorBytes(md5("aa"), first));
    QCOMPARE(cell(o, 1), xorBytes(md5("bb"), first));

    put(o, 0, first);
    QVERIFY(keyStream(Nb::Rows{i}, o, Matrix::Row(), o));
    QCOMPARE(cell(o, 0), md5("aa" + first));
    QCOMPARE(cell(o, 1), md5("bb" + first));
}

void TestRandomRows::keyStreamRefusesBadRows_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("input with fewer columns") << 0;
    QTest::newRow("mask shorter than the output cell") << 1;
    QTest::newRow("mask row without a cell") << 2;
    QTest::newRow("salt row without a cell") << 3;
    QTest::newRow("read-only output") << 4;
    QTest::newRow("null input row") << 5;
    QTest::newRow("row number outside its matrix") << 6;
    QTest::newRow("null output") << 7;
}

void TestRandomRows::keyStreamRefusesBadRows()
{
    QFETCH(int, fault);
    Matrix in(2, bytes(4)), narrow(1, bytes(4)), out(2, bytes(20)), mask(1, bytes(20)),
        shortMask(1, bytes(19)), empty(0, bytes(16)), salt(1, bytes(16));
    for (Matrix* m : {&in, &narrow, &mask, &shortMask, &salt})
        Matrix::Row(m, 0).zero();
    Matrix::Row o(&out, 0);
    const QByteArray before(20, '\x77');
    put(o, 0, before);
    put(o, 1, before);
    Nb::Rows inputs{Matrix::Row(&in, 0)};
    Matrix::Row m(&mask, 0), s(&salt, 0);
    switch (fault) {
    case 0: inputs << Matrix::Row(&narrow, 0); break;
    case 1: m = Matrix::Row(&shortMask, 0); break;
    case 2: m = Matrix::Row(&empty, 0); break;
    case 3: s = Matrix::Row(&empty, 0); break;
    case 4: o.assignReadOnly(Matrix::Row(&out, 0)); break;
    case 5: inputs << Matrix::Row(); break;
    case 6: inputs << Matrix::Row(&in, 3); break;
    default: o = Matrix::Row(); break;
    }
    DebugCapture capture;
    QVERIFY(!keyStream(inputs, o, m, s));
    QCOMPARE(capture.reports().size(), 1);
    QCOMPARE(cell(Matrix::Row(&out, 0), 0), before);
    QCOMPARE(cell(Matrix::Row(&out, 0), 1), before);
}

void TestRandomRows::fillRandomPieces()
{
    // 40-byte cells: pieces at 0 and 16 are whole identifiers, the piece at
    // 32 takes their first 8 bytes; each piece carries version 4 (high
    // nibble of byte 7, the little-endian third field) and variant 10xx in byte 8.
    Matrix m(8, bytes(40));
    const Matrix::Row r(&m, 0);
    r.zero();
    QVERIFY(fillRandom(r));
    for (int32_t j = 0; j < 8; ++j) {
        const QByteArray c = cell(r, j);
        for (int piece : {0, 16}) {
            QCOMPARE(uint8_t(c[piece + 7]) >> 4, 4);
            QCOMPARE(uint8_t(c[piece + 8]) & 0xC0, 0x80);
        }
        QCOMPARE(uint8_t(c[32 + 7]) >> 4, 4);
        QVERIFY(c.mid(0, 16) != c.mid(16, 16));
    }
    QVERIFY(cell(r, 0) != cell(r, 1));

    // 20-byte cells: a whole piece and a 4-byte one (the sanitizer run checks
    // that nothing is written past the cell).
    Matrix twenty(16, bytes(20));
    const Matrix::Row t(&twenty, 0);
    t.zero();
    QVERIFY(fillRandom(t));
    int zeroTails = 0;
    for (int32_t j = 0; j < 16; ++j) {
        QCOMPARE(uint8_t(cell(t, j)[7]) >> 4, 4);
        zeroTails += cell(t, j).mid(16) == QByteArray(4, 0) ? 1 : 0;
    }
    QVERIFY(zeroTails < 2);

    Matrix none(0, bytes(20));
    QVERIFY(fillRandom(Matrix::Row(&none, 0)));
}

void TestRandomRows::fillRandomRowsStopsAtFirstFailure()
{
    Matrix a(2, bytes(16)), b(2, bytes(16)), c(2, bytes(16));
    for (Matrix* m : {&a, &b, &c})
        Matrix::Row(m, 0).zero();
    Matrix::Row readOnly;
    readOnly.assignReadOnly(Matrix::Row(&b, 0));
    DebugCapture capture;
    QVERIFY(!fillRandomRows(Nb::Rows{Matrix::Row(&a, 0), readOnly, Matrix::Row(&c, 0)}));
    QVERIFY(cell(Matrix::Row(&a, 0), 0) != QByteArray(16, 0));
    QVERIFY(cell(Matrix::Row(&b, 0), 0) == QByteArray(16, 0) && cell(Matrix::Row(&c, 0), 1) == QByteArray(16, 0));
}

void TestRandomRows::joinAndSplitRoundTrip()
{
    Matrix a(2, bytes(2)), b(2, bytes(3)), joined(2, bytes(5));
    const Matrix::Row ra(&a, 0), rb(&b, 0), rj(&joined, 0);
    put(ra, 0, "ab");
    put(ra, 1, "cd");
    put(rb, 0, "123");
    put(rb, 1, "456");
    QVERIFY(joinRows(Nb::Rows{ra, rb}, rj));
    QCOMPARE(cell(rj, 0), QByteArray("ab123"));
    QCOMPARE(cell(rj, 1), QByteArray("cd456"));

    ra.zero();
    rb.zero();
    Nb::Rows parts{ra, rb};
    QVERIFY(splitRow(rj, parts));
    QCOMPARE(cell(ra, 1), QByteArray("cd"));
    QCOMPARE(cell(rb, 0), QByteArray("123"));

    // Parts larger than the joined cell do not fit.
    Matrix small(2, bytes(4));
    QVERIFY(!joinRows(Nb::Rows{ra, rb}, Matrix::Row(&small, 0)));
    // Read-only targets are refused.
    DebugCapture capture;
    Matrix::Row readOnly;
    readOnly.assignReadOnly(rj);
    QVERIFY(!joinRows(Nb::Rows{ra, rb}, readOnly));
    Nb::Rows lockedParts{readOnly};
    QVERIFY(!splitRow(rj, lockedParts));
    QCOMPARE(cell(rj, 0), QByteArray("ab123"));
}

void TestRandomRows::digests()
{
    Matrix m(3, bytes(3));
    const Matrix::Row r(&m, 0);
    put(r, 0, "abc");
    put(r, 1, "abd");
    put(r, 2, "abc");
    Md5Digest d;
    QVERIFY(digestRow(r, 128, d));
    QCOMPARE(d.toHex(), QString("900150983CD24FB0D6963F7D28E17F72"));
    QVERIFY(digestRow(r, 64, d));
    QCOMPARE(d.toHex(), QString("900150983CD24FB0") + QString(16, '0'));

    Matrix flags(3, Meta(1, Nb::MfI32, Nb::MtD));
    const Matrix::Row f(&flags, 0);
    QVERIFY(checkDigests(r, f, 64, d));
    // 0 for a match, else the row's Meta count.
    QVERIFY(*f.i32(0) == 0 && *f.i32(1) == 3 && *f.i32(2) == 0);
    // The uncut reference differs from every cut digest.
    Md5Digest full;
    QVERIFY(digestRow(r, 128, full));
    QVERIFY(checkDigests(r, f, 64, full) && *f.i32(0) == 3);

    DebugCapture capture;
    Matrix none(0, bytes(3));
    QVERIFY(!digestRow(Matrix::Row(&none, 0), 128, d) && d.isNull());
    Matrix fewer(2, Meta(1, Nb::MfI32, Nb::MtD)), wrongFormat(3, Meta(4, Nb::MfU8, Nb::MtD));
    QVERIFY(!checkDigests(r, Matrix::Row(&fewer, 0), 64, full));
    QVERIFY(!checkDigests(r, Matrix::Row(&wrongFormat, 0), 64, full));
    QCOMPARE(capture.reports().size(), 3);
}

QTEST_GUILESS_MAIN(TestRandomRows)
#include "tst_randomrows.moc"
