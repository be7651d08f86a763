#pragma once

#include <QFile>
#include <QTest>

// Files as the tests see them, byte for byte. Qt Core only, so that the
// storage test can use it too.
namespace testsupport {

// Mode 0600 as Qt reports it for the file's owner.
constexpr QFile::Permissions OwnerOnly{QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                       QFile::WriteUser};

inline QByteArray bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
inline void put(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

} // namespace testsupport
