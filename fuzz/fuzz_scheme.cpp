// Hostile scheme streams: read, check, order, write back and dump whatever
// the reader accepts. A scheme that validates must be well formed by an
// independent check, write back as many bytes as it was read from, read
// again and rewrite to the same bytes, and travel unchanged through a Data
// buffer and a scheme block.

#include "FuzzSetup.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <QByteArray>
#include <QDataStream>
#include <QDebug>
#include <QString>

#include <QSet>

#include "qtnb/Container.h"
#include "qtnb/Data.h"
#include "qtnb/Scheme.h"

namespace {

QByteArray writeBack(const Nb::Scheme& scheme, bool withSize, int32_t& n)
{
    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly);
    n = scheme.writeScheme(stream, withSize);
    return out;
}

// What a valid scheme must be, checked apart from validate: a result in
// range, no nil id, distinct numbers, plain slots without links, and every
// converter reading only resolvable slots placed before it (a special output
// only after an earlier converter wrote it).
bool wellFormed(const Nb::Scheme& scheme)
{
    if (scheme.count() == 0)
        return true;
    if (scheme.out() < 0 || scheme.out() >= scheme.count())
        return false;
    QSet<uint16_t> numbers;
    for (int32_t i = 0; i < scheme.count(); ++i) {
        const Nb::Slot* slot = scheme.at(i);
        if (!slot || slot->id() == Nb::NilSlotId || numbers.contains(slot->id().number()))
            return false;
        numbers.insert(slot->id().number());
        if (slot->type() != Nb::StConv) {
            if (!slot->links().isEmpty() || !slot->nestedIds().isEmpty() || slot->flags() != 0 || slot->state() != 0)
                return false;
            continue;
        }
        for (Nb::SlotId link : slot->links()) {
            if (link.type() == Nb::StConv)
                return false;
            const int32_t j = scheme.indexOf(link);
            if (j < 0 || j >= scheme.count())
                return false;
            if (link.type() == Nb::StSpOut) {
                if (scheme.at(j)->type() != Nb::StSpOut)
                    return false;
                continue;
            }
            if (j >= i)
                return false;
            if (scheme.at(j)->type() == Nb::StSpOut) {
                Nb::Slots writers;
                scheme.linkedBy(writers, scheme.at(j)->id(), true);
                if (writers.isEmpty() || scheme.indexOf(writers.first()->id()) >= i)
                    return false;
            }
        }
        if (slot->id().block() != 0 && !slot->nestedIds().isEmpty())
            return false;
        if (slot->id().block() == 0 && slot->nestedIds().size() != slot->links().size())
            return false;
    }
    return true;
}

bool sameRecords(const Nb::Scheme& a, const Nb::Scheme& b)
{
    int32_t na = 0;
    int32_t nb = 0;
    return writeBack(a, false, na) == writeBack(b, false, nb) && na == nb && na > 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
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
    // Each lookup scans the whole scheme: the first slots show its paths,
    // where every slot made the input's cost grow with its square.
    for (int i = 0; i < std::min(scheme.count(), 8); ++i) {
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
        if (!wellFormed(scheme))
            __builtin_trap();
        // The same records through a Data buffer and a scheme block.
        Nb::Data buffer;
        Nb::Scheme viaData;
        if (!scheme.toData(buffer) || !viaData.fromData(buffer) || !sameRecords(scheme, viaData))
            __builtin_trap();
        Nb::Block block(Nb::BtCScheme);
        block.push(scheme);
        int32_t pos = 0;
        Nb::Scheme viaBlock;
        block.pop(pos, viaBlock);
        if (pos != block.size() || !sameRecords(scheme, viaBlock))
            __builtin_trap();
    }

    Nb::Scheme copy;
    copy.assign(scheme);
    copy.validate();

    // Dumped only when the reader accepts it: a dump of every broken scheme
    // cost more than the reading, and a few slots show every kind of slot.
    if (valid && scheme.count() <= 16) {
        QString text;
        QDebug dbg(&text);
        dbg << scheme;
    }
    return 0;
}
