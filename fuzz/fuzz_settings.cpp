// The settings file from outside (an old or damaged "settings.ini"): any
// bytes read into the record; the record writes, as the settings file is
// written, to bytes that read back to the same record, and the container
// name read is never longer than the bytes that held it.

#include "FuzzSetup.h"
#include "varnex/model/appsettings.h"

#include <cstddef>
#include <cstdint>
#include <QBuffer>
#include <QByteArray>
#include <QDataStream>

namespace {

AppSettings readFrom(const QByteArray& bytes)
{
    QBuffer file;
    file.setData(bytes);
    file.open(QIODevice::ReadOnly);
    AppSettings settings{1, "stale", 2};
    if (!loadSettings(file, settings))
        __builtin_trap();
    return settings;
}

bool same(const AppSettings& a, const AppSettings& b)
{
    return a.lockInterval == b.lockInterval && a.nbcFile == b.nbcFile && a.nbcFile.isNull() == b.nbcFile.isNull()
           && a.categoryRow == b.categoryRow;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const AppSettings settings = readFrom(bytes);
    if (qint64(settings.nbcFile.size()) * 2 > qint64(size))
        __builtin_trap();

    QByteArray out;
    {
        QDataStream s(&out, QIODevice::WriteOnly);
        s << settings.lockInterval << settings.nbcFile << settings.categoryRow;
    }
    if (!same(readFrom(out), settings))
        __builtin_trap();
    return 0;
}
