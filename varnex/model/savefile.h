#pragma once
// Writing the program's own files. The store, its backups, the settings and
// the containers are readable by their owner only, and so is a data folder
// the program makes. QSaveFile alone can commit a file that a short write
// left incomplete (a full disk, a file-size limit), so the stream status,
// the flush and the written size are all checked first.

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>

inline constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The replacement's temporary file takes the mode, and the committed file
// has it: a new file would otherwise follow the umask, and a replaced one
// keep the mode it had.
inline bool openOwnerOnly(QSaveFile& file)
{
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(OwnerOnly);
    return true;
}

inline bool commitWhole(QSaveFile& file, const QDataStream& stream)
{
    if (stream.status() != QDataStream::Ok || !file.flush() || file.size() != file.pos()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// The folder, made with its missing parents when it is not there; the
// folder made is its owner's alone. One that exists is left as it is.
inline bool makeOwnerDir(const QString& path)
{
    if (QDir(path).exists())
        return true;
    if (!QDir().mkpath(path))
        return false;
    QFile::setPermissions(path, OwnerOnly | QFileDevice::ExeOwner);
    return true;
}

// A plain copy, never over an existing file, readable by its owner only
// (a copy takes the mode of its source).
inline bool copyOwnerOnly(const QString& from, const QString& to)
{
    if (!QFile::copy(from, to))
        return false;
    QFile::setPermissions(to, OwnerOnly);
    return true;
}
