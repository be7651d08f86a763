#include "app/renewal.h"

#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/singlecopy.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

Q_DECLARE_LOGGING_CATEGORY(lcStart)

namespace basMain {

namespace {

// The environment, unlike the command line, is the member's own to read.
const char* const TipVariable = "KELVO_RENEWED_TIP";
constexpr int LineFd = 3;
constexpr int LockFd = 4;
constexpr int ReadyLimitMs = 90000;   // an engine's start and a sign-in's bound, on a busy machine
constexpr int RunningLimitMs = 10000; // from "go" to "running": no page is loaded meanwhile
constexpr qsizetype MaxLine = 64;

// Where this program lies now. A package upgrade replaces the file under a
// running copy: the link then ends in " (deleted)" and the new one takes over.
QString programFile() {
    QString path = QCoreApplication::applicationFilePath();
    const QLatin1String deleted(" (deleted)");
    if (!QFileInfo::exists(path) && path.endsWith(deleted))
        path.chop(deleted.size());
    return QFileInfo(path).isExecutable() ? path : QString();
}

// The new copy, with nothing of ours but standard input (emptied), output,
// error, the line and the lock: an inherited descriptor would keep the old
// copy's engine processes waiting for a browser that is gone.
pid_t spawnCopy(const QString& program, const QStringList& arguments, int line, int lock,
                const QString& tipLine) {
    // Above 4, so that the moves below cannot overwrite one with the other.
    const int lineHigh = ::fcntl(line, F_DUPFD_CLOEXEC, 10);
    const int lockHigh = ::fcntl(lock, F_DUPFD_CLOEXEC, 10);
    std::vector<QByteArray> strings{QFile::encodeName(program)};
    for (const QString& arg : arguments)
        strings.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const QByteArray tip = QByteArray(TipVariable) + '=' + tipLine.toUtf8();
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
        if (qstrncmp(*e, TipVariable, qstrlen(TipVariable)) != 0)
            envp.push_back(*e);
    }
    envp.push_back(const_cast<char*>(tip.constData()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, lineHigh, LineFd);
    posix_spawn_file_actions_adddup2(&files, lockHigh, LockFd);
    posix_spawn_file_actions_addclosefrom_np(&files, LockFd + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t ours;
    sigemptyset(&ours);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE})
        sigaddset(&ours, sig);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &ours);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = lineHigh < 0 || lockHigh < 0 ? errno
                                                   : ::posix_spawn(&pid, strings.front().constData(), &files,
                                                                   &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    for (int fd : {lineHigh, lockHigh})
        if (fd >= 0)
            ::close(fd);
    if (error) {
        qCWarning(lcStart) << "no renewal:" << program << qt_error_string(error);
        return 0;
    }
    return pid;
}

bool reaped(pid_t pid) {
    const pid_t r = ::waitpid(pid, nullptr, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
}

// Asked to end, then made to; bounded either way. A copy told "go" may hold
// the folder as its own: it is given no chance to let it go.
void endProcess(pid_t pid, bool toldGo) {
    for (int sig : {SIGTERM, SIGKILL}) {
        if (toldGo && sig == SIGTERM)
            continue;
        ::kill(pid, sig);
        const QDeadlineTimer grace(2000);
        while (!reaped(pid)) {
            if (grace.hasExpired())
                break;
            QThread::msleep(20);
        }
        if (reaped(pid))
            return;
    }
    qCWarning(lcStart) << "the new copy" << pid << "does not end";
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Reads what has come; false at the end of the line (or past any sane length).
bool readInto(int fd, QByteArray& in) {
    char buf[256];
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    in.append(buf, n);
    return n > 0 && in.size() <= 4 * MaxLine;
}

std::optional<QByteArray> takeLine(QByteArray& in) {
    const qsizetype end = in.indexOf('\n');
    if (end < 0)
        return std::nullopt;
    const QByteArray line = in.left(end).trimmed();
    in.remove(0, end + 1);
    return line;
}

} // namespace

int RenewAfterChecks() {
    constexpr int ADay = 24 * 60;
    bool ok = false;
    const int set = qEnvironmentVariableIntValue("KELVO_RENEW_AFTER_CHECKS", &ok);
    return ok && set >= 0 ? set : ADay;
}

Renewal::Renewal(SingleCopy& single, frmMain& main, QStringList arguments)
    : QObject(&main), m_single(single), m_main(main), m_arguments(std::move(arguments)),
      m_readyLimitMs(ReadyLimitMs), m_afterChecks(RenewAfterChecks()) {
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this,
            [this] { abandon("the new copy did not say it runs in time"); });
    connect(&main, &frmMain::tickChecked, this, &Renewal::tickChecked);
    // Carried out, whatever moment of the hand-over: no copy runs afterwards.
    connect(&main, &frmMain::closeRequested, this, [this] {
        if (underWay())
            abandon("a close was asked for");
    });
}

Renewal::~Renewal() {
    // The main window is going: only the new copy is seen to.
    if (const pid_t pid = pid_t(m_pid)) {
        closeLine();
        endProcess(pid, m_goSent);
    }
}

void Renewal::setProgram(const QString& program, int readyLimitMs) {
    m_program = program;
    m_readyLimitMs = readyLimitMs;
}

// Only where the member would see nothing of it and lose nothing: news just
// told may still be on screen or in a menu. A renewal that fails is tried
// again after as many ticks.
void Renewal::tickChecked(report::CheckOutcome outcome) {
    if (m_afterChecks <= 0 || ++m_ticks < m_afterChecks)
        return;
    if (outcome != report::CheckOutcome::Unchanged || !m_main.atRest())
        return;
    m_ticks = 0;
    start();
}

bool Renewal::start() {
    if (underWay() || m_single.lockDescriptor() < 0)
        return false; // without a lock to share, two copies could run
    const QString program = m_program.isEmpty() ? programFile() : m_program;
    if (program.isEmpty()) {
        qCWarning(lcStart) << "no renewal: the program file is gone";
        return false;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        qCWarning(lcStart) << "no renewal:" << qt_error_string(errno);
        return false;
    }
    const pid_t pid = spawnCopy(program, RenewedArguments(m_arguments), pair[1], m_single.lockDescriptor(),
                                m_main.tipLine());
    ::close(pair[1]);
    if (!pid) {
        ::close(pair[0]);
        return false;
    }
    m_pid = pid;
    m_fd = pair[0];
    m_goSent = false;
    m_in.clear();
    // Ticks dropped, the member's commands held, a close waits for us.
    m_main.beginHandOver();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Renewal::read);
    m_limit.start(m_readyLimitMs);
    qCInfo(lcStart) << "renewal: started" << pid;
    return true;
}

