#include "DebugCapture.h"
#include "FailingDevice.h"
#include "qtnb/Data.h"

#include <QBuffer>
#include <QtTest>

using namespace Nb;

namespace {

QByteArray bytesOf(const Data& d) { return QByteArray(reinterpret_cast<const char*>(d.data()), d.size()); }

Data fromBytes(const QByteArray& bytes)
{
    Data d;
    d.set(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    return d;
}

QByteArray written(const Data& d, bool withSize, int32_t* result = nullptr)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    const int32_t r = d.write(s, withSize);
    if (result)
        *result = r;
    return out;
}

// A sequential device over fixed bytes, so readers cannot ask how much is left.
class SequentialBuffer : public QIODevice {
public:
    explicit SequentialBuffer(const QByteArray& bytes) : m_bytes(bytes) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        const qint64 n = qMin(max, qint64(m_bytes.size() - m_at));
        if (n <= 0)
            return -1;
        memcpy(out, m_bytes.constData() + m_at, size_t(n));
        m_at += int(n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    int m_at = 0;
};

} // namespace

class TestData : public QObject {
    Q_OBJECT
private slots:
    void nullBuffer();
    void streamFormsGolden();
    void streamRoundTrip_data();
    void streamRoundTrip();
    void hostileSizeWords_data();
    void hostileSizeWords();
    void hostileSequential();
    void viewsAndCapacity();
    void constructorsRefuseSizesThatDoNotFit();
    void assignmentAndOverlap();
    void ownership();
    void compare();
    void text();
    void nulTerminatedTextStaysInside();
    void viewOfItsOwnBytes();
    void writeFailure();
    void dump();
};

void TestData::nullBuffer()
{
    Data zero(0);
    QVERIFY(zero.isNull());
    QVERIFY(!zero.hasData());
    QCOMPARE(zero.size(), 0);
    int32_t r = 0;
    QCOMPARE(written(zero, true, &r), QByteArray(4, '\0'));
    QCOMPARE(r, 4);
    QCOMPARE(written(Data(), false, &r), QByteArray(4, '\0'));
    QCOMPARE(r, 4);
    QVERIFY(!Data().setSize(0));
    QVERIFY(Data(-5).isNull());
}

void TestData::streamFormsGolden()
{
    const Data abc = fromBytes("abc");
    QCOMPARE(written(abc, true), QByteArray::fromHex("03000000616263"));
    QCOMPARE(written(abc, false), QByteArray("abc"));
    // An empty but allocated buffer writes its zero size, or nothing.
    Data empty(4);
    QVERIFY(empty.resize(0));
    QCOMPARE(written(empty, true), QByteArray(4, '\0'));
    QCOMPARE(written(empty, false), QByteArray());
    // The size word sits in the 4 bytes in front of the data.
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(abc.data()) - 4, 7), QByteArray::fromHex("03000000616263"));
}

void TestData::streamRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("one") << QByteArray("x");
    QTest::newRow("text") << QByteArray("length-prefixed");
    QTest::newRow("binary") << QByteArray::fromHex("00ff00ff7f80");
    QTest::newRow("large") << QByteArray(100000, 'q');
}

void TestData::streamRoundTrip()
{
    QFETCH(QByteArray, bytes);
    const Data d = fromBytes(bytes);
    QByteArray buf = written(d, true) + "tail";
    QDataStream in(buf);
    Data back;
    QCOMPARE(back.read(in, true), bytes.size() + 4);
    QCOMPARE(bytesOf(back), bytes);
    QVERIFY(back == d);

    QDataStream raw(bytes);
    Data plain;
    QCOMPARE(plain.read(raw, false, bytes.size()), bytes.size());
    QCOMPARE(bytesOf(plain), bytes);

    SequentialBuffer dev(written(d, true));
    QDataStream seq(&dev);
    Data chunked;
    QCOMPARE(chunked.read(seq, true), bytes.size() + 4);
    QCOMPARE(bytesOf(chunked), bytes);
}

void TestData::hostileSizeWords_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("withSize");
    QTest::addColumn<int>("n");
    QTest::newRow("negative size word") << QByteArray::fromHex("ffffffff616263") << true << 0;
    QTest::newRow("size word past the end") << QByteArray::fromHex("04000000616263") << true << 0;
    QTest::newRow("huge size word") << (QByteArray::fromHex("ffffff7f") + QByteArray(26, 'a')) << true << 0;
    QTest::newRow("truncated size word") << QByteArray::fromHex("0300") << true << 0;
    QTest::newRow("negative count") << QByteArray("abc") << false << -1;
    QTest::newRow("count past the end") << QByteArray("abc") << false << 4;
}

void TestData::hostileSizeWords()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, withSize);
    QFETCH(int, n);
    DebugCapture capture;
    QDataStream in(bytes);
    Data d;
    QCOMPARE(d.read(in, withSize, n), -1);
    QVERIFY(in.status() != QDataStream::Ok);
    // Refused before anything was allocated.
    QVERIFY(d.isNull());
}

