#include "varnex/model/repository.h"
#include "varnex/model/filenbc.h"
#include "qtnb/SaveFile.h"
#include "qtnb/Wipe.h"

#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QVector>
#include <QtEndian>

#include <cstring>
#include <type_traits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int Sha1 = QCryptographicHash::Sha1;
constexpr int CheckSize = 20;
constexpr int SaltBits = 128;
constexpr qint64 MaxFileSize = 1ll << 30; // far above any store; refuses to load a giant
constexpr qint64 HeadSize = 4096;          // enough for the check value and the salt

// Pushes what was written in place down to the disk, so that an erase
// really replaces the old bytes before the name goes away.
bool flushToDisk(QFile& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        return false;
#endif
    return true;
}

// Reads the streamed forms straight from memory: the same bytes as
// QDataStream's (big-endian lengths and counts, QString as a byte length and
// UTF-16BE units, 0xFFFFFFFF for a null string or array), at a fraction of
// the cost of going through a device for every string. Every length is
// checked against what is left; a map entry whose key repeats replaces the
// earlier one.
class StreamReader {
public:
    explicit StreamReader(const QByteArray& bytes)
        : m_begin(reinterpret_cast<const uchar*>(bytes.constData())), m_p(m_begin),
          m_end(m_begin + bytes.size())
    {
    }
    bool ok() const { return m_ok; }
    qint64 pos() const { return m_p - m_begin; }

    bool u32(quint32& v)
    {
        if (!m_ok || m_end - m_p < 4)
            return m_ok = false;
        v = qFromBigEndian<quint32>(m_p);
        m_p += 4;
        return true;
    }

    bool bytes(QByteArray& a)
    {
        quint32 n = 0;
        if (!u32(n))
            return false;
        if (n == 0xFFFFFFFFu) {
            a = QByteArray();
            return true;
        }
        if (quint64(m_end - m_p) < n)
            return m_ok = false;
        a = QByteArray(reinterpret_cast<const char*>(m_p), int(n));
        m_p += n;
        return true;
    }

    template <typename Map>
    bool readMap(Map& map)
    {
        map.clear();
        quint32 n = 0;
        if (!u32(n))
            return false;
        for (quint32 i = 0; i < n; ++i) {
            QString key;
            typename Map::mapped_type value;
            bool keyOk;
            if constexpr (std::is_same<typename Map::mapped_type, QString>::value)
                keyOk = label(key); // field labels repeat from card to card
            else
                keyOk = str(key);
            if (!keyOk || !read(value)) {
                map.clear();
                return false;
            }
            // Written from the greatest key down: the hint makes each insert cheap.
            map.insert(map.constBegin(), key, value);
        }
        return true;
    }

private:
    bool read(QString& s) { return str(s); }
    template <typename Map>
    bool read(Map& m)
    {
        return readMap(m);
    }

    bool str(QString& s)
    {
        quint32 n = 0;
        if (!u32(n))
            return false;
        if (n == 0xFFFFFFFFu) {
            s = QString();
            return true;
        }
        if ((n & 1) || quint64(m_end - m_p) < n)
            return m_ok = false;
        s.resize(int(n / 2));
        qFromBigEndian<ushort>(m_p, n / 2, s.data());
        m_p += n;
        return true;
    }

    // A field label seen before is shared rather than allocated again.
    bool label(QString& s)
    {
        if (m_end - m_p >= 4) {
            const quint32 n = qFromBigEndian<quint32>(m_p);
            if (n != 0xFFFFFFFFu && quint64(m_end - m_p - 4) >= n) {
                for (const Label& l : m_labels)
                    if (quint32(l.raw.size()) == n && std::memcmp(l.raw.constData(), m_p + 4, n) == 0) {
                        s = l.text;
                        m_p += 4 + n;
                        return true;
                    }
            }
        }
        const uchar* start = m_p;
        if (!str(s))
            return false;
        if (!s.isNull() && m_labels.size() < MaxLabels)
            m_labels.append(Label{QByteArray(reinterpret_cast<const char*>(start + 4), s.size() * 2), s});
        return true;
    }

    struct Label {
        QByteArray raw;
        QString text;
    };
    static constexpr int MaxLabels = 64;
    QVector<Label> m_labels;

