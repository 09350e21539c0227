#include "varnex/model/filenbc.h"

#include "DebugCapture.h"
#include "TestFiles.h"

#include <QDir>
#include <QtTest>

#include <memory>

class TestFileNbc : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>(ScratchCwd::WithoutData);
        QVERIFY(scratch->ok());
    }
    void cleanup() { scratch.reset(); }

    void listing()
    {
        QCOMPARE(FileNbc().directory(), QDir::currentPath() + QDir::separator() + "data" + QDir::separator());
        QVERIFY(!QDir("data").exists());
        QVERIFY(FileNbc().names().isEmpty()); // creates "data"
        QVERIFY(QDir("data").exists());
        QVERIFY(QDir().mkpath("data/sub.nbc"));
        for (const char* name : {"data/a.nbc", "data/B.NBC", "data/c.nbc.bak", "data/settings.ini"})
            QVERIFY(putBytes(name, "x"));
        QStringList names = FileNbc().names();
        names.sort();
        QCOMPARE(names, (QStringList{"B.NBC", "a.nbc"}));
        QCOMPARE(FileNbc().infos().size(), 2);
    }

    void directoryThatCannotBeMade()
    {
        QVERIFY(putBytes("data", "a file in the way"));
        QVERIFY(FileNbc().names().isEmpty() && FileNbc().infos().isEmpty());
        QVERIFY(!FileNbc().write("a.nbc", "x"));
    }

    void byteArrays()
    {
        FileNbc files;
        files.names();
        QVERIFY(files.write("x.nbc", QByteArray::fromHex("00ff10203040")));
        QCOMPARE(fileBytes("data/x.nbc"), QByteArray::fromHex("0000000600ff10203040"));
        QVERIFY(::chmod("data/x.nbc", 0644) == 0);
        QVERIFY(files.write("x.nbc", "z")); // whole file replaced: no old tail
        QCOMPARE(fileBytes("data/x.nbc"), QByteArray::fromHex("000000017a"));
        QCOMPARE(modeOf("data/x.nbc"), 0600); // the owner's alone again
        QByteArray back("untouched");
        QVERIFY(!files.read("missing.nbc", back));
        QVERIFY(putBytes("data/cut.nbc", QByteArray::fromHex("00000010aabb"))); // 16 announced, 2 there
        QVERIFY(!files.read("cut.nbc", back));
        QCOMPARE(back, QByteArray("untouched"));
        DebugCapture capture;
        QVERIFY(files.read("x.nbc", back));
        QCOMPARE(back, QByteArray("z"));
        for (const QString& line : capture.texts())
            QVERIFY2(!line.contains("\"z\""), qPrintable(line)); // no bytes in the trace
    }

    void removal()
    {
        FileNbc files;
        files.names();
        QVERIFY(files.remove("nothing.nbc"));
        for (const char* name : {"data/1.nbc", "data/2.nbc", "data/3.nbc"})
            QVERIFY(putBytes(name, "x"));
        QVERIFY(files.remove("1.nbc"));
        files.removeAll(QStringList{"2.nbc", "nothing.nbc", "3.nbc"});
        QVERIFY(files.names().isEmpty());
    }

    void namesStayInsideDirectory()
    {
        FileNbc files;
        files.names();
        QVERIFY(putBytes("outside.nbc", QByteArray::fromHex("0000000141")));
        QByteArray out;
        QVERIFY(!files.read("../outside.nbc", out));
        QVERIFY(!files.write("../evil.nbc", "x"));
        QVERIFY(!files.remove("../outside.nbc"));
        files.removeAll(QStringList{"../outside.nbc"});
        QVERIFY(QFile::exists("outside.nbc") && !QFile::exists("evil.nbc"));
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
};

QTEST_GUILESS_MAIN(TestFileNbc)
#include "tst_filenbc.moc"
