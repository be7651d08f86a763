#pragma once

#include <QObject>

class QMenu;
class QSystemTrayIcon;

namespace platform {

// The notification-area icon. It reports what the member asks of it;
// what to do about that is the main window's business.
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
    // A double-click on the icon.
    void checkNowRequested();
    // A right press, where the tray host does not show the menu itself.
    void menuRequested();

private:
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
};

} // namespace platform
