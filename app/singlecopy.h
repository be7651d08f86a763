#pragma once

#include "app/commandline.h"

#include <QObject>
#include <QString>

#include <vector>

class QLocalServer;
class QLocalSocket;

namespace basMain {

// One copy of the program per folder of the member's files. The lock is the
// kernel's (flock) on "KelvoMonitor.lock" in the folder and on one beside the
// channel in the member's private runtime folder: every start takes both
// where they can be made, so two starts in one folder meet on the runtime
// folder's lock whatever the folder can hold at the moment. A lock ends with
// the last process that holds it and can be shared with a renewed copy
// without a moment when nobody holds it. A local socket lets a later start
// hand the holder its command; the holder answers "ok", or "closing" once its
// close has been asked for (the start then waits for it to end and runs).
class SingleCopy : public QObject {
    Q_OBJECT
public:
    explicit SingleCopy(const QString& folder);
    ~SingleCopy() override;

    enum class Claim {
        Held,         // this start holds the folder (or none can be locked anywhere)
        HandedOver,   // another copy holds it and has been handed the command
        NotReached,   // another copy holds it, but could not be handed the command
        StillClosing, // another copy is closing and did not end in time
        NoneRunning,  // a --quit found no copy; it never takes the folder
    };
    // Another copy may be in the middle of a hand-over: its channel is
    // tried again for a few seconds before the start gives up.
    Claim claim(Command command = Command::Show);

    // The locks' descriptors; empty when none could be made.
    std::vector<int> lockDescriptors() const;
    // In a renewed copy: `fds` are the locks its predecessor shares with it.
    // False (and `fds` closed) when one is no lock of this folder.
    bool adopt(const std::vector<int>& fds);
    // The folder is this copy's: its pid in the lock file, later starts heard.
    void takeOver();
    // Later starts wait (their claim tries again) until a copy listens.
    // The command channel's listening descriptor, -1 when not listening.
    int listeningDescriptor() const;
    void stopListening();
    // The lock goes on in another process: forget it, remove nothing.
    void passOn();
    // A close has been asked for: later starts are told so, and wait.
    void refuseCommands() { m_refusing = true; }
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
    Lock lockOne(const QString& path);
    enum class Answer { Taken, Closing, None };
    Answer handTo(Command command);
    bool someoneListens() const;
    void listen();
    void readCommand(QLocalSocket* socket);

    struct Held {
        int fd;
        QString path;
    };
    QString m_folderLock;
    QString m_runtimeLock; // empty without a private runtime folder
    QString m_channel;
    std::vector<Held> m_locks;
    bool m_ownsLock = false; // false while shared with the copy it came from
    bool m_refusing = false;
    QLocalServer* m_server = nullptr;
};

} // namespace basMain
