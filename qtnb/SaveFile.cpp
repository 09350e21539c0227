#include "qtnb/SaveFile.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace Nb {

bool openOwnerOnly(QSaveFile& file)
{
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(OwnerOnly);
    return true;
}

bool commitWhole(QSaveFile& file)
{
    if (!file.flush() || file.size() != file.pos()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool commitWhole(QSaveFile& file, const QDataStream& stream)
{
    if (stream.status() != QDataStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return commitWhole(file);
}

bool makeOwnerDir(const QString& path)
{
    if (QDir(path).exists())
        return true;
    if (!QDir().mkpath(path))
        return false;
    QFile::setPermissions(path, OwnerOnly | QFileDevice::ExeOwner);
    return true;
}

bool copyOwnerOnly(const QString& from, const QString& to)
{
    if (!QFile::copy(from, to))
        return false;
    QFile::setPermissions(to, OwnerOnly);
    return true;
}

} // namespace Nb
