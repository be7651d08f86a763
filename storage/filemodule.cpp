#include "storage/filemodule.h"

#include <QFileInfo>
#include <QSaveFile>

namespace fileModule {

bool CheckFileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool CommitWhole(QSaveFile& file, const QByteArray& data) {
    qint64 done = 0;
    while (done < data.size()) {
        // A short write is followed by one that fails with the reason (a full disk, a quota).
        const qint64 n = file.write(data.constData() + done, data.size() - done);
        if (n <= 0)
            return false; // the caller reads the reason, then cancels

        done += n;
    }
    return file.commit();
}

} // namespace fileModule
