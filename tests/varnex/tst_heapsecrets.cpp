// The store key, the password and a card's secret in the process's memory
// after an unlock, the idle lock and the close of the window: found only
// where the program still needs them. Every private anonymous writable
// mapping (the heap, freed parts included) is read through /proc/self/mem.
// The test's own needles are kept masked, so that they never match.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "varnex/interface/mainwindow.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"
#include "varnex/model/wipe.h"

#include <QListWidget>
#include <QtTest>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#define HEAP_SCAN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HEAP_SCAN_ASAN 1
#endif
#endif

using D = ModalDriver;

namespace {

const QString Psw = QStringLiteral("Psw4Heap");
const char* const KeyHex = "a360892892bb5e50aaa715210d3185e0e0e89ba9"; // SHA-1 of Psw
#define SECRET "Zq7CardSecret"
constexpr unsigned char Mask = 0x5a;

using Needle = std::vector<unsigned char>; // masked

// ASCII text as the program may hold it: UTF-8, UTF-16 in memory, or
// streamed (a big-endian length, then UTF-16 big-endian; without the
// length a copy in memory would match, shifted by a byte).
Needle ascii(const char* text, int width, bool bigEndian)
{
    Needle n;
    const size_t length = 2 * std::strlen(text);
    for (int shift = 24; bigEndian && shift >= 0; shift -= 8)
        n.push_back(uchar(length >> shift) ^ Mask);
    for (const char* p = text; *p; ++p)
        for (int i = 0; i < width; ++i)
            n.push_back((i == (bigEndian ? width - 1 : 0) ? uchar(*p) : 0) ^ Mask);
    return n;
}

Needle keyNeedle()
{
    Needle n;
    for (int i = 0; KeyHex[i]; i += 2)
        n.push_back(uchar(std::stoi(std::string(KeyHex + i, 2), nullptr, 16)) ^ Mask);
    return n;
}

class HeapScan {
public:
    HeapScan() : m_buf(static_cast<unsigned char*>(mmap(nullptr, Chunk + 64, PROT_READ | PROT_WRITE,
                                                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)))
    {
    }
    ~HeapScan() { munmap(m_buf, Chunk + 64); }

    // Copies of the needle in the mappings, outside this scanner's buffer.
    int count(const Needle& needle)
    {
        int found = 0;
        FILE* maps = std::fopen("/proc/self/maps", "r");
        const int mem = open("/proc/self/mem", O_RDONLY);
        char line[512];
        while (maps && mem >= 0 && std::fgets(line, sizeof line, maps)) {
            unsigned long from = 0, to = 0, inode = 0;
            char perms[8] = {}, path[256] = {};
            if (std::sscanf(line, "%lx-%lx %7s %*s %*s %lu %255s", &from, &to, perms, &inode, path) < 4)
                continue;
            if (std::strcmp(perms, "rw-p") != 0 || inode != 0 || (path[0] && std::strcmp(path, "[heap]") != 0))
                continue;
            for (unsigned long at = from; at < to; at += Chunk) {
                const size_t n = std::min<unsigned long>(to - at, Chunk + needle.size() - 1);
                if (pread(mem, m_buf, n, off_t(at)) != ssize_t(n))
                    break;
                for (size_t i = 0; i + needle.size() <= n && i < Chunk; ++i) {
                    if (size_t j = 0; (m_buf[i] ^ Mask) == needle[0]) {
                        while (j < needle.size() && (m_buf[i + j] ^ Mask) == needle[j])
                            ++j;
                        const unsigned char* addr = reinterpret_cast<const unsigned char*>(at + i);
                        found += j == needle.size() && (addr < m_buf || addr >= m_buf + Chunk + 64);
                    }
                }
            }
        }
        wipe(m_buf, Chunk + 64);
        if (mem >= 0)
            close(mem);
        if (maps)
            std::fclose(maps);
        return found;
    }

private:
    static constexpr size_t Chunk = 1 << 20;
    unsigned char* m_buf;
};

QListWidget* categories(QWidget* w) { return D::find<QListWidget>(w, "listWidget_category"); }

} // namespace

class TestHeapSecrets : public QObject {
    Q_OBJECT

private slots:
    void onlyWhereNeeded()
    {
#ifdef HEAP_SCAN_ASAN
        QSKIP("AddressSanitizer's allocator keeps freed memory poisoned and reserves terabytes of shadow "
              "memory, so the heap cannot be read as glibc lays it out; the normal build runs this test");
#endif
        ScratchCwd scratch;
        QVERIFY(scratch.ok());
        {
            const SecretBytes key(Repository::keyFromPassword(Psw));
            const FieldMap card{{"Название карточки", "c"}, {"Тип карточки", "Компьютер"},
                                {"Пароль", QStringLiteral(SECRET)}};
            QVERIFY(Repository().write(key, CardMap{{"Компьютеры", FieldMap{{"name", "Компьютеры"}}}},
                                       FolderMap{{"Компьютеры", CardMap{{"c", card}}}}));
        }
        QVERIFY(saveSettings(AppSettings{150, QString(), 0}));

        const Needle key = keyNeedle();
        const QVector<Needle> secrets{ascii(SECRET, 2, false), ascii(SECRET, 2, true), ascii(SECRET, 1, false)};
        // Without its first letter: emptying a field overwrites only that.
        const QVector<Needle> passwords{ascii("sw4Heap", 2, false), ascii("sw4Heap", 1, false)};
        HeapScan scan;
        // keys held, cards held; passwords never
        auto check = [&](int keys, int cards) {
            QCOMPARE(scan.count(key), keys);
            QCOMPARE(scan.count(secrets[0]), cards);
            for (const Needle& n : secrets.mid(1) + passwords)
                QCOMPARE(scan.count(n), 0);
        };
        auto unlock = [](QWidget* d) {
            D::type(d, "lineEdit_psw", Psw);
            D::click(d, "pushButton_unlock");
        };

        // The scanner sees a copy on the heap.
        {
            QByteArray probe(reinterpret_cast<const char*>(key.data()), int(key.size()));
            for (char& c : probe)
                c ^= Mask;
            QCOMPARE(scan.count(key), 1);
            wipe(probe);
        }
        QCOMPARE(scan.count(key), 0);

        std::unique_ptr<MainWindow> window(new MainWindow);
        {
            D driver;
            driver.on("AuthPswDlg", unlock);
            window->show();
            QTRY_VERIFY_WITH_TIMEOUT(driver.done() && categories(window.get())->count() > 0, 5000);
            QApplication::setActiveWindow(window.get());
        }
        check(1, 1);
        if (QTest::currentTestFailed())
            return;

        {
            D driver;
            driver.on("AuthPswDlg", unlock);
            QWidget other;
            other.show();
            QApplication::setActiveWindow(&other);
            QTRY_VERIFY_WITH_TIMEOUT(driver.done() && categories(window.get())->isVisible(), 5000);
            QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        }
        check(1, 1);

        window->close();
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        check(0, 0);
    }
};

QTEST_MAIN(TestHeapSecrets)
#include "tst_heapsecrets.moc"
