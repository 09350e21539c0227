#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray le32(int32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<int32_t>(v, b.data());
    return b;
}

// Container bytes: a head announcing the whole run, then the blocks given
// as (type, data).
QByteArray run(const QList<QPair<int, QByteArray>>& blocks, int32_t lengthDelta = 0)
{
    QByteArray body;
    int32_t total = 24;
    for (const auto& b : blocks) {
        body += le32(b.second.size() | (b.first << 24)) + b.second;
        total += 4 + b.second.size();
    }
    return le32(20) + le32(total + lengthDelta) + QByteArray(16, '\0') + body;
}

QByteArray idBytes(const Nb::Uuid& id)
{
    return QByteArray(reinterpret_cast<const char*>(id.data()), Nb::Uuid::Size);
}

QByteArray bytesOf(const Nbc& nbc)
{
    QByteArray b;
    return nbc.toBytes(b) ? b : QByteArray();
}

} // namespace

class TestNbc : public QObject {
    Q_OBJECT

private slots:
    void freshContainerGoldenBytes()
    {
        Nbc nbc;
        const Nb::Uuid id = nbc.containerId();
        QVERIFY(id != Nb::NilUuid);
        QCOMPARE(nbc.count(), 2);
        QCOMPARE(bytesOf(nbc), QByteArray::fromHex("14000000" "2c000000" "00000000000000000000000000000000"
                                                   "10000087") + idBytes(id));
        Nbc back;
        QVERIFY(back.fromBytes(bytesOf(nbc)));
        QCOMPARE(back.containerId(), id);
        QCOMPARE(back.count(), 2);
        QCOMPARE(back.byteSize(), 44);
    }

    void displayNameGoldenBytes()
    {
        Nbc nbc;
        nbc.setName("first");
        nbc.setCodeLength(160);
        nbc.setName(QString::fromUtf8("Ключ")); // replaces in place
        QCOMPARE(nbc.count(), 4);
        QCOMPARE(int(nbc.at(2)->type()), 131);
        QCOMPARE(bytesOf(nbc), QByteArray::fromHex("14000000" "44000000" "00000000000000000000000000000000"
                                                   "10000087") + idBytes(nbc.containerId())
                                   + QByteArray::fromHex("0c000083" "08000000" "d09ad0bbd18ed187"
                                                         "04000088" "a0000000"));
        Nbc back;
        QVERIFY(back.fromBytes(bytesOf(nbc)));
        QCOMPARE(back.name(), QString::fromUtf8("Ключ"));
        QCOMPARE(back.codeLength(), 160);
    }

    void absentBlocksGiveDefaults()
    {
        Nbc nbc;
        nbc.clear();
        QCOMPARE(nbc.count(), 1);
        QCOMPARE(bytesOf(nbc), QByteArray::fromHex("14000000" "18000000" "00000000000000000000000000000000"));
        QCOMPARE(nbc.codeLength(), 256);
        QCOMPARE(nbc.schemeNumber(), -1);
        QVERIFY(nbc.name().isEmpty() && nbc.text().isEmpty());
        QVERIFY(nbc.inputModules(1).isEmpty());
        Nb::Matrix m;
        QVERIFY(!nbc.getTemplate(1, Nb::NilUuid, m));
        QVERIFY(!nbc.codeMatrix(m));
        QByteArray code("kept");
        QVERIFY(!nbc.code(code));
        QCOMPARE(code, QByteArray("kept"));
        Nb::Scheme s;
        QVERIFY(!nbc.scheme(s));
        Nb::Matrix bits(1, Nb::Meta(8, Nb::MfI1, Nb::MtDO));
        QVERIFY(!nbc.checkCodeHash(bits));
        try {
            nbc.containerId();
            QFAIL("no exception");
        } catch (Exception e) {
            QCOMPARE(e.message, QString::fromUtf8("В контейнере отсутствует блок container_id"));
        }
    }

    void headComesBack()
    {
        Nbc nbc;
        nbc.pop(nbc.count()); // the base class lets every block go
        QVERIFY(nbc.updateHead());
        QVERIFY(nbc.at(0) && nbc.at(0)->isHead());
        nbc.setName("x");
        Nbc back;
        QVERIFY(back.fromBytes(bytesOf(nbc)));
        QCOMPARE(back.name(), QString("x"));
    }

