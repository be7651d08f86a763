#pragma once

#include "app/commandline.h"

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace basMain {

// One copy of the program per folder of the member's files. The lock is the
// kernel's (flock) on "KelvoMonitor.lock" in the folder, so it ends with the
// last process that holds it and can be shared with a renewed copy without a
// moment when nobody holds it. A folder where no lock can be made (read-only
// with no lock file, no room for one) is locked in the member's private
// runtime folder instead. A local socket lets a later start hand the holder
// its command.
class SingleCopy : public QObject {
    Q_OBJECT
public:
    explicit SingleCopy(const QString& folder);
    ~SingleCopy() override;

    enum class Claim {
        Held,        // this start holds the folder (or none can be locked anywhere)
        HandedOver,  // another copy holds it and has been handed the command
        NotReached,  // another copy holds it, but could not be handed the command
        NoneRunning, // a --quit found no copy; it never takes the folder
    };
    // Another copy may be in the middle of a hand-over: its channel is
    // tried again for a few seconds before the start gives up.
    Claim claim(Command command = Command::Show);

    // The lock's descriptor, -1 when none could be made.
    int lockDescriptor() const { return m_lockFd; }
    // In a renewed copy: `fd` is the lock its predecessor shares with it.
    // False (and `fd` closed) when it is no lock of this folder.
    bool adopt(int fd);
    // The folder is this copy's: its pid in the lock file, later starts heard.
    void takeOver();
    // Later starts wait (their claim tries again) until a copy listens.
    void stopListening();
    // The lock goes on in another process: forget it, remove nothing.
    void passOn();
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
    enum class Lock { Held, Busy, Failed };
    Lock lock();
    bool handTo(Command command);
    void listen();
    void readCommand(QLocalSocket* socket);

    QString m_folderLock;
    QString m_runtimeLock; // empty without a private runtime folder
    QString m_channel;
    QString m_lockPath; // the one held
    int m_lockFd = -1;
    bool m_ownsLock = false; // false while shared with the copy it came from
    QLocalServer* m_server = nullptr;
};

} // namespace basMain
