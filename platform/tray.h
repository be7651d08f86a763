#pragma once

#include <QObject>
#include <QTimer>

class QMenu;
class QSystemTrayIcon;

namespace platform {

class TrayWatcher;

// Plain text (a page's lines among it) as a widget's or an XEmbed tray's
// tooltip shows it: never read as markup, line breaks kept.
QString plainToolTip(const QString& text);
// The same for a StatusNotifierItem host, whose tips take markup.
QString statusNotifierToolTip(const QString& text);

// The notification-area icon. It reports what the member asks of it;
// what to do about that is the main window's business. The icon exists
// only while a tray is there to hold it: it appears whenever one appears,
// also long after the start, and comes back when the tray restarts.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(const QString& tip, QMenu* menu, QObject* parent = nullptr);
    ~TrayIcon() override;

    void add();    // NIM_ADD: shown now, or as soon as a tray is there
    void remove(); // NIM_DELETE
    // The icon is in a tray now.
    bool isShown() const;

    // Shows the menu at the cursor unless the tray host already shows it:
    // XEmbed trays pop Qt's context menu themselves, StatusNotifierItem hosts
    // draw the exported menu.
    void popupMenu();
    // Without a tray: the menu in the middle of the work area, keyboard ready.
    void popupMenuCentered();
    // The tip the icon shows, now and whenever it appears again.
    void setToolTip(const QString& tip);
    QString toolTip() const { return m_tip; }
    // A short note from the icon (a balloon, or the desktop's notification).
    void showMessage(const QString& title, const QString& text);

Q_SIGNALS:
    // A double-click on the icon (XEmbed trays), a click (StatusNotifierItem hosts).
    void checkNowRequested();
    // A tray came, but of another kind than the one this run's icon took:
    // the icon cannot be shown. Once per such change.
    void trayOfAnotherKind();
    // A right press, where the tray host does not show the menu itself.
    void menuRequested();
    void shownChanged(bool shown);

private:
    void update();
    void createIcon();
    QString shownTip() const;

    QString m_tip;
    QMenu* m_menu;
    TrayWatcher* m_watcher;
    QSystemTrayIcon* m_icon = nullptr;
    bool m_wanted = false;
    // An XEmbed tray that has been there a moment: desktops that offer both
    // kinds often bring up the StatusNotifierItem host just after it, and
    // Qt keeps the first kind it uses for the whole run.
    QTimer m_settle;
    bool m_xembedSettled = false;
    bool m_otherKindTold = false;
};

// Qt keeps the tray kind of the process's first icon; tests start each case afresh.
void forgetTrayKindForTesting();

} // namespace platform
