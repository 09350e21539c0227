#include "varnex/model/filenbc.h"

#include "DebugCapture.h"
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

void putBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestFileNbc : public QObject {
    Q_OBJECT

    QString m_oldCwd;
    QTemporaryDir* m_tmp = nullptr;

private slots:
    void init()
    {
        m_oldCwd = QDir::currentPath();
        m_tmp = new QTemporaryDir;
        QVERIFY(m_tmp->isValid());
        QVERIFY(QDir::setCurrent(m_tmp->path()));
    }
    void cleanup()
    {
        QDir::setCurrent(m_oldCwd);
        delete m_tmp;
    }

    void defaultDirEndsWithSeparator()
    {
        QCOMPARE(FileNbc::defaultDir(), QDir::currentPath() + QDir::separator() + "data" + QDir::separator());
        QCOMPARE(FileNbc().directory(), FileNbc::defaultDir());
    }

    void listingCreatesDirectory()
    {
        QVERIFY(!QDir("data").exists());
        QVERIFY(FileNbc().names().isEmpty());
        QVERIFY(QDir("data").exists());
        QVERIFY(QDir("data").removeRecursively());
        QVERIFY(FileNbc().infos().isEmpty());
        QVERIFY(QDir("data").exists());
    }

    void listsPlainNbcFilesOnly()
    {
        QVERIFY(QDir().mkpath("data/sub.nbc"));
        putBytes("data/a.nbc", "a");
        putBytes("data/B.NBC", "b");
        putBytes("data/c.nbc.bak", "c");
        putBytes("data/settings.ini", "s");
        QStringList names = FileNbc().names();
        names.sort();
        QCOMPARE(names, (QStringList{"B.NBC", "a.nbc"}));
        QCOMPARE(FileNbc().infos().size(), 2);
    }

    void byteArrayRoundTrip()
    {
        FileNbc files;
        files.names();
        const QByteArray bytes = QByteArray::fromHex("00ff10203040");
        QVERIFY(files.write("x.nbc", bytes));
        QCOMPARE(fileBytes("data/x.nbc"), QByteArray::fromHex("00000006") + bytes);
        QByteArray back("untouched");
        QVERIFY(files.read("x.nbc", back));
        QCOMPARE(back, bytes);

        // a shorter content replaces the whole file: no old tail
        QVERIFY(files.write("x.nbc", "z"));
        QCOMPARE(fileBytes("data/x.nbc"), QByteArray::fromHex("000000017a"));
    }

    void readFailures()
    {
        FileNbc files;
        files.names();
        QByteArray out("untouched");
        QVERIFY(!files.read("missing.nbc", out));
        putBytes("data/cut.nbc", QByteArray::fromHex("00000010aabb")); // 16 announced, 2 there
        QVERIFY(!files.read("cut.nbc", out));
        QCOMPARE(out, QByteArray("untouched"));
    }

    void namesStayInsideDirectory()
    {
        FileNbc files;
        files.names();
        putBytes("outside.nbc", QByteArray::fromHex("0000000141"));
        QByteArray out;
        QVERIFY(!files.read("../outside.nbc", out));
        QVERIFY(!files.write("../evil.nbc", "x"));
        QVERIFY(!QFile::exists("evil.nbc"));
        QVERIFY(!files.remove("../outside.nbc"));
        files.removeAll(QStringList{"../outside.nbc"});
        QVERIFY(QFile::exists("outside.nbc"));
    }

    void removeAndRemoveAll()
    {
        FileNbc files;
        files.names();
        QVERIFY(files.remove("nothing.nbc"));
        putBytes("data/1.nbc", "1");
        putBytes("data/2.nbc", "2");
        putBytes("data/3.nbc", "3");
        QVERIFY(files.remove("1.nbc"));
        QVERIFY(!QFile::exists("data/1.nbc"));
        files.removeAll(QStringList{"2.nbc", "nothing.nbc", "3.nbc"});
        QVERIFY(files.names().isEmpty());
    }

    void failedWriteLeavesOldFile()
    {
        FileNbc files;
        files.names();
        QVERIFY(files.write("k.nbc", "old content"));
        const QByteArray before = fileBytes("data/k.nbc");
        {
            FileSizeLimit limit(64);
            QVERIFY(limit.ok());
            QVERIFY(!files.write("k.nbc", QByteArray(500, 'n')));
        }
        QCOMPARE(fileBytes("data/k.nbc"), before);
        QCOMPARE(QDir("data").entryList(QDir::Files), QStringList{"k.nbc"});
    }

    void traceCarriesNoBytes()
    {
        FileNbc files;
        files.names();
        QVERIFY(files.write("t.nbc", "SECRETBYTES"));
        DebugCapture capture;
        QByteArray out;
        QVERIFY(files.read("t.nbc", out));
        QVERIFY(!capture.messages.isEmpty());
        for (const QString& line : capture.texts())
            QVERIFY2(!line.contains("SECRETBYTES"), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestFileNbc)
#include "tst_filenbc.moc"
