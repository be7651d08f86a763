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

// The folder's lock file, or the runtime folder's where the folder can hold
// none. An error is never taken for another copy: only a lock held is.
SingleCopy::Lock SingleCopy::lock() {
    for (const QString& path : {m_folderLock, m_runtimeLock}) {
        if (path.isEmpty())
            continue;
        const QByteArray name = QFile::encodeName(path);
        // Twice at most: a copy that was letting go may have removed the file
        // between our open and our lock.
        for (int attempt = 0; attempt < 2; ++attempt) {
            int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0 && (errno == EROFS || errno == EACCES))
                fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0) {
                qCWarning(lcStart) << "cannot lock" << path << ':' << qt_error_string(errno);
                break;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const int error = errno;
                ::close(fd);
                if (error == EWOULDBLOCK)
                    return Lock::Busy;
                qCWarning(lcStart) << "cannot lock" << path << ':' << qt_error_string(error);
                break;
            }
            if (sameFile(fd, path)) {
                m_lockFd = fd;
                m_lockPath = path;
                m_ownsLock = true;
                return Lock::Held;
            }
            ::close(fd);
        }
    }
    return Lock::Failed;
}

SingleCopy::Claim SingleCopy::claim(Command command) {
    const QDeadlineTimer deadline(ReachMs);
    for (;;) {
        // A --quit asks whoever listens; it takes the folder only to see
        // that nobody holds it, and lets it go at once.
        if (command == Command::Quit && handTo(command))
            return Claim::HandedOver;
        switch (lock()) {
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
            if (command != Command::Quit && handTo(command))
                return Claim::HandedOver;
            break;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(100);
    }
    qCWarning(lcStart) << "the running copy does not answer at" << m_channel;
    return Claim::NotReached;
}

bool SingleCopy::handTo(Command command) {
    QLocalSocket socket;
    socket.connectToServer(m_channel);
    if (!socket.waitForConnected(500))
        return false;
    socket.write(commandWord(command) + '\n');
    const bool written = socket.waitForBytesWritten(1000) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    return written;
}

bool SingleCopy::adopt(int fd) {
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        for (const QString& path : {m_folderLock, m_runtimeLock}) {
            // Shared with the copy before: the kernel's lock is already ours too.
            if (sameFile(fd, path) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                m_lockFd = fd;
                m_lockPath = path;
                m_ownsLock = false;
                return true;
            }
        }
    }
    if (fd >= 0)
        ::close(fd);
    return false;
}

void SingleCopy::takeOver() {
    if (m_lockFd >= 0) {
        m_ownsLock = true;
        // For the member and for tools: who holds it. The kernel's lock is
        // what counts, so a full disk here changes nothing.
        const QByteArray info =
            QByteArray::number(::getpid()) + "\nKelvoMonitor\n" + QSysInfo::machineHostName().toUtf8() + '\n';
        if (::ftruncate(m_lockFd, 0) != 0 || ::pwrite(m_lockFd, info.constData(), info.size(), 0) < 0)
            qCInfo(lcStart) << "the lock file does not name its holder:" << qt_error_string(errno);
    }
    listen();
}

void SingleCopy::listen() {
    if (m_server)
        return;
    QLocalServer::removeServer(m_channel); // left by a copy that was killed
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

void SingleCopy::stopListening() {
    delete m_server;
    m_server = nullptr;
}

void SingleCopy::passOn() {
    stopListening();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
    m_ownsLock = false;
}

void SingleCopy::release() {
    // Removed while still held: a start that opened it meanwhile sees that
    // the name is no longer its file and makes a new one.
    if (m_lockFd >= 0 && m_ownsLock && sameFile(m_lockFd, m_lockPath))
        ::unlink(QFile::encodeName(m_lockPath).constData());
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
    socket->disconnectFromServer();
    if (const std::optional<Command> command = commandFromWord(word))
        Q_EMIT commandReceived(*command);
    else
        qCWarning(lcStart) << "ignored an unknown command" << word.left(MaxLine);
}

} // namespace basMain
