#pragma once

#include <QString>

class QSaveFile;

namespace fileModule {

// True only for an existing file (not a folder). A path that cannot be looked
// at counts as missing.
bool CheckFileExists(const QString& path);

// Writes all of `data` to a QSaveFile opened WriteOnly | Unbuffered and
// commits it; false, with the system's reason in the file's errorString(),
// when any byte could not be written. The caller cancels a failed file once it
// has read the reason (cancelling replaces it). Through its write buffer Qt 6.4 commits
// a file that a full disk has cut short, so no byte goes through it.
bool CommitWhole(QSaveFile& file, const QByteArray& data);

} // namespace fileModule
