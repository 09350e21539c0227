// The fingerprint image bytes that .bim files keep, and the synthetic
// fingers the tests, the benchmark and the module's strangers come from.

#include <cstring>

#include <QSet>
#include <QtTest>

#include "modules/finger/FingerImage.h"
#include "modules/finger/SyntheticFinger.h"
#include "nbi/nbModule.h"

using namespace Finger;

class TestFingerImage : public QObject {
    Q_OBJECT
private slots:
    void goldenBytes();
    void refused_data();
    void refused();
    void syntheticFingers();
};

void TestFingerImage::goldenBytes()
{
    GreyImage image;
    image.width = 16;
    image.height = 17;
    image.dpi = 508;
    for (int i = 0; i < 16 * 17; ++i)
        image.pixels.push_back(uint8_t(i));
    const QByteArray bytes = ImageFormat::encode(image);
    QCOMPARE(bytes.left(16).toHex(), QByteArray("565846500100100010001100fc010000"));
    QCOMPARE(bytes.size(), 16 + 16 * 17);
    QCOMPARE(bytes.mid(16), QByteArray(reinterpret_cast<const char*>(image.pixels.data()), 16 * 17));
    GreyImage back;
    QVERIFY(ImageFormat::decode(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size(), back));
    QCOMPARE(back.pixels, image.pixels);
    QCOMPARE(back.dpi, 508);

    uint8_t* sample = ImageFormat::newSample(image, TECH_Fingerprint);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(sample), 4).toHex(), QByteArray("20010000"));
    QCOMPARE(std::memcmp(sample + 4, TECH_Fingerprint.data(), 16), 0);
    QVERIFY(ImageFormat::readSample(sample, back));
    ImageFormat::wipeSample(sample);
}

void TestFingerImage::refused_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("length");
    QTest::newRow("cut short") << 0 << int('V') << 16 + 16 * 16 - 1;
    QTest::newRow("one byte more") << 0 << int('V') << 16 + 16 * 16 + 1;
    QTest::newRow("header only") << 0 << int('V') << 16;
    QTest::newRow("magic") << 3 << int('Q') << 16 + 16 * 16;
    QTest::newRow("version 2") << 4 << 2 << 16 + 16 * 16;
    QTest::newRow("header size") << 6 << 20 << 16 + 16 * 16;
    QTest::newRow("width 15") << 8 << 15 << 16 + 15 * 16;
    QTest::newRow("resolution 4340") << 13 << 0x10 << 16 + 16 * 16;
    QTest::newRow("reserved word") << 14 << 1 << 16 + 16 * 16;
}

void TestFingerImage::refused()
{
    QFETCH(int, offset);
    QFETCH(int, value);
    QFETCH(int, length);
    GreyImage image;
    image.width = image.height = 16;
    image.pixels.assign(256, 200);
    QByteArray bytes = ImageFormat::encode(image);
    bytes[offset] = char(value);
    bytes.resize(std::max(length, 16));
    GreyImage out;
    out.width = 3;
    QVERIFY(!ImageFormat::decode(reinterpret_cast<const uint8_t*>(bytes.constData()), length, out));
    QCOMPARE(out.width, 3);
}

void TestFingerImage::syntheticFingers()
{
    // The same seeds give the same image; presses stay within a tenth of
    // the reader and the asked turn.
    const SyntheticFinger finger(21);
    QCOMPARE(finger.impression(Press::random(5)).pixels, SyntheticFinger(21).impression(Press::random(5)).pixels);
    QVERIFY(finger.impression(Press::random(5)).pixels != finger.impression(Press::random(6)).pixels);
    int partial = 0;
    QSet<int> patterns;
    for (uint32_t seed = 0; seed < 200; ++seed) {
        const Press p = Press::random(seed);
        QVERIFY(std::fabs(p.dx) <= 0.1f * SyntheticFinger::Width && std::fabs(p.dy) <= 0.1f * SyntheticFinger::Height);
        QVERIFY(std::fabs(p.angle) <= 15.0f * 3.1416f / 180.0f);
        QVERIFY(p.cut <= 0.34f && p.stretch <= 6.0f);
        partial += p.cut > 0;
        patterns << int(SyntheticFinger(seed).pattern());
    }
    // Every pattern class, and about one press in three partly off the sensor.
    QCOMPARE(patterns.size(), 5);
    QVERIFY2(partial > 40 && partial < 100, qPrintable(QString::number(partial)));
    const GreyImage image = finger.impression(Press());
    QCOMPARE(image.width, SyntheticFinger::Width);
    QCOMPARE(image.height, SyntheticFinger::Height);
    // Ridges and valleys: dark and light both well represented.
    int dark = 0, light = 0;
    for (uint8_t v : image.pixels) {
        dark += v < 80;
        light += v > 180;
    }
    QVERIFY(dark > image.width * image.height / 6 && light > image.width * image.height / 6);
}

QTEST_MAIN(TestFingerImage)
#include "tst_fingerimage.moc"
