#include "nb-cpp/BimBase.h"
#include "nb-cpp/Exception.h"

#include "TestFiles.h"

#include <QtTest>

namespace {

const Nb::Uuid Hw("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}");
const QByteArray HwBytes = QByteArray::fromHex("d2412ac41801f94eb71cf3b27d1a980d");

QByteArray le32(int32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); } // little-endian host
QByteArray record(int32_t n, const QByteArray& data, const QByteArray& type = HwBytes) { return le32(n) + type + data; }
QByteArray header(uint32_t n, const QByteArray& tech = HwBytes) { return "BIM " + QByteArray(20, 0) + tech + le32(n); }
const uint8_t* u8(const QByteArray& b) { return reinterpret_cast<const uint8_t*>(b.constData()); }
QByteArray image(const BimBase& set, int i)
{
    return QByteArray(reinterpret_cast<const char*>(set.at(i)), 20 + qFromLittleEndian<int32_t>(set.at(i)));
}

template <typename F> QString thrown(F f)
{
    try { f(); } catch (Exception e) { return e.message; }
    return QString();
}

const QByteArray A = record(3, "abc");
const QByteArray B = record(5, "12345", QByteArray(16, '\x07'));

} // namespace

class TestBimBase : public QObject {
    Q_OBJECT

private slots:
    void insertRemove()
    {
        BimBase set;
        const QPixmap picture(4, 4);
        for (const QByteArray& refused : {record(0, ""), record(-1, ""), record(INT32_MAX - 19, "")})
            QVERIFY(!set.insert(0, u8(refused), picture));
        QVERIFY(!set.insert(0, nullptr, picture) && !set.isChanged() && !set.data());
        QVERIFY(set.insert(-1, u8(A), picture) && set.insert(1, u8(A), QPixmap()) && set.insert(0, u8(B), QPixmap()));
        QVERIFY(set.isChanged() && set.count() == 3 && set.data()[2] == set.at(2) && set.at(0) != u8(B));
        QVERIFY(image(set, 0) == B && set.imageType(1) == Hw && set.miniature(1).size() == QSize(4, 4));
        QVERIFY(!set.at(3) && set.imageType(3) == Nb::NilUuid && set.miniature(2).isNull());
        set.resetChanged();
        QVERIFY(!set.remove(set.count()) && !set.isChanged() && set.remove(0) && set.isChanged() && image(set, 0) == A);
        QVERIFY(!BimBase::allocate(0) && !BimBase::allocate(0x80000000u));
    }

    void fileReplacedWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("set.bim");
        QVERIFY(putReadable(path, QByteArray(500, 'x'))); // an older, longer file: no tail nor mode stays
        BimBase set;
        QVERIFY(set.insert(0, u8(A), QPixmap()) && set.insert(1, u8(B), QPixmap()) && set.writeFile(path, Hw));
        const QByteArray golden = header(2) + A + B;
        QCOMPARE(fileBytes(path), golden);
        QCOMPARE(modeOf(path), 0600);

        QVERIFY(set.insert(0, u8(record(5000, QByteArray(5000, 'b'))), QPixmap()));
        {
            FileSizeLimit limit(1024);
            QVERIFY(limit.ok());
            QCOMPARE(thrown([&] { set.writeFile(path, Hw); }), QString::fromUtf8("Невозможно записать файл"));
        }
        QVERIFY(fileBytes(path) == golden && QDir(dir.path()).count() == 3); // the old file, nothing beside it
        QCOMPARE(thrown([&] { set.writeFile(path + "/sub.bim", Hw); }), QString::fromUtf8("Невозможно создать файл"));
        QCOMPARE(thrown([&] { set.readFile(path + ".none", Hw); }), QString::fromUtf8("Невозможно открыть файл"));
    }

    // A refusal before the records keeps the old set; one inside them leaves it empty.
    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("count");
        const QString cut = QString::fromUtf8("Невозможно прочитать файл");
        QTest::newRow("round trip") << header(2) + A + B << QString() << 2;
        QTest::newRow("0 records") << header(0) << QString() << 0;
        QTest::newRow("tail ignored") << header(1) + A + B << QString() << 1;
        QTest::newRow("short header") << header(0).chopped(1) << cut << 1;
        QTest::newRow("wrong magic") << "BIM!" + header(0).mid(4) << QString::fromUtf8("Неверный формат файла") << 1;
        QTest::newRow("other technology") << header(0, QByteArray(16, '\0')) << QString::fromUtf8("Неверный тип биометрических образов") << 1;
        QTest::newRow("ends in record head") << header(1) + A.left(10) << cut << 0;
        QTest::newRow("ends in record data") << header(2) + A + B.chopped(1) << cut << 0;
        QTest::newRow("negative length") << header(1) + record(-3, "abc") << cut << 0;
        QTest::newRow("length beyond file") << header(1) + record(INT32_MAX - 20, "abc") << cut << 0;
        QTest::newRow("huge count") << header(0xFFFFFFFFu) + A << cut << 0;
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(int, count);
        QTemporaryDir dir;
        QVERIFY(putBytes(dir.filePath("h.bim"), bytes));
        for (bool viaFile : {false, true}) {
            BimBase set;
            QVERIFY(set.insert(0, u8(B), QPixmap()));
            QCOMPARE(thrown([&] { viaFile ? set.readFile(dir.filePath("h.bim"), Hw) : set.readBytes(bytes, Hw); }), error);
            QCOMPARE(set.count(), count);
            for (int i = 0; i < count && error.isEmpty(); ++i) // the records as stored, without miniatures
                QVERIFY(image(set, i) == (i ? B : A) && set.miniature(i).isNull());
        }
    }
};

QTEST_MAIN(TestBimBase)
#include "tst_bimbase.moc"