    const uchar* m_begin;
    const uchar* m_p;
    const uchar* m_end;
    bool m_ok = true;
};

// Writes the stream forms that StreamReader reads, straight into a buffer
// of the exact size: a buffer that grows leaves copies of the plain content
// in the memory it gives back, and so does QDataStream's byte swapping of
// a long string.
class StreamWriter {
public:
    static qint64 sizeOf(const QString& s) { return 4 + (s.isNull() ? 0 : 2 * qint64(s.size())); }
    template <typename Map>
    static qint64 sizeOf(const Map& map)
    {
        qint64 n = 4;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            n += sizeOf(it.key()) + sizeOf(it.value());
        return n;
    }

    explicit StreamWriter(QByteArray& out) : m_p(reinterpret_cast<uchar*>(out.data())) {}

    void put(const QString& s)
    {
        if (s.isNull()) {
            u32(0xFFFFFFFFu);
            return;
        }
        u32(quint32(2 * s.size()));
        qToBigEndian<ushort>(s.utf16(), s.size(), m_p);
        m_p += 2 * s.size();
    }
    // From the greatest key down, as QDataStream writes a QMap.
    template <typename Map>
    void put(const Map& map)
    {
        u32(quint32(map.size()));
        for (auto it = map.cend(); it != map.cbegin();) {
            --it;
            put(it.key());
            put(it.value());
        }
    }

private:
    void u32(quint32 v)
    {
        qToBigEndian(v, m_p);
        m_p += 4;
    }

    uchar* m_p;
};

// The key is right when SHA-1 over it and the salt equals the check value.
bool checkMatches(const QByteArray& key, const QByteArray& salt, const QByteArray& check)
{
    const QByteArray computed = Hash(Sha1).hash(key, salt);
    return computed.size() == check.size() && computed == check;
}

} // namespace

struct Repository::Fields {
    QByteArray check;
    QByteArray salt;
    qint64 payloadPos = 0;  // where the payload starts in the file
    qint64 payloadSize = 0;
    bool payloadOk = false; // the file holds the whole payload
};

Repository::Repository(const QString& path) : m_path(path.isEmpty() ? defaultPath() : path) {}

QString Repository::defaultPath()
{
    return FileNbc::defaultDir() + QLatin1String("Varnex2013_v1.bpk");
}

QByteArray Repository::keyFromPassword(const QString& password)
{
    return Hash(Sha1).hash(password);
}

bool Repository::exists() const
{
    return QFile::exists(m_path);
}

// Reads the check value and the salt, and finds the payload. StOk means
// the first two fields are whole; whether the payload is, is in payloadOk.
Repository::Status Repository::readFields(const QByteArray& bytes, qint64 fileSize, Fields& f)
{
    StreamReader in(bytes);
    quint32 n = 0;
    if (!in.bytes(f.check) || !in.bytes(f.salt) || f.check.size() != CheckSize)
        return StDamaged;
    if (in.u32(n)) {
        f.payloadPos = in.pos();
        f.payloadSize = n == 0xFFFFFFFFu ? 0 : n;
        f.payloadOk = f.payloadPos + f.payloadSize <= fileSize;
    }
    return StOk;
}

bool Repository::isRightMainKey(const QByteArray& key, Status* status) const
{
    QFile file(m_path);
    if (m_path.isEmpty() || !file.exists() || !file.open(QIODevice::ReadOnly)) {
        if (status)
            *status = StMissing;
        return false;
    }
    return isRightMainKey(file, key, status);
}

bool Repository::isRightMainKey(QIODevice& file, const QByteArray& key, Status* status)
{
    Fields f;
    const qint64 size = file.size();
    Status st = size > MaxFileSize ? StDamaged : readFields(file.read(HeadSize), size, f);
    bool right = false;
    if (st == StOk) {
        right = checkMatches(key, f.salt, f.check);
        qDebug() << "Repository::isRightMainKey" << "check value length:" << f.check.size() << "match:" << right;
        if (!right)
            st = StWrongKey;
        else if (!f.payloadOk)
            st = StDamaged; // right key, but the content is cut short
    }
    if (status)
        *status = st;
    return right;
}

bool Repository::isRightMainKey(const QString& password) const
{
    const Nb::SecretBytes key(keyFromPassword(password));
    return isRightMainKey(key.bytes());
}

