#pragma once

// The main window, never seen: the door through which every command runs
// (tray, menu, the timer, and later starts through the copy's owner). It
// owns the tray icon and its menu, the polling timer, the hidden browser and
// the snapshot, and it decides what runs when; the words it says come from
// report::, the hidden browser's life and sign-in state from
// basMain::HiddenBrowser, the snapshot's policy from Snapshot, the no-tray
// notice from NoTrayNotice. When the copy starts, renews and ends is
// basMain::Lifetime's.

#include "app/commandline.h"
#include "app/keyring.h"
#include "app/mainphase.h"
#include "app/newshistory.h"
#include "app/notraynotice.h"
#include "storage/checkreport.h"
#include "storage/snapshot.h"
#include "web/hiddenbrowser.h"

#include <QPointer>
#include <QWidget>

#include <optional>
#include <vector>

class QMenu;
class frmMessage;
class QTimer;

namespace platform {
class TrayIcon;
} // namespace platform

class frmMain : public QWidget {
    Q_OBJECT
public:
    frmMain();
    ~frmMain() override;

    // Load sequence: tray icon, hidden browser signed in, timer started.
    void Form_Load();
    // Before the load: this copy takes over from one that renewed itself.
    // It says nothing to the member and shows no icon, and it runs (Run)
    // only once the old copy lets go; the tip's line is carried on.
    void setRenewed(const QString& tipLine) { m_renewed = tipLine; }
    // Before the load: how the start's read of the password ended.
    void setPasswordRead(basMain::PasswordRead read) { m_startRead = read; }
    // The icon shown and the timer running: the end of a renewed copy's load.
    void Run();
    // The tray tip's line on the last look.
    QString tipLine() const { return m_tipLine; }
    // What keeps this process from ending unseen now, losing nothing (a
    // check under way, a window of ours, a held command, not signed in...;
    // news not stored is handed on); empty when nothing does. The member's browser
    // windows do not: they may outlive the close. A renewal that repairs a
    // broken engine is not held by a sign-in that the engine cannot do.
    enum class Renewal { Daily, Repair };
    QString restHeldBy(Renewal renewal = Renewal::Daily) const;
    // A hand-over to a renewed copy is under way: ticks and the member's
    // commands wait as for a check, so that no news is read by both copies.
    void beginHandOver() { m_handOver.emplace(*this, MainPhase::Kind::Driving); }
    void endHandOver() { m_handOver.reset(); }
    // The commands held meanwhile, to hand on.
    const std::vector<basMain::Command>& pendingCommands() const { return m_pending; }
    // News told but not stored (a full disk), to hand on: the renewed copy
    // takes it (and stores it at once if it can); this copy forgets it once
    // that copy runs.
    QByteArrayList heldNews();
    void takeHeldNews(const QByteArrayList& news);
    void newsHandedOver();
    // Close sequence; afterwards the process ends once no member window is
    // left. Every way of ending comes here through the copy's owner.
    void Unload();
    // A renewed copy's sign-in was refused: as for any refused password.
    void RefusedAtRenewal();
    // A renewed copy that is the only one left says what a start would of
    // its sign-in.
    void TellStartSignIn();

    // The tray's right press: the menu at the cursor.
    void ShowTrayMenu();

    void mnuOpen_Click();
    void mnuFavorite_Click();
    void mnuCheck_Click();
    // 新着の履歴: shown, or raised; never held, it needs no browser.
    void mnuHistory_Click();
    void mnuSetting_Click();
    void mnuEnd_Click();
    // Another start in the same folder was turned away: say that we are here.
    void ShowAlreadyRunning();
    // What the tray, the menu or a later start (or this one's own option)
    // asks for: the menu's commands, or for a plain start a sign of life
    // (the menu itself where the icon is not seen). Held while it cannot
    // run, never lost: one of each, run in the order asked.
    void RunCommand(basMain::Command command);
    // Each RunCommand from the event loop, never inside the caller's handler.
    void RunLater(const std::vector<basMain::Command>& commands);
    void ShowNoTrayNotice() { m_notice->Show(); }
    void Timer1_Timer();

    using CheckOutcome = report::CheckOutcome;
    // Also says on the tray tip when it looked and what it found.
    CheckOutcome CheckTopPage();
    static QString TopFilePath();
    static bool IsTextChanged(const QString& newText, const QString& oldText);

