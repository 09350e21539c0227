#pragma once
// Finishing an atomic replacement. QSaveFile alone can commit a file that a
// short write left incomplete (a full disk, a file-size limit), so the
// flush and the written size are checked first, and the stream's status
// where one wrote. A failure cancels the replacement: the old file stays.

class QDataStream;
class QSaveFile;

namespace Nb {

bool commitWhole(QSaveFile& file);
bool commitWhole(QSaveFile& file, const QDataStream& stream);

} // namespace Nb
