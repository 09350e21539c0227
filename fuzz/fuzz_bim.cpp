// Untrusted image-set bytes (".bim" files the user loads): read in memory,
// expecting the technology the bytes name and a fixed one, then written
// back and read again. No input may crash, over-read or allocate more than
// the bytes can hold.

#include "nb-cpp/BimBase.h"
#include "nb-cpp/Exception.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <QBuffer>
#include <QByteArray>

namespace {

void silent(QtMsgType, const QMessageLogContext&, const QString&) {}

void exercise(const QByteArray& bytes, const Nb::Uuid& expected)
{
    BimBase set;
    try {
        set.readBytes(bytes, expected);
    } catch (Exception) {
        if (set.count() != 0) // a refusal leaves the set empty here
            __builtin_trap();
        return;
    }
    // Every record read fits in the bytes it came from.
    qint64 total = BimBase::HeaderSize;
    for (int i = 0; i < set.count(); ++i) {
        int32_t n = 0;
        std::memcpy(&n, set.at(i), 4);
        if (n < 0)
            __builtin_trap();
        total += qint64(n) + 20;
    }
    if (total > bytes.size())
        __builtin_trap();

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    set.write(out, expected);
    // The same bytes come back, but for the reserved ones, written as zeros.
    if (out.data() != bytes.left(int(total)) && bytes.mid(4, 20) == QByteArray(20, '\0'))
        __builtin_trap();
    BimBase again;
    again.readBytes(out.data(), expected);
    if (again.count() != set.count())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(silent), true);
    (void)quiet;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    Nb::Uuid named;
    if (size >= 40)
        std::memcpy(named.data(), data + 24, Nb::Uuid::Size);
    exercise(bytes, named);
    exercise(bytes, Nb::Uuid("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}"));
    return 0;
}
