#include "app/frmmain.h"

#include "app/changes.h"
#include "app/frmmessage.h"
#include "dialogs/frmnotray.h"
#include "dialogs/frmsettings.h"
#include "platform/appicon.h"
#include "platform/clock.h"
#include "platform/messagebox.h"
#include "platform/modal.h"
#include "platform/placement.h"
#include "platform/smallwindow.h"
#include "platform/termination.h"
#include "platform/tray.h"
#include "platform/traywatcher.h"
#include "storage/filemodule.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "storage/textcompare.h"
#include "web/login.h"
#include "web/openpages.h"

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTime>
#include <QTimer>

using platform::BrowserError;

Q_LOGGING_CATEGORY(lcCheck, "kelvo.check", QtWarningMsg)

const QString frmMain::LoginFailedMessage = QStringLiteral("ログインできません。設定を見直してください。");
const QString frmMain::TrayTip = QStringLiteral("Kelvo+Monitor");
const QString frmMain::NoNewArticlesMessage = QStringLiteral("新着記事はありません。");
const QString frmMain::NotLoggedInMessage = QStringLiteral("ログインしていません");
const QString frmMain::AlreadyRunningMessage = QStringLiteral("KelvoMonitor はすでに起動しています。");
const QString frmMain::SettingsNotSavedMessage = QStringLiteral("設定を保存できませんでした。");
const QString frmMain::TipFirstCheck = QStringLiteral("最初の確認を待っています");
const QString frmMain::TipSigningIn = QStringLiteral("%1 ログインしています");
const QString frmMain::TipUnchanged = QStringLiteral("%1 確認済み: 新着記事はありません");
const QString frmMain::TipNew = QStringLiteral("%1 新着: %2");
const QString frmMain::TipRemoved = QStringLiteral("%1 確認済み: 記事が削除されました");
const QString frmMain::TipRearranged = QStringLiteral("%1 確認済み: 記事の並びが変わりました");
const QString frmMain::TipNotReached = QStringLiteral("%1 サイトに接続できません");
const QString frmMain::TipRefused = QStringLiteral("%1 ログインできません（パスワードが受け付けられません）");
const QString frmMain::TipNotRead = QStringLiteral("%1 トップページを読み取れませんでした");
const QString frmMain::TipRecovered = QStringLiteral("%1 ブラウザーを立ち上げ直しました");
const QString frmMain::NoticeSection = QStringLiteral("tray");
const QString frmMain::NoticeKey = QStringLiteral("notice");
const QString frmMain::NoticeOff = QStringLiteral("off");
const QString frmMain::SiteUnreachableMessage =
    QStringLiteral("サイトに接続できません。しばらくしてからもう一度お試しください。");

namespace {

// Failures after which the check ends quietly and the next tick checks as
// usual: the site did not answer in time or sent no page.
bool isQuietFailure(int number) {
    return number == platform::ErrBusyTimeout || number == platform::ErrScriptTimeout ||
           number == platform::ErrLoadFailed || number == platform::ErrPageLeft;
}

// Cut to `width` characters, "…" marking the cut.
QString cut(const QString& line, int width) {
    return line.size() <= width ? line : line.left(width - 1) + u'…';
}

// Lines of the page that may be shown on the desktop: none holding the
// member's mail address or password (a greeting may name the member).
QStringList showable(const QStringList& lines) {
    QStringList out;
    for (const QString& line : lines) {
        const bool secret = (!basMain::MailAddress().isEmpty() && line.contains(basMain::MailAddress())) ||
                            (!basMain::Password().isEmpty() && line.contains(basMain::Password()));
        if (!secret)
            out << line;
    }
    return out;
}

template <class T> T* visibleWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    }
    return nullptr;
}

bool isAlive(platform::Browser& browser) {
    try {
        browser.Busy();
        return true;
    } catch (const BrowserError&) {
        return false;
    }
}

} // namespace

// Marks the main window Waiting or Driving for a scope.
class frmMain::Activity {
public:
    Activity(frmMain& form, Phase kind) : m_form(form), m_before(form.m_phase) { form.enter(kind); }
    ~Activity() { m_form.leave(m_before); }
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;

private:
    frmMain& m_form;
    Phase m_before;
};

void frmMain::enter(Phase kind) {
    ++m_activities;
    if (m_phase == Phase::Idle || (m_phase == Phase::Waiting && kind == Phase::Driving))
        m_phase = kind;
}

