#include "nb-cpp/BimBase.h"
#include "nb-cpp/Exception.h"
#include "nbi/nbModule.h"

#include "FailingDevice.h"
#include "TestFiles.h"

#include <QImage>
#include <QtTest>

#include <functional>

namespace {

const QByteArray HwBytes = QByteArray::fromHex("d2412ac41801f94eb71cf3b27d1a980d");

QByteArray le32(int32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<int32_t>(v, b.data());
    return b;
}

QByteArray record(int32_t n, const QByteArray& type, const QByteArray& bytes) { return le32(n) + type + bytes; }
QByteArray header(uint32_t n, const QByteArray& tech = HwBytes) { return "BIM " + QByteArray(20, '\0') + tech + le32(int32_t(n)); }
const uint8_t* u8(const QByteArray& b) { return reinterpret_cast<const uint8_t*>(b.constData()); }

QString thrown(const std::function<void()>& f)
{
    try {
        f();
    } catch (Exception e) {
        return e.message;
    }
    return QString();
}

// Records every freeBim; answers with the given result.
struct FreeingProvider : nbIProvider {
    uint32_t result = 0;
    QList<uint8_t*> freed;
    uint32_t queryInterface(const Nb::Uuid*, void**) override { return nbE_NO_INTERFACE; }
    uint32_t addRef() override { return 1; }
    uint32_t release() override { return 0; }
    uint32_t setEventHandler(nbIEventHandler*) override { return 0; }
    uint32_t attachDevice(int32_t) override { return 0; }
    uint32_t attachWindow(nbWindow, uint32_t) override { return 0; }
    uint32_t getImage(uint32_t, uint8_t*, const uint8_t*) override { return 0; }
    uint32_t stopCapture() override { return 0; }
    uint32_t viewImage(const uint8_t*, uint8_t) override { return 0; }
    uint32_t reserved9() override { return 0; }
    uint32_t startCapture(uint8_t**, const Nb::Uuid*, uint8_t) override { return 0; }
    uint32_t waitForBimReady(uint8_t**, uint32_t) override { return 0; }
    uint32_t freeBim(uint8_t* image) override { return freed.append(image), result; }
};

const QByteArray A = record(3, HwBytes, "abc");
const QByteArray B = record(5, QByteArray(16, '\x07'), "12345");

} // namespace

