// The store session without widgets: what opening finds, what a write
// comes to when the file changed under it, and the card changes.

#include "TestFiles.h"
#include "varnex/model/storesession.h"

#include <QtTest>

namespace {

const QByteArray Key = Repository::keyFromPassword(QStringLiteral("abcd1"));
const QString Web = QStringLiteral("Web");

FieldMap card(const QString& name, const QString& secret = QString())
{
    return FieldMap{{"Название карточки", name}, {"Пароль", secret}};
}

FolderMap stored(const QByteArray& key = Key)
{
    CardMap descr;
    FolderMap safe;
    Repository().read(key, descr, safe);
    return safe;
}

} // namespace

class TestStoreSession : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;

    void openWith(StoreSession& s, const QByteArray& key = Key)
    {
        s.setKey(key);
        s.open();
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
        QVERIFY(Repository().makeMainPsw(QStringLiteral("abcd1")));
    }
    void cleanup() { scratch.reset(); }

    // Only a store that reads (or reads as empty) stays open; a session
    // that is not open writes nothing.
    void open_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("status");
        QTest::newRow("empty") << QByteArray() << Key << int(Repository::StEmpty);
        QTest::newRow("wrong key") << QByteArray() << QByteArray("other") << int(Repository::StWrongKey);
        QTest::newRow("damaged") << QByteArray(60, 'x') << Key << int(Repository::StDamaged);
        QTest::newRow("missing") << QByteArray("-") << Key << int(Repository::StMissing);
    }
    void open()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, key);
        if (file == "-")
            QVERIFY(QFile::remove(Repository::defaultPath()));
        else if (!file.isEmpty())
            QVERIFY(putBytes(Repository::defaultPath(), file));
        StoreSession s;
        s.setKey(key);
        QTEST(int(s.open()), "status");
        const bool open = s.isOpen();
        QCOMPARE(open, QTest::currentDataTag() == QByteArray("empty"));
        QVERIFY(s.saveCard(Web, QString(), "a", card("a")));
        QCOMPARE(s.write() == StoreSession::OcWritten, open);
        QCOMPARE(QFile::exists(Repository::defaultPath()), file != "-");
    }

    // A key changed under the session writes nothing until the session has
    // the new one; a failed write keeps the content for the next one.
    void writeOutcomes()
    {
        StoreSession s;
        openWith(s);
        QVERIFY(Repository().changeKey(Key, QByteArray("new")));
        const QByteArray rekeyed = fileBytes(Repository::defaultPath());
        QVERIFY(s.saveCard(Web, QString(), "a", card("a")));
        QCOMPARE(s.write(), StoreSession::OcKeyChanged);
        QCOMPARE(fileBytes(Repository::defaultPath()), rekeyed);
        s.setKey("new");
        {
            FileSizeLimit limit(40);
            QVERIFY(limit.ok());
            QCOMPARE(s.write(), StoreSession::OcWriteFailed);
        }
        QCOMPARE(fileBytes(Repository::defaultPath()), rekeyed);
        QCOMPARE(s.write(), StoreSession::OcWritten);
        QCOMPARE(stored("new")[Web].keys(), QStringList{"a"});
    }

    // Cards in memory: a taken name refused, a rename, the last card
    // taking its folder along.
    void cardChanges()
    {
        StoreSession s;
        openWith(s);
        QVERIFY(s.saveCard(Web, QString(), "a", card("a")));
        QVERIFY(s.saveCard(Web, QString(), "b", card("b")));
        QVERIFY(!s.saveCard(Web, QString(), "a", card("a", "x")));
        QVERIFY(!s.saveCard(Web, "b", "a", card("a", "x")));
        QVERIFY(s.saveCard(Web, "b", "c", card("c", "y")));
        QCOMPARE(s.safe[Web].keys(), (QStringList{"a", "c"}));
        QCOMPARE(s.safe[Web]["a"], card("a"));
        s.deleteCard(Web, "a");
        s.deleteCard(Web, "c");
        QVERIFY(!s.safe.contains(Web));
    }
};

QTEST_GUILESS_MAIN(TestStoreSession)
#include "tst_storesession.moc"
