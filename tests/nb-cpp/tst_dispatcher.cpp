#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/Processor.h"
#include "nb-cpp/Provider.h"
#include "nb-cpp/Ulvar.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "DebugCapture.h"
#include "TestModule.h"

namespace {

QStringList classesOf(const QList<ModuleInfo>& found, const QString& path)
{
    QStringList ids;
    for (const ModuleInfo& row : found)
        if (row.path == path)
            ids << row.classId.toString();
    return ids;
}

} // namespace

class TestDispatcher : public QObject {
    Q_OBJECT

    TestModule* m = nullptr;
    const Nb::Uuid hand = TechnologyTable[0].technologyId;
    const Nb::Uuid finger = TechnologyTable[4].technologyId;

private slots:
    void initTestCase()
    {
        m = testModule();
        QVERIFY(m);
    }

    void init() { m->reset(); }

    // One library answering a provider and a processor row stands twice;
    // the objects made for probing go back at once.
    void scan()
    {
        m->enable(TestModule::HandwritingProvider);
        m->enable(TestModule::HandwritingProcessor);
        Dispatcher d;
        QVERIFY(d.scan(Dispatcher::modulesPath()));
        QCOMPARE(classesOf(d.found(), testModulePath()),
                 QStringList({TechnologyTable[0].classId.toString(), TechnologyTable[1].classId.toString()}));
        QCOMPARE(m->liveObjects(TestModule::HandwritingProvider) + m->liveObjects(TestModule::HandwritingProcessor), 0);
        ModuleInfo info;
        QVERIFY(d.getUlvar(nullptr, &info));
        QCOMPARE(info.classId, TechnologyTable[6].classId);
        QVERIFY(info.path.endsWith("libulvar.so"));
        // Without a provider to bind, the row alone comes back.
        QVERIFY(d.getProvider(hand, nullptr, &info));
        QCOMPARE(info.classId, TechnologyTable[0].classId);
        QCOMPARE(info.path, testModulePath());
        QCOMPARE(m->journal(TestModule::HandwritingProvider), QStringList({"query", "release"}));
        QVERIFY(!d.getProvider(finger, nullptr, &info));
        QVERIFY(!d.getProcessor(finger, nullptr, &info));
        Processor processor;
        QVERIFY(d.getProcessor(hand, &processor, nullptr));
        QVERIFY(processor.isLoaded());
    }

    // The first candidate whose device is missing is let go, the next bound.
    void nextCandidate()
    {
        m->enable(TestModule::HandwritingProvider);
        m->enable(TestModule::HandwritingProvider2);
        m->fail(TestModule::HandwritingProvider, "attachDevice", nbE_DEVICE_NOT_CONNECTED);
        Dispatcher d;
        d.probe(testModulePath());
        Provider provider;
        ModuleInfo info;
        DebugCapture debug;
        QVERIFY(d.getProvider(hand, &provider, &info));
        QCOMPARE(info.classId, TechnologyTable[2].classId);
        QCOMPARE(provider.classId(), TechnologyTable[2].classId);
        QVERIFY(provider.isAttached());
        QVERIFY(debug.texts().contains("device not attached"));
        QCOMPARE(m->liveObjects(TestModule::HandwritingProvider), 0);
        QCOMPARE(m->journal(TestModule::HandwritingProvider).last(), QString("release"));
    }

    // No candidate binds: every one is let go, the provider is left
    // unloaded and nothing is reported found.
    void everyCandidateFails()
    {
        m->enable(TestModule::HandwritingProvider);
        m->enable(TestModule::HandwritingProvider2);
        m->fail(TestModule::HandwritingProvider, "attachDevice", nbE_DEVICE_NOT_CONNECTED);
        m->fail(TestModule::HandwritingProvider2, "setEventHandler", TestModule::Throws);
        Dispatcher d;
        d.probe(testModulePath());
        Provider provider;
        ModuleInfo info;
        info.name = "untouched";
        QVERIFY(!d.getProvider(hand, &provider, &info));
        QVERIFY(!provider.isLoaded() && !provider.isAttached());
        QCOMPARE(info.name, QString("untouched"));
        for (int row : {TestModule::HandwritingProvider, TestModule::HandwritingProvider2}) {
            QCOMPARE(m->liveObjects(row), 0);
            QCOMPARE(m->journal(row).last(), QString("release"));
        }
    }

    void nothingToFind_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("junk");
        QTest::newRow("missing folder") << "missing/" << QByteArray();
        QTest::newRow("not a library") << "" << QByteArray("not a library");
        QTest::newRow("empty file") << "" << QByteArray("");
    }

    void nothingToFind()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, junk);
        QTemporaryDir dir;
        const QString path = dir.path() + "/" + folder;
        if (folder.isEmpty()) {
            QFile file(path + "libjunk.so");
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(junk) == junk.size());
        }
        Dispatcher d;
        DebugCapture debug;
        QVERIFY(d.scan(path));
        QVERIFY(debug.texts().isEmpty());
        QVERIFY(d.found().isEmpty());
        QVERIFY(!d.getUlvar(nullptr, nullptr));
        QVERIFY(!d.getProvider(hand, nullptr, nullptr));
    }
};

QTEST_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
