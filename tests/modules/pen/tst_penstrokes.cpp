// The stroke data of handwriting images: its bytes, kept in .bim files,
// must not change, and a damaged record must be refused.

#include <QtTest>

#include "modules/pen/PenSynth.h"

namespace {

// 640 x 240 pad; a pen stroke of two points, then a mouse dot.
const QByteArray Golden = QByteArray::fromHex("5658504e" "0100" "0000" "8002" "f000" "02000000"
                                              "01000000" "02000000"
                                              "1a040000" "1b080000" "00000000" "ffff"
                                              "fdffffff" "07000000" "10000000" "0080"
                                              "00000000" "01000000"
                                              "64000000" "c8000000" "2c010000" "0000");

Pen::Sample golden()
{
    Pen::Sample s;
    s.width = 640;
    s.height = 240;
    Pen::Stroke pen;
    pen.device = Pen::Tablet;
    pen.points.push_back({1050, 2075, 0, 65535});
    pen.points.push_back({-3, 7, 16, 32768});
    Pen::Stroke dot;
    dot.points.push_back({100, 200, 300, 0});
    s.strokes.push_back(pen);
    s.strokes.push_back(dot);
    return s;
}

QByteArray bytesOf(const Pen::Sample& s)
{
    Pen::Bytes b;
    if (!Pen::write(s, b))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size()));
}

bool readBack(const QByteArray& bytes, Pen::Sample& s)
{
    return Pen::read(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), s);
}

} // namespace

class TestPenStrokes : public QObject {
    Q_OBJECT
private slots:
    void goldenBytes();
    void roundTrip();
    void refused_data();
    void refused();
};

void TestPenStrokes::goldenBytes()
{
    QCOMPARE(bytesOf(golden()).toHex(), Golden.toHex());
    Pen::Sample s;
    QVERIFY(readBack(Golden, s));
    QCOMPARE(bytesOf(s).toHex(), Golden.toHex());
    QCOMPARE(s.strokes.at(0).points.at(1).x, -3);
    QCOMPARE(int(s.strokes.at(1).device), int(Pen::Mouse));
}

void TestPenStrokes::roundTrip()
{
    const QByteArray bytes = bytesOf(Pen::Writer(5).sample(9));
    Pen::Sample s;
    QVERIFY(readBack(bytes, s));
    QCOMPARE(bytesOf(s), bytes);
    // Times that run backwards are never written.
    s.strokes.back().points.back().t = 0;
    QVERIFY(bytesOf(s).isEmpty());
}

void TestPenStrokes::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    auto patched = [](int at, const QByteArray& with) { return QByteArray(Golden).replace(at, with.size(), with); };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte short") << Golden.left(Golden.size() - 1);
    QTest::newRow("one byte over") << Golden + '\0';
    QTest::newRow("magic") << patched(0, "VXPM");
    QTest::newRow("version 2") << patched(4, QByteArray::fromHex("0200"));
    QTest::newRow("no strokes") << patched(12, QByteArray::fromHex("00000000"));
    QTest::newRow("a stroke more") << patched(12, QByteArray::fromHex("03000000"));
    QTest::newRow("strokes beyond the limit") << patched(12, QByteArray::fromHex("ffffffff"));
    QTest::newRow("points beyond the data") << patched(20, QByteArray::fromHex("ffffff7f"));
    QTest::newRow("stroke without points") << patched(56, QByteArray::fromHex("00000000"));
    QTest::newRow("unknown device") << patched(16, QByteArray::fromHex("02"));
    QTest::newRow("time backwards") << patched(68, QByteArray::fromHex("05000000"));
}

void TestPenStrokes::refused()
{
    QFETCH(QByteArray, bytes);
    Pen::Sample s = golden();
    QVERIFY(!readBack(bytes, s));
    QVERIFY(s.isEmpty());
}

QTEST_GUILESS_MAIN(TestPenStrokes)
#include "tst_penstrokes.moc"
