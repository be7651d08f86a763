#pragma once

#include <QObject>

class QMenu;
class QSystemTrayIcon;

namespace platform {

// Mouse-message numbers with which the tray reports activity on the icon.
enum TrayMouseMessage {
    WM_LBUTTONUP = 0x202,
    WM_LBUTTONDBLCLK = 0x203,
    WM_RBUTTONDOWN = 0x204,
    WM_MBUTTONDOWN = 0x207
};

// The notification-area icon. It only reports what happened on it, as a
// mouse-message number; what to do about it is the main window's business.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(const QString& tip, QMenu* menu, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Started with the session, a program may come up before the tray:
    // waits (without user input) until one is there, at most `boundMs`.
    static bool waitForTray(int boundMs);

    void add();    // NIM_ADD
    void remove(); // NIM_DELETE
    bool isShown() const;

    // Shows the menu at the cursor unless the tray host already shows it:
    // XEmbed trays pop Qt's context menu themselves, StatusNotifierItem hosts
    // draw the exported menu.
    void popupMenu();
    // A short note from the icon (a balloon, or the desktop's notification).
    void showMessage(const QString& title, const QString& text);

Q_SIGNALS:
    void mouseMessage(int number);

private:
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
};

} // namespace platform
