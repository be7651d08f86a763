#include "platform/tray.h"

#include "platform/appicon.h"
#include "platform/clock.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace platform {

TrayIcon::TrayIcon(const QString& tip, QMenu* menu, QObject* parent)
    : QObject(parent), m_icon(new QSystemTrayIcon(appIcon(), this)), m_menu(menu) {
    m_icon->setToolTip(tip);
    // Exported so that StatusNotifierItem hosts can draw it; XEmbed trays pop it on a right press.
    m_icon->setContextMenu(menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT checkNowRequested();
        else if (reason == QSystemTrayIcon::Context)
            Q_EMIT menuRequested();
    });
}

TrayIcon::~TrayIcon() {
    remove();
}

bool TrayIcon::waitForTray(int boundMs) {
    // Platforms without any tray will never get one.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    for (int waited = 0; !QSystemTrayIcon::isSystemTrayAvailable(); waited += 500) {
        if (waited >= boundMs)
            return false;
        Sleep(500);
    }
    return true;
}

void TrayIcon::add() {
    m_icon->show();
}

void TrayIcon::remove() {
    m_icon->hide();
}

bool TrayIcon::isShown() const {
    return m_icon->isVisible();
}

void TrayIcon::showMessage(const QString& title, const QString& text) {
    m_icon->showMessage(title, text, QSystemTrayIcon::Information, 10000);
}

void TrayIcon::popupMenu() {
    if (m_menu && !m_menu->isVisible())
        m_menu->popup(QCursor::pos());
}

} // namespace platform
