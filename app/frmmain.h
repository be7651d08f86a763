#pragma once

#include "app/commandline.h"
#include "dialogs/frmnotray.h"
#include "platform/browser.h"
#include "storage/textfilemanager.h"
#include "web/login.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QTimer;

namespace platform {
class TrayIcon;
class TerminationWatcher;
} // namespace platform

// The main window. Never seen: it owns the tray icon and its menu, the
// polling timer, the hidden browser `ie` and the snapshot file manager.
// Closing it (close sequence) ends the program.
class frmMain : public QWidget {
    Q_OBJECT
public:
    frmMain();
    ~frmMain() override;

    // Load sequence: tray icon, hidden browser signed in, timer started.
    void Form_Load();
    // Close sequence; afterwards the process ends once no member window is left.
    void Unload();

    // The tray's right press: the menu at the cursor.
    void ShowTrayMenu();

    void mnuOpen_Click();
    void mnuFavorite_Click();
    void mnuCheck_Click();
    void mnuSetting_Click();
    void mnuEnd_Click();
    // Another start in the same folder was turned away: say that we are here.
    void ShowAlreadyRunning();
    // What a later start (or this one's own option) asks for: the menu's
    // commands, or for a plain start a sign of life (the menu itself where
    // there is no tray to show a balloon). Run once the hidden browser is free.
    void RunCommand(basMain::Command command);
    // No tray has come since the start: the member is told where the
    // commands are, once per run, unless asked not to be.
    void ShowNoTrayNotice();
    void Timer1_Timer();

    // How a check ended: a change (shown in the popup), no change, no page
    // (not reached, a failed load, an unforeseen browser failure), the sign-in
    // refused (told), the hidden browser replaced and signed in without a
    // look at the page, or a page that was not compared (not the member's top
    // page, or an unreadable snapshot).
    enum class CheckOutcome { Changed, Unchanged, NotReached, Rejected, Recovered, NotCompared };
    // Also says on the tray tip when it looked and what it found.
    CheckOutcome CheckTopPage();
    static QString TopFilePath();
    static bool IsTextChanged(const QString& newText, const QString& oldText);

    platform::BrowserPtr ie() const { return m_ie; }

    // For tests.
    bool LoggedIn() const { return m_loggedIn; }
    void setLoggedIn(bool value) { m_loggedIn = value; }
    QTimer* Timer1() const { return m_timer; }
    QTimer* noTrayTimer() const { return m_noTrayTimer; }
    frmNoTray* noTrayNotice() const { return m_noTrayNotice; }
    platform::TrayIcon* trayIcon() const { return m_tray; }
    bool isUnloaded() const { return m_phase == Phase::Closed || m_phase == Phase::Finished; }
    bool isBusy() const { return m_activities > 0; }
    // The site refused the stored credentials: the timer leaves them alone
    // until the member changes them.
    bool loginRejected() const { return m_loginRejected; }

    static const QString LoginFailedMessage;
    static const QString TrayTip;
    static const QString NoNewArticlesMessage;
    static const QString NotLoggedInMessage;
    static const QString SiteUnreachableMessage;
    static const QString AlreadyRunningMessage;
    static const QString SettingsNotSavedMessage;
    // The tip's second line; %1 is the time (HH:MM) where it has one.
    static const QString TipFirstCheck;
    static const QString TipSigningIn;
    static const QString TipUnchanged;
    static const QString TipNew;     // %2: the first new line
    static const QString TipRemoved; // only lines went away
    static const QString TipRearranged;
    static const QString TipNotReached;
    static const QString TipRefused;
    static const QString TipNotRead;
    static const QString TipRecovered;
    // settings.ini: [tray] notice=off keeps the no-tray notice away.
    static const QString NoticeSection;
    static const QString NoticeKey;
    static const QString NoticeOff;

Q_SIGNALS:
    // The close sequence has run: later starts may start a copy of their own,
    // while the member's windows stay open.
    void closed();
    // The close sequence has run and nothing of ours is left open.
    void finished();

private:
    // What the main window is doing. A check, a sign-in or a credential
    // change is Waiting (on the member: a popup, a dialog) or Driving (the
    // hidden browser, which a close must not pull away: it becomes
    // ClosePending and runs once the browser is free). Closed once the close
    // sequence has run; Finished once nothing of ours is left open.
    // Transitions: enter(), leave(), Unload(), maybeFinish().
    enum class Phase { Idle, Waiting, Driving, ClosePending, Closed, Finished };
    class Activity;
    void enter(Phase kind);
    void leave(Phase before);

    void ShowMessageForm(const QString& whatIsNew);
    CheckOutcome checkTopPage();
    // The tray tip: "Kelvo+Monitor" and a line on the last look.
    void showStatus(const QString& line);
    static QString now(); // HH:MM, local
    void SignInNewBrowser();
    CheckOutcome signInNewForCheck();
    // A close was asked for: nothing more is said to the member.
    bool closing() const { return m_closeRequested || isUnloaded(); }
    void tellLoginFailed();
    void ensureHiddenBrowser(bool fresh);
    basMain::LoginResult signInHidden(bool freshBrowser);
    void noteSignIn(basMain::LoginResult result);
    void ChangeLoginOfIe();
    QString readTopPage();
    void restHiddenBrowser();
    void ShowSettings();
    void maybeFinish();
    void runPendingCommand();
    bool commandAllowed() const;

    platform::BrowserPtr m_ie;
    std::unique_ptr<textfileManager> m_textManager;
    bool m_loggedIn = false;
    bool m_loginRejected = false;
    // Browser failures in a row that no rule foresaw; at FreshBrowserAfter the
    // next check starts with a new hidden browser.
    int m_unexpectedFailures = 0;
    static constexpr int FreshBrowserAfter = 3;
    bool m_closeRequested = false;
    QTimer* m_timer;
    QMenu* m_menu;
    platform::TrayIcon* m_tray = nullptr;
    platform::TerminationWatcher* m_termination = nullptr;
    QTimer* m_noTrayTimer;
    QPointer<frmNoTray> m_noTrayNotice;
    bool m_noTrayToldThisRun = false;
    std::optional<basMain::Command> m_pendingCommand;

    Phase m_phase = Phase::Idle;
    int m_activities = 0; // nested activities under way: ticks are dropped
    // The text a change was shown for but could not be stored: compared
    // against instead of the file until a write succeeds, so the same change
    // is not announced again at every check.
    std::optional<QString> m_unsavedBaseline;
};
