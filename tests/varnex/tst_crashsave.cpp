// A save killed part-way: a forked child (many times faster to start than a
// program, so that hundreds of kills take seconds) saves a card through the
// store session and kills itself with SIGKILL after a given number of bytes
// of the new store file, counted by the write() that this test program
// lends Qt, or just before the new file takes the store's name. After every
// kill the store holds its old bytes. A full disk (a file-size limit)
// leaves the old store and nothing beside it.

#include "TestFiles.h"
#include "varnex/model/storesession.h"

#include <QtTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long long g_killAt = -1; // armed in the child only
long long g_written = 0;
char g_dataDir[4096];

bool isStoreFile(int fd)
{
    char link[64], path[4096] = {};
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    return readlink(link, path, sizeof path - 1) > 0 && std::strncmp(path, g_dataDir, std::strlen(g_dataDir)) == 0
           && !std::strstr(path, ".lock");
}

} // namespace

extern "C" __attribute__((visibility("default"))) ssize_t write(int fd, const void* buf, size_t n)
{
    if (g_killAt >= 0 && fd > 2 && isStoreFile(fd)) {
        if (g_written + (long long)n > g_killAt) {
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

const QByteArray Key(20, '\x17');
const QString Web = QStringLiteral("Web");

FieldMap card(int i)
{
    return FieldMap{{"Название карточки", QString("card%1").arg(i)}, {"Пароль", QString(40, QChar('a' + i % 26))}};
}

// Saves card i (killed after killAt bytes); the outcome.
int save(long long killAt = -1, int i = 99)
{
    std::snprintf(g_dataDir, sizeof g_dataDir, "%s/data/", qPrintable(QDir::currentPath()));
    StoreSession session;
    session.setKey(Key);
    if (session.open() != Repository::StOk || !session.saveCard(Web, QString(), card(i).value("Название карточки"), card(i)))
        return -1;
    g_killAt = killAt;
    return session.write();
}

// The child's wait status.
int saveInChild(long long killAt)
{
    const pid_t pid = fork();
    if (pid == 0) {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        _exit(save(killAt));
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
}

} // namespace

class TestCrashSave : public QObject {
    Q_OBJECT

private slots:
    void killedAnywhere()
    {
        ScratchCwd scratch;
        FolderMap safe;
        for (int i = 0; i < 40; ++i)
            safe[Web].insert(card(i).value("Название карточки"), card(i));
        QVERIFY(Repository().write(Key, CardMap{{Web, FieldMap{{"name", Web}}}}, safe));
        const QByteArray old = fileBytes(Repository::defaultPath());

        // The save unkilled: the size of the new file is the range to kill in.
        QCOMPARE(saveInChild(1ll << 40), int(StoreSession::OcWritten) << 8);
        const long long size = fileBytes(Repository::defaultPath()).size();
        QVERIFY(size > old.size());
        int kills = 0;
        for (long long at = 0; at <= size; at += at < 64 ? 1 : 1 + size / 256, ++kills) {
            QVERIFY(putBytes(Repository::defaultPath(), old));
            const int status = saveInChild(at);
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, qPrintable(QString::number(at)));
            QCOMPARE(fileBytes(Repository::defaultPath()), old);
        }
        QVERIFY(kills > 250);
        // Nothing left behind stops the next save; a full disk at any point
        // of one leaves the store as it was, and nothing beside it.
        QCOMPARE(save(), int(StoreSession::OcWritten));
        const QByteArray saved = fileBytes(Repository::defaultPath());
        for (rlim_t limit : {0, 1, 48, 2000, 4000}) {
            FileSizeLimit fsize(limit);
            QCOMPARE(save(-1, 98), int(StoreSession::OcWriteFailed));
            QCOMPARE(fileBytes(Repository::defaultPath()), saved);
            QCOMPARE(QDir("data").entryList(QDir::Files), QStringList{"Varnex2013_v1.bpk"});
        }
        safe[Web].insert("card99", card(99));
        CardMap descr;
        FolderMap now;
        QVERIFY(Repository().read(Key, descr, now) && now == safe);
    }
};

QTEST_GUILESS_MAIN(TestCrashSave)
#include "tst_crashsave.moc"
