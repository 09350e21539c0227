// Untrusted container bytes (imported ".nbc" files): read as one nested run
// and as a few plain blocks, written back and dumped. No input may crash or
// over-read the readers.

#include "FuzzSetup.h"
#include "qtnb/Container.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QString>

namespace {

// Blocks and runs walked per input: the positional readers take every block
// alone, so the first few show all the paths that a thousand would.
constexpr int32_t Walked = 4;

// Reads from bytes on a device made once: a stream over a byte array makes a
// new buffer device each time, which costs more than most reads.
int32_t readFrom(const QByteArray& bytes, Nb::Container& c, int32_t n, int skipped = 0)
{
    static QBuffer* const device = new QBuffer;
    device->close();
    device->setData(bytes);
    device->open(QIODevice::ReadOnly);
    QDataStream in(device);
    in.skipRawData(skipped);
    return c.readContainer(in, n);
}

// Reads n blocks (one nested run for n <= 0); what was read must write back
// to bytes that read again to as many blocks.
bool readBack(const QByteArray& bytes, Nb::Container& c, int32_t n)
{
    const int32_t r = readFrom(bytes, c, n);
    if (r > bytes.size())
        __builtin_trap();
    QByteArray out;
    {
        QDataStream s(&out, QIODevice::WriteOnly);
        c.writeContainer(s, true);
    }
    if (r >= 0) {
        Nb::Container again;
        if (readFrom(out, again, c.count() > 0 ? c.count() : 1, 4) < 0 && c.count() > 0)
            __builtin_trap();
    }
    return r >= 0;
}

// Positional readers over the first blocks, and the nested runs they head.
void walk(const Nb::Container& c)
{
    for (int32_t i = 0; i < std::min(c.count(), Walked); ++i) {
        const Nb::Block* b = c.at(i);
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
    int32_t runs = 0;
    for (int32_t head = c.nextHead(0); head < c.count() && runs < Walked; head = c.nextHead(head + 1), ++runs) {
        Nb::Container run;
        if (run.assignRun(c, head) && run.count() > c.count() - head)
            __builtin_trap();
    }
    c.hasInnerHead();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    // Both reads start at the same byte: a run that got three blocks far read
    // them as the plain read would, so that read is left to the inputs whose
    // run stopped sooner.
    Nb::Container c;
    bool read = readBack(bytes, c, -1);
    if (c.count() < 3)
        read = readBack(bytes, c, 3);
    walk(c);
    // The first blocks are dumped only when the read succeeded: a dump of
    // every broken read cost more than the reading.
    if (read) {
        QString text;
        QDebug dbg(&text);
        for (int32_t i = 0; i < std::min(c.count(), 3); ++i)
            dbg << *c.at(i);
    }

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
