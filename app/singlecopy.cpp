#include "app/singlecopy.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcStart, "kelvo.start", QtWarningMsg)

namespace basMain {

namespace {

// A command is one short word and a line break.
constexpr qint64 MaxLine = 64;
// Long enough for a renewal's hand-over, when no copy listens for a moment.
constexpr int ReachMs = 5000;
// A close waits for a check to end: the longest a load and a sign-in take.
constexpr int ClosingMs = 90000;
// The holder answers from its event loop, which a check's wait keeps turning.
constexpr int AnswerMs = 3000;

bool isPrivateFolder(const QString& path) {
    const QFileInfo info(path);
    constexpr auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::WriteOther | QFile::ExeOther;
    return info.isDir() && info.ownerId() == ::getuid() && !(info.permissions() & others);
}

bool sameFile(int fd, const QString& path) {
    struct stat held {};
    struct stat named {};
    return !path.isEmpty() && ::fstat(fd, &held) == 0 && ::stat(QFile::encodeName(path), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

QString SingleCopy::channelPath(const QString& folder, const QString& runtimeDir) {
    if (!runtimeDir.isEmpty() && QDir::isAbsolutePath(runtimeDir) && isPrivateFolder(runtimeDir)) {
        const QByteArray hash =
            QCryptographicHash::hash(QDir(folder).canonicalPath().toUtf8(), QCryptographicHash::Sha1);
        return runtimeDir + QStringLiteral("/KelvoMonitor-") + QString::fromLatin1(hash.toHex().left(16));
    }
    return folder + QStringLiteral("/KelvoMonitor.socket");
}

SingleCopy::SingleCopy(const QString& folder)
    : m_folderLock(folder + QStringLiteral("/KelvoMonitor.lock")),
      m_channel(channelPath(folder, qEnvironmentVariable("XDG_RUNTIME_DIR"))) {
    if (!m_channel.startsWith(folder + QLatin1Char('/')))
        m_runtimeLock = m_channel + QStringLiteral(".lock");
}

SingleCopy::~SingleCopy() {
    release();
}

// Every place that can hold a lock is locked: one held by another copy is
// that copy's, an error is never taken for one.
SingleCopy::Lock SingleCopy::lock() {
    for (const QString& path : {m_folderLock, m_runtimeLock}) {
        if (path.isEmpty())
            continue;
        if (lockOne(path) == Lock::Busy) {
            for (const Held& held : m_locks)
                ::close(held.fd);
            m_locks.clear();
            return Lock::Busy;
        }
    }
    m_ownsLock = !m_locks.empty();
    return m_locks.empty() ? Lock::Failed : Lock::Held;
}

SingleCopy::Lock SingleCopy::lockOne(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // Twice at most: a copy that was letting go may have removed the file
    // between our open and our lock.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && (errno == EROFS || errno == EACCES))
            fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            qCInfo(lcStart) << "cannot lock" << path << ':' << qt_error_string(errno);
            return Lock::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return Lock::Busy;
            qCInfo(lcStart) << "cannot lock" << path << ':' << qt_error_string(error);
            return Lock::Failed;
        }
        if (sameFile(fd, path)) {
            m_locks.push_back({fd, path});
            return Lock::Held;
        }
        ::close(fd);
    }
    return Lock::Failed;
}

std::vector<int> SingleCopy::lockDescriptors() const {
    std::vector<int> fds;
    for (const Held& held : m_locks)
        fds.push_back(held.fd);
    return fds;
}

SingleCopy::Claim SingleCopy::claim(Command command) {
    QDeadlineTimer deadline(ReachMs);
    bool closing = false;
    for (;;) {
        // A --quit asks whoever listens; it takes the folder only to see
        // that nobody holds it, and lets it go at once.
        if (command == Command::Quit && handTo(command) != Answer::None)
            return Claim::HandedOver; // closing already counts
        Lock state = lock();
        if (state == Lock::Held && someoneListens()) {
            // A copy whose lock this start could not see (its lock file
            // removed under it): it is still the one that runs.
            qCWarning(lcStart) << "a copy listens at" << m_channel << "without the lock";
            release();
            state = Lock::Busy;
        }
        switch (state) {
        case Lock::Held:
            if (command == Command::Quit) {
                release();
                return Claim::NoneRunning;
            }
            takeOver();
            return Claim::Held;
        case Lock::Failed:
            if (command == Command::Quit)
                return Claim::NoneRunning;
            qCWarning(lcStart) << "running without a lock: nothing stops a second copy";
            listen();
            return Claim::Held;
        case Lock::Busy:
            if (command != Command::Quit) {
                const Answer answer = handTo(command);
                if (answer == Answer::Taken)
                    return Claim::HandedOver;
                if (answer == Answer::Closing && !closing) {
                    // It lets the folder go once its check is over: then this start runs.
                    closing = true;
                    deadline = QDeadlineTimer(ClosingMs);
                }
            }
            break;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(100);
    }
    if (closing) {
        qCWarning(lcStart) << "the running copy is closing and has not ended";
        return Claim::StillClosing;
    }
    qCWarning(lcStart) << "the running copy does not answer at" << m_channel;
    return Claim::NotReached;
}

SingleCopy::Answer SingleCopy::handTo(Command command) {
    QLocalSocket socket;
    socket.connectToServer(m_channel);
    if (!socket.waitForConnected(500))
        return Answer::None;
    socket.write(commandWord(command) + '\n');
    if (!socket.waitForBytesWritten(1000) && socket.bytesToWrite() > 0)
        return Answer::None;
    // A copy of an older version hangs up without a word: taken.
    const QDeadlineTimer answer(AnswerMs);
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState && !answer.hasExpired())
        socket.waitForReadyRead(int(answer.remainingTime()));
    const QByteArray word = socket.readLine(MaxLine + 1).trimmed();
    socket.disconnectFromServer();
    return word == "closing" ? Answer::Closing : Answer::Taken;
}

bool SingleCopy::someoneListens() const {
    QLocalSocket socket;
    socket.connectToServer(m_channel);
    const bool listens = socket.waitForConnected(200);
    socket.abort();
    return listens;
}

bool SingleCopy::adopt(const std::vector<int>& fds) {
    bool all = !fds.empty();
    for (int fd : fds) {
        bool ours = false;
        for (const QString& path : {m_folderLock, m_runtimeLock}) {
            // Shared with the copy before: the kernel's lock is already ours too.
            if (sameFile(fd, path) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                m_locks.push_back({fd, path});
                ours = true;
                break;
            }
        }
        all = all && ours;
        if (!ours)
            ::close(fd);
    }
    if (!all)
        passOn();
    return all;
}

void SingleCopy::takeOver() {
    m_ownsLock = !m_locks.empty();
    // For the member and for tools: who holds it. The kernel's lock is
    // what counts, so a full disk here changes nothing.
    const QByteArray info =
        QByteArray::number(::getpid()) + "\nKelvoMonitor\n" + QSysInfo::machineHostName().toUtf8() + '\n';
    for (const Held& held : m_locks) {
        if (::ftruncate(held.fd, 0) != 0 || ::pwrite(held.fd, info.constData(), info.size(), 0) < 0)
            qCInfo(lcStart) << "the lock file does not name its holder:" << qt_error_string(errno);
    }
    listen();
}

void SingleCopy::listen() {
    if (m_server)
        return;
    // Left by a copy that was killed; never one that a copy listens on.
    if (someoneListens()) {
        qCWarning(lcStart) << "another copy listens at" << m_channel << "- this one is not reached";
        return;
    }
    QLocalServer::removeServer(m_channel);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] { readCommand(s); });
            // A peer that says nothing is not kept waiting on.
            QTimer::singleShot(2000, s, &QLocalSocket::abort);
        }
    });
    if (!m_server->listen(m_channel))
        qCWarning(lcStart) << "later starts cannot reach this copy:" << m_server->errorString();
}

