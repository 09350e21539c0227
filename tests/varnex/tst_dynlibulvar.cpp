#include "varnex/model/DynLibUlvar.h"

#include "DebugCapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

// Talks to the stand-in library (nbtestlib.cpp) beside the test program.
class TestDynLibUlvar : public QObject {
    Q_OBJECT

    void (*setMode)(int) = nullptr;
    int (*frees)() = nullptr;
    int (*wipedFrees)() = nullptr;
    const uint8_t* (*lastInput)(uint32_t*, const uint8_t**, QWidget**) = nullptr;
    DynLibUlvar m_lib;

private slots:
    void initTestCase()
    {
        QLibrary ctl(QCoreApplication::applicationDirPath() + "/nbtest_full");
        QVERIFY(ctl.load());
        setMode = reinterpret_cast<decltype(setMode)>(ctl.resolve("nbtest_setMode"));
        frees = reinterpret_cast<decltype(frees)>(ctl.resolve("nbtest_frees"));
        lastInput = reinterpret_cast<decltype(lastInput)>(ctl.resolve("nbtest_lastInput"));
        wipedFrees = reinterpret_cast<decltype(wipedFrees)>(ctl.resolve("nbtest_wipedFrees"));
        QVERIFY(setMode && frees && lastInput && wipedFrees);
        QVERIFY(!m_lib.isLoaded());
        QVERIFY(m_lib.load("./nbtest_full"));
        QVERIFY(m_lib.isLoaded());
        QVERIFY(m_lib.fileName().isEmpty()); // the binding itself names no library
    }

    void refusedLibraries()
    {
        DynLibUlvar lib;
        QVERIFY(!lib.load("./nbtest_nofree")); // two of three resolve
        QVERIFY(!lib.isLoaded());
        QByteArray out("kept");
        QCOMPARE(lib.extract("abc", out, nullptr), DynLibUlvar::BadBuffer); // never calls through
        QCOMPARE(out, QByteArray("kept"));
        {
            DebugCapture capture;
            QVERIFY(!lib.load("./no_such_quorvel"));
            QCOMPARE(capture.texts().size(), 1);
            const QString line = capture.texts().at(0); // the label, then the reason as it is
            QVERIFY2(line.startsWith("library load error: ") && line.size() > 20 && line.at(20) != '"'
                         && line.at(20) != ' ' && line.contains("no_such_quorvel"),
                     qPrintable(line));
        }

        // one in the current directory but not beside the program is not taken
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/libnbtest_full.so",
                            dir.filePath("libnbtest_cwd.so")));
        const QString old = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const bool loaded = lib.load("./nbtest_cwd");
        QDir::setCurrent(old);
        QVERIFY(!loaded);
    }

    void trainAndExtractCopyBothWays()
    {
        setMode(0); // the library answers with the input reversed
        const int before = frees(), wipedBefore = wipedFrees();
        const QByteArray key = QByteArray::fromHex("0102030405");
        QByteArray nbc("stale content");
        QWidget* parent = reinterpret_cast<QWidget*>(0x1234);
        QCOMPARE(m_lib.train(key, nbc, parent), 0u);
        QCOMPARE(nbc, QByteArray::fromHex("0504030201"));
        uint32_t len = 0;
        const uint8_t* ptr = nullptr;
        QWidget* seenParent = nullptr;
        const uint8_t* seen = lastInput(&len, &ptr, &seenParent);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(seen), int(len)), key);
        QVERIFY(ptr != reinterpret_cast<const uint8_t*>(key.constData())); // a copy went in
        QCOMPARE(seenParent, parent);
        QByteArray out;
        QCOMPARE(m_lib.extract(QByteArray("container"), out, nullptr), 0u);
        QCOMPARE(out, QByteArray("reniatnoc"));
        QCOMPARE(frees(), before + 2);
        QCOMPARE(wipedFrees(), wipedBefore + 2); // handed back as zeros: they may be keys
    }

    void failuresLeaveOutputs_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<uint>("result");
        QTest::addColumn<int>("freed");
        QTest::newRow("cancelled") << 1 << 2u << 0;
        QTest::newRow("failed") << 4 << 0xA0000003u << 0;
        QTest::newRow("null buffer, length 5") << 2 << uint(DynLibUlvar::BadBuffer) << 0;
    }
    void failuresLeaveOutputs()
    {
        QFETCH(int, mode);
        QFETCH(uint, result);
        QFETCH(int, freed);
        setMode(mode);
        const int before = frees();
        QByteArray key("previous key");
        QCOMPARE(m_lib.extract("nbc", key, nullptr), uint32_t(result));
        QCOMPARE(key, QByteArray("previous key"));
        QByteArray nbc("old");
        QCOMPARE(m_lib.train("k", nbc, nullptr), uint32_t(result));
        QVERIFY(nbc.isEmpty());
        QCOMPARE(frees(), before + freed);
    }

    // Neither the key going in nor the key coming back is traced, nor any
    // line that says nothing.
    void noSecretInDebugOutput()
    {
        setMode(0);
        const QByteArray key("Zx9KeyBytes");
        QByteArray nbc, back;
        DebugCapture capture;
        QCOMPARE(m_lib.train(key, nbc, nullptr), 0u);
        QCOMPARE(m_lib.extract("Qw7Container", back, nullptr), 0u);
        QVERIFY(!capture.messages.isEmpty());
        const QStringList secrets{"Zx9KeyBytes", "setyByeK9xZ", "Qw7Container", "reniatnoC7wQ",
                                  QString(key.toHex())};
        for (const QString& line : capture.texts()) {
            for (const QString& secret : secrets)
                QVERIFY2(!line.contains(secret), qPrintable(line));
            QVERIFY2(line.contains(QRegularExpression("[A-Za-z]")), qPrintable(line));
        }
    }

    void emptyBufferIsEmptyResult()
    {
        setMode(3);
        const int before = frees();
        QByteArray key("previous");
        QCOMPARE(m_lib.extract("nbc", key, nullptr), 0u);
        QVERIFY(key.isEmpty());
        QCOMPARE(frees(), before + 1);
    }

    void codecIsUtf8AfterEveryCall()
    {
        QTextCodec* utf8 = QTextCodec::codecForName("UTF-8");
        QByteArray out;
        setMode(0);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-5"));
        m_lib.extract("x", out, nullptr);
        QCOMPARE(QTextCodec::codecForLocale(), utf8);
        setMode(1);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("KOI8-R"));
        m_lib.train("x", out, nullptr);
        QCOMPARE(QTextCodec::codecForLocale(), utf8);
        m_lib.restoreCodec(); // already UTF-8: left alone
        QCOMPARE(QTextCodec::codecForLocale(), utf8);
    }
};

QTEST_GUILESS_MAIN(TestDynLibUlvar)
#include "tst_dynlibulvar.moc"
