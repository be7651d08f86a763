#include "app/frmmain.h"

#include "app/changes.h"
#include "dialogs/frmsettings.h"
#include "platform/appicon.h"
#include "platform/messagebox.h"
#include "platform/modal.h"
#include "platform/tray.h"
#include "storage/membersettings.h"
#include "web/openpages.h"

#include <QApplication>
#include <QMenu>
#include <QTime>
#include <QTimer>

#include <algorithm>

using basMain::LoginResult;
using From = basMain::HiddenBrowser::From;
using Kind = MainPhase::Kind;

namespace {

// A minute; KELVO_TICK_MS shortens it for the tests of long runs.
int TickMs() {
    bool ok = false;
    const int set = qEnvironmentVariableIntValue("KELVO_TICK_MS", &ok);
    return ok && set >= 1000 ? set : 60000;
}

void tell(const report::Message& message) {
    platform::ShowMessage(message.text, message.warning ? platform::MessageIcon::Warning
                                                        : platform::MessageIcon::Information);
}

// The tray menu: object name, caption, handler and the command of a later
// start that does the same; a separator has no handler.
struct MenuItem {
    const char* name;
    const char* caption;
    void (frmMain::*handler)();
    basMain::Command command;
};
const MenuItem Menu[] = {
    {"mnuOpen", "トップページ", &frmMain::mnuOpen_Click, basMain::Command::TopPage},
    {"mnuFavorite", "お気に入り", &frmMain::mnuFavorite_Click, basMain::Command::Favorite},
    {"mnuBar", nullptr, nullptr, basMain::Command::Show},
    {"mnuCheck", "すぐに確認", &frmMain::mnuCheck_Click, basMain::Command::Check},
    {"mnuSetting", "設定", &frmMain::mnuSetting_Click, basMain::Command::Settings},
    {"mnuBar2", nullptr, nullptr, basMain::Command::Show},
    {"mnuEnd", "終了", &frmMain::mnuEnd_Click, basMain::Command::Quit}};

} // namespace

void frmMain::leave(Kind before) {
    if (m_phase.leave(before)) // the browser is free: close once this call has unwound
        QTimer::singleShot(0, this, &frmMain::Unload);
    if (!m_phase.busy() && m_phase.kind() == Kind::Closed)
        QTimer::singleShot(0, this, &frmMain::maybeFinish);
    if (!m_pending.empty() && !m_phase.busy())
        QTimer::singleShot(0, this, &frmMain::runPendingCommand);
}

frmMain::frmMain() : m_timer(new QTimer(this)), m_menu(new QMenu(this)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(platform::appIcon());
    connect(&m_hidden.signIn(), &basMain::SignInState::noted, this, &frmMain::showSignInTip);
    m_timer->setInterval(TickMs());
    connect(m_timer, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    for (const MenuItem& item : Menu) {
        QAction* action =
            item.handler ? m_menu->addAction(QString::fromUtf8(item.caption)) : m_menu->addSeparator();
        action->setObjectName(QString::fromLatin1(item.name));
        // Queued: never run inside the menu's own handler; held while the
        // hidden browser is in use, as a later start's command is.
        if (item.handler)
            connect(
                action, &QAction::triggered, this, [this, command = item.command] { RunCommand(command); },
                Qt::QueuedConnection);
    }
}

frmMain::~frmMain() {
    if (!isUnloaded())
        Unload();
}

void frmMain::Form_Load() {
    m_tray = new platform::TrayIcon(report::TrayTip, m_menu, this);
    // Every door is queued: a check and its message never run inside Qt's
    // tray handler, whose icon a close or a tray restart may delete.
    connect(
        m_tray, &platform::TrayIcon::checkNowRequested, this, [this] { RunCommand(basMain::Command::Check); },
        Qt::QueuedConnection);
    connect(m_tray, &platform::TrayIcon::menuRequested, this, &frmMain::ShowTrayMenu, Qt::QueuedConnection);
    m_notice = new NoTrayNotice(m_tray, this);
    if (m_renewed)
        m_notice->skipStartNotice(); // told, if at all, by the copy before
    else
        m_tray->add(); // shown whenever a tray is there; nothing waits for one
    connect(platform::MemberWindows::instance(), &platform::MemberWindows::allClosed, this,
            &frmMain::maybeFinish);
    // A command held while the member was asked something runs once answered.
    connect(platform::MemberWaits::instance(), &platform::MemberWaits::allEnded, this,
            &frmMain::runPendingCommand, Qt::QueuedConnection);

    // A browser that cannot be made counts as a failed sign-in; the next tick tries again.
    const LoginResult result = signInHidden(From::Fresh);
    if (result == LoginResult::SignedIn)
        showStatus(m_renewed && !m_renewed->isEmpty() ? *m_renewed : report::TipFirstCheck);
    else if (!m_renewed) // a renewed copy that cannot sign in ends unseen
        tellSignIn(result, Asker::Start);
    if (!m_renewed)
        Run();
}

void frmMain::Run() {
    if (isUnloaded())
        return;
    m_tray->add();
    m_timer->start();
}

QString frmMain::now() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm"));
}

