#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"

#include "DebugCapture.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

QByteArray le32(int32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<int32_t>(v, b.data());
    return b;
}

// Container bytes: a head announcing the run (plus delta), then the blocks.
QByteArray run(const QList<QPair<int, QByteArray>>& blocks, int32_t delta = 0)
{
    QByteArray body;
    for (const auto& b : blocks)
        body += le32(b.second.size() | (b.first << 24)) + b.second;
    return le32(20) + le32(24 + body.size() + delta) + QByteArray(16, '\0') + body;
}

QByteArray raw(const void* p, int n) { return QByteArray(static_cast<const char*>(p), n); }

QByteArray bytesOf(const Nbc& nbc)
{
    QByteArray b;
    return nbc.toBytes(b) ? b : QByteArray();
}

QString thrown(const std::function<void()>& f)
{
    try {
        f();
    } catch (Exception e) {
        return e.message;
    }
    return "nothing thrown";
}

// Slots as id:count, r for real parameters or b for code bits, <links,
// /flags; the result index, #scheme number, the block types and the
// technology of each input's provider and processor (h or f).
QString describeScheme(const Nbc& nbc)
{
    Nb::Scheme s;
    nbc.scheme(s);
    QStringList parts;
    for (int32_t i = 0; i < s.count(); ++i) {
        const Nb::Meta& m = s.at(i)->meta();
        const bool real = m.format == Nb::MfR32 && m.type == Nb::MtC, bits = m.format == Nb::MfI1 && m.type == Nb::MtDO;
        parts << QString("%1:%2").arg(s.at(i)->id().value(), 0, 16).arg(m.count) + (real ? "r" : bits ? "b" : "?");
        for (Nb::SlotId link : s.at(i)->links())
            parts.last() += "<" + QString::number(link.value(), 16);
        if (s.at(i)->flags())
            parts.last() += "/" + QString::number(s.at(i)->flags(), 16);
    }
    parts << QString("out %1 #%2 |").arg(s.out()).arg(nbc.schemeNumber());
    for (const Nb::Block* b : nbc.blocks())
        parts << QString::number(b->type());
    parts << "|";
    const Nb::Uuid hw("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}"), fp("{EFAD1EB7-29F3-4C69-8689-EA2C938D1119}");
    for (const Nb::Uuid& t : nbc.inputModules(1) + nbc.inputModules(2))
        parts.last() += t == hw ? "h" : t == fp ? "f" : "?";
    return parts.join(" ");
}

} // namespace

class TestNbc : public QObject {
    Q_OBJECT

private slots:
    void goldenBytes()
    {
        Nbc nbc;
        const QByteArray id = raw(nbc.containerId().data(), 16);
        QVERIFY(id != QByteArray(16, '\0'));
        const QByteArray fresh = QByteArray::fromHex("14000000" "2c000000" "00000000000000000000000000000000"
                                                     "10000087") + id;
        QCOMPARE(bytesOf(nbc), fresh);
        Nbc copy;
        QVERIFY(copy.fromBytes(fresh));
        QVERIFY(copy.count() == 2 && copy.at(0)->isHead() && copy.at(1)->type() == Nbc::BtContainerId);
        QCOMPARE(raw(copy.containerId().data(), 16), id);
        QCOMPARE(bytesOf(copy), fresh);
        nbc.setName("first");
        nbc.setCodeLength(160);
        nbc.setName(QString::fromUtf8("Ключ")); // replaces the first name in place
        QCOMPARE(bytesOf(nbc), fresh.left(4) + le32(68) + fresh.mid(8)
                                   + QByteArray::fromHex("0c000083" "08000000" "d09ad0bbd18ed187" "04000088" "a0000000"));
        Nbc back;
        QVERIFY(back.fromBytes(bytesOf(nbc)));
        QCOMPARE(raw(back.containerId().data(), 16), id);
        QCOMPARE(back.name(), QString::fromUtf8("Ключ"));
        QCOMPARE(back.codeLength(), 160);
        QCOMPARE(back.byteSize(), 68);
        Nb::Data data;
        QVERIFY(nbc.toData(data) && data.size() == 68);
        QVERIFY(back.fromData(data));
        QCOMPARE(bytesOf(back), bytesOf(nbc));
    }

