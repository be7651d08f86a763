#pragma once

#include <QString>

#include <sys/stat.h>

namespace testsupport {

// Permission bits as the system keeps them (Qt's flags mix owner and user).
inline int fileMode(const QString& path) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

} // namespace testsupport