void frmMain::leave(Phase before) {
    --m_activities;
    if (m_phase == Phase::ClosePending && before != Phase::Driving) {
        // The browser is free: close as soon as this call has unwound.
        m_phase = before;
        QTimer::singleShot(0, this, &frmMain::Unload);
    } else if (m_phase == Phase::Waiting || m_phase == Phase::Driving) {
        m_phase = before;
    }
    if (m_activities == 0 && m_phase == Phase::Closed)
        QTimer::singleShot(0, this, &frmMain::maybeFinish);
    if (m_pendingCommand && m_phase == Phase::Idle && m_activities == 0)
        QTimer::singleShot(0, this, &frmMain::runPendingCommand);
}

frmMain::frmMain() : m_timer(new QTimer(this)), m_menu(new QMenu(this)), m_noTrayTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(platform::appIcon());
    m_timer->setInterval(60000);
    connect(m_timer, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    // Long enough for a tray that starts with the session to have come.
    m_noTrayTimer->setInterval(30000);
    m_noTrayTimer->setSingleShot(true);
    connect(m_noTrayTimer, &QTimer::timeout, this, &frmMain::ShowNoTrayNotice);

    const std::pair<const char*, void (frmMain::*)()> items[] = {{"mnuOpen", &frmMain::mnuOpen_Click},
                                                                 {"mnuFavorite", &frmMain::mnuFavorite_Click},
                                                                 {"mnuBar", nullptr},
                                                                 {"mnuCheck", &frmMain::mnuCheck_Click},
                                                                 {"mnuSetting", &frmMain::mnuSetting_Click},
                                                                 {"mnuBar2", nullptr},
                                                                 {"mnuEnd", &frmMain::mnuEnd_Click}};
    const QString captions[] = {QStringLiteral("トップページ"), QStringLiteral("お気に入り"), QString(),
                                QStringLiteral("すぐに確認"),   QStringLiteral("設定"),       QString(),
                                QStringLiteral("終了")};
    for (size_t i = 0; i < std::size(items); ++i) {
        QAction* action = items[i].second ? m_menu->addAction(captions[i]) : m_menu->addSeparator();
        action->setObjectName(QString::fromLatin1(items[i].first));
        if (auto handler = items[i].second)
            // Queued: never run inside the menu's own handler.
            connect(
                action, &QAction::triggered, this, [this, handler] { (this->*handler)(); },
                Qt::QueuedConnection);
    }
}

frmMain::~frmMain() {
    if (!isUnloaded())
        Unload();
}

void frmMain::Form_Load() {
    m_tray = new platform::TrayIcon(TrayTip, m_menu, this);
    // Every door is queued: a check and its message never run inside Qt's
    // tray handler, whose icon a close or a tray restart may delete.
    connect(m_tray, &platform::TrayIcon::checkNowRequested, this, &frmMain::mnuCheck_Click,
            Qt::QueuedConnection);
    connect(m_tray, &platform::TrayIcon::menuRequested, this, &frmMain::ShowTrayMenu, Qt::QueuedConnection);
    connect(
        m_tray, &platform::TrayIcon::trayOfAnotherKind, this,
        [this] {
            m_noTrayToldThisRun = false; // a new situation, told once more
            ShowNoTrayNotice();
        },
        Qt::QueuedConnection);
    connect(m_tray, &platform::TrayIcon::shownChanged, this, [this](bool shown) {
        if (shown && m_noTrayNotice)
            m_noTrayNotice->reject(); // the icon is the door now
    });
    // Shown whenever a tray is there; nothing waits for one.
    m_tray->add();
    m_noTrayTimer->start();
    m_termination = new platform::TerminationWatcher(this);
    connect(m_termination, &platform::TerminationWatcher::terminationRequested, this, &frmMain::Unload,
            Qt::QueuedConnection);
    connect(platform::MemberWindows::instance(), &platform::MemberWindows::allClosed, this,
            &frmMain::maybeFinish);
    // A command held while the member was asked something runs once answered.
    connect(platform::MemberWaits::instance(), &platform::MemberWaits::allEnded, this,
            &frmMain::runPendingCommand, Qt::QueuedConnection);

    SignInNewBrowser();
    if (m_loggedIn)
        showStatus(TipFirstCheck);
    m_textManager = std::make_unique<textfileManager>();
    if (!isUnloaded())
        m_timer->start();
}

void frmMain::showStatus(const QString& line) {
    if (m_tray)
        m_tray->setToolTip(TrayTip + u'\n' + line);
}

