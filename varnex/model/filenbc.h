#pragma once
// The directory of the biometric container files ("data" under the current
// directory) and its "*.nbc" listing.

#include <QByteArray>
#include <QFileInfoList>
#include <QString>
#include <QStringList>

class FileNbc {
public:
    explicit FileNbc(const QString& dir = QString());

    // Current directory, separator, "data", separator.
    static QString defaultDir();
    QString directory() const { return m_dir; }

    // Both create the directory when it is missing.
    QStringList names() const;
    QFileInfoList infos() const;

    // A length-prefixed byte array in a file of the directory. Names must
    // be plain file names: nothing outside the directory is touched.
    bool read(const QString& name, QByteArray& bytes) const;
    bool write(const QString& name, const QByteArray& bytes) const;
    bool remove(const QString& name) const;
    void removeAll(const QStringList& names) const;

private:
    bool prepare(QDir& dir) const;
    QString pathOf(const QString& name) const;

    QString m_dir;
};
