#include "platform/childprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

Q_LOGGING_CATEGORY(lcChild, "kelvo.start", QtWarningMsg)

namespace platform {
namespace {

constexpr int FirstHanded = 3;
constexpr int GraceMs = 2000;
constexpr int ReapEveryMs = 1000;

std::vector<pid_t>& waitedFor() {
    static std::vector<pid_t> pids;
    return pids;
}

bool reaped(pid_t pid) {
    const pid_t r = ::waitpid(pid, nullptr, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
}

// Those waited for that have ended are reaped and forgotten.
void forgetEnded() {
    auto& pids = waitedFor();
    pids.erase(std::remove_if(pids.begin(), pids.end(), reaped), pids.end());
}

void reapLater(pid_t pid) {
    auto& pids = waitedFor();
    if (std::find(pids.begin(), pids.end(), pid) != pids.end())
        return;
    pids.push_back(pid);
    if (pids.size() > 1 || !QCoreApplication::instance())
        return;
    // A cheap look now and then, only while a child is waited for.
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        forgetEnded();
        if (waitedFor().empty())
            timer->deleteLater();
    });
    timer->start(ReapEveryMs);
}

bool waitEnded(pid_t pid, int ms) {
    const QDeadlineTimer grace(ms);
    while (!reaped(pid)) {
        if (grace.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

qint64 spawnChild(const QString& program, const QStringList& arguments, const std::vector<int>& handed,
                  const std::vector<QByteArray>& environment) {
    // Above the places they go to, so that one move cannot overwrite another.
    const int above = FirstHanded + int(handed.size()) + 10;
    std::vector<int> high;
    for (int fd : handed)
        high.push_back(::fcntl(fd, F_DUPFD_CLOEXEC, above));
    std::vector<QByteArray> strings{QFile::encodeName(program)};
    for (const QString& arg : arguments.mid(1))
        strings.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const bool replaced =
            std::any_of(environment.begin(), environment.end(), [&entry](const QByteArray& set) {
                return entry.startsWith(set.left(set.indexOf('=') + 1));
            });
        if (!replaced)
            envp.push_back(*e);
    }
    for (const QByteArray& set : environment)
        envp.push_back(const_cast<char*>(set.constData()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    for (size_t i = 0; i < high.size(); ++i)
        posix_spawn_file_actions_adddup2(&files, high[i], FirstHanded + int(i));
    posix_spawn_file_actions_addclosefrom_np(&files, FirstHanded + int(high.size()));
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
    const bool duplicated = std::none_of(high.begin(), high.end(), [](int fd) { return fd < 0; });
    const int error = !duplicated ? errno
                                  : ::posix_spawn(&pid, strings.front().constData(), &files, &attributes,
                                                  argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    for (int fd : high)
        if (fd >= 0)
            ::close(fd);
    if (error) {
        qCWarning(lcChild) << "cannot start" << program << ':' << qt_error_string(error);
        return 0;
    }
    return pid;
}

void endChild(qint64 pid, bool hard) {
    if (pid <= 0)
        return;
    for (int sig : {SIGTERM, SIGKILL}) {
        if (hard && sig == SIGTERM)
            continue;
        ::kill(pid_t(pid), sig);
        if (waitEnded(pid_t(pid), GraceMs))
            return;
    }
    qCWarning(lcChild) << "process" << pid << "does not end yet: reaped when it does";
    reapLater(pid_t(pid));
}

void reapWhenEnded(qint64 pid) {
    if (pid > 0 && !reaped(pid_t(pid)))
        reapLater(pid_t(pid));
}

bool childEnded(qint64 pid) {
    return pid <= 0 || reaped(pid_t(pid));
}

int childrenWaitedFor() {
    forgetEnded();
    return int(waitedFor().size());
}

} // namespace platform
