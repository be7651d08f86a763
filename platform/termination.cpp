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

void onSignal(int) {
    const char c = 1;
    // Only async-signal-safe work here: wake the event loop.
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &c, 1);
}

} // namespace

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        g_pipe[0] = g_pipe[1] = -1;
    if (g_pipe[0] >= 0) {
        auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char buf[16];
            [[maybe_unused]] ssize_t n = ::read(g_pipe[0], buf, sizeof buf);
            Q_EMIT terminationRequested();
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
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { Q_EMIT terminationRequested(); });
    }
}

TerminationWatcher::~TerminationWatcher() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

} // namespace platform
