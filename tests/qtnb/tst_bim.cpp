#include "qtnb/Bim.h"

#include <cstring>

#include <QBuffer>
#include <QtTest>

#include "DebugCapture.h"
#include "FailingDevice.h"

using Nb::Bim;

namespace {

const Nb::Uuid Id("{00112233-4455-6677-8899-aabbccddeeff}");
const QByteArray IdBytes = QByteArray::fromHex("33221100554477668899aabbccddeeff");

QByteArray written(const Bim& bim)
{
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    bim.write(s);
    return bytes;
}

// A pipe-like device that hands out its bytes without saying how many remain.
class SequentialSource : public QIODevice {
public:
    explicit SequentialSource(const QByteArray& bytes) : m_bytes(bytes) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        const qint64 n = qMin<qint64>(max, m_bytes.size() - m_at);
        if (n <= 0)
            return -1;
        std::memcpy(data, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};

} // namespace

class TestBim : public QObject {
    Q_OBJECT
private slots:
    void nullAndEmptyImages();
    void streamRoundTrip();
    void copiesAndSelfAssignment();
    void attachAndRelease();
    void truncatedStreams();
    void hostileLengths_data();
    void hostileLengths();
    void sequentialDevice();
    void failingWrite();
    void dump();
};

void TestBim::nullAndEmptyImages()
{
    Bim bim;
    QVERIFY(bim.isNull() && bim.isEmpty());
    QCOMPARE(bim.byteSize(), 0);
    QCOMPARE(bim.id(), Nb::NilUuid);
    QVERIFY(!bim.data());
    DebugCapture capture;
    QCOMPARE(written(bim), QByteArray());
    QVERIFY(bim.create(Id, 0));
    QVERIFY(!bim.isNull() && bim.isEmpty());
    QCOMPARE(bim.byteSize(), 20);
    QCOMPARE(written(bim), QByteArray(4, '\0') + IdBytes);
}

void TestBim::streamRoundTrip()
{
    Bim bim;
    QVERIFY(bim.create(Id, 300));
    for (int i = 0; i < 300; ++i)
        bim.data()[i] = uint8_t(i * 7);
    const QByteArray bytes = written(bim);
    QCOMPARE(bytes.size(), 320);
    QCOMPARE(bytes.left(4), QByteArray::fromHex("2c010000"));
    QCOMPARE(bytes.mid(4, 16), IdBytes);

    QDataStream in(bytes + "tail");
    Bim back;
    QCOMPARE(back.read(in), 320);
    QCOMPARE(back.length(), 300);
    QCOMPARE(back.id(), Id);
    QCOMPARE(std::memcmp(back.data(), bim.data(), 300), 0);
    QCOMPARE(written(back), bytes);
}

void TestBim::copiesAndSelfAssignment()
{
    Bim bim;
    QVERIFY(bim.create(Id, 5));
    std::memcpy(bim.data(), "abcde", 5);
    uint8_t* const buffer = bim.buffer();
    bim = bim;
    QCOMPARE(bim.buffer(), buffer);
    bim = bim.buffer();
    QCOMPARE(bim.buffer(), buffer);

    Bim copy(bim);
    QVERIFY(copy.buffer() != buffer);
    QCOMPARE(written(copy), written(bim));
    QCOMPARE(written(Bim(bim.buffer())), written(bim));
    copy = Bim();
    QVERIFY(copy.isNull());
    QCOMPARE(bim.length(), 5);
}

void TestBim::attachAndRelease()
{
    uint8_t* raw = new uint8_t[23];
    std::memset(raw, 0, 23);
    raw[0] = 3;
    Bim bim;
    QVERIFY(bim.attach(raw));
    QCOMPARE(bim.buffer(), raw);
    QCOMPARE(bim.length(), 3);
    uint8_t* other = new uint8_t[20]();
    DebugCapture capture;
    QVERIFY(!bim.attach(other));
    QCOMPARE(bim.buffer(), raw);
    QCOMPARE(bim.release(), raw);
    QVERIFY(bim.isNull());
    delete[] raw;
    // A buffer whose length field is negative is not taken.
    other[3] = 0x80;
    QVERIFY(!bim.attach(other));
    QVERIFY(bim.isNull());
    Bim copy(other);
    QVERIFY(copy.isNull());
    delete[] other;
}

void TestBim::truncatedStreams()
{
    Bim bim;
    QVERIFY(bim.create(Id, 10));
    std::memset(bim.data(), 0x5A, 10);
    const QByteArray bytes = written(bim);
    DebugCapture capture;
    for (int n = 0; n < bytes.size(); ++n) {
        QDataStream in(bytes.left(n));
        Bim back;
        QVERIFY(back.create(Id, 2));
        QCOMPARE(back.read(in), -1);
        QVERIFY(back.isNull());
        QVERIFY(in.status() != QDataStream::Ok);
    }
}

void TestBim::hostileLengths_data()
{
    QTest::addColumn<QByteArray>("length");
    QTest::newRow("-1") << QByteArray::fromHex("ffffffff");
    QTest::newRow("INT32_MIN") << QByteArray::fromHex("00000080");
    QTest::newRow("INT32_MAX") << QByteArray::fromHex("ffffff7f");
    QTest::newRow("past the int32 buffer") << QByteArray::fromHex("f0ffff7f");
    QTest::newRow("1 GiB more than there is") << QByteArray::fromHex("00000040");
}

void TestBim::hostileLengths()
{
    QFETCH(QByteArray, length);
    DebugCapture capture;
    QDataStream in(length + IdBytes + QByteArray(8, 'x'));
    Bim bim;
    QCOMPARE(bim.read(in), -1);
    QVERIFY(bim.isNull());
    Bim created;
    QVERIFY(!created.create(Id, -1));
    QVERIFY(!created.create(Id, Bim::MaxLength + 1));
    QVERIFY(created.isNull());
}

void TestBim::sequentialDevice()
{
    Bim bim;
    QVERIFY(bim.create(Id, 3));
    std::memcpy(bim.data(), "xyz", 3);
    SequentialSource good(written(bim));
    QDataStream in(&good);
    Bim back;
    QCOMPARE(back.read(in), 23);
    QCOMPARE(written(back), written(bim));

    // A length of about 2 GiB over a pipe of eight bytes fails at the end
    // of what arrives.
    DebugCapture capture;
    SequentialSource lying(QByteArray::fromHex("ffffff7e") + IdBytes + QByteArray(8, 'x'));
    QDataStream lie(&lying);
    QCOMPARE(back.read(lie), -1);
    QVERIFY(back.isNull());
}

void TestBim::failingWrite()
{
    Bim bim;
    QVERIFY(bim.create(Id, 40));
    std::memset(bim.data(), 1, 40);
    FailingDevice device(30);
    device.open(QIODevice::WriteOnly);
    QDataStream out(&device);
    DebugCapture capture;
    QCOMPARE(bim.write(out), -1);
}

void TestBim::dump()
{
    Bim bim;
    QCOMPARE(printed(bim), QStringLiteral("(Nil)"));
    QVERIFY(bim.create(Id, 6));
    std::memcpy(bim.data(), "\x01\xab\x7f\x00\x10\x20", 6);
    const QString address = printed(static_cast<const void*>(bim.buffer()));
    const QString one = QStringLiteral("Bim(%1: 6 [01ab7f00..]  {00112233-4455-6677-8899-aabbccddeeff})").arg(address);
    QCOMPARE(printed(bim), one);
    Bim two;
    QVERIFY(two.create(Nb::NilUuid, 2));
    std::memcpy(two.data(), "\xff\x0e", 2);
    const QString short2 =
        QStringLiteral("Bim(%1: 2 [ff0e..]  {Nil})").arg(printed(static_cast<const void*>(two.buffer())));
    QCOMPARE(printed(two), short2);
    const Nb::Bims list{bim, Bim()};
    QCOMPARE(printed(list), QStringLiteral("[0:%1\n1:(Nil)]").arg(printed(list.at(0))));
}

QTEST_GUILESS_MAIN(TestBim)
#include "tst_bim.moc"
