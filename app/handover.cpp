#include "app/handover.h"

#include "platform/childprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcStart)

namespace basMain {

namespace {

// The environment, unlike the command line, is the member's own to read.
const char* const TipVariable = "KELVO_RENEWED_TIP";
int LineFd = 3;
qint64 OldCopy = 0; // the parent, unless a test says otherwise
constexpr int MaxLocks = 2;
constexpr int RunningLimitMs = 10000; // from "go" to "running": no page is loaded meanwhile
constexpr int ParentGoneMs = 2000;    // a dying process closes its files a moment before it is gone
constexpr qsizetype MaxLine = 64;

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

// The next line within `ms`, or nothing when the line ends or time runs out.
std::optional<QByteArray> waitLine(int fd, QByteArray& in, int ms) {
    QDeadlineTimer deadline(ms);
    for (;;) {
        if (auto line = takeLine(in))
            return line;
        pollfd p{fd, POLLIN, 0};
        const int left = int(deadline.remainingTime());
        if (left <= 0 || ::poll(&p, 1, left) <= 0 || !readInto(fd, in))
            return std::nullopt;
    }
}

} // namespace

bool HandOver::fromFrozenCopy(const QString& program, const QStringList& arguments,
                              const std::vector<int>& locks, const QString& tipLine, int listening,
                              int readyLimitMs) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    std::vector<int> handed{pair[1]};
    handed.insert(handed.end(), locks.begin(), locks.end());
    const qint64 pid = platform::spawnChild(program, QStringList{program} + arguments, handed,
                                            {QByteArray(TipVariable) + '=' + tipLine.toUtf8()});
    ::close(pair[1]);
    QByteArray in;
    bool runs = false;
    if (pid && waitLine(pair[0], in, readyLimitMs) == QByteArray("ready")) {
        if (listening >= 0)
            ::close(listening); // later starts try again until the new copy listens
        runs = writeAll(pair[0], "go\n") && waitLine(pair[0], in, RunningLimitMs) == QByteArray("running");
    }
    if (pid && !runs)
        platform::endChild(pid, true);
    ::close(pair[0]);
    return runs;
}

HandOver::HandOver(QObject* parent) : QObject(parent) {
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        abandon(m_goSent ? QStringLiteral("the new copy did not say it runs in time")
                         : QStringLiteral("the new copy was not ready in time"));
    });
}

HandOver::~HandOver() {
    if (m_pid)
        platform::endChild(m_pid, m_goSent);
    closeLine();
}

bool HandOver::start(const QString& program, const QStringList& arguments, const std::vector<int>& locks,
                     const QString& tipLine, int readyLimitMs) {
    if (underWay())
        return false;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        qCWarning(lcStart) << "no renewal:" << qt_error_string(errno);
        return false;
    }
    std::vector<int> handed{pair[1]};
    handed.insert(handed.end(), locks.begin(), locks.end());
    const QStringList argv = QStringList{program} + arguments;
    const qint64 pid =
        platform::spawnChild(program, argv, handed, {QByteArray(TipVariable) + '=' + tipLine.toUtf8()});
    ::close(pair[1]);
    if (!pid) {
        ::close(pair[0]);
        return false;
    }
    m_pid = pid;
    m_fd = pair[0];
    m_goSent = false;
    m_in.clear();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &HandOver::read);
    m_limit.start(readyLimitMs);
    qCInfo(lcStart) << "renewal: started" << pid;
    return true;
}

void HandOver::read() {
    const bool open = readInto(m_fd, m_in);
    while (const auto line = takeLine(m_in)) {
        if (*line == "ready" && !m_goSent) {
            qCInfo(lcStart) << "renewal: the new copy is ready";
            m_limit.stop();
            return Q_EMIT ready();
        }
        if (*line == "running" && m_goSent) {
            qCInfo(lcStart) << "renewed: process" << m_pid << "has taken over";
            platform::reapWhenEnded(m_pid); // its own now, but still our child
            m_pid = 0;
            closeLine();
            return Q_EMIT running();
        }
        if (*line == "refused" && !m_goSent) {
            qCWarning(lcStart) << "no renewal: the site refused the password";
            abandon(QString());
            return Q_EMIT refused();
        }
        return abandon(QStringLiteral("the new copy said something else"));
    }
    if (!open)
        abandon(QStringLiteral("the new copy ended"));
}