bool Repository::read(const QByteArray& key, QByteArray& payload, Status* status) const
{
    if (!m_path.isEmpty() && !key.isEmpty()) {
        qDebug() << "Repository::read" << "key length:" << key.size();
        QFile file(m_path);
        if (file.exists() && file.open(QIODevice::ReadOnly))
            return read(file, key, payload, status);
    }
    if (status)
        *status = StMissing;
    return false;
}

bool Repository::read(QIODevice& file, const QByteArray& key, QByteArray& payload, Status* status)
{
    // An empty key deciphers nothing: the cipher refuses it.
    if (key.isEmpty() || file.size() > MaxFileSize) {
        if (status)
            *status = key.isEmpty() ? StMissing : StDamaged;
        return false;
    }
    return readBytes(file.readAll(), key, payload, status);
}

bool Repository::readBytes(const QByteArray& fileBytes, const QByteArray& key, QByteArray& payload, Status* status)
{
    // Held here, so that a payload array that is the file's own is never
    // wiped before it has been deciphered.
    const QByteArray file(fileBytes);
    Fields f;
    Status st = key.isEmpty() ? StMissing : readFields(file, file.size(), f);
    bool ok = false;
    if (st == StOk) {
        if (!checkMatches(key, f.salt, f.check)) {
            st = StWrongKey;
        } else if (!f.payloadOk) {
            st = StDamaged;
        } else {
            // Into a buffer of its own, allocated once at its final size:
            // the file's bytes, enciphered, stay as they are for the caller.
            Nb::wipe(payload); // whatever the caller's array held
            const QByteArray enciphered =
                QByteArray::fromRawData(file.constData() + f.payloadPos, int(f.payloadSize));
            Cipher(0).decrypt(enciphered, key, payload);
            st = payload.isEmpty() ? StEmpty : StOk;
            ok = true;
        }
    }
    if (status)
        *status = st;
    return ok;
}

bool Repository::write(const QByteArray& key, const QByteArray& payload) const
{
    if (m_path.isEmpty() || key.isEmpty())
        return false;
    QByteArray salt;
    if (!Cipher::randomBytes(salt, SaltBits)) {
        qDebug() << "Repository::write" << "no random salt, nothing written";
        return false;
    }
    const QByteArray check = Hash(Sha1).hash(key, salt);
    QByteArray enciphered;
    Cipher(0).encrypt(payload, key, enciphered);

    QSaveFile file(m_path);
    if (!Nb::openOwnerOnly(file)) {
        qDebug() << "Repository::write" << "cannot open" << m_path;
        return false;
    }
    QDataStream out(&file);
    out << check << salt << enciphered;
    const bool committed = Nb::commitWhole(file, out);
    qDebug() << "Repository::write" << m_path << "payload length:" << payload.size()
             << "committed:" << committed;
    return committed;
}

bool Repository::read(const QByteArray& key, CardMap& descr, FolderMap& safe, Status* status) const
{
    Nb::SecretBytes payload;
    Status st;
    if (!read(key, payload.bytes(), &st)) {
        if (status)
            *status = st;
        return false;
    }
    qDebug() << "Repository::read" << "payload length:" << payload.size();
    return readContent(payload, descr, safe, status);
}

bool Repository::readContent(const QByteArray& payload, CardMap& descr, FolderMap& safe, Status* status)
{
    descr.clear();
    safe.clear();
    if (payload.isEmpty()) {
        if (status)
            *status = StEmpty;
        return false;
    }
    CardMap d;
    FolderMap s;
    StreamReader in(payload);
    if (!in.readMap(d) || !in.readMap(s)) {
        if (status)
            *status = StDamaged;
        return false;
    }
    descr.swap(d);
    safe.swap(s);
    if (status)
        *status = StOk;
    return !descr.isEmpty() && !safe.isEmpty();
}

bool Repository::write(const QByteArray& key, const CardMap& descr, const FolderMap& safe) const
{
    const qint64 size = StreamWriter::sizeOf(descr) + StreamWriter::sizeOf(safe);
    if (size > MaxFileSize)
        return false;
    Nb::SecretBytes payload(QByteArray(int(size), Qt::Uninitialized));
    StreamWriter out(payload.bytes());
    out.put(descr);
    out.put(safe);
    qDebug() << "Repository::write" << "categories:" << descr.size() << "folders:" << safe.size()
             << "payload length:" << payload.size();
    return write(key, payload);
}