    void absentBlocksGiveDefaults()
    {
        Nbc nbc;
        nbc.clear();
        QCOMPARE(bytesOf(nbc), QByteArray::fromHex("14000000" "18000000" "00000000000000000000000000000000"));
        QVERIFY(nbc.codeLength() == 256 && nbc.schemeNumber() == -1 && nbc.name().isEmpty());
        QVERIFY(nbc.inputModules(1).isEmpty());
        Nb::Matrix m;
        Nb::Scheme s;
        QVERIFY(!nbc.getTemplate(1, Nb::NilUuid, m) && !nbc.codeMatrix(m) && !nbc.scheme(s));
        QVERIFY(!nbc.checkCodeHash(Nb::Matrix(1, Nb::Meta(8, Nb::MfI1, Nb::MtDO))));
        QCOMPARE(thrown([&] { nbc.containerId(); }), QString::fromUtf8("В контейнере отсутствует блок container_id"));

        nbc.pop(nbc.count()); // the base class lets the head go too
        nbc.setName("x");     // and it comes back in front
        QVERIFY(nbc.at(0)->isHead());
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
        for (uint32_t i = 0; i < 24; ++i)
            QCOMPARE(Nb::Cell(m.at(0, 0)).sign(i), (i == 0 || i >= 15) ? 1 : -1);

        const QByteArray digest = QCryptographicHash::hash(QByteArray::fromHex("0180ff"), QCryptographicHash::Md5);
        {
            DebugCapture capture;
            QVERIFY(nbc.setCodeHash(m) && nbc.checkCodeHash(m));
            QVERIFY(!capture.messages.isEmpty());
            for (const QString& line : capture.texts()) // the digest checks the key: never traced
                QVERIFY2(!line.contains(digest.toHex().left(8)) && !line.contains(printed(digest).mid(1, 8)),
                         qPrintable(line));
        }
        QCOMPARE(raw(nbc.at(nbc.blockIndex(Nbc::BtCodeHash))->data(), 16), digest);
        m.cell(0, 0).setBit(7, 1);
        QVERIFY(!nbc.checkCodeHash(m));
        QVERIFY(!nbc.checkCodeHash(Nb::Matrix())); // no row: no hash, no crash
    }

    void templatesModulesScheme()
    {
        Nbc nbc;
        const Nb::Uuid type("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}");
        const Nb::Uuid provider("{EFAD1EB7-29F3-4C69-8689-EA2C938D1119}");
        Nb::Uuid other = type;
        other.data()[15] ^= 1;
        Nb::Matrix t(3, Nb::Meta(2, Nb::MfR32, Nb::MtC));
        for (int c = 0; c < 3; ++c)
            *reinterpret_cast<float*>(t.at(0, c) + 4) = float(c * 10 + 1);
        QVERIFY(nbc.setTemplate(0x4001, type, t));
        QVERIFY(nbc.setTemplate(1, type, t));
        const Nb::Block* tpl = nbc.at(nbc.blockIndex(Nbc::BtTemplate));
        QCOMPARE(raw(tpl->data(), 18), QByteArray::fromHex("0140") + raw(type.data(), 16));
        {
            QByteArray matrixBytes;
            QDataStream out(&matrixBytes, QIODevice::WriteOnly);
            QVERIFY(t.write(out) > 0);
            QCOMPARE(raw(tpl->data(18), tpl->size() - 18), matrixBytes);
        }
        QList<Nb::Block*> found{nullptr};
        QVERIFY(nbc.findBlocks(found, Nbc::BtTemplate) && found.size() == 3); // appended, in order
        QVERIFY(found.at(1) == tpl && found.at(2) == nbc.at(nbc.count() - 1));
        QVERIFY(!nbc.findBlocks(found, Nbc::BtCodeHash) && found.size() == 3);
        Nb::Matrix out;
        QVERIFY(!nbc.getTemplate(1, other, out) && !nbc.getTemplate(2, type, out));
        QVERIFY(nbc.getTemplate(1, type, out));
        QVERIFY(out.cols() == 3 && *reinterpret_cast<float*>(out.at(0, 2) + 4) == 21.0f);
        QCOMPARE(nbc.templateIndex(0x4001, type), nbc.blockIndex(Nbc::BtTemplate));
        QCOMPARE(nbc.templateIndex(1, type), nbc.count() - 1);
        QCOMPARE(nbc.templateIndex(1, other), -1);
        uint16_t input = 0;
        Nb::Uuid headType;
        QVERIFY(Nbc::templateHead(*tpl, input, headType) == 18 && input == 0x4001 && headType == type);
        QVERIFY(Nbc::templateHead(Nb::Block(Nbc::BtTemplate), input, headType) < 0);

        QVERIFY(!nbc.setInputModules(2, QList<Nb::Uuid>{provider})); // needs two
        QVERIFY(nbc.setInputModules(2, QList<Nb::Uuid>{provider, type}));
        QCOMPARE(nbc.inputModules(2), (QList<Nb::Uuid>{provider, type}));
        QVERIFY(nbc.inputModules(1).isEmpty());
        const Nb::Block* rec = nbc.at(nbc.blockIndex(Nbc::BtInputModules));
        QCOMPARE(raw(rec->data(), rec->size()), QByteArray(16, '\0') + raw(provider.data(), 16)
                                                    + raw(type.data(), 16) + QByteArray::fromHex("0000000002000000"));

        Nb::Scheme s;
        s.push(Nb::StIn, Nb::Meta(8, Nb::MfR32, Nb::MtC)).push(Nb::StIn, Nb::Meta(4, Nb::MfR32, Nb::MtC));
        QVERIFY(!nbc.setScheme(s)); // no result slot: nothing written
        QCOMPARE(nbc.blockIndex(Nbc::BtScheme), -1);
        QVERIFY(nbc.setScheme(s.setOut(1)));
        {
            QByteArray schemeBytes;
            QDataStream stream(&schemeBytes, QIODevice::WriteOnly);
            QVERIFY(s.writeScheme(stream, false) > 0);
            const Nb::Block* b = nbc.at(nbc.blockIndex(Nbc::BtScheme));
            QCOMPARE(raw(b->data(), b->size()), schemeBytes);
        }
        Nbc back;
        QVERIFY(back.fromBytes(bytesOf(nbc)));
        Nb::Scheme read;
        QVERIFY(back.scheme(read) && read.count() == 2 && read.slotId(1) == Nb::SlotId(2));
        QCOMPARE(back.byteSize(), nbc.byteSize());
    }