void frmMain::showStatus(const QString& line) {
    m_tipLine = line;
    if (m_tray)
        m_tray->setToolTip(report::TrayTip + u'\n' + line);
}

void frmMain::tellSignIn(LoginResult result, Asker asker) {
    // Never after a close was asked for: the tray icon may be gone already.
    if (closing())
        return;
    std::optional<report::Message> message;
    switch (result) {
    case LoginResult::SignedIn:
        break;
    case LoginResult::Rejected:
        message = report::Message{report::LoginFailedMessage, true};
        break;
    case LoginResult::Unconfirmed:
        if (asker == Asker::Start) // the settings are the likeliest cause
            message = report::Message{report::LoginFailedMessage, true};
        else if (asker == Asker::Member || m_hidden.signIn().firstOfEpisode())
            message = report::Message{report::UnconfirmedMessage, true};
        break;
    case LoginResult::NotReached: // the tip says so; the ticks try again
        if (asker == Asker::Member)
            message = report::Message{report::SiteUnreachableMessage, true};
        break;
    case LoginResult::Untrusted:
        if (asker != Asker::Timer)
            message = report::Message{report::UntrustedMessage, true};
        break;
    }
    if (message)
        tell(*message);
}

// The one way the hidden browser is signed in; the tip tells it meanwhile.
LoginResult frmMain::signInHidden(From from) {
    showStatus(report::TipSigningIn.arg(now()));
    auto result = LoginResult::NotReached;
    {
        Activity driving(*this, Kind::Driving);
        result = m_hidden.SignIn(from);
    }
    return result;
}

// The tip follows every sign-in of the hidden browser, its own included.
void frmMain::showSignInTip(LoginResult result) {
    switch (result) {
    case LoginResult::SignedIn:
        break; // what comes next tells
    case LoginResult::Rejected:
        showStatus(report::TipRefused.arg(now()));
        break;
    case LoginResult::NotReached:
        showStatus(report::TipNotReached.arg(now()));
        break;
    case LoginResult::Untrusted:
        showStatus(report::TipUntrusted.arg(now()));
        break;
    case LoginResult::Unconfirmed:
        showStatus(report::TipUnconfirmed.arg(now()));
        break;
    }
}

void frmMain::TellStartSignIn() {
    tellSignIn(m_hidden.signIn().last(), Asker::Start);
}

void frmMain::RefusedAtRenewal() {
    m_hidden.signIn().note(LoginResult::Rejected);
    tellSignIn(LoginResult::Rejected, Asker::Timer);
}

void frmMain::Unload() {
    // Never pull the browser away from under a running operation: the close
    // then runs as soon as it has finished.
    if (!m_phase.askClose())
        return;
    m_timer->stop();
    storeHeldNews(true);
    m_hidden.Quit();
    m_notice->stop();
    m_pending.clear();
    if (m_tray)
        m_tray->remove();
    platform::endAllWaits();
    m_menu->hide();
    Q_EMIT closed();
    QTimer::singleShot(0, this, &frmMain::maybeFinish);
}

void frmMain::maybeFinish() {
    if (m_phase.finish(platform::MemberWindows::instance()->openCount() > 0))
        Q_EMIT finished();
}

void frmMain::ShowTrayMenu() {
    // No pass through the pending events here: a whole check could run in it.
    activateWindow();
    m_tray->popupMenu();
}

