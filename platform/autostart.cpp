#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform {
namespace {

// One Exec argument as desktops read it back: in double quotes with ", `,
// $ and \ behind a backslash, % doubled (a field code otherwise), and then
// escaped once more as any value of a desktop file is.
QString quotedArgument(const QString& arg) {
    QString quoted = QStringLiteral("\"");
    for (QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        else if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted += u'"';
    QString value;
    for (QChar c : quoted) {
        switch (c.unicode()) {
        case '\\':
            value += QStringLiteral("\\\\");
            break;
        case '\n':
            value += QStringLiteral("\\n");
            break;
        case '\r':
            value += QStringLiteral("\\r");
            break;
        case '\t':
            value += QStringLiteral("\\t");
            break;
        default:
            value += c;
        }
    }
    return value;
}

// GLib looks for the program named by the line before it reads %% as %,
// and then starts nothing: a path with % is started through env.
QString execLine(const QString& executable) {
    const QString program = quotedArgument(executable);
    return executable.contains(u'%') ? QStringLiteral("env ") + program : program;
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
                             execLine(executable).toUtf8() +
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