QString frmMain::now() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm"));
}

// Makes a new hidden browser in `ie` and signs it in; a browser that cannot be
// made counts as a failed sign-in, and the next tick tries again.
void frmMain::SignInNewBrowser() {
    if (signInHidden(true) != basMain::LoginResult::SignedIn)
        tellLoginFailed();
}

void frmMain::tellLoginFailed() {
    // Never after a close was asked for: the tray icon may be gone already.
    if (!closing())
        platform::ShowMessage(LoginFailedMessage, platform::MessageIcon::Warning);
}

// Makes `ie` a live hidden browser (a new one when `fresh`); empty when none
// can be made.
void frmMain::ensureHiddenBrowser(bool fresh) {
    if (!fresh && m_ie && isAlive(*m_ie))
        return;
    m_ie.reset();
    try {
        m_ie = platform::CreateBrowser();
        m_ie->setVisible(false);
    } catch (const BrowserError&) {
        m_ie.reset();
    }
}

basMain::LoginResult frmMain::signInHidden(bool freshBrowser) {
    auto result = basMain::LoginResult::NotReached;
    showStatus(TipSigningIn.arg(now()));
    {
        Activity driving(*this, Phase::Driving);
        ensureHiddenBrowser(freshBrowser);
        if (m_ie)
            result = basMain::SignIn(*m_ie);
        restHiddenBrowser();
    }
    noteSignIn(result);
    return result;
}

// `LoggedIn` follows every sign-in of the hidden browser.
void frmMain::noteSignIn(basMain::LoginResult result) {
    m_loggedIn = result == basMain::LoginResult::SignedIn;
    m_loginRejected = result == basMain::LoginResult::Rejected;
    switch (result) {
    case basMain::LoginResult::SignedIn:
        break; // what comes next tells
    case basMain::LoginResult::Rejected:
        showStatus(TipRefused.arg(now()));
        break;
    case basMain::LoginResult::NotReached:
        showStatus(TipNotReached.arg(now()));
        break;
    }
}

void frmMain::Unload() {
    if (isUnloaded())
        return;
    if (m_phase == Phase::Driving || m_phase == Phase::ClosePending) {
        // Never pull the browser away from under a running operation: close
        // as soon as it has finished.
        m_phase = Phase::ClosePending;
        m_closeRequested = true;
        return;
    }
    m_phase = Phase::Closed;
    m_timer->stop();
    try {
        if (m_ie)
            m_ie->Quit();
    } catch (const BrowserError&) {
        // already gone
    }
    m_ie.reset();
    m_noTrayTimer->stop();
    m_pendingCommand.reset();
    if (m_tray)
        m_tray->remove();
    // Let any wait of ours unwind: dialogs and the popup as if cancelled (so
    // nothing half-typed is taken for an answer), message boxes closed.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        if (auto* small = qobject_cast<platform::SmallWindow*>(w))
            small->reject();
        else if (qobject_cast<QMessageBox*>(w))
            w->hide();
    }
    m_menu->hide();
    Q_EMIT closed();
    QTimer::singleShot(0, this, &frmMain::maybeFinish);
}

void frmMain::maybeFinish() {
    if (m_phase == Phase::Closed && m_activities == 0 &&
        platform::MemberWindows::instance()->openCount() == 0) {
        m_phase = Phase::Finished;
        Q_EMIT finished();
    }
}

void frmMain::ShowTrayMenu() {
    // No pass through the pending events here: a whole check could run in it.
    activateWindow();
    m_tray->popupMenu();
}

void frmMain::RunCommand(basMain::Command command) {
    if (isUnloaded())
        return;
    if (command == basMain::Command::Settings) {
        // Asked for again while it is open: the member is shown the one there is.
        if (auto* open = visibleWindow<frmSettings>()) {
            open->raise();
            open->activateWindow();
            return;
        }
    }
    const bool waitsForBrowser = m_phase == Phase::Driving || m_phase == Phase::ClosePending;
    const bool waitsForMember = (isBusy() || platform::waitingForMember()) &&
                                (command == basMain::Command::Check || command == basMain::Command::Settings);
    if (command != basMain::Command::Quit && command != basMain::Command::Show &&
        (waitsForBrowser || waitsForMember)) {
        // Asked from outside while the hidden browser is in use, or while a
        // popup or dialog waits for the member: done as soon as that is
        // over rather than lost (the latest request wins).
        m_pendingCommand = command;
        return;
    }
    switch (command) {
    case basMain::Command::Show:
        if (m_tray && m_tray->isShown())
            ShowAlreadyRunning();
        else if (m_tray)
            m_tray->popupMenuCentered();
        break;
    case basMain::Command::Check:
        mnuCheck_Click();
        break;
    case basMain::Command::TopPage:
        mnuOpen_Click();
        break;
    case basMain::Command::Favorite:
        mnuFavorite_Click();
        break;
    case basMain::Command::Settings:
        mnuSetting_Click();
        break;
    case basMain::Command::Quit:
        mnuEnd_Click();
        break;
    }
}

