#include "TestFiles.h"
#include "qtnb/SaveFile.h"

#include <QDataStream>
#include <QDir>
#include <QSaveFile>
#include <QtTest>

#include <memory>

class TestSaveFile : public QObject {
    Q_OBJECT
private slots:
    // The new file replaces the old one only when all of it was written.
    void replacesOnlyWhole_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<bool>("streamFailed");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("whole") << qint64(-1) << false << true;
        QTest::newRow("short write") << qint64(100) << false << false;
        QTest::newRow("stream failed") << qint64(-1) << true << false;
    }
    void replacesOnlyWhole()
    {
        QFETCH(qint64, limit);
        QFETCH(bool, streamFailed);
        QFETCH(bool, replaced);
        ScratchCwd scratch(ScratchCwd::WithoutData);
        QVERIFY(scratch.ok());
        const QByteArray old(50, 'o'), fresh(4000, 'n');
        QVERIFY(putBytes("f", old));
        bool committed = false;
        {
            std::unique_ptr<FileSizeLimit> fsize(limit >= 0 ? new FileSizeLimit(rlim_t(limit)) : nullptr);
            QVERIFY(!fsize || fsize->ok());
            QSaveFile file("f");
            QVERIFY(file.open(QIODevice::WriteOnly));
            QDataStream out(&file);
            out.writeRawData(fresh.constData(), fresh.size());
            if (streamFailed)
                out.setStatus(QDataStream::WriteFailed);
            committed = Nb::commitWhole(file, out);
        }
        QCOMPARE(committed, replaced);
        QCOMPARE(fileBytes("f"), replaced ? fresh : old);
        QCOMPARE(QDir().entryList(QDir::Files), QStringList{"f"}); // nothing left beside it
    }
};

QTEST_GUILESS_MAIN(TestSaveFile)
#include "tst_savefile.moc"
