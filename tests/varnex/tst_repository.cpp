// The legacy generator hook lets a test make the generator fail.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "varnex/model/repository.h"

#include "DebugCapture.h"
#include "TestFiles.h"

#include <QDataStream>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <openssl/rand.h>

#include <stdexcept>
#include <unistd.h>

namespace {

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

void sample(CardMap& descr, FolderMap& safe, int cards = 3)
{
    descr = CardMap{{"Web", FieldMap{{"name", "Web"}, {"descr", "Сайты"}, {"icon", ":/i/web"}}}};
    safe.clear();
    for (int i = 0; i < cards; ++i)
        safe["Web"].insert(QString("card%1").arg(i),
                           FieldMap{{"Логин", "bob"}, {"Пароль", QString("s3cr3t%1").arg(i)}});
}

const QByteArray Key9 = QByteArray::fromHex("0699ae06ac08b14df974b4680f0a4d15c36c60d0"); // SHA-1 "Пароль9"

} // namespace

class TestRepository : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_path;
    int m_case = 0;
    CardMap m_d;
    FolderMap m_s;

private slots:
    void init()
    {
        m_path = m_tmp.filePath(QString("store%1.bpk").arg(++m_case));
        sample(m_d, m_s);
    }

    // Expected values computed independently (Python hashlib, a plain RC4).
    void knownValues()
    {
        QCOMPARE(Repository::defaultPath(),
                 QDir::currentPath() + QDir::separator() + "data" + QDir::separator() + "Varnex2013_v1.bpk");
        QCOMPARE(Repository::keyFromPassword("a").toHex(), QByteArray("86f7e437faa5a7fce15d1ddcb9eaeaea377667b8"));
        QCOMPARE(Repository::keyFromPassword(QString::fromUtf8("Пароль9")), Key9);
        QCOMPARE(Hash(QCryptographicHash::Sha1).hash(Key9, QByteArray::fromHex("000102030405060708090a0b0c0d0e0f")).toHex(),
                 QByteArray("b0eb7088cc0352148e31546b5d6f2b147f101c43"));
        QByteArray out, back;
        Cipher(0).encrypt("Plaintext", "Key", out);
        QCOMPARE(out.toHex(), QByteArray("bbf316e8d940af0ad3"));
        Cipher(0).decrypt(out, "Key", back);
        QCOMPARE(back, QByteArray("Plaintext"));
        QVERIFY_EXCEPTION_THROWN(Cipher(1).encrypt("x", "k", out), std::invalid_argument);
        QVERIFY_EXCEPTION_THROWN(Cipher(1).decrypt("x", "k", out), std::invalid_argument);
        // an empty key would make the key schedule read past its buffer
        QVERIFY_EXCEPTION_THROWN(Cipher(0).encrypt("x", QByteArray(), out), std::invalid_argument);
    }

    // The payload stream of a known content and its RC4 under the key,
    // worked out by hand.
    void goldenContent()
    {
        CardMap descr{{"Web", FieldMap{{"name", "Web"}, {"icon", "i"}}}};
        FolderMap safe{{"Web", CardMap{{"card1", FieldMap{{QString::fromUtf8("Логин"), "bob"}}}}}};
        Repository repo(m_path);
        QVERIFY(repo.write(Key9, descr, safe));
        const QByteArray bytes = fileBytes(m_path);
        const StoreFields f = split(bytes);
        QCOMPARE(bytes.left(4), QByteArray::fromHex("00000014"));
        QCOMPARE(bytes.mid(24, 4), QByteArray::fromHex("00000010"));
        QCOMPARE(f.check, QCryptographicHash::hash(Key9 + f.salt, QCryptographicHash::Sha1));
        QCOMPARE(f.payload.toHex(),
                 QByteArray("1b5c7af95791e6a675d8ff3bbe6862d1cd57aa2db00f679ad1fd7b0135108a5b84ea654dd149c1e0"
                            "22702213b326b651ce42cee7ffc5c9ec407dd3104a94bd6a233988df1e53540c2f8d572b0e72d4"
                            "91500fa793aa35a4eb5dc3243c97a13cd26d61c97a05343d604376b502011629c4e5a91b9f7d3d"));
        QCOMPARE(bytes.size(), 48 + f.payload.size());
        CardMap d;
        FolderMap s;
        Repository::Status st;
        QVERIFY(repo.read(Key9, d, s, &st));
        QCOMPARE(st, Repository::StOk);
        QCOMPARE(d, descr);
        QCOMPARE(s, safe);
    }

    void newStoreForOneLetterPassword()
    {
        const QString path = m_tmp.filePath("new/data/Varnex2013_v1.bpk"); // no "data" yet
        Repository repo(path);
        QVERIFY(repo.makeMainPsw("x"));
        QCOMPARE(fileBytes(path).size(), 48);
        QVERIFY(repo.isRightMainKey(QString("x")));
        for (const char* other : {"y", "X", "", "xx"})
            QVERIFY(!repo.isRightMainKey(QString(other)));
        CardMap d{{"keep", FieldMap()}};
        FolderMap s{{"keep", CardMap()}};
        Repository::Status st;
        QVERIFY(!repo.read(Repository::keyFromPassword("x"), d, s, &st));
        QCOMPARE(st, Repository::StEmpty);
        QVERIFY(d.isEmpty() && s.isEmpty());

        const QByteArray before = fileBytes(path);
        QVERIFY(!repo.makeMainPsw("new1")); // never over an existing store
        QCOMPARE(fileBytes(path), before);

        const QString blocker = m_tmp.filePath("plainfile");
        QVERIFY(putBytes(blocker, "x"));
        QVERIFY(!Repository(blocker + "/data/s.bpk").makeMainPsw("abcd"));
    }

    void sameContentTwiceDiffersInSaltAndCheckOnly()
    {
        Repository repo(m_path);
        QVERIFY(repo.write("key", m_d, m_s));
        const StoreFields a = split(fileBytes(m_path));
        QVERIFY(repo.write("key", m_d, m_s));
        const StoreFields b = split(fileBytes(m_path));
        QVERIFY(a.salt != b.salt);
        QVERIFY(a.check != b.check);
        QCOMPARE(a.payload, b.payload);
    }

    // The session keeps the bytes it read to spot another program's write:
    // they stay as they were, also when the payload array is theirs.
    void readingBytesLeavesThemAsTheyWere()
    {
        QVERIFY(Repository(m_path).write("key", QByteArray("payload")));
        const QByteArray bytes = fileBytes(m_path);
        const QByteArray original(bytes.constData(), bytes.size());
        QByteArray shared = bytes, own = original, payload("old");
        Repository::Status st;
        for (QByteArray* out : {&payload, &shared, &own}) {
            QVERIFY(Repository::readBytes(out == &payload ? bytes : *out, "key", *out, &st));
            QCOMPARE(st, Repository::StOk);
            QCOMPARE(*out, QByteArray("payload"));
        }
        QCOMPARE(bytes, original);
    }

    void refusals()
    {
        Repository repo(m_path);
        QByteArray out("untouched");
        Repository::Status st;
        QVERIFY(!repo.read("k", out, &st) && st == Repository::StMissing);
        QVERIFY(repo.write("right", QByteArray("payload")));
        const QByteArray before = fileBytes(m_path);
        QVERIFY(!repo.write(QByteArray(), QByteArray("new")));
        QVERIFY(!repo.read(QByteArray(), out));
        QVERIFY(!repo.read("wrong", out, &st) && st == Repository::StWrongKey);
        QCOMPARE(out, QByteArray("untouched"));
        QCOMPARE(fileBytes(m_path), before);

        // only a first master password makes the directory
        QVERIFY(!Repository(m_tmp.filePath("nodir/data/s.bpk")).write("key", QByteArray("p")));
        QVERIFY(!QFileInfo::exists(m_tmp.filePath("nodir")));
    }

    // A cut-short or malformed store must never look like a new one.
    void damagedReadsAsDamaged_data()
    {
        QTest::addColumn<int>("keep"); // bytes kept of the file; < 0: that many cut
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<bool>("keyRight");
        QTest::newRow("payload cut by 1") << -1 << QByteArray() << true;
        QTest::newRow("payload cut away") << 44 << QByteArray() << true;
        QTest::newRow("huge payload length") << 44 << QByteArray::fromHex("7ffffff0abcdef") << true;
        QTest::newRow("inside salt") << 30 << QByteArray() << false;
        QTest::newRow("zero-length file") << 0 << QByteArray() << false;
        QTest::newRow("check of 19 bytes") << 0 << QByteArray::fromHex("00000013" + QByteArray(38, 'c') + "00000000")
                                           << false;
    }
    void damagedReadsAsDamaged()
    {
        QFETCH(int, keep);
        QFETCH(QByteArray, tail);
        QFETCH(bool, keyRight);
        Repository repo(m_path);
        QVERIFY(repo.write("key", m_d, m_s));
        QByteArray bytes = fileBytes(m_path);
        bytes = (keep < 0 ? bytes.left(bytes.size() + keep) : bytes.left(keep)) + tail;
        QVERIFY(putBytes(m_path, bytes));

        Repository::Status st;
        QCOMPARE(repo.isRightMainKey(QByteArray("key"), &st), keyRight);
        QCOMPARE(st, Repository::StDamaged);
        QByteArray payload("untouched");
        QVERIFY(!repo.read("key", payload, &st));
        QCOMPARE(st, Repository::StDamaged);
        QCOMPARE(payload, QByteArray("untouched"));
        QVERIFY(!repo.read("key", m_d, m_s, &st));
        QCOMPARE(st, Repository::StDamaged);
        QVERIFY(!repo.changeKey(QByteArray("key"), QByteArray("other")));
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
        QTest::newRow("card cut short") << QByteArray::fromHex("00000000000000010000000200410000000100000002"
                                                               "0042000000010000000200");
    }
    void payloadThatDoesNotParse()
    {
        QFETCH(QByteArray, payload);
        Repository repo(m_path);
        QVERIFY(repo.write("key", payload));
        Repository::Status st;
        QVERIFY(!repo.read("key", m_d, m_s, &st));
        QCOMPARE(st, Repository::StDamaged);
        QVERIFY(m_d.isEmpty() && m_s.isEmpty());
    }

    // The reader must agree with Qt's own stream: null and empty texts,
    // labels sharing a prefix, long texts, characters beyond the BMP, a
    // category with no cards, and a repeated key (the later entry stands).
    void unusualContent()
    {
        CardMap d{{"A", FieldMap{{"name", QString()}, {"descr", ""}}},
                  {QString::fromUtf8("Почта"), FieldMap{{"icon", QString(10000, QChar(0x44F))}}}};
        FolderMap s{{"Empty", CardMap()}};
        for (int c = 0; c < 50; ++c)
            s[c % 2 ? "A" : QString::fromUtf8("Почта")].insert(
                QString("card %1").arg(c), FieldMap{{QString::fromUtf8("Логин"), QString::number(c)},
                                                    {QString::fromUtf8("Логин2"), QString()},
                                                    {QString::fromUtf8("Лог"), QString::fromUtf8("\U0001F511 ключ")},
                                                    {"", "empty label"}});
        Repository repo(m_path);
        QVERIFY(repo.write("key", d, s));
        CardMap d2, d3;
        FolderMap s2, s3;
        QVERIFY(repo.read("key", d2, s2));
        QCOMPARE(d2, d);
        QCOMPARE(s2, s);
        QVERIFY(s2["A"]["card 1"][QString::fromUtf8("Логин2")].isNull());
        QByteArray payload;
        QVERIFY(repo.read("key", payload));
        QDataStream in(payload);
        in >> d3 >> s3;
        QCOMPARE(d3, d2);
        QCOMPARE(s3, s2);

        QVERIFY(repo.write("key", QByteArray::fromHex("00000002" "000000020041" "00000000"
                                                      "000000020041" "00000001" "000000020078" "00000000"
                                                      "00000001" "000000020041" "00000000")));
        QVERIFY(repo.read("key", d2, s2));
        QCOMPARE(d2, (CardMap{{"A", FieldMap{{"x", ""}}}}));

        // a category map without any card map reads false, though parsed
        Repository::Status st;
        QVERIFY(repo.write("key", d, FolderMap()));
        QVERIFY(!repo.read("key", d2, s2, &st));
        QCOMPARE(st, Repository::StOk);
        QCOMPARE(d2, d);
    }

    void changeKey()
    {
        Repository repo(m_path);
        QVERIFY(repo.write(Repository::keyFromPassword("old1"), m_d, m_s));
        const QByteArray before = fileBytes(m_path);
        QVERIFY(!repo.changeKey(QString("wrong"), QString("new1")));
        QCOMPARE(fileBytes(m_path), before);
        QVERIFY(repo.changeKey(QString("old1"), QString("new1")));
        QVERIFY(repo.isRightMainKey(QString("new1")) && !repo.isRightMainKey(QString("old1")));
        const QByteArray bio = QByteArray::fromHex("00112233445566778899aabbccddeeff00112233");
        QVERIFY(repo.changeKey(Repository::keyFromPassword("new1"), bio));
        CardMap d;
        FolderMap s;
        QVERIFY(repo.read(bio, d, s) && d == m_d && s == m_s);
    }

    void eraseOverwritesInPlaceThenRemoves()
    {
        QVERIFY(putBytes(m_path, QByteArray(100, 'S')));
        const QString link = m_path + ".link"; // sees the same bytes as the store
        QCOMPARE(::link(QFile::encodeName(m_path).constData(), QFile::encodeName(link).constData()), 0);
        Repository repo(m_path);
        QVERIFY(repo.erase());
        QVERIFY(!repo.exists());
        QCOMPARE(fileBytes(link), QByteArray::fromHex("00000064") + QByteArray(100, '\0'));
        QVERIFY(repo.erase()); // no file: nothing to do

        // a store that cannot be removed reports it
        const QString dir = m_tmp.filePath("store-is-a-dir");
        QVERIFY(QDir().mkpath(dir + "/inside"));
        QVERIFY(!Repository(dir).erase());
        QVERIFY(QFileInfo(dir + "/inside").isDir());
    }

    void backups()
    {
        Repository repo(m_path);
        QVERIFY(repo.write("key", m_d, m_s));
        const QString copy = m_path + ".backup";
        QVERIFY(repo.saveBackup(copy));
        QVERIFY(putBytes(copy + "2", "older backup"));
        QVERIFY(!repo.saveBackup(copy + "2")); // never overwrites
        QCOMPARE(fileBytes(copy + "2"), QByteArray("older backup"));
        QVERIFY(repo.erase());
        QVERIFY(Repository::restoreBackup(copy, m_path));
        QVERIFY(!Repository::restoreBackup(copy, m_path)); // target exists
        CardMap d;
        FolderMap s;
        QVERIFY(repo.read("key", d, s) && s == m_s);
    }

    // The store, its copies and a data folder made for it are their owner's
    // alone, also when written over a file that others could read.
    void ownerOnly_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("new store in a new folder") << "new";
        QTest::newRow("written over") << "write";
        QTest::newRow("restored over") << "restore";
        QTest::newRow("backup of a readable store") << "backup";
    }
    void ownerOnly()
    {
        QFETCH(QString, step);
        const QString folder = m_tmp.filePath(QString("owner%1").arg(m_case)), store = folder + "/data/s.bpk";
        Repository repo(store);
        QVERIFY(repo.makeMainPsw("abcd1"));
        QCOMPARE(modeOf(folder + "/data"), 0700);
        QString checked = store;
        if (step != "new")
            QVERIFY(::chmod(QFile::encodeName(store).constData(), 0644) == 0);
        if (step == "write")
            QVERIFY(repo.write(Repository::keyFromPassword("abcd1"), m_d, m_s));
        if (step == "restore") {
            QVERIFY(Repository(folder + "/b.bpk").makeMainPsw("efgh2"));
            QVERIFY(repo.replaceFrom(folder + "/b.bpk"));
        }
        if (step == "backup")
            QVERIFY(repo.saveBackup(checked = folder + "/copy.bpk"));
        QCOMPARE(modeOf(checked), 0600);
    }

    void failedWriteLeavesOldStore()
    {
        Repository repo(m_path);
        QVERIFY(repo.write("key", m_d, m_s));
        const QByteArray before = fileBytes(m_path);
        const QStringList files = QDir(m_tmp.path()).entryList(QDir::Files);
        sample(m_d, m_s, 2000);
        {
            FileSizeLimit limit(4096);
            QVERIFY(limit.ok());
            QVERIFY(!repo.write("key", m_d, m_s));
        }
        QCOMPARE(fileBytes(m_path), before);
        QCOMPARE(QDir(m_tmp.path()).entryList(QDir::Files), files); // no temporary file left
        QVERIFY(!Repository(m_tmp.filePath("plainfile/s.bpk")).write("key", QByteArray("p")));
    }

    void failingGeneratorWritesNothing()
    {
        Repository repo(m_path);
        QVERIFY(repo.write("key", m_d, m_s));
        const QByteArray before = fileBytes(m_path);
        static RAND_METHOD failing{nullptr, [](unsigned char*, int) { return 0; }, nullptr, nullptr,
                                   [](unsigned char*, int) { return 0; }, []() { return 0; }};
        const RAND_METHOD* old = RAND_get_rand_method();
        QVERIFY(RAND_set_rand_method(&failing) == 1);
        QByteArray salt("x");
        const bool madeSalt = Cipher::randomBytes(salt, 128);
        const bool wrote = repo.write("key", m_d, m_s);
        RAND_set_rand_method(old);
        QVERIFY(!madeSalt && salt.isEmpty());
        QVERIFY(!wrote);
        QCOMPARE(fileBytes(m_path), before);
        QVERIFY(Cipher::randomBytes(salt, 128) && salt.size() == 16);
    }

    void noSecretInDebugOutput()
    {
        const QByteArray key = Repository::keyFromPassword("Zx9SecretPsw");
        const QByteArray key2 = Repository::keyFromPassword("Other77Psw");
        Repository repo(m_tmp.filePath("quiet/data/s.bpk"));
        DebugCapture capture;
        QVERIFY(repo.makeMainPsw("Zx9SecretPsw"));
        QVERIFY(repo.isRightMainKey(QString("Zx9SecretPsw")));
        QVERIFY(repo.write(key, m_d, m_s));
        QVERIFY(repo.read(key, m_d, m_s));
        QVERIFY(repo.changeKey(QString("Zx9SecretPsw"), QString("Other77Psw")));
        QVERIFY(repo.erase());
        QVERIFY(!capture.messages.isEmpty());
        const QStringList secrets{"Zx9SecretPsw", "Other77Psw", "s3cr3t", "bob", key.toHex(), key2.toHex(),
                                  printed(key).mid(1, 12), printed(key2).mid(1, 12)};
        for (const QString& line : capture.texts())
            for (const QString& secret : secrets)
                QVERIFY2(!line.contains(secret), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestRepository)
#include "tst_repository.moc"
