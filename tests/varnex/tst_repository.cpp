#include "varnex/model/repository.h"

#include "DebugCapture.h"
#include "FileSizeLimit.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>
#include <unistd.h>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void putBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

// The three streamed fields of a store file.
struct StoreFields {
    QByteArray check, salt, payload;
};

StoreFields split(const QByteArray& bytes)
{
    StoreFields f;
    QDataStream in(bytes);
    in >> f.check >> f.salt >> f.payload;
    return f;
}

void sampleContent(CardMap& descr, FolderMap& safe, int cards = 3)
{
    descr.clear();
    safe.clear();
    FieldMap web{{"name", "Web"}, {"descr", "Сайты"}, {"card", "Учётная запись"}, {"icon", ":/i/web"}};
    descr.insert("Web", web);
    CardMap folder;
    for (int i = 0; i < cards; ++i)
        folder.insert(QString("card%1").arg(i),
                      FieldMap{{"Логин", "bob"}, {"Пароль", QString("s3cr3t%1").arg(i)}});
    safe.insert("Web", folder);
}

} // namespace

class TestRepository : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_path;
    int m_case = 0;

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        m_path = m_tmp.filePath(QString("store%1.bpk").arg(++m_case));
    }

    void defaultPathIsUnderData()
    {
        QCOMPARE(Repository::defaultPath(),
                 QDir::currentPath() + QDir::separator() + "data" + QDir::separator() + "Varnex2013_v1.bpk");
        QCOMPARE(Repository().path(), Repository::defaultPath());
    }

    // Values computed independently (Python hashlib and a plain RC4).
    void keyOfKnownPassword()
    {
        QCOMPARE(Repository::keyFromPassword("a").toHex(),
                 QByteArray("86f7e437faa5a7fce15d1ddcb9eaeaea377667b8"));
        QCOMPARE(Repository::keyFromPassword(QString::fromUtf8("Пароль9")).toHex(),
                 QByteArray("0699ae06ac08b14df974b4680f0a4d15c36c60d0"));
        QCOMPARE(Hash(QCryptographicHash::Sha1)
                     .hash(QByteArray::fromHex("0699ae06ac08b14df974b4680f0a4d15c36c60d0"),
                           QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"))
                     .toHex(),
                 QByteArray("b0eb7088cc0352148e31546b5d6f2b147f101c43"));
    }

    void rc4OfKnownPayload()
    {
        QByteArray out;
        Cipher(0).encrypt("Plaintext", "Key", out);
        QCOMPARE(out.toHex(), QByteArray("bbf316e8d940af0ad3"));
        QByteArray back;
        Cipher(0).decrypt(out, "Key", back);
        QCOMPARE(back, QByteArray("Plaintext"));
    }

    void unknownAlgorithmThrows()
    {
        QByteArray out;
        QVERIFY_EXCEPTION_THROWN(Cipher(1).encrypt("x", "k", out), std::invalid_argument);
        QVERIFY_EXCEPTION_THROWN(Cipher(1).decrypt("x", "k", out), std::invalid_argument);
    }

    // The whole file for a known content: payload stream and its RC4 under
    // the key, both worked out independently.
    void goldenContent()
    {
        const QByteArray key = Repository::keyFromPassword(QString::fromUtf8("Пароль9"));
        CardMap descr{{"Web", FieldMap{{"name", "Web"}, {"icon", "i"}}}};
        FolderMap safe{{"Web", CardMap{{"card1", FieldMap{{QString::fromUtf8("Логин"), "bob"}}}}}};
        Repository repo(m_path);
        QVERIFY(repo.write(key, descr, safe));
        const QByteArray bytes = fileBytes(m_path);
        const StoreFields f = split(bytes);
        QCOMPARE(f.check.size(), 20);
        QCOMPARE(f.salt.size(), 16);
        QCOMPARE(f.check, QCryptographicHash::hash(key + f.salt, QCryptographicHash::Sha1));
        QCOMPARE(f.payload.toHex(),
                 QByteArray("1b5c7af95791e6a675d8ff3bbe6862d1cd57aa2db00f679ad1fd7b0135108a5b84ea654dd149c1e0"
                            "22702213b326b651ce42cee7ffc5c9ec407dd3104a94bd6a233988df1e53540c2f8d572b0e72d4"
                            "91500fa793aa35a4eb5dc3243c97a13cd26d61c97a05343d604376b502011629c4e5a91b9f7d3d"));
        QCOMPARE(bytes.size(), 48 + f.payload.size());
        QCOMPARE(bytes.left(4), QByteArray::fromHex("00000014"));
        QCOMPARE(bytes.mid(24, 4), QByteArray::fromHex("00000010"));

        CardMap d;
        FolderMap s;
        Repository::Status st;
        QVERIFY(repo.read(key, d, s, &st));
        QCOMPARE(st, Repository::StOk);
        QCOMPARE(d, descr);
        QCOMPARE(s, safe);
    }

    void newStoreForOneLetterPassword()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data/Varnex2013_v1.bpk"); // "data" not there yet
        Repository repo(path);
        QVERIFY(repo.makeMainPsw("x"));
        QCOMPARE(QFileInfo(path).size(), qint64(48));
        QCOMPARE(split(fileBytes(path)).payload.size(), 0);
        QVERIFY(repo.isRightMainKey(QString("x")));
        QVERIFY(!repo.isRightMainKey(QString("y")));
        QVERIFY(!repo.isRightMainKey(QString("X")));
        QVERIFY(!repo.isRightMainKey(QString("")));

        CardMap d{{"keep", FieldMap()}};
        FolderMap s{{"keep", CardMap()}};
        Repository::Status st;
        QVERIFY(!repo.read(Repository::keyFromPassword("x"), d, s, &st));
        QCOMPARE(st, Repository::StEmpty);
        QVERIFY(d.isEmpty() && s.isEmpty());
    }

    void makeMainPswRefusesExistingStore()
    {
        Repository repo(m_path);
        CardMap d;
        FolderMap s;
        sampleContent(d, s);
        QVERIFY(repo.write(Repository::keyFromPassword("old1"), d, s));
        const QByteArray before = fileBytes(m_path);
        QVERIFY(!repo.makeMainPsw("new1"));
        QCOMPARE(fileBytes(m_path), before);
    }

    void makeMainPswWhereDirectoryCannotBeMade()
    {
        const QString blocker = m_tmp.filePath("plainfile");
        putBytes(blocker, "x");
        QVERIFY(!Repository(blocker + "/data/s.bpk").makeMainPsw("abcd"));
        QVERIFY(!Repository(blocker + "/s.bpk").write("key", QByteArray("p")));
    }

    void sameContentTwiceDiffersInSaltAndCheckOnly()
    {
        Repository repo(m_path);
        const QByteArray key = Repository::keyFromPassword("pass");
        CardMap d;
        FolderMap s;
        sampleContent(d, s);
        QVERIFY(repo.write(key, d, s));
        const StoreFields a = split(fileBytes(m_path));
        QVERIFY(repo.write(key, d, s));
        const StoreFields b = split(fileBytes(m_path));
        QVERIFY(a.salt != b.salt);
        QVERIFY(a.check != b.check);
        QCOMPARE(a.payload, b.payload);
    }

    void writeRefusesEmptyKeyOrPath()
    {
        Repository repo(m_path);
        QVERIFY(repo.write("k", QByteArray("old")));
        const QByteArray before = fileBytes(m_path);
        QVERIFY(!repo.write(QByteArray(), QByteArray("new")));
        QCOMPARE(fileBytes(m_path), before);
        QByteArray out("untouched");
        QVERIFY(!repo.read(QByteArray(), out));
        QCOMPARE(out, QByteArray("untouched"));
    }

    void wrongKeyLeavesOutputUntouched()
    {
        Repository repo(m_path);
        QVERIFY(repo.write("right", QByteArray("payload")));
        QByteArray out("untouched");
        Repository::Status st;
        QVERIFY(!repo.read("wrong", out, &st));
        QCOMPARE(st, Repository::StWrongKey);
        QCOMPARE(out, QByteArray("untouched"));
        QVERIFY(repo.read("right", out, &st));
        QCOMPARE(st, Repository::StOk);
        QCOMPARE(out, QByteArray("payload"));
    }

    void missingFile()
    {
        Repository repo(m_path);
        QVERIFY(!repo.exists());
        QByteArray out;
        Repository::Status st;
        QVERIFY(!repo.read("k", out, &st));
        QCOMPARE(st, Repository::StMissing);
        QVERIFY(!repo.isRightMainKey(QByteArray("k"), &st));
        QCOMPARE(st, Repository::StMissing);
    }

    // A cut-short or malformed store must never look like a new one.
    void damagedReadsAsDamaged_data()
    {
        QTest::addColumn<int>("cut");        // bytes removed from the end (-1: keep)
        QTest::addColumn<QByteArray>("raw"); // replaces the file when not empty
        QTest::addColumn<bool>("keyRight");
        QTest::newRow("payload cut by 1") << 1 << QByteArray() << true;
        QTest::newRow("payload cut to header") << -2 << QByteArray() << true;
        QTest::newRow("inside salt") << -3 << QByteArray() << false;
        QTest::newRow("zero-length file") << -4 << QByteArray() << false;
        QTest::newRow("check of 19 bytes")
            << -1 << (QByteArray::fromHex("00000013") + QByteArray(19, 'c') + QByteArray::fromHex("00000010")
                      + QByteArray(16, 's') + QByteArray::fromHex("00000000"))
            << false;
        QTest::newRow("huge payload length")
            << -1 << QByteArray() << true;
    }
    void damagedReadsAsDamaged()
    {
        QFETCH(int, cut);
        QFETCH(QByteArray, raw);
        QFETCH(bool, keyRight);
        const QByteArray key = Repository::keyFromPassword("pass");
        Repository repo(m_path);
        CardMap d;
        FolderMap s;
        sampleContent(d, s);
        QVERIFY(repo.write(key, d, s));
        QByteArray bytes = fileBytes(m_path);
        if (!raw.isEmpty())
            bytes = raw;
        else if (cut > 0)
            bytes.chop(cut);
        else if (cut == -2)
            bytes = bytes.left(44);
        else if (cut == -3)
            bytes = bytes.left(30);
        else if (cut == -4)
            bytes.clear();
        else if (QByteArray(QTest::currentDataTag()) == "huge payload length")
            bytes = bytes.left(44) + QByteArray::fromHex("7ffffff0") + QByteArray(10, 'z');
        putBytes(m_path, bytes);

        Repository::Status st;
        QCOMPARE(repo.isRightMainKey(key, &st), keyRight);
        QCOMPARE(st, Repository::StDamaged);
        QByteArray payload("untouched");
        QVERIFY(!repo.read(key, payload, &st));
        QCOMPARE(st, Repository::StDamaged);
        QCOMPARE(payload, QByteArray("untouched"));
        CardMap d2{{"keep", FieldMap()}};
        FolderMap s2;
        QVERIFY(!repo.read(key, d2, s2, &st));
        QCOMPARE(st, Repository::StDamaged);
        QVERIFY(!repo.changeKey(key, Repository::keyFromPassword("other")));
        QCOMPARE(fileBytes(m_path), bytes);
    }

    void payloadThatDoesNotParse_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("text") << QByteArray("garbage!");
        QTest::newRow("huge count") << QByteArray::fromHex("ffffffff00000002");
        QTest::newRow("descr only") << QByteArray::fromHex("00000000");
        QTest::newRow("string past end") << QByteArray::fromHex("000000010000ff00");
        QTest::newRow("odd string length") << QByteArray::fromHex("000000010000000300410042");
        QTest::newRow("card cut short")
            << QByteArray::fromHex("00000000" "00000001" "00000002" "0041" "00000001" "00000002" "0042"
                                   "00000001" "00000002" "0043");
    }
    void payloadThatDoesNotParse()
    {
        QFETCH(QByteArray, payload);
        Repository repo(m_path);
        QVERIFY(repo.write("key", payload));
        CardMap d{{"keep", FieldMap()}};
        FolderMap s{{"keep", CardMap()}};
        Repository::Status st;
        QVERIFY(!repo.read("key", d, s, &st));
        QCOMPARE(st, Repository::StDamaged);
        QVERIFY(d.isEmpty() && s.isEmpty());
    }

    // Whatever Qt's own stream writes must read back the same: null and
    // empty texts, repeated labels, labels that share a prefix, long texts
    // and characters outside the basic plane.
    void roundTripOfUnusualContent()
    {
        CardMap d{{"A", FieldMap{{"name", QString()}, {"descr", ""}}},
                  {QString::fromUtf8("Почта"), FieldMap{{"icon", QString(10000, QChar(0x44F))}}}};
        FolderMap s;
        for (int c = 0; c < 50; ++c) {
            FieldMap card{{QString::fromUtf8("Логин"), QString::number(c)},
                          {QString::fromUtf8("Логин2"), QString()},
                          {QString::fromUtf8("Лог"), QString::fromUtf8("\U0001F511 ключ")},
                          {"", "empty label"}};
            s[c % 2 ? "A" : QString::fromUtf8("Почта")].insert(QString("card %1").arg(c), card);
        }
        s["A"].insert("", FieldMap());
        Repository repo(m_path);
        QVERIFY(repo.write("key", d, s));
        CardMap d2;
        FolderMap s2;
        QVERIFY(repo.read("key", d2, s2));
        QCOMPARE(d2, d);
        QCOMPARE(s2, s);
        QVERIFY(s2["A"].value("card 1").value(QString::fromUtf8("Логин2")).isNull());
        QVERIFY(!s2["A"].value("card 1").value("").isNull());

        // and the same as Qt's own reading of the deciphered payload
        QByteArray payload;
        QVERIFY(repo.read("key", payload));
        CardMap d3;
        FolderMap s3;
        QDataStream in(payload);
        in >> d3 >> s3;
        QCOMPARE(in.status(), QDataStream::Ok);
        QCOMPARE(d3, d2);
        QCOMPARE(s3, s2);
    }

    void repeatedKeyKeepsOneEntry()
    {
        // two categories named "A": the later entry stands
        const QByteArray payload = QByteArray::fromHex("00000002" "00000002" "0041" "00000000"
                                                       "00000002" "0041" "00000001" "00000002" "0078"
                                                       "00000000"
                                                       "00000001" "00000002" "0041" "00000000");
        Repository repo(m_path);
        QVERIFY(repo.write("key", payload));
        CardMap d;
        FolderMap s;
        Repository::Status st;
        QVERIFY(repo.read("key", d, s, &st));
        QCOMPARE(st, Repository::StOk);
        QCOMPARE(d.size(), 1);
        QCOMPARE(d.value("A").size(), 1);
    }

    void emptyCardMapReadsFalseButParsed()
    {
        Repository repo(m_path);
        CardMap d{{"Web", FieldMap{{"name", "Web"}}}};
        QVERIFY(repo.write("key", d, FolderMap()));
        CardMap d2;
        FolderMap s2;
        Repository::Status st;
        QVERIFY(!repo.read("key", d2, s2, &st));
        QCOMPARE(st, Repository::StOk);
        QCOMPARE(d2, d);
        QVERIFY(s2.isEmpty());
    }

    void changeKey()
    {
        Repository repo(m_path);
        CardMap d;
        FolderMap s;
        sampleContent(d, s);
        QVERIFY(repo.write(Repository::keyFromPassword("old1"), d, s));
        const QByteArray before = fileBytes(m_path);

        QVERIFY(!repo.changeKey(QString("wrong"), QString("new1")));
        QCOMPARE(fileBytes(m_path), before);

        QVERIFY(repo.changeKey(QString("old1"), QString("new1")));
        QVERIFY(repo.isRightMainKey(QString("new1")));
        QVERIFY(!repo.isRightMainKey(QString("old1")));
        CardMap d2;
        FolderMap s2;
        QVERIFY(repo.read(Repository::keyFromPassword("new1"), d2, s2));
        QCOMPARE(d2, d);
        QCOMPARE(s2, s);

        const QByteArray bio = QByteArray::fromHex("00112233445566778899aabbccddeeff00112233");
        QVERIFY(repo.changeKey(Repository::keyFromPassword("new1"), bio));
        QVERIFY(repo.isRightMainKey(bio));
        QVERIFY(repo.read(bio, d2, s2));
        QCOMPARE(s2, s);
    }

    void eraseOverwritesInPlaceThenRemoves()
    {
        putBytes(m_path, QByteArray(100, 'S'));
        const QString link = m_path + ".link"; // sees the same bytes as the store
        QCOMPARE(::link(QFile::encodeName(m_path).constData(), QFile::encodeName(link).constData()), 0);
        Repository repo(m_path);
        QVERIFY(repo.erase());
        QVERIFY(!repo.exists());
        const QByteArray seen = fileBytes(link);
        QCOMPARE(seen.size(), 104);
        QCOMPARE(seen.left(4), QByteArray::fromHex("00000064"));
        QCOMPARE(seen.mid(4), QByteArray(100, '\0'));
        QVERIFY(repo.erase()); // no file: nothing to do
    }

    void backups()
    {
        Repository repo(m_path);
        CardMap d;
        FolderMap s;
        sampleContent(d, s);
        QVERIFY(repo.write("key", d, s));
        const QString copy = m_tmp.filePath(QString("backup%1.bpk").arg(m_case));
        QVERIFY(repo.saveBackup(copy));
        QCOMPARE(fileBytes(copy), fileBytes(m_path));

        putBytes(m_path, "other");
        QVERIFY(!repo.saveBackup(copy)); // never overwrites
        QVERIFY(fileBytes(copy) != "other");

        QVERIFY(repo.erase());
        QVERIFY(Repository::restoreBackup(copy, m_path));
        CardMap d2;
        FolderMap s2;
        QVERIFY(repo.read("key", d2, s2));
        QCOMPARE(s2, s);
        QVERIFY(!Repository::restoreBackup(copy, m_path)); // target exists
    }

    void failedWriteLeavesOldStore()
    {
        Repository repo(m_path);
        CardMap d;
        FolderMap s;
        sampleContent(d, s, 1);
        QVERIFY(repo.write("key", d, s));
        const QByteArray before = fileBytes(m_path);
        const QStringList filesBefore = QDir(m_tmp.path()).entryList(QDir::Files);
        sampleContent(d, s, 2000);
        {
            FileSizeLimit limit(4096);
            QVERIFY(limit.ok());
            QVERIFY(!repo.write("key", d, s));
        }
        QCOMPARE(fileBytes(m_path), before);
        QVERIFY(repo.isRightMainKey(QByteArray("key")));
        // no temporary file stays behind
        QCOMPARE(QDir(m_tmp.path()).entryList(QDir::Files), filesBefore);
    }

    void noSecretInDebugOutput()
    {
        const QString password = QStringLiteral("Zx9SecretPsw");
        const QByteArray key = Repository::keyFromPassword(password);
        const QByteArray key2 = Repository::keyFromPassword("Other77Psw");
        QTemporaryDir dir;
        Repository repo(dir.filePath("data/s.bpk"));
        CardMap d;
        FolderMap s;
        sampleContent(d, s);
        DebugCapture capture;
        QVERIFY(repo.makeMainPsw(password));
        QVERIFY(repo.isRightMainKey(password));
        QVERIFY(repo.write(key, d, s));
        QVERIFY(repo.read(key, d, s));
        QVERIFY(repo.changeKey(password, QString("Other77Psw")));
        QVERIFY(repo.erase());
        QVERIFY(!capture.messages.isEmpty());
        const QStringList secrets{password, "Other77Psw", "s3cr3t", "bob", QString(key.toHex()),
                                  QString(key2.toHex()), printed(key), printed(key2),
                                  printed(key.left(6)).mid(1, 10)};
        for (const QString& line : capture.texts())
            for (const QString& secret : secrets)
                QVERIFY2(!line.contains(secret), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestRepository)
#include "tst_repository.moc"
