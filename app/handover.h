#pragma once

// The hand-over from a copy that renews itself to the new copy it starts, on
// a line between the two (a socket pair, descriptor 3 in the new copy; the
// shared locks follow it at 4 and on):
//     new -> old  "ready"    signed in, nothing shown or said
//                 "refused"  the site refused the password: it ends
//     old -> new  the commands held meanwhile, one word a line, and news
//                 that could not be stored ("news BASE64" a line), then "go"
//     new -> old  "running"  it listens, shows its icon, runs its timer
// The old copy ends the new one before it lets the line go, whatever the
// reason: so a line that closes tells the new copy that the old one is gone,
// and it goes on by itself. Neither side knows windows or locks: the copy's
// owner (Lifetime) acts on what they report.

#include "app/commandline.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

class QSocketNotifier;

namespace basMain {

// The old copy's side.
class HandOver : public QObject {
    Q_OBJECT
public:
    explicit HandOver(QObject* parent = nullptr);
    ~HandOver() override; // a new copy not yet running is ended

    // Starts `program` with `arguments` (after argv[0]), handing it `locks`
    // and the tip's line; false when it could not be started.
    bool start(const QString& program, const QStringList& arguments, const std::vector<int>& locks,
               const QString& tipLine, int readyLimitMs);
    bool underWay() const { return m_pid > 0; }
    bool toldGo() const { return m_goSent; }
    qint64 newCopy() const { return m_pid; }
    // After ready(): the commands held meanwhile and the news this copy
    // could not store (opaque to the line), then "go".
    void go(const std::vector<Command>& held, const QByteArrayList& news = {});
    // Ends the new copy, then the line; abandoned() follows.
    void abandon(const QString& why);

    // The same line, walked with blocking reads from a thread of the old
    // copy whose event loop no longer turns: `listening`, the channel's
    // descriptor, is closed at "ready" so that the new copy can listen.
    // True once the new copy runs; a new copy that does not is ended.
    static bool fromFrozenCopy(const QString& program, const QStringList& arguments,
                               const std::vector<int>& locks, const QString& tipLine, int listening,
                               int readyLimitMs);

Q_SIGNALS:
    void ready();
    // The new copy runs, on its own from now on.
    void running();
    // Its sign-in was refused (after abandoned()).
    void refused();
    // The new copy has ended: this copy goes on (it had said go: `toldGo`).
    void abandoned(bool toldGo);

private:
    void read();
    void closeLine();

    qint64 m_pid = 0;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_limit;
    QByteArray m_in;
    bool m_goSent = false;
};

// The new copy's side, in a start with "--renewed".
class TakeOver : public QObject {
    Q_OBJECT
public:
    // The line handed to this start; null when there is none.
    static std::unique_ptr<TakeOver> adopt();
    // The locks handed with it.
    static std::vector<int> handedLocks();
    // For tests: the line is `fd` (the locks follow it), the old copy `pid`.
    static void setLineForTesting(int fd, qint64 pid);
    // The tip's line of the copy before (read once: not handed on further).
    static QString tipLine();
    ~TakeOver() override;

    void sayReady();
    void sayRefused();
    // The last word; the line is let go.
    void sayRunning();
    // The old copy has ended (a zombie counts).
    bool oldCopyGone() const;
    // The news handed with "go", once.
    QByteArrayList takeNews() { return std::exchange(m_news, {}); }

Q_SIGNALS:
    // Told "go", or the old copy is gone: this copy is the one now.
    void go(const std::vector<basMain::Command>& held);
    // The line closed while the old copy lives on: end unseen.
    void stop();

private:
    explicit TakeOver(int fd);
    void read();
    void lineClosed();

    int m_fd;
    qint64 m_oldCopy;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_in;
    std::vector<Command> m_held;
    QByteArrayList m_news;
};

} // namespace basMain
