#pragma once
// Writing the program's own files. The store, its backups, the settings,
// the containers and the image sets are readable by their owner only, and
// so is a data folder the program makes.
//
// Finishing an atomic replacement: QSaveFile alone can commit a file that a
// short write left incomplete (a full disk, a file-size limit), so the
// flush and the written size are checked first, and the stream's status
// where one wrote. A failure cancels the replacement: the old file stays.

#include <QFileDevice>

class QDataStream;
class QSaveFile;
class QString;

namespace Nb {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Opens the replacement for writing; its temporary file takes the mode, and
// the committed file has it: a new file would otherwise follow the umask,
// and a replaced one keep the mode it had.
bool openOwnerOnly(QSaveFile& file);

bool commitWhole(QSaveFile& file);
bool commitWhole(QSaveFile& file, const QDataStream& stream);

// The folder, made with its missing parents when it is not there; the
// folder made is its owner's alone. One that exists is left as it is.
bool makeOwnerDir(const QString& path);

// A plain copy, never over an existing file, readable by its owner only
// (a copy takes the mode of its source).
bool copyOwnerOnly(const QString& from, const QString& to);

} // namespace Nb
