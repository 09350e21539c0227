// Hostile scheme streams: read, check, order, write back and dump whatever
// the reader accepts. A scheme that validates must write back as many bytes
// as it was read from, and read again and rewrite to the same bytes.

#include <cstdint>
#include <cstring>
#include <QByteArray>
#include <QDataStream>
#include <QDebug>
#include <QString>

#include "qtnb/Scheme.h"

namespace {

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

QByteArray writeBack(const Nb::Scheme& scheme, bool withSize, int32_t& n)
{
    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly);
    n = scheme.writeScheme(stream, withSize);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(silence), true);
    (void)quiet;
    if (size < 4 || size > (1 << 20))
        return 0;

    // The first four bytes are the size word the reader is given, so that
    // sizes that lie about the records are tried too.
    int32_t declared = 0;
    std::memcpy(&declared, data, 4);
    const QByteArray records(reinterpret_cast<const char*>(data) + 4, int(size - 4));

    Nb::Scheme scheme;
    QDataStream in(records);
    const int32_t read = scheme.readScheme(in, declared);

    const bool valid = scheme.validate();
    const bool circled = scheme.circled();
    if (valid && circled)
        __builtin_trap();
    scheme.rvalidate();

    Nb::Slots in_, spIn, spOut, conv;
    scheme.find(&in_, &spIn, &spOut, &conv);
    Nb::Slots all = conv + spOut + spIn + in_;
    if (!scheme.order(all) || all.size() != scheme.count())
        __builtin_trap();
    // Slots that share a number share a key: only a valid scheme has one
    // order.
    for (int i = 0; valid && i < all.size(); ++i)
        if (all.at(i) != scheme.at(int32_t(i)))
            __builtin_trap();
    for (int i = 0; i < scheme.count(); ++i) {
        Nb::Slots out;
        scheme.collect(out, scheme.at(int32_t(i))->links(), false);
        scheme.linkedBy(out, scheme.slotId(i), false);
    }

    int32_t written = 0;
    const QByteArray back = writeBack(scheme, false, written);
    if (read >= 0 && valid) {
        if (written != read || scheme.size() != read)
            __builtin_trap();
        Nb::Scheme again;
        QDataStream in2(back);
        if (again.readScheme(in2, written) != written || !again.validate())
            __builtin_trap();
        int32_t rewritten = 0;
        if (writeBack(again, true, rewritten).mid(4) != back)
            __builtin_trap();
    }

    Nb::Scheme copy;
    copy.assign(scheme);
    copy.validate();

    QString text;
    {
        QDebug dbg(&text);
        dbg << scheme;
    }
    return 0;
}