int SingleCopy::listeningDescriptor() const {
    return m_server ? int(m_server->socketDescriptor()) : -1;
}

void SingleCopy::stopListening() {
    delete m_server;
    m_server = nullptr;
}

void SingleCopy::passOn() {
    stopListening();
    for (const Held& held : m_locks)
        ::close(held.fd);
    m_locks.clear();
    m_ownsLock = false;
}

void SingleCopy::release() {
    // Removed while still held: a start that opened it meanwhile sees that
    // the name is no longer its file and makes a new one.
    for (const Held& held : m_locks) {
        if (m_ownsLock && sameFile(held.fd, held.path))
            ::unlink(QFile::encodeName(held.path).constData());
    }
    passOn();
}

void SingleCopy::readCommand(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > MaxLine) {
            qCWarning(lcStart) << "ignored an overlong command";
            socket->abort();
        }
        return;
    }
    const QByteArray word = socket->readLine(MaxLine + 1).trimmed();
    const std::optional<Command> command = commandFromWord(word);
    if (!command)
        qCWarning(lcStart) << "ignored an unknown command" << word.left(MaxLine);
    else
        socket->write(m_refusing ? "closing\n" : "ok\n");
    socket->disconnectFromServer();
    if (command && !m_refusing)
        Q_EMIT commandReceived(*command);
}

} // namespace basMain
