#include "qtnb/SaveFile.h"

#include <QDataStream>
#include <QSaveFile>

namespace Nb {

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

} // namespace Nb