void Renewal::read() {
    const bool open = readInto(m_fd, m_in);
    while (const auto line = takeLine(m_in)) {
        if (*line == "ready" && !m_goSent)
            return handOver();
        if (*line == "running" && m_goSent)
            return finish();
        return abandon("the new copy said something else");
    }
    if (!open)
        abandon("the new copy ended");
}

void Renewal::handOver() {
    m_single.stopListening(); // later starts try again until the new copy listens
    // Handed on, and held here too until the new copy runs: they go with
    // this copy's close, or run here if the hand-over fails.
    QByteArray go;
    for (Command held : m_main.pendingCommands())
        go += commandWord(held) + '\n';
    m_goSent = true;
    if (!writeAll(m_fd, go + "go\n"))
        return abandon("the new copy ended");
    m_limit.start(RunningLimitMs);
}

void Renewal::finish() {
    qCInfo(lcStart) << "renewed: process" << m_pid << "has taken over";
    m_pid = 0; // its own now: not ended with this copy
    closeLine();
    m_single.passOn();
    m_main.endHandOver();
    m_main.Unload();
}

void Renewal::abandon(const char* why) {
    qCWarning(lcStart) << "no renewal:" << why;
    const pid_t pid = pid_t(m_pid);
    closeLine(); // a new copy that has not been told "go" ends by itself
    endProcess(pid, m_goSent);
    m_pid = 0;
    if (m_goSent)
        m_single.takeOver(); // this copy's again: its pid, its channel
    m_goSent = false;
    m_main.endHandOver();
}

void Renewal::closeLine() {
    m_limit.stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::unique_ptr<Successor> Successor::adopt(SingleCopy& single) {
    struct stat line {};
    if (::fstat(LineFd, &line) != 0 || !S_ISSOCK(line.st_mode))
        return nullptr;
    ::fcntl(LineFd, F_SETFD, FD_CLOEXEC);
    if (!single.adopt(LockFd)) {
        ::close(LineFd);
        return nullptr;
    }
    return std::unique_ptr<Successor>(new Successor(single, LineFd));
}

Successor::Successor(SingleCopy& single, int fd) : m_single(single), m_fd(fd) {}

Successor::~Successor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Successor::ready(frmMain& main) {
    if (!main.LoggedIn() || main.isUnloaded() || !writeAll(m_fd, "ready\n"))
        return false;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this, &main] { read(main); });
    return true;
}

void Successor::read(frmMain& main) {
    const bool open = readInto(m_fd, m_in);
    while (const auto line = takeLine(m_in)) {
        if (*line == "go")
            return takeOver(main);
        if (const auto command = commandFromWord(*line))
            m_held.push_back(*command);
    }
    if (!open) {
        // The old copy went back to work, or ended: this one was never seen.
        delete m_notifier;
        m_notifier = nullptr;
        main.Unload();
    }
}

void Successor::takeOver(frmMain& main) {
    delete m_notifier;
    m_notifier = nullptr;
    if (main.isUnloaded())
        return; // closed meanwhile: the old copy, seeing no answer, goes on
    m_single.takeOver();
    main.Run();
    if (!writeAll(m_fd, "running\n")) {
        // The old copy has gone back to work, and holds the folder.
        m_single.passOn();
        return main.Unload();
    }
    ::close(m_fd);
    m_fd = -1;
    main.RunLater(m_held);
}

QString RenewedTipLine() {
    const QString line = qEnvironmentVariable(TipVariable);
    qunsetenv(TipVariable); // not handed to the engine's processes
    return line;
}

} // namespace basMain
