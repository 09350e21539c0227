#include "varnex/model/appsettings.h"

#include "TestFiles.h"

#include <QDir>
#include <QtTest>

#include <memory>

class TestAppSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;

private slots:
    // Each case runs in a fresh current directory with an empty "data".
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
    }
    void cleanup() { scratch.reset(); }

    void defaults()
    {
        QCOMPARE(settingsPath(), QDir::currentPath() + QDir::separator() + "data" + QDir::separator() + "settings.ini");
        AppSettings s{5000, "x.nbc", 7};
        QVERIFY(!loadSettings(s)); // no file
        QVERIFY(s.lockInterval == 0 && s.nbcFile.isNull() && s.categoryRow == 0);
        QVERIFY(saveDefaultSettings());
        QCOMPARE(fileBytes(settingsPath()), QByteArray::fromHex("00000000ffffffff00000000"));
        s = AppSettings{1, "y", 2};
        QVERIFY(loadSettings(s));
        QVERIFY(s.lockInterval == 0 && s.nbcFile.isNull() && s.categoryRow == 0);
    }

    void roundTripWithContainerName()
    {
        const QString name = "{0a1b2c3d-0000-4000-8000-123456789abc}.nbc"; // 42 characters
        QVERIFY(saveSettings(AppSettings{300000, name, 3}));
        const QByteArray bytes = fileBytes(settingsPath());
        QCOMPARE(bytes.size(), 96);
        QCOMPARE(bytes.left(12), QByteArray::fromHex("000493e000000054007b0030"));
        QCOMPARE(bytes.right(4), QByteArray::fromHex("00000003"));
        AppSettings s;
        QVERIFY(loadSettings(s));
        QVERIFY(s.lockInterval == 300000 && s.nbcFile == name && s.categoryRow == 3);
    }

    // Readable by the owner only, also over a file that others could read.
    void savedOwnerOnly()
    {
        QVERIFY(putReadable(settingsPath(), "old"));
        QVERIFY(saveSettings(AppSettings{5000, "a.nbc", 1}));
        QCOMPARE(modeOf(settingsPath()), 0600);
    }

    // Short or damaged files read as the stream reads them.
    void shortFileKeepsWhatItHolds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("lock");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("row");
        QTest::newRow("lock interval only") << QByteArray::fromHex("00001388") << 5000 << "" << 0;
        QTest::newRow("name one unit short") << QByteArray::fromHex("000013880000000a0061006200000007") << 5000 << ""
                                             << 0;
        QTest::newRow("name of 1 GB") << QByteArray::fromHex("000013887ffffffe0061000000070000") << 5000 << "" << 0;
        QTest::newRow("name that fits") << QByteArray::fromHex("00001388000000020061ffffffff") << 5000 << "a" << -1;
    }
    void shortFileKeepsWhatItHolds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, lock);
        QFETCH(QString, name);
        QFETCH(int, row);
        QVERIFY(putBytes(settingsPath(), bytes));
        AppSettings s{1, "z", 9};
        QVERIFY(loadSettings(s));
        QCOMPARE(s.lockInterval, lock);
        QCOMPARE(s.nbcFile, name);
        QCOMPARE(s.categoryRow, row);
    }

    void failedSaves()
    {
        QVERIFY(saveSettings(AppSettings{5000, "old.nbc", 1}));
        const QByteArray before = fileBytes(settingsPath());
        {
            FileSizeLimit limit(64);
            QVERIFY(limit.ok());
            QVERIFY(!saveSettings(AppSettings{60000, QString(200, 'n'), 2}));
        }
        QCOMPARE(fileBytes(settingsPath()), before);
        QCOMPARE(QDir("data").entryList(QDir::Files), QStringList{"settings.ini"});
        QVERIFY(QDir("data").removeRecursively());
        QVERIFY(!saveSettings(AppSettings{5000, "a.nbc", 1})); // no "data"
    }
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
