#pragma once
// File helpers of the store tests, and a limit on the size of files this
// process may write, so that a write fails part-way even for root (a
// read-only directory would not stop root).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool putBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The permission bits of a file or folder (0644 and the like); -1 when
// there is none.
inline int modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A file that others may read, as one that another program left.
inline bool putReadable(const QString& path, const QByteArray& bytes)
{
    return putBytes(path, bytes) && ::chmod(QFile::encodeName(path).constData(), 0644) == 0;
}

// A fresh temporary working directory holding an empty "data" folder, as
// the program finds it at its first start (or none, for a test of its
// creation); the old one comes back at the end.
class ScratchCwd {
public:
    enum Data { WithData, WithoutData };

    explicit ScratchCwd(Data data = WithData) : m_old(QDir::currentPath())
    {
        m_ok = QDir::setCurrent(m_dir.path()) && (data == WithoutData || QDir().mkpath("data"));
    }
    ~ScratchCwd() { QDir::setCurrent(m_old); }
    bool ok() const { return m_ok; }

private:
    QString m_old;
    QTemporaryDir m_dir;
    bool m_ok = false;
};

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lim = m_old;
        lim.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};