void HandOver::go(const std::vector<Command>& held, const QByteArrayList& news) {
    if (!underWay() || m_goSent)
        return;
    QByteArray words;
    for (Command command : held)
        words += commandWord(command) + '\n';
    for (const QByteArray& item : news)
        words += "news " + item.toBase64() + '\n';
    m_goSent = true;
    if (!writeAll(m_fd, words + "go\n"))
        return abandon(QStringLiteral("the new copy ended"));
    m_limit.start(RunningLimitMs);
}

void HandOver::abandon(const QString& why) {
    if (!underWay())
        return;
    if (!why.isEmpty())
        qCWarning(lcStart).noquote() << "no renewal:" << why;
    // Ended before the line goes: a line that closes must mean to the new
    // copy that this one is gone. Told go, it may hold the folder as its
    // own: it is given no chance to act on a SIGTERM.
    platform::endChild(m_pid, m_goSent);
    m_pid = 0;
    closeLine();
    const bool toldGo = std::exchange(m_goSent, false);
    Q_EMIT abandoned(toldGo);
}

void HandOver::closeLine() {
    m_limit.stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::unique_ptr<TakeOver> TakeOver::adopt() {
    struct stat line {};
    if (::fstat(LineFd, &line) != 0 || !S_ISSOCK(line.st_mode))
        return nullptr;
    ::fcntl(LineFd, F_SETFD, FD_CLOEXEC);
    return std::unique_ptr<TakeOver>(new TakeOver(LineFd));
}

std::vector<int> TakeOver::handedLocks() {
    std::vector<int> locks;
    for (int fd = LineFd + 1; fd <= LineFd + MaxLocks; ++fd) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            break;
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        locks.push_back(fd);
    }
    return locks;
}

QString TakeOver::tipLine() {
    const QString line = qEnvironmentVariable(TipVariable);
    qunsetenv(TipVariable); // not handed to the engine's processes
    return line;
}

void TakeOver::setLineForTesting(int fd, qint64 pid) {
    LineFd = fd;
    OldCopy = pid;
}

TakeOver::TakeOver(int fd) : m_fd(fd), m_oldCopy(OldCopy ? OldCopy : ::getppid()) {}

// Gone, or ended and not yet reaped by whoever started it.
bool TakeOver::oldCopyGone() const {
    if (::kill(pid_t(m_oldCopy), 0) != 0)
        return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(m_oldCopy));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype name = line.lastIndexOf(')');
    return name > 0 && line.mid(name + 2, 1) == "Z";
}

TakeOver::~TakeOver() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void TakeOver::sayReady() {
    if (!writeAll(m_fd, "ready\n"))
        return lineClosed();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TakeOver::read);
}

void TakeOver::sayRefused() {
    writeAll(m_fd, "refused\n"); // the old copy tells the member, if it is there
}

void TakeOver::sayRunning() {
    delete m_notifier;
    m_notifier = nullptr;
    writeAll(m_fd, "running\n"); // told go: this copy goes on whether heard or not
    ::close(m_fd);
    m_fd = -1;
}

void TakeOver::read() {
    const bool open = readInto(m_fd, m_in);
    while (const auto line = takeLine(m_in)) {
        if (*line == "go") {
            delete m_notifier;
            m_notifier = nullptr;
            return Q_EMIT go(std::exchange(m_held, {}));
        }
        if (line->startsWith("news "))
            m_news.append(QByteArray::fromBase64(line->mid(5)));
        else if (const auto command = commandFromWord(*line))
            m_held.push_back(*command);
    }
    if (!open)
        lineClosed();
}

void TakeOver::lineClosed() {
    delete m_notifier;
    m_notifier = nullptr;
    const QDeadlineTimer gone(ParentGoneMs);
    while (!oldCopyGone() && !gone.hasExpired())
        QThread::msleep(20);
    if (!oldCopyGone()) {
        qCInfo(lcStart) << "the copy before goes on";
        return Q_EMIT stop();
    }
    qCWarning(lcStart) << "the copy before is gone: this one takes over";
    Q_EMIT go(std::exchange(m_held, {}));
}

} // namespace basMain
