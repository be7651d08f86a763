#include "platform/traywatcher.h"

#include <QAbstractNativeEventFilter>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>

Q_LOGGING_CATEGORY(lcTray, "kelvo.tray", QtWarningMsg)

namespace platform {

void TrayWatcher::setStatusNotifierHost(bool present) {
    set(m_statusNotifierHost, present, "StatusNotifierItem host");
}

void TrayWatcher::setXembedTray(bool present) {
    set(m_xembedTray, present, "XEmbed tray");
}

void TrayWatcher::set(bool& field, bool present, const char* what) {
    if (present == field)
        return;
    field = present;
    qCInfo(lcTray) << what << (present ? "there" : "gone");
    Q_EMIT changed();
}

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");

// Asks the session bus, never Qt: Qt 6.4 decides once per process whether a
// StatusNotifierItem host exists (QTBUG-94871), so asking it before a tray
// is there would leave the icon out for the rest of the run.
class SessionTrayWatcher : public TrayWatcher, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit SessionTrayWatcher(QObject* parent) : TrayWatcher(parent), m_bus(QDBusConnection::sessionBus()) {
        if (m_bus.isConnected())
            watchBus();
        auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (x11 && x11->connection() && QGuiApplication::platformName() == QLatin1String("xcb"))
            watchX11(x11->connection());
    }
    ~SessionTrayWatcher() override {
        if (m_x11)
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t")
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        switch (event->response_type & 0x7f) {
        case XCB_CLIENT_MESSAGE: {
            // A new tray announces itself with MANAGER on the root window.
            auto* cm = reinterpret_cast<xcb_client_message_event_t*>(event);
            if (cm->type == m_managerAtom && cm->data.data32[1] == m_selectionAtom)
                lookForXTray();
            break;
        }
        case XCB_DESTROY_NOTIFY:
            if (reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == m_trayOwner)
                lookForXTray();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void watchBus() {
        auto* services =
            new QDBusServiceWatcher(WatcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(services, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& owner) {
                    if (owner.isEmpty())
                        setStatusNotifierHost(false);
                    else
                        askHostRegistered();
                });
        for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
            m_bus.connect(WatcherService, WatcherPath, WatcherService, QString::fromLatin1(signal), this,
                          SLOT(askHostRegistered()));
        askHostRegistered();
    }

private Q_SLOTS:
    void askHostRegistered() {
        QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, WatcherPath,
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
        auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(get, 5000), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *w;
            // No watcher on the bus (or one that does not answer) is no host.
            setStatusNotifierHost(!reply.isError() && reply.value().variant().toBool());
        });
    }

private:
    xcb_atom_t atom(const char* name) {
        const auto cookie = xcb_intern_atom(m_x11, 0, uint16_t(qstrlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_x11, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        free(reply);
        return result;
    }

    void watchX11(xcb_connection_t* connection) {
        m_x11 = connection;
        const int screen = 0; // Qt's primary X screen; trays live on it
        m_selectionAtom = atom(QByteArray("_NET_SYSTEM_TRAY_S" + QByteArray::number(screen)).constData());
        m_managerAtom = atom("MANAGER");
        // Qt already listens to the root window's structure events, which
        // carry MANAGER; the tray's own window tells of its end.
        QCoreApplication::instance()->installNativeEventFilter(this);
        lookForXTray();
    }

    void lookForXTray() {
        const auto cookie = xcb_get_selection_owner(m_x11, m_selectionAtom);
        xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(m_x11, cookie, nullptr);
        m_trayOwner = reply ? reply->owner : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
        free(reply);
        if (m_trayOwner != XCB_WINDOW_NONE) {
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(m_x11, m_trayOwner, XCB_CW_EVENT_MASK, &mask);
            xcb_flush(m_x11);
        }
        setXembedTray(m_trayOwner != XCB_WINDOW_NONE);
    }

    QDBusConnection m_bus;
    xcb_connection_t* m_x11 = nullptr;
    xcb_atom_t m_selectionAtom = XCB_ATOM_NONE;
    xcb_atom_t m_managerAtom = XCB_ATOM_NONE;
    xcb_window_t m_trayOwner = XCB_WINDOW_NONE;
};

std::function<TrayWatcher*(QObject*)>& factory() {
    static std::function<TrayWatcher*(QObject*)> f;
    return f;
}

} // namespace

TrayWatcher* createTrayWatcher(QObject* parent) {
    if (factory())
        return factory()(parent);
    return new SessionTrayWatcher(parent);
}

void setTrayWatcherFactory(std::function<TrayWatcher*(QObject* parent)> f) {
    factory() = std::move(f);
}

} // namespace platform

#include "traywatcher.moc"