bool Repository::changeKey(const QByteArray& oldKey, const QByteArray& newKey) const
{
    if (!isRightMainKey(oldKey))
        return false;
    Nb::SecretBytes payload;
    if (!read(oldKey, payload.bytes()))
        return false;
    return write(newKey, payload);
}

bool Repository::changeKey(const QString& oldPassword, const QString& newPassword) const
{
    if (!isRightMainKey(oldPassword))
        return false;
    const Nb::SecretBytes oldKey(keyFromPassword(oldPassword)), newKey(keyFromPassword(newPassword));
    return changeKey(oldKey.bytes(), newKey.bytes());
}

bool Repository::makeMainPsw(const QString& password) const
{
    if (exists()) {
        qDebug() << "Repository::makeMainPsw" << "a store exists already:" << m_path;
        return false;
    }
    const QString dir = QFileInfo(m_path).absolutePath();
    if (!Nb::makeOwnerDir(dir)) {
        qDebug() << "Repository::makeMainPsw" << "cannot create" << dir;
        return false;
    }
    qDebug() << "Repository::makeMainPsw" << m_path;
    const Nb::SecretBytes key(keyFromPassword(password));
    return write(key.bytes(), QByteArray());
}

bool Repository::erase() const
{
    if (!exists())
        return true;
    bool overwritten = false;
    {
        // In place, without truncation: the old bytes themselves become
        // zeros. The layout is the stream form of a zero array as long as
        // the file, i.e. 4 bytes more than the file held.
        QFile file(m_path);
        if (file.open(QIODevice::ReadWrite)) {
            const qint64 size = file.size();
            QDataStream out(&file);
            out << quint32(qMin<qint64>(size, 0xFFFFFFFEll));
            const QByteArray zeros(64 * 1024, '\0');
            for (qint64 left = size; left > 0 && out.status() == QDataStream::Ok;) {
                const int n = int(qMin<qint64>(left, zeros.size()));
                if (out.writeRawData(zeros.constData(), n) != n)
                    break;
                left -= n;
            }
            overwritten = out.status() == QDataStream::Ok && flushToDisk(file);
            file.close();
        }
    }
    const bool removed = QFile::remove(m_path);
    qDebug() << "Repository::erase" << m_path << "overwritten:" << overwritten << "removed:" << removed;
    return overwritten && removed;
}

bool Repository::write(const QByteArray& input1) const
{
    qDebug() << "bool Repository::write(const QByteArray & input1) const {" << "length:" << input1.size();
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadWrite))
        return false;
    file.setPermissions(Nb::OwnerOnly);
    QDataStream out(&file);
    out << input1;
    return out.status() == QDataStream::Ok && flushToDisk(file);
}

bool Repository::saveBackup(const QString& target) const
{
    return Nb::copyOwnerOnly(m_path, target);
}

bool Repository::restoreBackup(const QString& source, const QString& target)
{
    return Nb::copyOwnerOnly(source, target);
}

bool Repository::replaceFrom(const QString& source) const
{
    const QFileInfo from(source), to(m_path);
    if (m_path.isEmpty() || (to.exists() && from.canonicalFilePath() == to.canonicalFilePath()))
        return false;
    // A store as far as it can be seen without its key: the three fields whole.
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly) || in.size() > MaxFileSize)
        return false;
    const QByteArray bytes = in.readAll();
    Fields f;
    if (readFields(bytes, bytes.size(), f) != StOk || f.salt.size() != SaltBits / 8 || !f.payloadOk)
        return false;
    // A first start may have no folder yet: restoring is how a store comes
    // over to a new machine.
    if (!Nb::makeOwnerDir(to.absolutePath()))
        return false;
    // Beside the store, then renamed over it: the old store stays until the
    // copy is complete.
    QSaveFile file(m_path);
    if (!Nb::openOwnerOnly(file))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    const bool replaced = Nb::commitWhole(file);
    qDebug() << "Repository::replaceFrom" << source << "replaced:" << replaced;
    return replaced;
}
