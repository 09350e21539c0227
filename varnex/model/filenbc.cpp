#include "varnex/model/filenbc.h"
#include "qtnb/SaveFile.h"

#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

} // namespace

FileNbc::FileNbc(const QString& dir) : m_dir(dir.isEmpty() ? defaultDir() : dir) {}

QString FileNbc::defaultDir()
{
    return QDir::currentPath() + QDir::separator() + QLatin1String("data") + QDir::separator();
}

bool FileNbc::prepare(QDir& dir) const
{
    dir.setPath(m_dir);
    if (!Nb::makeOwnerDir(m_dir))
        return false;
    dir.setNameFilters(QStringList() << QStringLiteral("*.nbc"));
    return true;
}

QStringList FileNbc::names() const
{
    QDir dir;
    if (!prepare(dir))
        return QStringList();
    return dir.entryList(QDir::Files, QDir::NoSort);
}

QFileInfoList FileNbc::infos() const
{
    QDir dir;
    if (!prepare(dir))
        return QFileInfoList();
    return dir.entryInfoList(QDir::Files, QDir::NoSort);
}

QString FileNbc::pathOf(const QString& name) const
{
    return isPlainName(name) ? m_dir + name : QString();
}

bool FileNbc::read(const QString& name, QByteArray& bytes) const
{
    const QString path = pathOf(name);
    QFile file(path);
    if (path.isEmpty() || !file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    QDataStream in(&file);
    QByteArray read;
    in >> read;
    if (in.status() != QDataStream::Ok)
        return false;
    bytes = read;
    qDebug() << "read" << path << "length:" << bytes.size();
    return true;
}

bool FileNbc::write(const QString& name, const QByteArray& bytes) const
{
    const QString path = pathOf(name);
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    if (!Nb::openOwnerOnly(file))
        return false;
    QDataStream out(&file);
    out << bytes;
    return Nb::commitWhole(file, out);
}

bool FileNbc::remove(const QString& name) const
{
    const QString path = pathOf(name);
    if (path.isEmpty())
        return false;
    return QFile::exists(path) ? QFile::remove(path) : true;
}

void FileNbc::removeAll(const QStringList& names) const
{
    for (const QString& name : names) {
        const QString path = pathOf(name);
        if (!path.isEmpty())
            QFile::remove(path);
    }
}
