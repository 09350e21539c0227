// A save killed part-way: a child process (forked, which is many times
// faster than starting a program, so that hundreds of kills fit in a few
// seconds) saves a card through the store session and is killed with
// SIGKILL after a given number of bytes of the new store file (counted by
// the write() that this program lends Qt, below), or just before the file
// takes the store's name. After every kill the store opens with the old
// content or the new, never damaged. A full disk (a file-size limit) leaves
// the old store.

#include "TestFiles.h"
#include "varnex/model/storesession.h"

#include <QtTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Armed only in the child: bytes of the store's new file after which the
// process kills itself.
long long g_killAt = -1;
long long g_written = 0;
std::string g_dataDir;

bool storeFile(int fd)
{
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    path[n] = 0;
    return std::strncmp(path, g_dataDir.c_str(), g_dataDir.size()) == 0 && !std::strstr(path, ".lock");
}

} // namespace

// Qt's file writes come here (this program's definition comes before the C
// library's).
extern "C" __attribute__((visibility("default"))) ssize_t write(int fd, const void* buf, size_t n)
{
    if (g_killAt >= 0 && fd > 2 && storeFile(fd)) {
        if (g_written + (long long)n > g_killAt) {
            if (g_killAt > g_written)
                syscall(SYS_write, fd, buf, size_t(g_killAt - g_written));
            kill(getpid(), SIGKILL);
        }
        g_written += (long long)n;
    }
    return syscall(SYS_write, fd, buf, n);
}

extern "C" __attribute__((visibility("default"))) int rename(const char* from, const char* to)
{
    if (g_killAt >= 0 && g_written >= g_killAt)
        kill(getpid(), SIGKILL);
    return int(syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

namespace {

const QByteArray Key = QByteArray(20, '\x17');
const QString Web = QStringLiteral("Web");

FieldMap card(int i)
{
    return FieldMap{{"Название карточки", QString("card%1").arg(i)}, {"Пароль", QString(40, QChar('a' + i % 26))}};
}

int saveChild(long long killAt)
{
    g_dataDir = (QDir::currentPath() + "/data/").toStdString();
    StoreSession session;
    session.setKey(Key);
    if (session.open() != Repository::StOk)
        return 2;
    session.saveCard(Web, QString(), "new", card(99));
    g_killAt = killAt;
    return session.write() == StoreSession::OcWritten ? 0 : 3;
}

// The child's wait status.
int runChild(long long killAt)
{
    const pid_t pid = fork();
    if (pid == 0) {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        _exit(saveChild(killAt));
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
}

FolderMap stored(bool* ok)
{
    CardMap descr;
    FolderMap safe;
    *ok = Repository().read(Key, descr, safe);
    return safe;
}

} // namespace

class TestCrashSave : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;
    QByteArray oldBytes;
    FolderMap oldCards, newCards;

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
        CardMap descr{{Web, FieldMap{{"name", Web}}}};
        for (int i = 0; i < 40; ++i)
            oldCards[Web].insert(card(i).value("Название карточки"), card(i));
        newCards = oldCards;
        newCards[Web].insert("new", card(99));
        QVERIFY(Repository().write(Key, descr, oldCards));
        oldBytes = fileBytes(Repository::defaultPath());
    }
    void cleanup() { scratch.reset(); }

    void killedAnywhere()
    {
        // Unkilled, the save writes the new store: its size is the number
        // of bytes to kill in.
        QCOMPARE(runChild(1ll << 40), 0);
        bool ok = false;
        QCOMPARE(stored(&ok), newCards);
        const long long size = fileBytes(Repository::defaultPath()).size();
        QVERIFY(size > 4000);

        int kills = 0;
        for (long long at = 0; at <= size; at += at < 64 ? 1 : 1 + size / 256) {
            QVERIFY(putBytes(Repository::defaultPath(), oldBytes));
            const int status = runChild(at);
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, qPrintable(QString::number(at)));
            QCOMPARE(fileBytes(Repository::defaultPath()), oldBytes);
            ++kills;
        }
        // Killed just before the new file takes the store's name.
        QVERIFY(putBytes(Repository::defaultPath(), oldBytes));
        const int status = runChild(size);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(stored(&ok), oldCards);
        QVERIFY(ok);
        QVERIFY(kills > 250);
        // Nothing left behind that stops the next save.
        StoreSession session;
        session.setKey(Key);
        QCOMPARE(session.open(), Repository::StOk);
        QVERIFY(session.saveCard(Web, QString(), "new", card(99)));
        QCOMPARE(session.write(), StoreSession::OcWritten);
        QCOMPARE(stored(&ok), newCards);
    }

    void fullDisk_data()
    {
        QTest::addColumn<int>("limit");
        for (int limit : {0, 1, 48, 2000, 4000})
            QTest::newRow(qPrintable(QString::number(limit))) << limit;
    }
    void fullDisk()
    {
        QFETCH(int, limit);
        StoreSession session;
        session.setKey(Key);
        QCOMPARE(session.open(), Repository::StOk);
        QVERIFY(session.saveCard(Web, QString(), "new", card(99)));
        {
            FileSizeLimit fsize{rlim_t(limit)};
            QVERIFY(fsize.ok());
            QCOMPARE(session.write(), StoreSession::OcWriteFailed);
        }
        QCOMPARE(fileBytes(Repository::defaultPath()), oldBytes);
        QCOMPARE(QDir("data").entryList(QDir::Files), QStringList{"Varnex2013_v1.bpk"});
    }
};

QTEST_GUILESS_MAIN(TestCrashSave)
#include "tst_crashsave.moc"