class TestBimBase : public QObject {
    Q_OBJECT

private slots:
    void insertRemove()
    {
        BimBase set;
        QVERIFY(!set.isChanged() && set.data() == nullptr && set.count() == 0);
        const QPixmap picture = QPixmap::fromImage(QImage(4, 4, QImage::Format_RGB32));
        for (const QByteArray& refused : {record(0, HwBytes, ""), record(-1, HwBytes, ""), record(INT32_MAX - 19, HwBytes, "")})
            QVERIFY(!set.insert(0, u8(refused), picture));
        QVERIFY(!set.insert(0, nullptr, picture) && !set.isChanged());
        QVERIFY(set.insert(5, u8(A), picture) && set.insert(-1, u8(A), QPixmap()) && set.insert(0, u8(B), QPixmap()));
        QVERIFY(set.insert(set.count(), u8(B), QPixmap()) && set.isChanged()); // count appends
        QCOMPARE(set.count(), 4);
        QVERIFY(set.data()[0] == set.at(0) && set.data()[3] == set.at(3) && set.at(0) != u8(B)); // own copies
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(set.at(0)), B.size()), B);
        QVERIFY(set.imageType(1) == Nb::Uuid("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}"));
        QVERIFY(set.imageType(4) == Nb::NilUuid && !set.at(4) && !set.at(-1) && set.miniature(4).isNull());
        QVERIFY(set.miniature(1).size() == QSize(4, 4) && set.miniature(0).isNull());
        set.resetChanged();
        QVERIFY(!set.remove(set.count()) && !set.remove(-1) && !set.isChanged() && set.count() == 4);
        QVERIFY(set.remove(0) && set.isChanged() && set.miniature(0).size() == QSize(4, 4));
        QVERIFY(set.clear() && set.count() == 0 && set.data() == nullptr);
    }

    void allocateAndFree()
    {
        QVERIFY(!BimBase::allocate(0) && !BimBase::allocate(0x80000000u));
        uint8_t* own = BimBase::allocate(24);
        QVERIFY(own && BimBase::freeImage(own, nullptr) && BimBase::freeImage(nullptr, nullptr));
        FreeingProvider module;
        uint8_t image[24] = {};
        QVERIFY(BimBase::freeImage(image, &module));
        module.result = nbE_PARAM;
        QVERIFY(!BimBase::freeImage(image, &module));
        QCOMPARE(module.freed, (QList<uint8_t*>{image, image}));
    }

    void goldenFileAndRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("set.bim");
        QVERIFY(putBytes(path, QByteArray(500, 'x'))); // an older, longer file: no tail stays
        BimBase set;
        QVERIFY(set.insert(0, u8(A), QPixmap()) && set.insert(1, u8(B), QPixmap()));
        QVERIFY(set.writeFile(path, Nb::Uuid("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}")));
        const QByteArray golden = QByteArray::fromHex("42494d20") + QByteArray(20, '\0') + HwBytes + le32(2) + A + B;
        QCOMPARE(fileBytes(path), golden);

        BimBase back;
        QVERIFY(back.insert(0, u8(B), QPixmap()));
        back.resetChanged();
        QVERIFY(back.readFile(path, Nb::Uuid("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}")));
        QVERIFY(back.count() == 2 && back.isChanged() && back.miniature(0).isNull());
        QVERIFY(back.imageType(1) == set.imageType(1));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(back.at(1)), B.size()), B);

        // A write that cannot complete leaves the old file byte for byte.
        QByteArray big(5000, 'b');
        QVERIFY(set.insert(0, u8(record(big.size(), HwBytes, big)), QPixmap()));
        {
            FileSizeLimit limit(1024);
            QVERIFY(limit.ok());
            QCOMPARE(thrown([&] { set.writeFile(path, Nb::NilUuid); }), QString::fromUtf8("Невозможно записать файл"));
        }
        QCOMPARE(fileBytes(path), golden);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"set.bim"});
        QCOMPARE(thrown([&] { set.writeFile(dir.filePath("no/set.bim"), Nb::NilUuid); }),
                 QString::fromUtf8("Невозможно создать файл"));
        QCOMPARE(thrown([&] { set.readFile(dir.filePath("none.bim"), Nb::NilUuid); }),
                 QString::fromUtf8("Невозможно открыть файл"));
        for (qint64 room : {qint64(30), qint64(BimBase::HeaderSize + 30)}) {
            FailingDevice device(room);
            device.open(QIODevice::WriteOnly);
            QCOMPARE(thrown([&] { set.write(device, Nb::NilUuid); }), QString::fromUtf8("Невозможно записать файл"));
        }
    }

    // What a set holds after reading hostile bytes: a refusal before the
    // records keeps the old set, one inside them leaves it empty.
    void hostileFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("count");
        const QString cut = QString::fromUtf8("Невозможно прочитать файл");
        QTest::newRow("0 records") << header(0) << QString() << 0;
        QTest::newRow("tail ignored") << header(1) + A + B << QString() << 1;
        QTest::newRow("short header") << header(0).chopped(1) << cut << 1;
        QTest::newRow("wrong magic") << "BIM!" + header(0).mid(4) << QString::fromUtf8("Неверный формат файла") << 1;
        QTest::newRow("other technology") << header(0, QByteArray(16, '\0'))
                                          << QString::fromUtf8("Неверный тип биометрических образов") << 1;
        QTest::newRow("ends in record head") << header(1) + A.left(10) << cut << 0;
        QTest::newRow("ends in record data") << header(2) + A + B.chopped(1) << cut << 0;
        QTest::newRow("count beyond records") << header(3) + A + B << cut << 0;
        QTest::newRow("negative length") << header(1) + record(-3, HwBytes, "abc") << cut << 0;
        QTest::newRow("length beyond file") << header(1) + record(INT32_MAX - 20, HwBytes, "abc") << cut << 0;
        QTest::newRow("huge count") << header(0xFFFFFFFFu) + A << cut << 0;
    }
    void hostileFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(int, count);
        QTemporaryDir dir;
        QVERIFY(putBytes(dir.filePath("h.bim"), bytes));
        for (int viaFile = 0; viaFile < 2; ++viaFile) {
            BimBase set;
            QVERIFY(set.insert(0, u8(B), QPixmap()));
            const Nb::Uuid hw("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}");
            QCOMPARE(thrown([&] { viaFile ? set.readFile(dir.filePath("h.bim"), hw) : set.readBytes(bytes, hw); }), error);
            QCOMPARE(set.count(), count);
        }
    }
};

QTEST_MAIN(TestBimBase)
#include "tst_bimbase.moc"