void frmMain::runPendingCommand() {
    if (m_pendingCommand && m_phase == Phase::Idle && !isBusy() && !platform::waitingForMember())
        RunCommand(*std::exchange(m_pendingCommand, std::nullopt));
}

void frmMain::ShowNoTrayNotice() {
    if (isUnloaded() || m_noTrayToldThisRun || (m_tray && m_tray->isShown()))
        return;
    using inifileModule::GetIniString;
    if (GetIniString(NoticeKey, NoticeSection, QString(), basMain::SettingsFilePath()) == NoticeOff)
        return;
    m_noTrayToldThisRun = true;
    auto* notice = new frmNoTray;
    m_noTrayNotice = notice;
    connect(notice, &QDialog::finished, this, [notice] {
        if (notice->dontShowAgain() &&
            !inifileModule::WriteIniString(NoticeOff, NoticeKey, NoticeSection, basMain::SettingsFilePath()))
            qCWarning(lcTray) << "could not keep the no-tray notice away for later starts";
        notice->deleteLater();
    });
    basWin32API::SetTopMost(*notice);
    notice->show();
}

bool frmMain::commandAllowed() const {
    // A tray host that reports over D-Bus can reach us inside a browser wait.
    return m_phase != Phase::Driving && m_phase != Phase::ClosePending && !isUnloaded();
}

// A member window signs in on the hidden browser's cookies: a use of it like
// a check, so a tick meanwhile is dropped and a close waits for the end.
void frmMain::mnuOpen_Click() {
    if (!commandAllowed())
        return;
    Activity driving(*this, Phase::Driving);
    basMain::OpenTopPage();
}

void frmMain::mnuFavorite_Click() {
    if (!commandAllowed())
        return;
    Activity driving(*this, Phase::Driving);
    basMain::OpenFavorite();
}

void frmMain::mnuCheck_Click() {
    // A manual check asked for while the hidden browser is in use does nothing.
    if (!commandAllowed() || isBusy())
        return;
    if (m_loggedIn) {
        const CheckOutcome outcome = CheckTopPage();
        if (closing())
            return;
        // One message for one check, and never "nothing new" about a page it did not read.
        switch (outcome) {
        case CheckOutcome::Changed:  // the popup said it
        case CheckOutcome::Rejected: // the sign-in message said it
            break;
        case CheckOutcome::Unchanged:
            platform::ShowMessage(NoNewArticlesMessage, platform::MessageIcon::Information);
            break;
        case CheckOutcome::NotReached:
        case CheckOutcome::Recovered:
        case CheckOutcome::NotCompared:
            platform::ShowMessage(SiteUnreachableMessage, platform::MessageIcon::Warning);
            break;
        }
        return;
    }
    platform::ShowMessage(NotLoggedInMessage, platform::MessageIcon::Warning);
    if (closing())
        return;
    ChangeLoginOfIe();
}

void frmMain::ChangeLoginOfIe() {
    Activity waiting(*this, Phase::Waiting);
    const std::optional<frmLogin::Result> entered = basMain::AskCredentials();
    if (!entered || closing() || !basMain::StoreCredentials(*entered))
        return;
    auto result = basMain::LoginResult::NotReached;
    {
        // Driving: a close asked for now waits until the browser is free.
        Activity driving(*this, Phase::Driving);
        ensureHiddenBrowser(false);
        if (m_ie) {
            basMain::Logout(*m_ie);
            result = basMain::SignIn(*m_ie);
        }
        restHiddenBrowser();
    }
    noteSignIn(result);
    if (result != basMain::LoginResult::SignedIn)
        tellLoginFailed();
}

void frmMain::mnuSetting_Click() {
    if (commandAllowed())
        ShowSettings();
}

