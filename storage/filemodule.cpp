#include "storage/filemodule.h"

#include <QFileInfo>

namespace fileModule {

bool CheckFileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace fileModule
