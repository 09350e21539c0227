// Store files from outside (a restored backup, a damaged disk): the check
// value and the salt are read, the key checked, the payload found,
// deciphered and read. Every input is read twice: as it is, and with its
// check value made to match the key, so that the cipher and the payload
// reader are reached too; the seeds are stores under the same key, whose
// payload bytes, deciphered by a stream cipher, mutate like plain ones.

#include "FuzzSetup.h"
#include "varnex/model/repository.h"

#include <cstddef>
#include <cstdint>
#include <QBuffer>
#include <QByteArray>
#include <QCryptographicHash>
#include <QtEndian>

namespace {

// SHA-1 of "Пароль9", the key of the golden stores of the tests.
const QByteArray Key = QByteArray::fromHex("0699ae06ac08b14df974b4680f0a4d15c36c60d0");

// The readers' head read of isRightMainKey: inputs up to it read alike.
constexpr int HeadSize = 4096;

quint32 be32(const QByteArray& bytes, int at) { return qFromBigEndian<quint32>(bytes.constData() + at); }

// The payload length that a file which read announced, after its check
// value and its salt.
qint64 payloadLength(const QByteArray& bytes)
{
    const quint32 salt = be32(bytes, 24);
    const quint32 n = be32(bytes, 28 + int(salt == 0xFFFFFFFFu ? 0 : salt));
    return n == 0xFFFFFFFFu ? 0 : n;
}

// Reads the bytes as a store file; checks that the two readers agree and
// that a failed read leaves the payload as it was. Whether the payload was
// deciphered into payload.
bool readStore(const QByteArray& bytes, QByteArray& payload)
{
    QBuffer file;
    file.setData(bytes);
    file.open(QIODevice::ReadOnly);
    Repository::Status right = Repository::StMissing;
    const bool keyRight = Repository::isRightMainKey(file, Key, &right);
    file.seek(0);
    const QByteArray untouched("untouched");
    payload = untouched;
    Repository::Status st = Repository::StMissing;
    const bool read = Repository::read(file, Key, payload, &st);

    if (read != (st == Repository::StOk || st == Repository::StEmpty) || (!read && payload != untouched))
        __builtin_trap();
    // A damaged file may still hold a check value the key matches.
    if (keyRight ? right != Repository::StOk && right != Repository::StDamaged : right == Repository::StOk)
        __builtin_trap();
    if (bytes.size() <= HeadSize && (st == Repository::StEmpty ? Repository::StOk : st) != right)
        __builtin_trap();
    // What was deciphered is exactly what the payload's length announced.
    if (read && payload.size() != payloadLength(bytes))
        __builtin_trap();
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QByteArray payload;
    readStore(bytes, payload);

    // A 20-byte check value and a 16-byte salt, the form the store writes:
    // the check value is made to match, and the file must read unless its
    // payload is cut short.
    if (size < 48 || be32(bytes, 0) != 20 || be32(bytes, 24) != 16)
        return 0;
    QByteArray matching = bytes;
    const QByteArray check = QCryptographicHash::hash(Key + bytes.mid(28, 16), QCryptographicHash::Sha1);
    matching.replace(4, 20, check);
    const quint32 n = be32(bytes, 44);
    const bool whole = n == 0xFFFFFFFFu || qint64(n) <= qint64(size) - 48;
    if (readStore(matching, payload) != whole)
        __builtin_trap();
    CardMap descr;
    FolderMap safe;
    if (whole)
        Repository::readContent(payload, descr, safe);
    return 0;
}
