// The store session without widgets: what opening finds, what a write
// comes to when the file changed under it, the card changes, and two
// sessions on one store.

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

    // Two sessions on one store: each write takes in the other's and puts
    // only its own changes on top; a card name the other took first is
    // refused with nothing written; changes whose write failed go along
    // with the next one.
    void twoSessionsOnOneStore()
    {
        StoreSession a, b;
        openWith(a);
        openWith(b);
        QVERIFY(a.saveCard(Web, QString(), "a", card("a")));
        QCOMPARE(a.write(), StoreSession::OcWritten);
        QVERIFY(b.saveCard(Web, QString(), "b", card("b")));
        QCOMPARE(b.write(), StoreSession::OcWritten);
        QCOMPARE(stored()[Web].keys(), (QStringList{"a", "b"}));
        QCOMPARE(b.safe[Web].keys(), (QStringList{"a", "b"}));

        b.deleteCard(Web, "b");
        QCOMPARE(b.write(), StoreSession::OcWritten);
        QVERIFY(a.saveCard(Web, "a", "c", card("c")));
        QCOMPARE(a.write(), StoreSession::OcWritten);
        QCOMPARE(stored()[Web].keys(), QStringList{"c"});

        QVERIFY(a.saveCard(Web, QString(), "d", card("d", "1")));
        QCOMPARE(a.write(), StoreSession::OcWritten);
        const QByteArray before = fileBytes(Repository::defaultPath());
        QVERIFY(b.saveCard(Web, QString(), "d", card("d", "2")));
        QCOMPARE(b.write(), StoreSession::OcNameTaken);
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
        QCOMPARE(b.safe[Web]["d"], card("d", "1"));

        {
            FileSizeLimit limit(40);
            QVERIFY(limit.ok());
            QVERIFY(a.saveCard(Web, QString(), "e", card("e")));
            QCOMPARE(a.write(), StoreSession::OcWriteFailed);
        }
        QVERIFY(b.saveCard(Web, QString(), "f", card("f")));
        QCOMPARE(b.write(), StoreSession::OcWritten);
        QVERIFY(a.saveCard(Web, QString(), "g", card("g")));
        QCOMPARE(a.write(), StoreSession::OcWritten);
        QCOMPARE(stored()[Web].keys(), (QStringList{"c", "d", "e", "f", "g"}));
    }
};

QTEST_GUILESS_MAIN(TestStoreSession)
#include "tst_storesession.moc"
