// The store key, the password and a card's secret in the process's memory
// after an unlock, the idle lock and the close of the window: only where
// the program still needs them. The private anonymous writable mappings
// (the heap, its freed parts included) are read through /proc/self/mem;
// the needles are kept masked, so that the test's own never match.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "varnex/interface/mainwindow.h"
#include "qtnb/Wipe.h"

#include <QListWidget>
#include <QtTest>

#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

using D = ModalDriver;
using Needle = QVector<uchar>;

namespace {

const QString Psw = QStringLiteral("Psw4Heap");
#define SECRET "Zq7CardSecret"
constexpr uchar Mask = 0x5a;
constexpr size_t Chunk = 1 << 20;

// ASCII as the program may hold it: UTF-8 (width 1), UTF-16 in memory, or
// streamed (a big-endian length, then UTF-16 big-endian; without the
// length an in-memory copy would match, a byte further on).
Needle ascii(const char* text, int width, bool streamed = false)
{
    Needle n;
    for (int shift = 24; streamed && shift >= 0; shift -= 8)
        n << (uchar(2 * std::strlen(text) >> shift) ^ Mask);
    for (const char* p = text; *p; ++p)
        for (int i = 0; i < width; ++i)
            n << (uchar(i == (streamed ? 1 : 0) ? *p : 0) ^ Mask);
    return n;
}

int count(const Needle& needle)
{
    static uchar* const buf = static_cast<uchar*>(
        mmap(nullptr, Chunk + 64, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    int found = 0;
    FILE* maps = std::fopen("/proc/self/maps", "r");
    const int mem = open("/proc/self/mem", O_RDONLY);
    char line[512], perms[8], path[256];
    unsigned long from, to, inode;
    while (std::fgets(line, sizeof line, maps)) {
        path[0] = 0;
        if (std::sscanf(line, "%lx-%lx %7s %*s %*s %lu %255s", &from, &to, perms, &inode, path) < 4
            || std::strcmp(perms, "rw-p") || inode || (path[0] && std::strcmp(path, "[heap]")))
            continue;
        for (unsigned long at = from; at < to; at += Chunk) {
            const size_t n = std::min<size_t>(to - at, Chunk + needle.size() - 1);
            if (pread(mem, buf, n, off_t(at)) != ssize_t(n))
                break;
            for (size_t i = 0; i + needle.size() <= n && i < Chunk; ++i) {
                int j = 0;
                while (j < needle.size() && (buf[i + j] ^ Mask) == needle[j])
                    ++j;
                const uchar* addr = reinterpret_cast<const uchar*>(at + i);
                found += j == needle.size() && (addr < buf || addr >= buf + Chunk + 64);
            }
        }
    }
    Nb::wipe(buf, Chunk + 64);
    close(mem);
    std::fclose(maps);
    return found;
}

} // namespace

class TestHeapSecrets : public QObject {
    Q_OBJECT

private slots:
    void onlyWhereNeeded()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer's allocator poisons and quarantines freed memory and reserves terabytes of "
              "shadow memory, so the heap cannot be read as the program leaves it; the normal build runs this");
#endif
        ScratchCwd scratch;
        Needle key;
        {
            const Nb::SecretBytes bytes(Repository::keyFromPassword(Psw));
            for (char c : bytes.bytes())
                key << (uchar(c) ^ Mask);
            const FieldMap card{{"Название карточки", "c"}, {"Пароль", QStringLiteral(SECRET)}};
            QVERIFY(Repository().write(bytes, CardMap{{"Web", FieldMap{{"name", "Web"}}}},
                                       FolderMap{{"Web", CardMap{{"c", card}}}}));
        }
        QVERIFY(saveSettings(AppSettings{5000, QString(), 0}));
        // Keys and secrets held; neither streamed nor UTF-8 copies, nor the
        // password without its first letter (emptying a field writes only that).
        auto check = [&](int held) {
            QCOMPARE(count(key), held);
            QCOMPARE(count(ascii(SECRET, 2)), held);
            for (const Needle& n : {ascii(SECRET, 2, true), ascii(SECRET, 1), ascii("sw4Heap", 2), ascii("sw4Heap", 1)})
                QCOMPARE(count(n), 0);
        };
        {
            QByteArray probe; // the scan sees what is on the heap
            for (uchar c : key)
                probe += char(c ^ Mask);
            QCOMPARE(count(key), 1);
            Nb::wipe(probe);
        }

        std::unique_ptr<MainWindow> window(new MainWindow);
        QWidget other;
        for (bool lock : {false, true}) {
            D driver;
            driver.on("AuthPswDlg", [](QWidget* d) {
                D::type(d, "lineEdit_psw", Psw);
                D::click(d, "pushButton_unlock");
            });
            window->show();
            other.setVisible(lock);
            QApplication::setActiveWindow(lock ? &other : window.get());
            QTRY_VERIFY_WITH_TIMEOUT(driver.done() && window->findChild<QListWidget*>()->isVisible(), 5000);
            QApplication::setActiveWindow(window.get());
            check(1);
            window->lockTimer().start(150); // the lock comes soon
        }
        window->close();
        window.reset();
        check(0);
    }
};

QTEST_MAIN(TestHeapSecrets)
#include "tst_heapsecrets.moc"