void frmMain::RunCommand(basMain::Command command) {
    if (isUnloaded())
        return;
    if (auto* open = platform::visibleWindow<frmSettings>(); open && command == basMain::Command::Settings) {
        // Asked for again while it is open: the member is shown the one there is.
        open->raise();
        open->activateWindow();
        return;
    }
    if (m_phase.holds(command, platform::waitingForMember())) {
        platform::showWaitingWindows(); // what holds the command is shown again
        if (std::find(m_pending.begin(), m_pending.end(), command) == m_pending.end())
            m_pending.push_back(command);
        return;
    }
    if (command == basMain::Command::Show) {
        if (m_tray->isShown())
            ShowAlreadyRunning();
        else
            m_tray->popupMenuCentered();
        return;
    }
    for (const MenuItem& item : Menu) {
        if (item.handler && item.command == command)
            (this->*item.handler)();
    }
}

void frmMain::RunLater(const std::vector<basMain::Command>& commands) {
    for (basMain::Command command : commands)
        QTimer::singleShot(0, this, [this, command] { RunCommand(command); });
}

void frmMain::runPendingCommand() {
    if (m_pending.empty() || m_phase.busy() || platform::waitingForMember())
        return;
    const basMain::Command next = m_pending.front();
    m_pending.erase(m_pending.begin());
    // Each from the event loop: the next waits if this one asks the member.
    if (!m_pending.empty())
        QTimer::singleShot(0, this, &frmMain::runPendingCommand);
    RunCommand(next);
}

// A member window signs in on the hidden browser's cookies: a use of it like
// a check, so a tick meanwhile is dropped and a close waits for the end.
void frmMain::mnuOpen_Click() {
    if (!m_phase.commandAllowed())
        return;
    Activity driving(*this, Kind::Driving);
    basMain::OpenTopPage(!loginRejected());
}

void frmMain::mnuFavorite_Click() {
    if (!m_phase.commandAllowed())
        return;
    Activity driving(*this, Kind::Driving);
    basMain::OpenFavorite(!loginRejected());
}

void frmMain::mnuCheck_Click() {
    // A manual check asked for while the hidden browser is in use does nothing.
    if (!m_phase.commandAllowed() || isBusy())
        return;
    if (!LoggedIn() && !loginRejected()) {
        // Not signed in for a reason of the site's: try at once, whatever
        // the timer's pace, and say what came of it.
        const LoginResult result = signInHidden(From::Kept);
        tellSignIn(result, Asker::Member);
        if (result != LoginResult::SignedIn)
            return;
    }
    if (LoggedIn()) {
        const CheckOutcome outcome = CheckTopPage();
        if (!closing())
            if (const auto message = report::afterManualCheck(outcome))
                tell(*message);
        return;
    }
    platform::ShowMessage(report::NotLoggedInMessage, platform::MessageIcon::Warning);
    if (!closing())
        ChangeLogin();
}

// New credentials: asked for, stored, and the hidden browser signed out and
// in with them.
void frmMain::ChangeLogin() {
    Activity waiting(*this, Kind::Waiting);
    const std::optional<frmLogin::Result> entered = basMain::AskCredentials();
    if (!entered || closing() || !basMain::StoreCredentials(*entered))
        return;
    auto result = LoginResult::NotReached;
    {
        // Driving: a close asked for now waits until the browser is free.
        Activity driving(*this, Kind::Driving);
        result = m_hidden.SignIn(From::SignedOut);
    }
    tellSignIn(result, Asker::Member);
}

void frmMain::mnuSetting_Click() {
    if (m_phase.commandAllowed())
        ShowSettings();
}

void frmMain::ShowSettings() {
    // Waiting: no tick runs while the member chooses.
    Activity waiting(*this, Kind::Waiting);
    const frmSettings::Action action = frmSettings::Ask();
    if (isUnloaded())
        return;
    if (action == frmSettings::Action::Login)
        ChangeLogin();
    else if (action == frmSettings::Action::Favorite)
        basMain::ChangeFavorite();
}

void frmMain::ShowAlreadyRunning() {
    if (m_tray && !isUnloaded())
        m_tray->showMessage(report::TrayTip, report::AlreadyRunningMessage);
}

void frmMain::mnuEnd_Click() {
    Q_EMIT quitAsked();
}
