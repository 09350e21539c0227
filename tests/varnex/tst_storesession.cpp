// Two store sessions on one store, without widgets: each write takes in
// the other's and puts only its own changes on top, unwritten ones from a
// failed write included; a name the other took first is refused.

#include "TestFiles.h"
#include "varnex/model/storesession.h"

#include <QtTest>

namespace {

const QByteArray Key("k");
const QString Web = QStringLiteral("Web");

FieldMap card(const QString& name, const QString& secret = QString())
{
    return FieldMap{{"Название карточки", name}, {"Пароль", secret}};
}

QStringList stored()
{
    CardMap descr;
    FolderMap safe;
    Repository().read(Key, descr, safe);
    return safe.value(Web).keys();
}

} // namespace

class TestStoreSession : public QObject {
    Q_OBJECT

private slots:
    void twoSessionsOnOneStore()
    {
        ScratchCwd scratch;
        QVERIFY(Repository().write(Key, QByteArray()));
        StoreSession a, b;
        for (StoreSession* s : {&a, &b}) {
            s->setKey(Key);
            QCOMPARE(s->open(), Repository::StEmpty);
        }
        auto save = [](StoreSession& s, const QString& old, const QString& name, const QString& secret = "") {
            return s.saveCard(Web, old, name, card(name, secret)) ? s.write() : StoreSession::OcNoStore;
        };
        QCOMPARE(save(a, QString(), "a"), StoreSession::OcWritten);
        QCOMPARE(save(b, QString(), "b"), StoreSession::OcWritten);
        QCOMPARE(stored(), (QStringList{"a", "b"}));
        QCOMPARE(b.safe[Web].keys(), (QStringList{"a", "b"}));
        b.deleteCard(Web, "b");
        QCOMPARE(b.write(), StoreSession::OcWritten);
        QCOMPARE(save(a, "a", "c"), StoreSession::OcWritten);
        QCOMPARE(stored(), QStringList{"c"});

        QCOMPARE(save(a, QString(), "d", "1"), StoreSession::OcWritten);
        const QByteArray before = fileBytes(Repository::defaultPath());
        QCOMPARE(save(b, QString(), "d", "2"), StoreSession::OcNameTaken);
        QCOMPARE(fileBytes(Repository::defaultPath()), before);
        QCOMPARE(b.safe[Web]["d"], card("d", "1"));
        {
            FileSizeLimit limit(40);
            QCOMPARE(save(a, QString(), "e"), StoreSession::OcWriteFailed);
        }
        QCOMPARE(save(b, QString(), "f"), StoreSession::OcWritten);
        QCOMPARE(save(a, QString(), "g"), StoreSession::OcWritten);
        QCOMPARE(stored(), (QStringList{"c", "d", "e", "f", "g"}));
    }
};

QTEST_GUILESS_MAIN(TestStoreSession)
#include "tst_storesession.moc"
