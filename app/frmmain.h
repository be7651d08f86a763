#pragma once

#include "platform/browser.h"
#include "storage/textfilemanager.h"
#include "web/login.h"

#include <QWidget>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QTimer;
class BusyScope;

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
    void Timer1_Timer();

    bool CheckTopPage();
    static QString TopFilePath();
    static bool IsTextChanged(const QString& newText, const QString& oldText);

    platform::BrowserPtr ie() const { return m_ie; }
    void setIe(platform::BrowserPtr browser) { m_ie = std::move(browser); }

    // For tests.
    bool LoggedIn() const { return m_loggedIn; }
    void setLoggedIn(bool value) { m_loggedIn = value; }
    QTimer* Timer1() const { return m_timer; }
    QMenu* menu0() const { return m_menu; }
    platform::TrayIcon* trayIcon() const { return m_tray; }
    bool isUnloaded() const { return m_unloaded; }
    bool isBusy() const { return m_busy > 0; }
    // The site refused the stored credentials: the timer leaves them alone
    // until the member changes them.
    bool loginRejected() const { return m_loginRejected; }

    static const QString LoginFailedMessage;
    static const QString TrayTip;
    static const QString NoNewArticlesMessage;
    static const QString NotLoggedInMessage;
    static const QString SiteUnreachableMessage;
    static const QString AlreadyRunningMessage;

Q_SIGNALS:
    // The close sequence has run and nothing of ours is left open.
    void finished();

private:
    friend class BusyScope;
    enum class CheckOutcome { Changed, Unchanged, NotReached, Rejected, Recovered };

    void ShowMessageForm();
    void SignInNewBrowser();
    void tellLoginFailed();
    void ensureHiddenBrowser(bool fresh);
    basMain::LoginResult signInHidden(bool freshBrowser);
    void noteSignIn(basMain::LoginResult result);
    void ChangeLoginOfIe();
    QString readTopPage();
    void restHiddenBrowser();
    void ShowSettings();
    void maybeFinish();
    void endBusy();
    bool commandAllowed() const;

    platform::BrowserPtr m_ie;
    std::unique_ptr<textfileManager> m_textManager;
    bool m_loggedIn = false;
    bool m_loginRejected = false;
    CheckOutcome m_lastCheck = CheckOutcome::NotReached;
    QTimer* m_timer;
    QMenu* m_menu;
    platform::TrayIcon* m_tray = nullptr;
    platform::TerminationWatcher* m_termination = nullptr;

    int m_busy = 0;    // a check, sign-in or credential change is under way: ticks are dropped
    int m_driving = 0; // the hidden browser is being driven right now (not waiting for the member)
    bool m_unloadPending = false;
    bool m_unloaded = false;
    bool m_finished = false;
    // The text a change was shown for but could not be stored: compared
    // against instead of the file until a write succeeds, so the same change
    // is not announced again at every check.
    std::optional<QString> m_unsavedBaseline;
};

// Marks the main window busy for a scope; `driving` when the hidden browser
// itself is being driven (rather than waiting on the member).
class BusyScope {
public:
    BusyScope(frmMain& form, bool driving) : m_form(form), m_driving(driving) {
        ++m_form.m_busy;
        m_form.m_driving += m_driving;
    }
    ~BusyScope() {
        --m_form.m_busy;
        m_form.m_driving -= m_driving;
        m_form.endBusy();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    frmMain& m_form;
    int m_driving;
};