void TestData::hostileSequential()
{
    // Nothing can be asked of a sequential device: a 2 GB claim must still
    // fail on the bytes that are there, without trying to allocate for it.
    SequentialBuffer dev(QByteArray::fromHex("ffffff7f") + QByteArray(26, 'a'));
    QDataStream in(&dev);
    Data d;
    QCOMPARE(d.read(in, true), -1);
    QVERIFY(in.status() != QDataStream::Ok);
    QVERIFY(d.isNull());
}

void TestData::viewsAndCapacity()
{
    // An outside length-prefixed buffer: size word 8, then 8 bytes.
    QByteArray outside = QByteArray::fromHex("08000000") + QByteArray("ABCDEFGH");
    const QByteArray before = outside;
    Data v(reinterpret_cast<uint8_t*>(outside.data()) + 4, 0);
    QCOMPARE(v.size(), 8);
    QCOMPARE(v.capacity(), 8);
    QVERIFY(!(v = fromBytes("0123456789")));
    QCOMPARE(outside, before);
    QVERIFY(!v.reserve(9));
    QVERIFY(!v.resize(9));
    // A shorter answer goes into the caller's buffer, size word included.
    QVERIFY(v = fromBytes("xyz"));
    QCOMPARE(outside.left(7), QByteArray::fromHex("03000000") + "xyz");
    // A view never frees: clear leaves it as it is.
    v.clear();
    QVERIFY(!v.isNull());
    Data copy(v);
    QCOMPARE(copy.data(), v.data());
    QCOMPARE(copy.capacity(), 8);
    Data w;
    w.view(v);
    QCOMPARE(w.data(), v.data());
    QVERIFY(w.setSize(8));
    QVERIFY(!w.setSize(9));

    // Growing within the capacity keeps the bytes; past it they are not kept.
    Data owned(10);
    QVERIFY(owned.set(reinterpret_cast<const uint8_t*>("abcdefghij"), 10));
    QVERIFY(owned.resize(3));
    QVERIFY(owned.resize(10));
    QCOMPARE(bytesOf(owned), QByteArray("abcdefghij"));
    QVERIFY(!owned.resize(-1));
}

void TestData::constructorsRefuseSizesThatDoNotFit()
{
    DebugCapture capture;
    QByteArray shortArray = QByteArray::fromHex("10000000") + "abc";
    QVERIFY(Data(shortArray).isNull());
    QVERIFY(Data(QByteArray::fromHex("ffffffff") + "abc").isNull());
    QVERIFY(Data(QByteArray("ab")).isNull());
    QByteArray good = QByteArray::fromHex("03000000") + "abc";
    Data view(good);
    QCOMPARE(bytesOf(view), QByteArray("abc"));
    QVERIFY(view.capacity() >= 3);

    QByteArray outside = QByteArray::fromHex("09000000") + "abcdefgh";
    QVERIFY(Data(reinterpret_cast<uint8_t*>(outside.data()) + 4, 8).isNull());
    QByteArray negative = QByteArray::fromHex("feffffff") + "abcd";
    QVERIFY(Data(reinterpret_cast<const uint8_t*>(negative.constData()) + 4).isNull());
    QVERIFY(Data(static_cast<const uint8_t*>(nullptr)).isNull());
    QVERIFY(Data(nullptr, 5).isNull());
    QVERIFY(!capture.reports().isEmpty());
}

void TestData::assignmentAndOverlap()
{
    Data d = fromBytes("abcdef");
    const Data& same = d;
    QVERIFY(d = same);
    QCOMPARE(bytesOf(d), QByteArray("abcdef"));
    // Source and destination overlap inside one buffer.
    QVERIFY(d.set(d.data() + 2, 4));
    QCOMPARE(bytesOf(d), QByteArray("cdef"));
    // A source inside the buffer that has to be reallocated for it.
    Data big(4);
    QVERIFY(big.set(reinterpret_cast<const uint8_t*>("wxyz"), 4));
    QByteArray src(40, 'k');
    QVERIFY(big.set(reinterpret_cast<const uint8_t*>(src.constData()), 40));
    QCOMPARE(bytesOf(big), src);
    // Copies of owned buffers are independent.
    Data copy(d);
    QVERIFY(copy.data() != d.data());
    copy.data()[0] = 'Z';
    QCOMPARE(bytesOf(d), QByteArray("cdef"));
    const QByteArray prefixed = QByteArray::fromHex("02000000") + "hi";
    Data fromPrefixed(reinterpret_cast<const uint8_t*>(prefixed.constData()) + 4);
    QCOMPARE(bytesOf(fromPrefixed), QByteArray("hi"));
    QVERIFY(fromPrefixed.data() != reinterpret_cast<const uint8_t*>(prefixed.constData()) + 4);
}

void TestData::ownership()
{
    Data d = fromBytes("abc");
    uint8_t* p = d.release();
    QVERIFY(d.isNull());
    Data other;
    QVERIFY(other.attach(p));
    QCOMPARE(bytesOf(other), QByteArray("abc"));
    QCOMPARE(other.capacity(), 3);
    Data busy = fromBytes("x");
    QVERIFY(!busy.attach(other.data()));
    QCOMPARE(bytesOf(busy), QByteArray("x"));
    other.clear();
    QVERIFY(other.isNull());
}

