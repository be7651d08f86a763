#include "platform/termination.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int sig) {
    const char c = char(sig);
    // Only async-signal-safe work here: wake the event loop.
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &c, 1);
}

QString signalName(int sig) {
    switch (sig) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP (the terminal or session that started us went away)");
    }
    return QStringLiteral("signal %1").arg(sig);
}

// A fault ends the process as it would have (a core dump where allowed),
// but not without a line in the log first: write() is all a handler may do.
void onFatalSignal(int sig) {
    char line[] = "KelvoMonitor: ended by signal 00\n";
    line[sizeof line - 4] = char('0' + sig / 10 % 10);
    line[sizeof line - 3] = char('0' + sig % 10);
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line, sizeof line - 1);
    ::raise(sig); // the default action now, reset on entry
}

} // namespace

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        g_pipe[0] = g_pipe[1] = -1;
    if (g_pipe[0] >= 0) {
        auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char buf[16];
            const ssize_t n = ::read(g_pipe[0], buf, sizeof buf);
            Q_EMIT terminationRequested(n > 0 ? signalName(buf[0]) : QStringLiteral("a signal"));
        });
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            sigaction(sig, &sa, nullptr);
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The session is ending: never refuse it, just close down.
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            Q_EMIT terminationRequested(QStringLiteral("the session's end"));
        });
    }
}

TerminationWatcher::~TerminationWatcher() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

} // namespace platform

namespace platform {

void sayWhyOnFatalSignals() {
    struct sigaction sa {};
    sa.sa_handler = onFatalSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP})
        sigaction(sig, &sa, nullptr);
}

} // namespace platform
