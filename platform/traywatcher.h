#pragma once

#include <QLoggingCategory>
#include <QObject>

#include <functional>

Q_DECLARE_LOGGING_CATEGORY(lcTray)

namespace platform {

// Which notification areas the session offers now: a StatusNotifierItem host
// on the session bus, an XEmbed tray on the X11 screen. Either may come late,
// go away and come back at any time of the run.
class TrayWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool statusNotifierHost() const { return m_statusNotifierHost; }
    bool xembedTray() const { return m_xembedTray; }

Q_SIGNALS:
    void changed();

protected:
    void setStatusNotifierHost(bool present);
    void setXembedTray(bool present);

private:
    void set(bool& field, bool present, const char* what);

    bool m_statusNotifierHost = false;
    bool m_xembedTray = false;
};

// A watcher of this session's notification areas. Tests hand out their own.
TrayWatcher* createTrayWatcher(QObject* parent);
void setTrayWatcherFactory(std::function<TrayWatcher*(QObject* parent)> factory);

} // namespace platform