void frmMain::ShowSettings() {
    const frmSettings::Action action = frmSettings::Ask();
    if (isUnloaded())
        return;
    if (action == frmSettings::Action::Login)
        ChangeLoginOfIe();
    else if (action == frmSettings::Action::Favorite)
        basMain::ChangeFavorite();
}

void frmMain::restHiddenBrowser() {
    try {
        if (m_ie && !isUnloaded())
            m_ie->Rest();
    } catch (const BrowserError&) {
        // gone: the next check replaces it
    }
}

void frmMain::ShowAlreadyRunning() {
    if (m_tray && !isUnloaded())
        m_tray->showMessage(TrayTip, AlreadyRunningMessage);
}

void frmMain::mnuEnd_Click() {
    Unload();
}

void frmMain::Timer1_Timer() {
    // A tick while the hidden browser is in use, or while a check waits in its
    // popup, is dropped: the next one comes in 60 s.
    if (isUnloaded() || isBusy())
        return;
    if (!m_loggedIn) {
        // A refused password is never sent again by the timer; after any other
        // failure each tick tries one quiet sign-in, and then checks.
        if (m_loginRejected)
            return;
        const basMain::LoginResult result = signInHidden(false);
        if (result == basMain::LoginResult::Rejected)
            tellLoginFailed();
        if (result != basMain::LoginResult::SignedIn)
            return;
    }
    CheckTopPage();
}

QString frmMain::TopFilePath() {
    return basMain::MemberDir() + QStringLiteral("/kelvo_top.txt");
}

bool frmMain::IsTextChanged(const QString& newText, const QString& oldText) {
    return textcompare::IsTextChanged(newText, oldText);
}

QString frmMain::readTopPage() {
    basMain::LoadTopPage(*m_ie);
    const QString landed = m_ie->LocationURL();
    platform::Sleep(3000);
    // Compared as it will read back from the file, so that a character
    // the file cannot hold does not raise a change at every check.
    const QString text = textcompare::storable(m_ie->BodyInnerText());
    if (!m_ie->Busy() && m_ie->LocationURL() == landed)
        return text;
    // The page went elsewhere by itself while it was read. Where it went says
    // why: a page without the marker (the sign-in page, a "session ended"
    // notice) means the session ended, and its text, lacking the marker, makes
    // the caller sign in again; a signed-in page is not the top page.
    basMain::WaitWhileBusy(*m_ie);
    const QString there = textcompare::storable(m_ie->BodyInnerText());
    if (there.contains(basMain::SignedInMarker))
        throw BrowserError(platform::ErrPageLeft,
                           QStringLiteral("The page went elsewhere while it was read"));
    qCInfo(lcCheck) << "the top page moved on to a signed-out page: the session ended";
    return there;
}

frmMain::CheckOutcome frmMain::CheckTopPage() {
    if (isBusy() || closing())
        return CheckOutcome::NotReached; // not looked: the tip stays as it is
    const CheckOutcome outcome = checkTopPage();
    switch (outcome) {
    case CheckOutcome::Changed:  // told with what is new, before the popup
    case CheckOutcome::Rejected: // told by the sign-in
        break;
    case CheckOutcome::Unchanged:
        showStatus(TipUnchanged.arg(now()));
        break;
    case CheckOutcome::NotReached:
        showStatus(TipNotReached.arg(now()));
        break;
    case CheckOutcome::Recovered:
        showStatus(TipRecovered.arg(now()));
        break;
    case CheckOutcome::NotCompared:
        showStatus(TipNotRead.arg(now()));
        break;
    }
    // The page, its text and the popup are gone until the next tick.
    platform::releaseFreedMemorySoon();
    return outcome;
}