    void codePacking()
    {
        Nbc nbc;
        nbc.setCode(QByteArray::fromHex("0180ff"));
        QByteArray code;
        QVERIFY(nbc.code(code));
        QCOMPARE(code, QByteArray::fromHex("0180ff"));
        Nb::Matrix m;
        QVERIFY(nbc.codeMatrix(m));
        QCOMPARE(m.meta(0), Nb::Meta(24, Nb::MfI1, Nb::MtDO));
        const Nb::Cell cell(m.at(0, 0));
        for (uint32_t i = 0; i < 24; ++i)
            QCOMPARE(cell.sign(i), (i == 0 || i >= 15) ? 1 : -1);

        QVERIFY(nbc.setCodeHash(m));
        QVERIFY(nbc.checkCodeHash(m));
        QList<Nb::Block*> hash;
        QVERIFY(nbc.findBlocks(hash, Nbc::BtCodeHash));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(hash.at(0)->data()), 16),
                 QCryptographicHash::hash(QByteArray::fromHex("0180ff"), QCryptographicHash::Md5));
        m.cell(0, 0).setBit(7, 1);
        QVERIFY(!nbc.checkCodeHash(m));
        QVERIFY(!nbc.checkCodeHash(Nb::Matrix())); // no row: no hash, no crash
    }

    void templatesAndModules()
    {
        Nbc nbc;
        const Nb::Uuid type("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}");
        Nb::Uuid other = type;
        other.data()[15] ^= 1;
        Nb::Matrix t(3, Nb::Meta(2, Nb::MfR32, Nb::MtC));
        for (int c = 0; c < 3; ++c)
            for (int e = 0; e < 2; ++e)
                reinterpret_cast<float*>(t.at(0, c))[e] = float(c * 10 + e);
        QVERIFY(nbc.setTemplate(1, type, t));
        Nb::Matrix out;
        QVERIFY(!nbc.getTemplate(1, other, out));
        QVERIFY(!nbc.getTemplate(2, type, out));
        QVERIFY(nbc.getTemplate(1, type, out));
        QCOMPARE(out.cols(), 3);
        QCOMPARE(reinterpret_cast<float*>(out.at(0, 2))[1], 21.0f);

        const Nb::Uuid provider("{EFAD1EB7-29F3-4C69-8689-EA2C938D1119}");
        QVERIFY(!nbc.setInputModules(2, QList<Nb::Uuid>{provider})); // needs two
        QVERIFY(nbc.setInputModules(2, QList<Nb::Uuid>{provider, type}));
        QCOMPARE(nbc.inputModules(2), (QList<Nb::Uuid>{provider, type}));
        QVERIFY(nbc.inputModules(1).isEmpty());
        QList<Nb::Block*> rec;
        QVERIFY(nbc.findBlocks(rec, Nbc::BtInputModules));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(rec.at(0)->data()), rec.at(0)->size()),
                 QByteArray(16, '\0') + idBytes(provider) + idBytes(type) + QByteArray::fromHex("0000000002000000"));
        QCOMPARE(nbc.byteSize(), int(bytesOf(nbc).size()));
    }

    void schemeBlock()
    {
        Nbc nbc;
        Nb::Scheme s;
        s.push(Nb::StIn, Nb::Meta(8, Nb::MfR32, Nb::MtC)).push(Nb::StIn, Nb::Meta(4, Nb::MfR32, Nb::MtC));
        QVERIFY(!nbc.setScheme(s)); // no result slot: not written
        QCOMPARE(nbc.blockIndex(Nbc::BtScheme), -1);
        s.setOut(1);
        QVERIFY(nbc.setScheme(s));
        Nbc back;
        QVERIFY(back.fromBytes(bytesOf(nbc)));
        Nb::Scheme read;
        QVERIFY(back.scheme(read));
        QCOMPARE(read.count(), 2);
        QCOMPARE(read.slotId(1), Nb::SlotId(2));
    }

    // Nothing from outside replaces a container unless all of it reads,
    // and never leaves it without its head.
    void hostileBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("not a container at all") << false;
        QTest::newRow("cut by one") << run({{135, QByteArray(16, 'i')}}).chopped(1) << false;
        QTest::newRow("run longer than bytes") << run({{135, QByteArray(16, 'i')}}, 8) << false;
        QTest::newRow("no head") << QByteArray::fromHex("10000087") + QByteArray(16, 'i') << false;
        QTest::newRow("block past run") << le32(20) + le32(24) + QByteArray(16, '\0') << false;
        QTest::newRow("code length 0") << run({{136, le32(0)}}) << false;
        QTest::newRow("code length 7") << run({{136, le32(7)}}) << false;
        QTest::newRow("code length 65537") << run({{136, le32(65537)}}) << false;
        QTest::newRow("code length -8") << run({{136, le32(-8)}}) << false;
        QTest::newRow("code length cut") << run({{136, QByteArray(2, '\0')}}) << false;
        QTest::newRow("code length 8") << run({{136, le32(8)}}) << true;
        QTest::newRow("code length 65536") << run({{136, le32(65536)}}) << true;
        QTest::newRow("with stale tail") << run({{136, le32(160)}}) + QByteArray("old tail") << true;
    }
    void hostileBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        Nbc nbc;
        nbc.setName("kept");
        const QByteArray before = bytesOf(nbc);
        QCOMPARE(nbc.fromBytes(bytes), accepted);
        if (!accepted)
            QCOMPARE(bytesOf(nbc), before);
        QVERIFY(nbc.at(0)->isHead());

        Nbc viaData;
        Nb::Data data;
        QVERIFY(data.set(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size()) || bytes.isEmpty());
        QCOMPARE(viaData.fromData(data), accepted);

        QTemporaryDir dir;
        const QString path = dir.filePath("c.nbc");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        Nbc viaFile;
        viaFile.setName("kept");
        try {
            viaFile.readFile(path);
            QVERIFY(accepted);
        } catch (Exception e) {
            QVERIFY(!accepted);
            QCOMPARE(e.message, QString::fromUtf8("Невозможно прочитать биометрический контейнер"));
            QCOMPARE(viaFile.name(), QString("kept")); // the old content stays whole
            QVERIFY(viaFile.at(0)->isHead());
        }
    }

    void dataRoundTrip()
    {
        Nbc nbc;
        nbc.setName("data");
        Nb::Data data;
        QVERIFY(nbc.toData(data));
        QCOMPARE(data.size(), nbc.byteSize());
        Nbc back;
        QVERIFY(back.fromData(data));
        QCOMPARE(bytesOf(back), bytesOf(nbc));
        QVERIFY(!back.fromData(Nb::Data()));
    }

    void files()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("c.nbc");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(500, 'x')) == 500);
        f.close();
        Nbc nbc;
        nbc.setName(QString::fromUtf8("Отпечаток"));
        QVERIFY(nbc.writeFile(path)); // over a larger file
        QCOMPARE(QFileInfo(path).size(), qint64(nbc.byteSize())); // no old tail
        Nbc back;
        QVERIFY(back.readFile(path));
        QCOMPARE(back.name(), QString::fromUtf8("Отпечаток"));
        QCOMPARE(back.containerId(), nbc.containerId());

        const struct {
            QString path;
            bool write;
            const char* message;
        } failures[] = {
            {dir.filePath("missing.nbc"), false, "Невозможно открыть биометрический контейнер"},
            {path + "/sub.nbc", true, "Невозможно записать биометрический контейнер"},
        };
        for (const auto& failure : failures) {
            try {
                failure.write ? nbc.writeFile(failure.path) : back.readFile(failure.path);
                QFAIL("no exception");
            } catch (Exception e) {
                QCOMPARE(e.message, QString::fromUtf8(failure.message));
            }
        }
        QCOMPARE(back.name(), QString::fromUtf8("Отпечаток"));
    }
};

QTEST_GUILESS_MAIN(TestNbc)
#include "tst_nbc.moc"
