#pragma once

// The daily renewal, all of it: when, how, the lock and the hand-over.
//
// Qt WebEngine keeps a few kilobytes of every check's renderer for good (it
// follows each renderer started, not our pages), so a copy left running for
// weeks hands over to a new copy of itself about once a day:
// - when: at a tick that found nothing new, with nothing under way, open,
//   held or unsaved (frmMain::atRest), and a lock to share;
// - how: the program file started again with "--renewed", standard input,
//   output and error, and two descriptors: 3, a line to the old copy, and 4,
//   the lock, which both hold meanwhile, so no other start can come between;
// - the hand-over, on that line:
//     new -> old  "ready"    its main window made and signed in, nothing shown
//     old -> new  the commands held meanwhile, if any, then "go"; the old
//                 copy no longer listens to later starts
//     new -> old  "running"  it listens, shows its icon, runs its timer;
//                 the old copy closes
//   Anything else (the new copy ends or falls silent, a close is asked for)
//   ends the new copy, and the old one goes on as before, a day longer.

#include "app/commandline.h"
#include "storage/checkreport.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
class frmMain;

namespace basMain {

class SingleCopy;

// Ticks between two renewals; KELVO_RENEW_AFTER_CHECKS overrides it (0: never).
int RenewAfterChecks();

// The old copy's side.
class Renewal : public QObject {
    Q_OBJECT
public:
    // `arguments`: this start's (see RenewedArguments).
    Renewal(SingleCopy& single, frmMain& main, QStringList arguments);
    ~Renewal() override;

    // Starts the new copy now; false when it could not be started.
    bool start();
    bool underWay() const { return m_pid > 0; }
    qint64 newCopy() const { return m_pid; }

    // For tests: the program started, how long it may take to be ready,
    // and the ticks between renewals.
    void setProgram(const QString& program, int readyLimitMs);
    void setAfterChecks(int checks) { m_afterChecks = checks; }

private:
    void tickChecked(report::CheckOutcome outcome);
    void read();
    void handOver();
    void finish();
    void abandon(const char* why);
    void closeLine();

    SingleCopy& m_single;
    frmMain& m_main;
    const QStringList m_arguments;
    QString m_program;
    int m_readyLimitMs;
    int m_afterChecks;
    int m_ticks = 0;
    qint64 m_pid = 0;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_limit;
    QByteArray m_in;
    bool m_goSent = false;
};

// The new copy's side, in a start with "--renewed".
class Successor : public QObject {
    Q_OBJECT
public:
    // The line and the lock handed to this start; null when it was handed
    // none (nothing to take over from: the start ends without a word).
    static std::unique_ptr<Successor> adopt(SingleCopy& single);
    ~Successor() override;

    // The start is complete: says so if signed in (false otherwise: the
    // old copy goes on), and takes over when told to.
    bool ready(frmMain& main);

private:
    Successor(SingleCopy& single, int fd);
    void read(frmMain& main);
    void takeOver(frmMain& main);

    SingleCopy& m_single;
    int m_fd;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_in;
    std::vector<Command> m_held;
};

// In the copy that took over: the line its predecessor's tip showed, if any.
QString RenewedTipLine();

} // namespace basMain
