#pragma once

#include "app/commandline.h"

#include <QLockFile>
#include <QObject>

class QLocalServer;
class QLocalSocket;

namespace basMain {

// One copy of the program per folder of the member's files: a lock file in
// the folder says who holds it, a local socket lets a later start hand the
// holder its command. A lock left by a copy that was killed is taken over.
class SingleCopy : public QObject {
    Q_OBJECT
public:
    explicit SingleCopy(const QString& folder);
    ~SingleCopy() override;

    enum class Claim {
        Held,       // this start holds the folder (or cannot tell: an unwritable folder does not stop it)
        HandedOver, // another copy holds it and has been handed the command
        NotReached  // another copy holds it, but could not be handed the command
    };
    Claim claim(Command command = Command::Show);
    // Holds the folder unless another copy does; that copy is told nothing.
    bool claimIfFree();
    // The pid of another live process holding the folder, or 0.
    qint64 holder() const;
    // Lets the folder go now (after the close sequence): a later start starts
    // a copy of its own, while this process waits for the member's windows.
    void release();

    // The channel of the copy that holds `folder`: in the member's private
    // runtime folder, where no other user can take the name first; else in
    // `folder` itself.
    static QString channelPath(const QString& folder, const QString& runtimeDir);

Q_SIGNALS:
    // A later start in the same folder was turned away and asked for this.
    void commandReceived(basMain::Command command);

private:
    void readCommand(QLocalSocket* socket);

    QString m_channel;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace basMain
