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
    {"mnuHistory", "新着の履歴(&H)", &frmMain::mnuHistory_Click, basMain::Command::History},
    {"mnuSetting", "設定", &frmMain::mnuSetting_Click, basMain::Command::Settings},
    {"mnuBar2", nullptr, nullptr, basMain::Command::Show},
    {"mnuEnd", "終了", &frmMain::mnuEnd_Click, basMain::Command::Quit}};

} // namespace

void frmMain::leave(Kind before) {
    if (m_phase.leave(before)) // the browser is free: close once this call has unwound
        QTimer::singleShot(0, this, &frmMain::Unload);
    if (!m_phase.busy() && m_phase.kind() == Kind::Closed)
        QTimer::singleShot(0, this, &frmMain::maybeFinish);
    if (!m_pending.empty() && !m_phase.driving()) // a popup may still wait: some may run
        QTimer::singleShot(0, this, &frmMain::runPendingCommand);
}

frmMain::frmMain() : m_timer(new QTimer(this)), m_menu(new QMenu(this)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(platform::appIcon());
    connect(&m_hidden.signIn(), &basMain::SignInState::noted, this, &frmMain::showSignInTip);
    connect(&m_history, &basMain::NewsHistory::changed, this, [this] { showStatus(m_tipLine); });
    connect(&m_keyring, &basMain::KeyringPassword::arrived, this, &frmMain::Timer1_Timer,
            Qt::QueuedConnection);
    connect(&m_keyring, &basMain::KeyringPassword::loginNeeded, this, [this](const QString& why) {
        m_loginOffer = why;
        QTimer::singleShot(0, this, &frmMain::offerKeyringLogin);
    });
    connect(&m_history, &basMain::NewsHistory::notStored, this,
            [this] { tellUnstored(m_history.failure()); });
    connect(
        &m_history, &basMain::NewsHistory::openTopPage, this,
        [this] { RunCommand(basMain::Command::TopPage); }, Qt::QueuedConnection);
    m_timer->setInterval(TickMs());
    // Queued: Qt fires no timer again while its own event is being handled,
    // and a tick's popup waits in there; later ticks look meanwhile.
    connect(m_timer, &QTimer::timeout, this, &frmMain::Timer1_Timer, Qt::QueuedConnection);
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
    if (!basMain::PasswordAtHand()) {
        // The keyring's prompt, and the tip's words for the wait; commands
        // are held while the keyring is asked.
        Activity driving(*this, Kind::Driving);
        m_keyring.begin(m_startRead);
    }
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
    const QString unseen = m_history.tipLine();
    if (m_tray)
        m_tray->setToolTip(report::TrayTip + u'\n' + line + (unseen.isEmpty() ? QString() : u'\n' + unseen));
}

void frmMain::Unload() {
    // Never pull the browser away from under a running operation: the close
    // then runs as soon as it has finished.
    if (!m_phase.askClose())
        return;
    m_timer->stop();
    storeHeldNews(true);
    m_hidden.Quit();
    if (m_notice) // none before the load
        m_notice->stop();
    m_history.closeWindow();
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
    // The first that may run now: a member window opens while a popup waits
    // (held only by a tick's read meanwhile), a check waits for the answer.
    const auto runnable = std::find_if(m_pending.begin(), m_pending.end(), [this](basMain::Command c) {
        return !m_phase.holds(c, platform::waitingForMember());
    });
    if (isUnloaded() || runnable == m_pending.end())
        return;
    const basMain::Command next = *runnable;
    m_pending.erase(runnable);
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
        passwordAtHand();
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

void frmMain::mnuHistory_Click() {
    if (!isUnloaded())
        m_history.Show();
}

void frmMain::mnuSetting_Click() {
    if (m_phase.commandAllowed())
        ShowSettings();
}

void frmMain::ShowSettings() {
    // Waiting: no tick runs while the member chooses.
    Activity waiting(*this, Kind::Waiting);
    const frmSettings::Action action = frmSettings::Ask(&basMain::ChoosePasswordPlace);
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
