#include "platform/tray.h"

#include "platform/appicon.h"
#include "platform/placement.h"
#include "platform/traywatcher.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTextDocument>

namespace platform {

namespace {

// The kind of tray Qt 6.4 took with the first icon of the process: it keeps
// it for the rest of the run (QTBUG-94871), so later icons can only live in
// a tray of the same kind.
enum class QtTray { Undecided, StatusNotifier, XEmbed };
QtTray s_qtTray = QtTray::Undecided;

} // namespace

QString plainToolTip(const QString& text) {
    return text.isEmpty() ? text : Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

QString statusNotifierToolTip(const QString& text) {
    return text.toHtmlEscaped();
}

void forgetTrayKindForTesting() {
    s_qtTray = QtTray::Undecided;
}

TrayIcon::TrayIcon(const QString& tip, QMenu* menu, QObject* parent)
    : QObject(parent), m_tip(tip), m_menu(menu), m_watcher(createTrayWatcher(this)) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(2000);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_xembedSettled = true;
        update();
    });
    connect(m_watcher, &TrayWatcher::changed, this, &TrayIcon::update);
}

TrayIcon::~TrayIcon() {
    remove();
}

void TrayIcon::update() {
    const bool sni = m_watcher->statusNotifierHost();
    const bool xembed = m_watcher->xembedTray();
    if (!xembed) {
        m_xembedSettled = false;
        m_settle.stop();
    } else if (!m_xembedSettled && !m_settle.isActive()) {
        m_settle.start();
    }
    bool usable = false;
    switch (s_qtTray) {
    case QtTray::Undecided:
        usable = sni || (xembed && m_xembedSettled);
        break;
    case QtTray::StatusNotifier:
        usable = sni;
        break;
    case QtTray::XEmbed:
        usable = xembed;
        break;
    }
    // A tray is there but of the other kind than the one Qt took: the icon
    // cannot come back into it for the rest of the run.
    const bool otherKind = m_wanted && !usable && s_qtTray != QtTray::Undecided &&
                           (s_qtTray == QtTray::StatusNotifier ? xembed : sni);
    if (otherKind && !m_otherKindTold) {
        qCWarning(lcTray) << "a tray of another kind than this run's icon"
                          << (sni ? "(StatusNotifierItem host)" : "(XEmbed tray)")
                          << "is there: the icon cannot be shown in it";
        m_otherKindTold = true;
        Q_EMIT trayOfAnotherKind();
    } else if (!otherKind) {
        m_otherKindTold = false;
    }
    if (usable && m_wanted && !m_icon) {
        if (s_qtTray == QtTray::Undecided)
            s_qtTray = sni ? QtTray::StatusNotifier : QtTray::XEmbed;
        createIcon();
        qCInfo(lcTray) << "icon shown in"
                       << (s_qtTray == QtTray::StatusNotifier ? "a StatusNotifierItem host"
                                                              : "an XEmbed tray");
        Q_EMIT shownChanged(true);
    } else if (m_icon && (!usable || !m_wanted)) {
        // Made anew when a tray comes back: a new icon registers afresh.
        m_icon->hide();
        m_icon->deleteLater();
        m_icon = nullptr;
        qCInfo(lcTray) << "icon removed";
        Q_EMIT shownChanged(false);
    }
}

void TrayIcon::createIcon() {
    m_icon = new QSystemTrayIcon(appIcon(), this);
    m_icon->setToolTip(shownTip());
    // Exported so that StatusNotifierItem hosts can draw it; XEmbed trays pop it on a right press.
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // StatusNotifierItem hosts know no double click: their click (Activate)
        // arrives as Trigger. On XEmbed trays a single click stays a no-op.
        const bool sni = s_qtTray == QtTray::StatusNotifier;
        if (reason == QSystemTrayIcon::DoubleClick || (sni && reason == QSystemTrayIcon::Trigger))
            Q_EMIT checkNowRequested();
        else if (reason == QSystemTrayIcon::Context)
            Q_EMIT menuRequested();
    });
    m_icon->show();
}

void TrayIcon::add() {
    m_wanted = true;
    update();
}

void TrayIcon::remove() {
    m_wanted = false;
    update();
}

bool TrayIcon::isShown() const {
    return m_icon && m_icon->isVisible();
}

void TrayIcon::setToolTip(const QString& tip) {
    m_tip = tip;
    if (m_icon)
        m_icon->setToolTip(shownTip());
}

QString TrayIcon::shownTip() const {
    return s_qtTray == QtTray::StatusNotifier ? statusNotifierToolTip(m_tip) : plainToolTip(m_tip);
}

void TrayIcon::showMessage(const QString& title, const QString& text) {
    if (m_icon)
        m_icon->showMessage(title, text, QSystemTrayIcon::Information, 10000);
}

void TrayIcon::popupMenu() {
    if (m_menu && !m_menu->isVisible())
        m_menu->popup(QCursor::pos());
}

void TrayIcon::popupMenuCentered() {
    if (!m_menu)
        return;
    const QRect area = basWin32API::workArea();
    const QSize size = m_menu->sizeHint();
    m_menu->popup(area.center() - QPoint(size.width() / 2, size.height() / 2));
    // Ready for the keyboard at once: arrows move, Enter chooses, Esc closes.
    const auto actions = m_menu->actions();
    if (!actions.isEmpty())
        m_menu->setActiveAction(actions.first());
}

} // namespace platform
