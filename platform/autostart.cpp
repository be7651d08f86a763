#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform {
namespace {

// One Exec argument in double quotes, as desktop files want it: ", `, $ and
// \ behind a backslash, which is doubled because the value is itself an
// escaped string.
QString quotedArgument(const QString& arg) {
    QString out = QStringLiteral("\"");
    for (QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += QStringLiteral("\\\\");
        out += c;
    }
    return out + u'"';
}

} // namespace

QString autostartEntryPath(const QString& appId) {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + appId + QStringLiteral(".desktop");
}

bool autostartEnabled(const QString& appId) {
    return QFileInfo::exists(autostartEntryPath(appId));
}

bool setAutostart(const QString& appId, const QString& executable, bool enabled) {
    const QString path = autostartEntryPath(appId);
    if (!enabled)
        return !QFileInfo::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    // Trays of some desktops come up after the session's programs: start a
    // little later (desktops that know the key); the icon appears whenever
    // a tray does, and nothing else waits for one.
    const QByteArray entry = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=KelvoMonitor\n"
                             "Exec=" +
                             quotedArgument(executable).toUtf8() +
                             "\n"
                             "Icon=" +
                             appId.toUtf8() +
                             "\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n"
                             "X-GNOME-Autostart-Delay=10\n";
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(entry) == entry.size() && file.commit();
}

} // namespace platform