frmMain::CheckOutcome frmMain::checkTopPage() {
    Activity waiting(*this, Phase::Waiting);
    if (m_unexpectedFailures >= FreshBrowserAfter) {
        // The hidden browser keeps failing in ways nobody foresaw: start over.
        qCWarning(lcCheck) << "a new hidden browser after" << m_unexpectedFailures
                           << "unexpected failures in a row";
        m_unexpectedFailures = 0;
        if (const auto outcome = signInNewForCheck(); outcome != CheckOutcome::Recovered)
            return outcome;
    }
    QString newText;
    std::optional<int> failure;
    auto signIn = basMain::LoginResult::SignedIn;
    {
        Activity driving(*this, Phase::Driving);
        try {
            if (!m_ie)
                throw BrowserError(platform::ErrProcessGone, QStringLiteral("no browser"));
            newText = readTopPage();
            if (!newText.contains(basMain::SignedInMarker)) {
                // The site ended the session: sign in again at once, quietly, and
                // look at the top page then.
                signIn = basMain::SignIn(*m_ie);
                if (signIn == basMain::LoginResult::SignedIn)
                    newText = readTopPage();
            }
        } catch (const BrowserError& e) {
            failure = e.number();
            qCInfo(lcCheck) << "no page: browser failure" << e.number() << e.description();
        }
        // Until the next check the page is not needed: let the engine free it.
        restHiddenBrowser();
    }
    if (failure) {
        if (*failure == platform::ErrProcessGone)
            return signInNewForCheck();
        if (!isQuietFailure(*failure)) {
            // Never the end of the program: nothing is compared, and the next tick checks as usual.
            ++m_unexpectedFailures;
            qCWarning(lcCheck) << "unexpected browser failure" << *failure << "- nothing compared";
        }
        return CheckOutcome::NotReached;
    }
    m_unexpectedFailures = 0;
    if (signIn == basMain::LoginResult::Rejected) {
        noteSignIn(signIn);
        tellLoginFailed();
        return CheckOutcome::Rejected;
    }
    if (signIn == basMain::LoginResult::NotReached)
        return CheckOutcome::NotReached; // the next tick tries again
    if (!newText.contains(basMain::SignedInMarker)) {
        // Every page of a signed-in member has the marker: right after a
        // sign-in, a page without it is something else (a maintenance or
        // consent page), never news.
        qCInfo(lcCheck) << "signed in, yet the top page lacks the marker: not compared";
        return CheckOutcome::NotCompared;
    }

    const QString path = TopFilePath();
    QString oldText;
    if (m_unsavedBaseline) {
        oldText = *m_unsavedBaseline;
    } else {
        // A missing snapshot, or one emptied by hand, is no baseline: start
        // from this page instead of announcing it as new.
        const bool noBaseline =
            !fileModule::CheckFileExists(path) || (QFileInfo(path).size() == 0 && !newText.isEmpty());
        if (noBaseline && !m_textManager->ReplaceText(path, newText))
            m_unsavedBaseline = newText;
        bool read = true;
        oldText = m_unsavedBaseline ? *m_unsavedBaseline : m_textManager->ReadText(path, &read);
        if (!read) {
            // Taken for empty it would announce the whole page.
            qCWarning(lcCheck) << "cannot read" << path << m_textManager->Message() << "- not compared";
            return CheckOutcome::NotCompared;
        }
    }
    if (!IsTextChanged(newText, oldText)) {
        qCInfo(lcCheck) << "nothing new";
        return CheckOutcome::Unchanged;
    }

    qCInfo(lcCheck) << "new articles";
    const textcompare::News news = textcompare::whatIsNew(newText, oldText);
    const QStringList added = showable(news.added);
    QStringList popupLines;
    if (!added.isEmpty()) {
        showStatus(TipNew.arg(now(), cut(added.first(), 40)));
        for (const QString& line : added.mid(0, 5))
            popupLines << cut(line, 60);
    } else {
        const QString& what = news.removed ? TipRemoved : TipRearranged;
        showStatus(what.arg(now()));
        popupLines << what.arg(QString()).trimmed();
    }
    ShowMessageForm(popupLines.join(u'\n'));
    // Replaced whole: a crash or a full disk leaves the old snapshot, never half of one.
    if (m_textManager->ReplaceText(path, newText))
        m_unsavedBaseline.reset();
    else
        m_unsavedBaseline = newText;
    return CheckOutcome::Changed;
}

// The hidden browser's process has gone, or it keeps failing: a new one,
// signed in. Its page is looked at by the next check.
frmMain::CheckOutcome frmMain::signInNewForCheck() {
    switch (signInHidden(true)) {
    case basMain::LoginResult::SignedIn:
        return CheckOutcome::Recovered;
    case basMain::LoginResult::Rejected:
        tellLoginFailed();
        return CheckOutcome::Rejected;
    case basMain::LoginResult::NotReached:
        break;
    }
    return CheckOutcome::NotReached;
}

void frmMain::ShowMessageForm(const QString& whatIsNew) {
    QPointer<frmMessage> popup = new frmMessage;
    // The fixed text stays; hovering it shows what is new.
    popup->setToolTip(whatIsNew);
    basWin32API::MoveToBottomRight(*popup);
    basWin32API::SetTopMost(*popup);
    platform::showAndWait(popup);
    delete popup;
}
