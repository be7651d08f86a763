#pragma once

#include <QString>

namespace fileModule {

// True only for an existing file (not a folder). A path that cannot be looked
// at counts as missing.
bool CheckFileExists(const QString& path);

} // namespace fileModule
