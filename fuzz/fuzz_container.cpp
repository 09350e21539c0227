// Untrusted container bytes (imported ".nbc" files): read as one nested run
// and as a few plain blocks, written back and dumped. No input may crash or
// over-read the readers.

#include "qtnb/Container.h"

#include <cstddef>
#include <cstdint>
#include <QByteArray>
#include <QDataStream>
#include <QString>

namespace {

void silent(QtMsgType, const QMessageLogContext&, const QString&) {}

void exercise(const QByteArray& bytes, int32_t n)
{
    Nb::Container c;
    QDataStream in(bytes);
    const int32_t r = c.readContainer(in, n);
    if (r >= 0 && r > bytes.size())
        __builtin_trap();

    QByteArray out;
    {
        QDataStream s(&out, QIODevice::WriteOnly);
        c.writeContainer(s, true);
    }
    QString text;
    {
        QDebug dbg(&text);
        dbg << c;
    }
    // Read back what was written: it must give the same blocks.
    if (r >= 0) {
        Nb::Container again;
        QDataStream back(out);
        Nb::Data total;
        total.read(back, false, 4);
        if (again.readContainer(back, c.count() > 0 ? c.count() : 1) < 0 && c.count() > 0)
            __builtin_trap();
    }
    // Positional readers over every block.
    for (const Nb::Block* b : c.blocks()) {
        int32_t pos = 0;
        uint16_t u16 = 0;
        int32_t i32 = 0;
        Nb::Uuid id;
        Nb::Data d;
        b->pop(pos, u16).pop(pos, i32).pop(pos, id);
        pos = 0;
        b->pop(pos, d, true);
        pos = 1;
        b->skip(pos, i32);
    }
    // Every nested run the blocks hold.
    for (int32_t head = c.nextHead(0); head < c.count(); head = c.nextHead(head + 1)) {
        Nb::Container run;
        if (run.assignRun(c, head) && run.count() > c.count() - head)
            __builtin_trap();
    }
    c.hasInnerHead();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(silent), true);
    (void)quiet;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    exercise(bytes, -1);
    exercise(bytes, 1);
    exercise(bytes, 3);
    // The same bytes as a length-prefixed buffer that crosses the engine's interface.
    const Nb::Data view(bytes);
    QString text;
    {
        QDebug dbg(&text);
        dbg << view;
    }
    text = view.toString();
    return 0;
}
