// The store's plain payload, as the key deciphers it: the category
// descriptors and the cards, two maps of texts. What reads must agree with
// Qt's own stream reading of the same bytes, and write back, as the store
// writes it, to bytes that read to the same maps; what does not read leaves
// both maps empty. Qt's stream reads only what the store's reader took:
// for a text that claims more bytes than there are, it allocates up to
// 2 MB before it finds them missing.

#include "FuzzSetup.h"
#include "varnex/model/repository.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <QByteArray>
#include <QDataStream>

namespace {

QByteArray written(const CardMap& descr, const FolderMap& safe)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << descr << safe;
    return out;
}

// Qt's stream keeps every entry of a repeated key, the store's reader the
// last one: the two agree only where no key repeats.
template <typename Map>
bool keysUnique(const Map& map)
{
    return std::adjacent_find(map.keyBegin(), map.keyEnd()) == map.keyEnd();
}

bool keysUnique(const FolderMap& safe)
{
    if (!keysUnique<FolderMap>(safe))
        return false;
    for (const CardMap& cards : safe) {
        if (!keysUnique<CardMap>(cards))
            return false;
        for (const FieldMap& fields : cards)
            if (!keysUnique<FieldMap>(fields))
                return false;
    }
    return true;
}

bool keysUnique(const CardMap& descr)
{
    if (!keysUnique<CardMap>(descr))
        return false;
    for (const FieldMap& fields : descr)
        if (!keysUnique<FieldMap>(fields))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray payload = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    CardMap descr{{"stale", FieldMap()}};
    FolderMap safe{{"stale", CardMap()}};
    Repository::Status st = Repository::StMissing;
    const bool full = Repository::readContent(payload, descr, safe, &st);

    if (st != Repository::StOk) {
        if (full || !descr.isEmpty() || !safe.isEmpty() || st != (size ? Repository::StDamaged : Repository::StEmpty))
            __builtin_trap();
        return 0;
    }
    if (full != (!descr.isEmpty() && !safe.isEmpty()))
        __builtin_trap();
    CardMap qtDescr;
    FolderMap qtSafe;
    QDataStream qt(payload);
    qt >> qtDescr >> qtSafe;
    if (qt.status() != QDataStream::Ok)
        __builtin_trap();
    if (keysUnique(qtDescr) && keysUnique(qtSafe) && (qtDescr != descr || qtSafe != safe))
        __builtin_trap();

    // Written as the store writes it, read again and written again: the
    // same maps and the same bytes.
    const QByteArray out = written(descr, safe);
    CardMap d2;
    FolderMap s2;
    Repository::readContent(out, d2, s2, &st);
    if (st != Repository::StOk || d2 != descr || s2 != safe || written(d2, s2) != out)
        __builtin_trap();
    return 0;
}
