#include "varnex/model/repository.h"
#include "varnex/model/savefile.h"

#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int Sha1 = QCryptographicHash::Sha1;
constexpr int CheckSize = 20;
constexpr int SaltBits = 128;

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

} // namespace

struct Repository::Fields {
    QByteArray check;
    QByteArray salt;
    QByteArray payload;
    bool payloadOk = false;
};

Repository::Repository(const QString& path) : m_path(path.isEmpty() ? defaultPath() : path) {}

QString Repository::defaultPath()
{
    return QDir::currentPath() + QDir::separator() + QLatin1String("data") + QDir::separator()
           + QLatin1String("Varnex2013_v1.bpk");
}

QByteArray Repository::keyFromPassword(const QString& password)
{
    return Hash(Sha1).hash(password);
}

bool Repository::exists() const
{
    return QFile::exists(m_path);
}

// Reads the three fields. StOk means the check value and the salt are
// whole; whether the payload came in whole is in f.payloadOk.
Repository::Status Repository::readFields(Fields& f) const
{
    if (m_path.isEmpty())
        return StMissing;
    QFile file(m_path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return StMissing;
    QDataStream in(&file);
    in >> f.check >> f.salt;
    if (in.status() != QDataStream::Ok || f.check.size() != CheckSize)
        return StDamaged;
    in >> f.payload;
    f.payloadOk = in.status() == QDataStream::Ok;
    return StOk;
}

bool Repository::isRightMainKey(const QByteArray& key, Status* status) const
{
    Fields f;
    Status st = readFields(f);
    bool right = false;
    if (st == StOk) {
        const QByteArray computed = Hash(Sha1).hash(key, f.salt);
        right = computed.size() == f.check.size() && computed == f.check;
        qDebug() << "Repository::isRightMainKey" << "check value lengths:" << computed.size()
                 << f.check.size() << "match:" << right;
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
    return isRightMainKey(keyFromPassword(password));
}

bool Repository::read(const QByteArray& key, QByteArray& payload, Status* status) const
{
    Status st = StMissing;
    bool ok = false;
    if (!m_path.isEmpty() && !key.isEmpty()) {
        qDebug() << "Repository::read" << "key length:" << key.size();
        Fields f;
        st = readFields(f);
        if (st == StOk) {
            const QByteArray computed = Hash(Sha1).hash(key, f.salt);
            if (computed.size() != f.check.size() || computed != f.check) {
                st = StWrongKey;
            } else if (!f.payloadOk) {
                st = StDamaged;
            } else {
                Cipher(0).decrypt(f.payload, key, payload);
                st = payload.isEmpty() ? StEmpty : StOk;
                ok = true;
            }
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
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug() << "Repository::write" << "cannot open" << m_path;
        return false;
    }
    QDataStream out(&file);
    out << check << salt << enciphered;
    const bool committed = commitWhole(file, out);
    qDebug() << "Repository::write" << m_path << "payload length:" << payload.size()
             << "committed:" << committed;
    return committed;
}

bool Repository::read(const QByteArray& key, CardMap& descr, FolderMap& safe, Status* status) const
{
    QByteArray payload;
    Status st;
    if (!read(key, payload, &st)) {
        if (status)
            *status = st;
        return false;
    }
    qDebug() << "Repository::read" << "payload length:" << payload.size();
    descr.clear();
    safe.clear();
    if (payload.isEmpty()) {
        if (status)
            *status = StEmpty;
        return false;
    }
    CardMap d;
    FolderMap s;
    QDataStream in(payload);
    in >> d >> s;
    if (in.status() != QDataStream::Ok) {
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
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out << descr << safe;
        if (out.status() != QDataStream::Ok)
            return false;
    }
    qDebug() << "Repository::write" << "categories:" << descr.size() << "folders:" << safe.size()
             << "payload length:" << payload.size();
    return write(key, payload);
}

bool Repository::changeKey(const QByteArray& oldKey, const QByteArray& newKey) const
{
    if (!isRightMainKey(oldKey))
        return false;
    QByteArray payload;
    if (!read(oldKey, payload))
        return false;
    return write(newKey, payload);
}

bool Repository::changeKey(const QString& oldPassword, const QString& newPassword) const
{
    if (!isRightMainKey(oldPassword))
        return false;
    return changeKey(keyFromPassword(oldPassword), keyFromPassword(newPassword));
}

bool Repository::makeMainPsw(const QString& password) const
{
    if (exists()) {
        qDebug() << "Repository::makeMainPsw" << "a store exists already:" << m_path;
        return false;
    }
    const QString dir = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(dir)) {
        qDebug() << "Repository::makeMainPsw" << "cannot create" << dir;
        return false;
    }
    qDebug() << "Repository::makeMainPsw" << m_path;
    return write(keyFromPassword(password), QByteArray());
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
    QDataStream out(&file);
    out << input1;
    return out.status() == QDataStream::Ok && flushToDisk(file);
}

bool Repository::saveBackup(const QString& target) const
{
    return QFile::copy(m_path, target);
}

bool Repository::restoreBackup(const QString& source, const QString& target)
{
    return QFile::copy(source, target);
}
