#pragma once
// Finishing an atomic replacement. QSaveFile alone can commit a file that a
// short write left incomplete (a full disk, a file-size limit), so the
// stream status, the flush and the written size are all checked first.

#include <QDataStream>
#include <QSaveFile>

inline bool commitWhole(QSaveFile& file, const QDataStream& stream)
{
    if (stream.status() != QDataStream::Ok || !file.flush() || file.size() != file.pos()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