void TestData::compare()
{
    const Data abc = fromBytes("abc");
    QVERIFY(abc.compare(fromBytes("abcd")) < 0);
    QVERIFY(fromBytes("abcd").compare(abc) > 0);
    QVERIFY(abc.compare(fromBytes("abd")) < 0);
    QCOMPARE(abc.compare(fromBytes("abc")), 0);
    Data v1, v2;
    v1.view(abc);
    v2.view(abc);
    QCOMPARE(v1.compare(v2), 0);
    QVERIFY(Data().compare(abc) < 0);
    Data empty(1);
    empty.resize(0);
    QCOMPARE(Data().compare(empty), 0);
}

void TestData::text()
{
    const QString s = QString::fromUtf8("Пароль ok");
    const Data d(s);
    QCOMPARE(d.size(), s.toUtf8().size());
    QCOMPARE(d.toString(), s);
    QCOMPARE(d.textLength(), s.size());
    char16_t units[16] = {};
    QCOMPARE(d.toUtf16(units), s.size());
    QCOMPARE(QString::fromUtf16(units, s.size()), s);
    char16_t one[2] = {7, 7};
    QCOMPARE(Data().toUtf16(one), 1);
    QCOMPARE(one[0], char16_t(0));

    Data small = fromBytes("ab");
    int32_t length = 0;
    QVERIFY(!small.fromString("abcdef", length, false));
    QCOMPARE(length, 6);
    QCOMPARE(bytesOf(small), QByteArray("ab"));
    QVERIFY(small.fromString("abcdef", length, true));
    QCOMPARE(bytesOf(small), QByteArray("abcdef"));

    // Size -1 marks text that ends at its first NUL.
    Data nul = fromBytes(QByteArray("hello\0zz", 8));
    QVERIFY(nul.setSize(-1));
    QCOMPARE(nul.toString(), QString("hello"));
}

void TestData::nulTerminatedTextStaysInside()
{
    // Size -1 without any NUL inside the buffer: the text ends with the buffer.
    Data full = fromBytes("abcd");
    QVERIFY(full.setSize(-1));
    QCOMPARE(full.toString(), QString("abcd"));
    QCOMPARE(full.textLength(), 4);
    // A copy keeps the bytes that the NUL-terminated text is made of.
    Data text = fromBytes(QByteArray("hi\0xyz", 6));
    QVERIFY(text.setSize(-1));
    const Data copy(text);
    QCOMPARE(copy.size(), -1);
    QCOMPARE(copy.toString(), QString("hi"));
    // A view that was given its capacity reads no further than that.
    QByteArray outside = QByteArray::fromHex("ffffffff") + QByteArray("xyz");
    Data v(reinterpret_cast<uint8_t*>(outside.data()) + 4, 3);
    QCOMPARE(v.toString(), QString("xyz"));
    // An owned buffer of no capacity holds no text at all.
    Data none = fromBytes("q");
    uint8_t* p = none.release();
    p[-4] = 0;
    QVERIFY(none.attach(p));
    QCOMPARE(none.capacity(), 0);
    QVERIFY(none.setSize(-1));
    QCOMPARE(none.toString(), QString());
}

void TestData::viewOfItsOwnBytes()
{
    // Viewing a view of its own bytes must neither free nor lose them.
    Data owned = fromBytes("abc");
    Data v;
    v.view(owned);
    owned.view(v);
    QVERIFY(!owned.isNull());
    QCOMPARE(bytesOf(owned), QByteArray("abc"));
    QVERIFY(owned.resize(1));
    QCOMPARE(bytesOf(v), QByteArray("a"));
}

void TestData::writeFailure()
{
    const Data d = fromBytes("abcdef");
    FailingDevice dev(5);
    dev.open(QIODevice::WriteOnly);
    QDataStream s(&dev);
    QCOMPARE(d.write(s, true), -1);
}

void TestData::dump()
{
    QCOMPARE(printed(Data()), QString("Data(Nil)"));
    const Data five = fromBytes(QByteArray::fromHex("0102030405"));
    const QString addr = printed(static_cast<const void*>(five.data()));
    QCOMPARE(printed(five), "Data(" + addr + ": 5 5 [01 02.. 04 05])");
    const Data one = fromBytes(QByteArray::fromHex("ab"));
    QCOMPARE(printed(one), "Data(" + printed(static_cast<const void*>(one.data())) + ": 1 1 [ab])");
    QByteArray twenty;
    for (int i = 0; i < 20; ++i)
        twenty.append(char(i));
    const Data big = fromBytes(twenty);
    QCOMPARE(printed(big), "Data(" + printed(static_cast<const void*>(big.data())) +
                               ": 20 20 [00 01 02 03 04 05 06 07.. 0c 0d 0e 0f 10 11 12 13])");
    Data empty(3);
    empty.resize(0);
    QCOMPARE(printed(empty), "Data(" + printed(static_cast<const void*>(empty.data())) + ": 0 3)");
}

QTEST_GUILESS_MAIN(TestData)
#include "tst_data.moc"
