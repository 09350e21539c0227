#include "varnex/model/DynLibUlvar.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

class QWidget;

namespace {

typedef void (*SetMode)(int);
typedef int (*Frees)();
typedef const uint8_t* (*LastInput)(uint32_t*, const uint8_t**, QWidget**);

struct Control {
    SetMode setMode = nullptr;
    Frees frees = nullptr;
    LastInput lastInput = nullptr;
};

Control control(const QString& name)
{
    QLibrary lib(QCoreApplication::applicationDirPath() + "/" + name);
    Control c;
    if (lib.load()) {
        c.setMode = reinterpret_cast<SetMode>(lib.resolve("nbtest_setMode"));
        c.frees = reinterpret_cast<Frees>(lib.resolve("nbtest_frees"));
        c.lastInput = reinterpret_cast<LastInput>(lib.resolve("nbtest_lastInput"));
    }
    return c;
}

} // namespace

class TestDynLibUlvar : public QObject {
    Q_OBJECT

    Control m_ctl;

private slots:
    void initTestCase()
    {
        m_ctl = control("nbtest_full");
        QVERIFY(m_ctl.setMode && m_ctl.frees && m_ctl.lastInput);
    }

    void loadsAllThree()
    {
        DynLibUlvar lib;
        QVERIFY(!lib.isLoaded());
        QVERIFY(lib.load("./nbtest_full"));
        QVERIFY(lib.isLoaded());
        QVERIFY(lib.fileName().isEmpty()); // the binding itself names no library
    }

    void missingFreeIsNotLoaded()
    {
        DynLibUlvar lib;
        QVERIFY(!lib.load("./nbtest_nofree"));
        QVERIFY(!lib.isLoaded());
        QByteArray out("kept");
        QCOMPARE(lib.extract("abc", out, nullptr), DynLibUlvar::BadBuffer); // never calls through
        QCOMPARE(out, QByteArray("kept"));
    }

    void missingLibrary()
    {
        DynLibUlvar lib;
        QVERIFY(!lib.load("./no_such_quorvel"));
        QVERIFY(!lib.isLoaded());
    }

    // A library that sits in the current directory but not beside the
    // program is not picked up.
    void currentDirectoryIsNotSearched()
    {
        QTemporaryDir dir;
        const QString own = QCoreApplication::applicationDirPath() + "/libnbtest_full.so";
        QVERIFY(QFile::copy(own, dir.filePath("libnbtest_cwd.so")));
        const QString old = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        DynLibUlvar lib;
        const bool loaded = lib.load("./nbtest_cwd");
        QDir::setCurrent(old);
        QVERIFY(!loaded);
    }

    void trainAndExtractCopyBothWays()
    {
        DynLibUlvar lib;
        QVERIFY(lib.load("./nbtest_full"));
        m_ctl.setMode(0);
        const int freesBefore = m_ctl.frees();
        const QByteArray key = QByteArray::fromHex("0102030405");
        QByteArray nbc("stale content");
        QWidget* parent = reinterpret_cast<QWidget*>(0x1234);
        QCOMPARE(lib.train(key, nbc, parent), 0u);
        QCOMPARE(nbc, QByteArray::fromHex("0504030201"));
        QCOMPARE(m_ctl.frees(), freesBefore + 1);

        uint32_t len = 0;
        const uint8_t* ptr = nullptr;
        QWidget* seenParent = nullptr;
        const uint8_t* seen = m_ctl.lastInput(&len, &ptr, &seenParent);
        QCOMPARE(len, 5u);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(seen), 5), key);
        QVERIFY(ptr != reinterpret_cast<const uint8_t*>(key.constData())); // a copy went in
        QCOMPARE(seenParent, parent);

        QByteArray out;
        QCOMPARE(lib.extract(QByteArray("container"), out, nullptr), 0u);
        QCOMPARE(out, QByteArray("reniatnoc"));
        QCOMPARE(m_ctl.frees(), freesBefore + 2);
    }

    void cancelledLeavesKeyAndFreesNothing()
    {
        DynLibUlvar lib;
        QVERIFY(lib.load("./nbtest_full"));
        m_ctl.setMode(1);
        const int freesBefore = m_ctl.frees();
        QByteArray key("previous key");
        QCOMPARE(lib.extract("nbc", key, nullptr), 2u);
        QCOMPARE(key, QByteArray("previous key"));
        QByteArray nbc("old");
        QCOMPARE(lib.train("k", nbc, nullptr), 2u);
        QVERIFY(nbc.isEmpty());
        QCOMPARE(m_ctl.frees(), freesBefore);

        m_ctl.setMode(4);
        QCOMPARE(lib.extract("nbc", key, nullptr), 0xA0000003u);
        QCOMPARE(key, QByteArray("previous key"));
    }

    void nullBufferWithLengthIsFailure()
    {
        DynLibUlvar lib;
        QVERIFY(lib.load("./nbtest_full"));
        m_ctl.setMode(2);
        QByteArray key("previous");
        QCOMPARE(lib.extract("nbc", key, nullptr), DynLibUlvar::BadBuffer);
        QCOMPARE(key, QByteArray("previous"));
        QByteArray nbc;
        QCOMPARE(lib.train("k", nbc, nullptr), DynLibUlvar::BadBuffer);
        QVERIFY(nbc.isEmpty());
    }

    void emptyBufferIsEmptyResult()
    {
        DynLibUlvar lib;
        QVERIFY(lib.load("./nbtest_full"));
        m_ctl.setMode(3);
        const int freesBefore = m_ctl.frees();
        QByteArray key("previous");
        QCOMPARE(lib.extract("nbc", key, nullptr), 0u);
        QVERIFY(key.isEmpty());
        QCOMPARE(m_ctl.frees(), freesBefore + 1);
    }

    void codecIsUtf8AfterEveryCall()
    {
        DynLibUlvar lib;
        QVERIFY(lib.load("./nbtest_full"));
        m_ctl.setMode(0);
        QTextCodec* utf8 = QTextCodec::codecForName("UTF-8");
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-5"));
        QByteArray out;
        lib.extract("x", out, nullptr);
        QCOMPARE(QTextCodec::codecForLocale(), utf8);
        m_ctl.setMode(1);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("KOI8-R"));
        lib.train("x", out, nullptr);
        QCOMPARE(QTextCodec::codecForLocale(), utf8);
        lib.restoreCodec(); // already UTF-8: left alone
        QCOMPARE(QTextCodec::codecForLocale(), utf8);
    }
};

QTEST_GUILESS_MAIN(TestDynLibUlvar)
#include "tst_dynlibulvar.moc"
