#include "app/lifetime.h"

#include "app/basmain.h"
#include "app/frmmain.h"
#include "platform/clock.h"
#include "platform/engineprocess.h"
#include "platform/frozenwatch.h"
#include "platform/modal.h"
#include "platform/termination.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <utility>

#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcStart)

namespace basMain {

namespace {

constexpr int ReadyLimitMs = 90000; // an engine's start and a sign-in's bound, on a busy machine
constexpr qint64 ADayMs = 24 * 3600 * 1000;
constexpr int FrozenAfterTicks = 30;          // seconds of an event loop that does not turn
constexpr int RepairRetryMs = 2000;           // while something of the member's holds it off
constexpr qint64 RepairAgainAfterMs = 600000; // after a repair that did not go through

// Where this program lies now. A package upgrade replaces the file under a
// running copy: the link then ends in " (deleted)" and the new one takes over.
QString programFile() {
    QString path = QCoreApplication::applicationFilePath();
    const QLatin1String deleted(" (deleted)");
    if (!QFileInfo::exists(path) && path.endsWith(deleted))
        path.chop(deleted.size());
    return QFileInfo(path).isExecutable() ? path : QString();
}

} // namespace

int RenewAfterChecks() {
    constexpr int ADay = 24 * 60;
    bool ok = false;
    const int set = qEnvironmentVariableIntValue("KELVO_RENEW_AFTER_CHECKS", &ok);
    return ok && set >= 0 ? set : ADay;
}

Lifetime::Lifetime(QStringList arguments, const QString& folder)
    : m_arguments(std::move(arguments)), m_single(folder), m_readyLimitMs(ReadyLimitMs),
      m_afterChecks(RenewAfterChecks()) {}

Lifetime::~Lifetime() = default;

std::optional<int> Lifetime::answerCommandLine(const QStringList& arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    return HandleCommandLine(arguments, HaveDesktop(), out, err);
}

int Lifetime::exec() {
    connect(this, &Lifetime::ended, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    std::optional<int> status = start();
    if (!status)
        status = QCoreApplication::exec();
    m_frozen.reset();
    m_main.reset();
    return *status;
}

std::optional<int> Lifetime::start() {
    const Command command = RequestedCommand(m_arguments);
    connect(&m_single, &SingleCopy::commandReceived, this, &Lifetime::receive);
    if (IsRenewed(m_arguments)) {
        // Taking over from a copy that renews itself: it hands this start
        // the folder's locks and a line to say when it runs.
        m_takeOver = TakeOver::adopt();
        if (!m_takeOver || !m_single.adopt(TakeOver::handedLocks()))
            return 0; // nothing to take over from: the start ends without a word
    } else {
        switch (m_single.claim(command)) {
        case SingleCopy::Claim::Held:
            break;
        case SingleCopy::Claim::HandedOver:
        case SingleCopy::Claim::NoneRunning:
            return 0;
        case SingleCopy::Claim::NotReached:
            std::fprintf(stderr, "KelvoMonitor is running but could not be reached; nothing was done.\n");
            return 1;
        case SingleCopy::Claim::StillClosing:
            std::fprintf(stderr, "KelvoMonitor is closing and did not end in time; nothing was done.\n");
            return 1;
        }
        if (command != Command::Show)
            m_inbox.push_back(command);
    }
    m_termination = new platform::TerminationWatcher(this);
    connect(
        m_termination, &platform::TerminationWatcher::terminationRequested, this,
        [this](const QString& why) {
            // Not the member's own 終了: said where a member's log shows it.
            qCWarning(lcStart).noquote() << "ending on" << why;
            close(why);
        },
        Qt::QueuedConnection);

    m_main = Main(m_takeOver ? std::optional<QString>(TakeOver::tipLine()) : std::nullopt);
    if (!m_main)
        return 0;
    wire();
    if (m_closeAsked) { // during the load
        m_main->Unload();
        return 0;
    }
    if (m_takeOver) {
        // Ends unseen unless signed in: the copy before goes on, and is told
        // of a refused password so that the member hears of it once.
        if (!m_main->LoggedIn()) {
            if (m_main->loginRejected())
                m_takeOver->sayRefused();
            if (!m_takeOver->oldCopyGone())
                return 0;
            // Killed meanwhile: this is the one copy now, and says what a start would.
            qCWarning(lcStart) << "the copy before is gone: this one takes over";
            takeOver({});
            m_main->TellStartSignIn();
            return std::nullopt;
        }
        connect(m_takeOver.get(), &TakeOver::go, this, &Lifetime::takeOver, Qt::QueuedConnection);
        connect(m_takeOver.get(), &TakeOver::stop, this,
                [this] { close(QStringLiteral("the copy before goes on")); });
        m_takeOver->sayReady();
        return std::nullopt;
    }
    runInbox();
    watchForFreeze();
    return std::nullopt;
}

// The engine may block the event loop for good (it waits on a zygote that
// no longer answers): then a thread of ours renews the copy, as the daily
// renewal does, and ends this process with the engine's.
void Lifetime::watchForFreeze() {
    const QString program = m_program.isEmpty() ? programFile() : m_program;
    const std::vector<int> locks = m_single.lockDescriptors();
    if (m_frozen || program.isEmpty() || locks.empty())
        return;
    bool set = false;
    const int ticks = qEnvironmentVariableIntValue("KELVO_FROZEN_AFTER_S", &set); // tests of a freeze
    const int after = set && ticks > 0 ? ticks : FrozenAfterTicks;
    m_frozen = std::make_unique<platform::FrozenWatch>(
        after, [after, program, locks, arguments = RenewedArguments(m_arguments), tip = m_main->tipLine(),
                listening = m_single.listeningDescriptor(), ready = m_readyLimitMs] {
            qCWarning(lcStart) << "the event loop has not turned for" << after
                               << "s (the engine waits on a process of its own): renewing the copy";
            if (!HandOver::fromFrozenCopy(program, arguments, locks, tip, listening, ready)) {
                qCWarning(lcStart) << "the frozen copy could not be renewed";
                return;
            }
            qCWarning(lcStart) << "renewed from a frozen copy: this one ends";
            platform::endEngineProcessesLeft();
            ::_exit(0);
        });
}

void Lifetime::wire() {
    frmMain* main = m_main.get();
    connect(main, &frmMain::quitAsked, this, [this] { close(QStringLiteral("終了")); });
    connect(main, &frmMain::closed, &m_single, &SingleCopy::release);
    connect(main, &frmMain::finished, this, &Lifetime::ended);
    connect(main, &frmMain::tickChecked, this, &Lifetime::tickChecked);
    // Queued: told from inside a check's wait.
    connect(platform::RendererStarts::instance(), &platform::RendererStarts::engineBroken, this,
            &Lifetime::repairEngine, Qt::QueuedConnection);
}

// Renderers no longer start (a zygote that stopped answering after a sleep,
// say): nothing inside this process mends that, a new copy's engine does.
// Renewed at once, as the daily renewal does it, once nothing of the
// member's is under way; a broken engine cannot sign in, so that holds
// nothing off.
void Lifetime::repairEngine() {
    const qint64 now = platform::clock().elapsedMs();
    if (m_repairing || renewing() || m_closeAsked || !m_main ||
        (m_lastRepairMs >= 0 && now - m_lastRepairMs < RepairAgainAfterMs))
        return;
    qCWarning(lcStart) << "renderers failed to start"
                       << platform::RendererStarts::instance()->failuresInARow()
                       << "times in a row: renewing the copy now";
    m_repairing = true;
    m_lastRepairMs = now;
    tryRepair();
}

void Lifetime::tryRepair() {
    if (!m_repairing || m_closeAsked)
        return;
    const QString held = m_main->restHeldBy(frmMain::Renewal::Repair);
    if (held.isEmpty() && renew()) {
        m_repairing = false;
        return;
    }
    if (!held.isEmpty())
        heldOff(held);
    QTimer::singleShot(RepairRetryMs, this, &Lifetime::tryRepair);
}

// Every command from outside comes here: later starts, this start's own.
void Lifetime::receive(Command command) {
    if (m_closeAsked)
        return;
    if (command == Command::Quit)
        return close(QStringLiteral("a later start's --quit"));
    if (std::find(m_inbox.begin(), m_inbox.end(), command) == m_inbox.end())
        m_inbox.push_back(command);
    if (m_main && !m_takeOver)
        runInbox();
}

void Lifetime::runInbox() {
    // Out of the socket's handler: a command may wait for the member.
    m_main->RunLater(std::exchange(m_inbox, {}));
}

void Lifetime::close(const QString& why) {
    if (!m_closeAsked)
        qCInfo(lcStart).noquote() << "closing:" << why;
    m_closeAsked = true;
    m_single.refuseCommands(); // a later start waits for our end, then runs
    if (renewing())
        m_handOver->abandon(QStringLiteral("a close was asked for"));
    if (m_main)
        m_main->Unload();
    else
        platform::endAllWaits(); // the first-run dialog: the start ends
}

void Lifetime::setRenewal(const QString& program, int readyLimitMs, int afterChecks) {
    m_program = program;
    m_readyLimitMs = readyLimitMs;
    m_afterChecks = afterChecks;
}

void Lifetime::tickChecked(report::CheckOutcome outcome) {
    if (m_afterChecks <= 0 || ++m_ticks < m_afterChecks)
        return;
    // Only where the member would see nothing of it and lose nothing:
    // news just told may still be on screen or in a menu.
    QString held = m_main->restHeldBy();
    if (held.isEmpty() && outcome != report::CheckOutcome::Unchanged)
        held = QStringLiteral("the last check did not find the page as it was");
    if (!held.isEmpty())
        return heldOff(held);
    m_heldBy.clear();
    m_heldWarned = false;
    m_ticks = 0; // a renewal that fails is tried again after as many ticks
    renew();
}

// Said when the reason changes, and warned once it has lasted a day.
void Lifetime::heldOff(const QString& why) {
    const qint64 now = platform::clock().elapsedMs();
    if (m_heldBy.isEmpty()) {
        m_heldSinceMs = now;
        m_heldSince = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    }
    if (why != m_heldBy)
        qCInfo(lcStart).noquote() << "renewal held off since" << m_heldSince << "by:" << why;
    m_heldBy = why;
    if (!m_heldWarned && now - m_heldSinceMs >= ADayMs) {
        m_heldWarned = true;
        qCWarning(lcStart).noquote() << "renewal held off for a day, since" << m_heldSince << "by:" << why;
    }
}

bool Lifetime::renew() {
    if (renewing() || !m_main || m_closeAsked)
        return false;
    const std::vector<int> locks = m_single.lockDescriptors();
    if (locks.empty()) {
        heldOff(QStringLiteral("no lock to share with a new copy"));
        return false; // two copies could run
    }
    const QString program = m_program.isEmpty() ? programFile() : m_program;
    if (program.isEmpty()) {
        qCWarning(lcStart) << "no renewal: the program file is gone";
        return false;
    }
    if (!m_handOver) {
        m_handOver = std::make_unique<HandOver>();
        connect(m_handOver.get(), &HandOver::ready, this, [this] {
            m_single.stopListening(); // later starts try again until the new copy listens
            // Handed on, and held here too until the new copy runs: they go
            // with this copy's close, or run here if the hand-over fails.
            m_handOver->go(m_main->pendingCommands(), m_main->heldNews());
        });
        connect(m_handOver.get(), &HandOver::running, this, [this] {
            m_single.passOn();
            m_main->newsHandedOver();
            m_main->endHandOver();
            close(QStringLiteral("handed over to the renewed copy"));
        });
        connect(m_handOver.get(), &HandOver::abandoned, this, &Lifetime::handOverAbandoned);
        // Told from the event loop: the member is shown a message box.
        connect(m_handOver.get(), &HandOver::refused, m_main.get(), &frmMain::RefusedAtRenewal,
                Qt::QueuedConnection);
    }
    if (!m_handOver->start(program, RenewedArguments(m_arguments), locks, m_main->tipLine(), m_readyLimitMs))
        return false;
    // Ticks dropped, the member's commands held, a close waits for us.
    m_main->beginHandOver();
    return true;
}

void Lifetime::handOverAbandoned(bool toldGo) {
    if (toldGo)
        m_single.takeOver(); // this copy's again: its pid, its channel
    m_main->endHandOver();
}

// The new copy's side: told go, or the copy before is gone.
void Lifetime::takeOver(const std::vector<Command>& held) {
    if (m_closeAsked || m_main->isUnloaded())
        return; // closed meanwhile: the old copy, seeing no answer, goes on
    m_single.takeOver();
    m_main->takeHeldNews(m_takeOver->takeNews());
    m_main->Run();
    m_takeOver->sayRunning();
    watchForFreeze();
    m_takeOver.release()->deleteLater(); // in its own signal
    for (Command command : held)
        receive(command);
    runInbox();
}

} // namespace basMain
