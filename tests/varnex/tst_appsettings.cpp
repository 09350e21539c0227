#include "varnex/model/appsettings.h"

#include "FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestAppSettings : public QObject {
    Q_OBJECT

    QString m_oldCwd;
    QTemporaryDir* m_tmp = nullptr;

private slots:
    // Each case runs in a fresh current directory with an empty "data".
    void init()
    {
        m_oldCwd = QDir::currentPath();
        m_tmp = new QTemporaryDir;
        QVERIFY(m_tmp->isValid());
        QVERIFY(QDir::setCurrent(m_tmp->path()));
        QVERIFY(QDir().mkpath("data"));
    }
    void cleanup()
    {
        QDir::setCurrent(m_oldCwd);
        delete m_tmp;
        m_tmp = nullptr;
    }

    void pathIsUnderData()
    {
        QCOMPARE(settingsPath(), QDir::currentPath() + QDir::separator() + "data" + QDir::separator()
                                     + "settings.ini");
    }

    void missingFileGivesDefaults()
    {
        AppSettings s{5000, "x.nbc", 7};
        QVERIFY(!loadSettings(s));
        QCOMPARE(s.lockInterval, 0);
        QVERIFY(s.nbcFile.isNull());
        QCOMPARE(s.categoryRow, 0);
    }

    void defaultsAreTwelveBytes()
    {
        QVERIFY(saveDefaultSettings());
        QCOMPARE(fileBytes(settingsPath()), QByteArray::fromHex("00000000ffffffff00000000"));
        AppSettings s{1, "y", 2};
        QVERIFY(loadSettings(s));
        QCOMPARE(s.lockInterval, 0);
        QVERIFY(s.nbcFile.isNull());
        QCOMPARE(s.categoryRow, 0);
    }

    void roundTripWithContainerName()
    {
        const QString name = "{0a1b2c3d-0000-4000-8000-123456789abc}.nbc";
        QCOMPARE(name.size(), 42);
        QVERIFY(saveSettings(AppSettings{300000, name, 3}));
        const QByteArray bytes = fileBytes(settingsPath());
        QCOMPARE(bytes.size(), 96);
        QCOMPARE(bytes.left(8), QByteArray::fromHex("000493e000000054"));
        QCOMPARE(bytes.mid(8, 4), QByteArray::fromHex("007b0030")); // "{0" in UTF-16BE
        QCOMPARE(bytes.right(4), QByteArray::fromHex("00000003"));
        AppSettings s;
        QVERIFY(loadSettings(s));
        QCOMPARE(s.lockInterval, 300000);
        QCOMPARE(s.nbcFile, name);
        QCOMPARE(s.categoryRow, 3);
    }

    void noDataDirectoryFailsSave()
    {
        QVERIFY(QDir("data").removeRecursively());
        QVERIFY(!saveSettings(AppSettings{5000, "a.nbc", 1}));
        QVERIFY(!QFile::exists(settingsPath()));
    }

    void shortFileKeepsWhatItHolds()
    {
        QFile f(settingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromHex("00001388")); // lock interval only
        f.close();
        AppSettings s{1, "z", 9};
        QVERIFY(loadSettings(s));
        QCOMPARE(s.lockInterval, 5000);
        QVERIFY(s.nbcFile.isEmpty());
        QCOMPARE(s.categoryRow, 0);
    }

    void failedSaveLeavesOldFile()
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
    }
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
