#include "app/singlecopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcStart, "kelvo.start", QtWarningMsg)

namespace basMain {

namespace {

// A command is one short word and a line break.
constexpr qint64 MaxLine = 64;

bool isPrivateFolder(const QString& path) {
    const QFileInfo info(path);
    constexpr auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::WriteOther | QFile::ExeOther;
    return info.isDir() && info.ownerId() == ::getuid() && !(info.permissions() & others);
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
    : m_channel(channelPath(folder, qEnvironmentVariable("XDG_RUNTIME_DIR"))),
      m_lock(folder + QStringLiteral("/KelvoMonitor.lock")) {
    // Only a lock whose process is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleCopy::~SingleCopy() = default;

SingleCopy::Claim SingleCopy::claim(Command command) {
    if (claimIfFree())
        return Claim::Held;
    QLocalSocket socket;
    socket.connectToServer(m_channel);
    if (socket.waitForConnected(1000)) {
        socket.write(commandWord(command) + '\n');
        const bool written = socket.waitForBytesWritten(1000) || socket.bytesToWrite() == 0;
        socket.disconnectFromServer();
        if (written)
            return Claim::HandedOver;
    }
    qCWarning(lcStart) << "the running copy does not answer at" << m_channel;
    return Claim::NotReached;
}

bool SingleCopy::claimIfFree() {
    if (!m_lock.tryLock(0))
        return m_lock.error() != QLockFile::LockFailedError;
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
    return true;
}

qint64 SingleCopy::holder() const {
    qint64 pid = 0;
    QString host, app;
    if (m_lock.isLocked() || !m_lock.getLockInfo(&pid, &host, &app))
        return 0;
    // A lock whose process has gone holds nothing (see the stale lock time).
    return pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) == 0 ? pid : 0;
}

void SingleCopy::release() {
    delete m_server;
    m_server = nullptr;
    m_lock.unlock();
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