    platform::BrowserPtr ie() const { return m_hidden.ie(); }

    // For tests.
    bool LoggedIn() const { return m_hidden.signIn().signedIn(); }
    // The site refused the stored credentials: the timer leaves them alone
    // until the member changes them.
    bool loginRejected() const { return m_hidden.signIn().refused(); }
    QTimer* Timer1() const { return m_timer; }
    QTimer* noTrayTimer() const { return m_notice->timer(); }
    frmNoTray* noTrayNotice() const { return m_notice->window(); }
    platform::TrayIcon* trayIcon() const { return m_tray; }
    basMain::NewsHistory& history() { return m_history; }
    bool isUnloaded() const { return m_phase.unloaded(); }
    bool isBusy() const { return m_phase.busy(); }

Q_SIGNALS:
    // The close sequence has run: later starts may start a copy of their own,
    // while the member's windows stay open.
    void closed();
    // The close sequence has run and nothing of ours is left open.
    void finished();
    // A tick has checked the top page.
    void tickChecked(report::CheckOutcome outcome);
    // 終了, or a later start's --quit: the copy's owner closes.
    void quitAsked();

private:
    // Marks the main window Waiting or Driving for a scope.
    class Activity {
    public:
        Activity(frmMain& form, MainPhase::Kind kind) : m_form(form), m_before(form.m_phase.enter(kind)) {}
        ~Activity() { m_form.leave(m_before); }
        Activity(const Activity&) = delete;
        Activity& operator=(const Activity&) = delete;

    private:
        frmMain& m_form;
        MainPhase::Kind m_before;
    };
    void leave(MainPhase::Kind before);
    static QString now(); // HH:MM, local, for the tip
    bool closing() const { return m_phase.closing(); }

    CheckOutcome checkTopPage();
    void ShowMessageForm(const QString& whatIsNew);
    // New credentials from the member; with `keepUnstored`, ones that could
    // not be stored (told) still serve this run.
    void ChangeLogin(bool keepUnstored = false);
    // The password the keyring has not given: read again (the browser held
    // meanwhile); true when at hand.
    bool passwordAtHand();
    // The keyring is gone or its unlock was refused: told, and the login
    // dialog, once the member can be asked.
    void offerKeyringLogin();
    void ShowSettings();
    basMain::LoginResult signInHidden(basMain::HiddenBrowser::From from);
    CheckOutcome signInNewForCheck();
    void showSignInTip(basMain::LoginResult result);
    // Who is waiting for a sign-in's answer: the start, the timer (told only
    // a refusal, and once an episode of unconfirmed sign-ins), the member.
    enum class Asker { Start, Timer, Member };
    void tellSignIn(basMain::LoginResult result, Asker asker);
    // The tray tip: "Kelvo+Monitor" and a line on the last look.
    void showStatus(const QString& line);
    void maybeFinish();
    void runPendingCommand();
    // News told but not stored (a full disk): told once, tried again at
    // every tick and at the close.
    void storeNews(const QString& page);
    void storeHeldNews(bool closing);
    void tellUnstored(const QString& why);
    // A tick while the popup waits: a change found meanwhile is recorded and
    // the tip says it; the popup stands for it all.
    void lookWhilePopupWaits();
    static void tell(const report::Message& message);

    MainPhase m_phase;
    basMain::HiddenBrowser m_hidden;
    Snapshot m_snapshot;
    basMain::NewsHistory m_history;
    basMain::KeyringPassword m_keyring;
    basMain::PasswordRead m_startRead = basMain::PasswordRead::AtHand;
    std::optional<QString> m_loginOffer;
    bool m_unstoredTold = false;
    // The page of the popup now waiting, or of the last change found
    // meanwhile: stored when the popup is answered.
    std::optional<QString> m_popupPage;
    QPointer<frmMessage> m_popup;
    QTimer* m_timer;
    QMenu* m_menu;
    platform::TrayIcon* m_tray = nullptr;
    NoTrayNotice* m_notice = nullptr;
    std::vector<basMain::Command> m_pending;
    std::optional<QString> m_renewed;
    std::optional<Activity> m_handOver;
    QString m_tipLine;
};
