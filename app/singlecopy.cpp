#include "app/singlecopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace basMain {

SingleCopy::SingleCopy(const QString& folder)
    : m_serverName(QStringLiteral("KelvoMonitor-") +
                   QString::fromLatin1(QCryptographicHash::hash(QDir(folder).canonicalPath().toUtf8(),
                                                                QCryptographicHash::Sha1)
                                           .toHex()
                                           .left(16))),
      m_lock(folder + QStringLiteral("/KelvoMonitor.lock")) {
    // Only a lock whose process is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleCopy::~SingleCopy() = default;

bool SingleCopy::claim() {
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError)
            return true;
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(1000)) {
            socket.write("show\n");
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
        }
        return false;
    }
    QLocalServer::removeServer(m_serverName); // left by a copy that was killed
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            Q_EMIT anotherStartRefused();
        }
    });
    m_server->listen(m_serverName);
    return true;
}

} // namespace basMain