    void standardSchemes_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QList<int>>("numbers");
        QTest::addColumn<QString>("expected"); // after the failure, if any
        const QString none = QString::fromUtf8("Стандартная схема с таким номером не найдена ");
        QTest::newRow("0, 160") << 160 << QList<int>{0} << "1:480r ff81:160b<1 out 1 #0 | 0 135 136 134 250 129 |hh";
        QTest::newRow("1, 256") << 256 << QList<int>{1} << "1:256r ff81:256b<1 out 1 #1 | 0 135 136 134 250 129 |ff";
        QTest::newRow("2, 168") << 168 << QList<int>{2} << "1:480r 2:256r ff81:88b<1 ff82:80b<2 fc81:168b<3f81<3f82/60 out 4 #2 | 0 135 136 134 134 250 129 |hhff";
        QTest::newRow("3, 160") << 160 << QList<int>{3} << "1:480r 2:256r ff81:160b<1 ff82:160b<2 fa01:160b<3f81<3f82/40 out 4 #3 | 0 135 136 134 134 250 129 |hhff";
        QTest::newRow("4, 8") << 8 << QList<int>{4} << "1:480r 2:480r ff81:8b<1 ff82:0b<2 fc81:8b<3f81<3f82/60 out 4 #4 | 0 135 136 134 134 250 129 |hhhh";
        QTest::newRow("5, 256") << 256 << QList<int>{5} << "1:256r 2:256r ff81:128b<1 ff82:128b<2 fc81:256b<3f81<3f82/60 out 4 #5 | 0 135 136 134 134 250 129 |ffff";
        QTest::newRow("6, 40") << 40 << QList<int>{6} << "1:480r 2:480r ff81:40b<1 ff82:40b<2 fa01:40b<3f81<3f82/40 out 4 #6 | 0 135 136 134 134 250 129 |hhhh";
        QTest::newRow("7, 256") << 256 << QList<int>{7} << "1:256r 2:256r ff81:256b<1 ff82:256b<2 fa01:256b<3f81<3f82/40 out 4 #7 | 0 135 136 134 134 250 129 |ffff";
        // Twice: the scheme is replaced, the module records and numbers pile up and the first ones are read.
        QTest::newRow("0 then 7") << 160 << QList<int>{0, 7} << "1:256r 2:256r ff81:160b<1 ff82:160b<2 fa01:160b<3f81<3f82/40 out 4 #0 | 0 135 136 134 250 129 134 134 129 |hhff";
        for (int n : {8, -1})
            QTest::addRow("number %d", n) << 160 << QList<int>{n} << none + "out -1 #-1 | 0 135 136 |";
        for (int bits : {0, 7, -160, 65544})
            QTest::addRow("bits %d", bits) << bits << QList<int>{0} << "false out -1 #-1 | 0 135 136 |";
    }
    void standardSchemes()
    {
        QFETCH(int, bits);
        QFETCH(QList<int>, numbers);
        Nbc nbc;
        nbc.setCodeLength(bits);
        const QString error = thrown([&] {
            for (int n : numbers)
                if (!nbc.setStandardScheme(n))
                    throw Exception("false");
        });
        QTEST((error == "nothing thrown" ? QString() : error + " ") + describeScheme(nbc), "expected");
    }

    // Nothing from outside replaces a container unless all of it reads;
    // it is never left without its head.
    void hostileBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("not a container at all") << false;
        QTest::newRow("cut by one") << run({{135, QByteArray(16, 'i')}}).chopped(1) << false;
        QTest::newRow("run longer than bytes") << run({{135, QByteArray(16, 'i')}}, 8) << false;
        QTest::newRow("no head") << QByteArray::fromHex("10000087") + QByteArray(16, 'i') << false;
        QTest::newRow("code length 7") << run({{136, le32(7)}}) << false;
        QTest::newRow("code length 65537") << run({{136, le32(65537)}}) << false;
        QTest::newRow("code length -8") << run({{136, le32(-8)}}) << false;
        QTest::newRow("code length cut") << run({{136, QByteArray(2, '\0')}}) << false;
        QTest::newRow("code length 8") << run({{136, le32(8)}}) << true;
        QTest::newRow("code length 65536") << run({{136, le32(65536)}}) << true;
        QTest::newRow("stale tail") << run({{136, le32(160)}}) + QByteArray("old tail") << true;
    }
    void hostileBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        Nbc nbc;
        nbc.setName("kept");
        const QByteArray before = bytesOf(nbc);
        QCOMPARE(nbc.fromBytes(bytes), accepted);
        QCOMPARE(bytesOf(nbc) == before, !accepted);
        Nb::Data data;
        data.set(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
        QCOMPARE(Nbc().fromData(data), accepted);

        QTemporaryDir dir;
        QFile f(dir.filePath("c.nbc"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        Nbc viaFile;
        viaFile.setName("kept");
        QCOMPARE(thrown([&] { viaFile.readFile(f.fileName()); }),
                 accepted ? "nothing thrown" : QString::fromUtf8("Невозможно прочитать биометрический контейнер"));
        QVERIFY(viaFile.at(0)->isHead());
        QCOMPARE(viaFile.name(), accepted ? QString() : QString("kept"));
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
        QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        QVERIFY(nbc.writeFile(path)); // over a larger file: no old tail stays
        QCOMPARE(QFileInfo(path).size(), qint64(nbc.byteSize()));
        QCOMPARE(modeOf(path), 0600); // nor does the mode that let others read it
        Nbc back;
        QVERIFY(back.readFile(path));
        QCOMPARE(bytesOf(back), bytesOf(nbc));
        QCOMPARE(thrown([&] { back.readFile(dir.filePath("missing.nbc")); }),
                 QString::fromUtf8("Невозможно открыть биометрический контейнер"));
        QCOMPARE(thrown([&] { nbc.writeFile(path + "/sub.nbc"); }),
                 QString::fromUtf8("Невозможно записать биометрический контейнер"));
        QCOMPARE(bytesOf(back), bytesOf(nbc));

        // a write that cannot complete leaves the old file byte for byte
        const QByteArray before = fileBytes(path);
        Nbc big;
        big.setName(QString(4000, QChar('n')));
        {
            FileSizeLimit limit(1024);
            QVERIFY(limit.ok());
            QCOMPARE(thrown([&] { big.writeFile(path); }),
                     QString::fromUtf8("Невозможно записать биометрический контейнер"));
        }
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"c.nbc"});
    }
};

QTEST_GUILESS_MAIN(TestNbc)
#include "tst_nbc.moc"
