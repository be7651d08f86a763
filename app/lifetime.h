#pragma once

// The life of one copy of the program, in one owner: its start (the folder
// taken, or the command handed to the copy that holds it), the signals and
// the session's end, the main window, one inbox for every command that
// comes from outside, the daily renewal on both sides, and one close that
// every way of ending goes through (終了, a later start's --quit, a signal,
// the session's end, a hand-over done, a start that fails).
//
// Qt WebEngine keeps a few kilobytes of every check's renderer for good, so
// a copy left running for weeks hands over to a new copy of itself about
// once a day (see handover.h for the line between the two): at a tick that
// found nothing new, when nothing of the member's would be lost
// (frmMain::restHeldBy). The member's browser windows do not hold it off:
// the new copy takes the tray, the checks and the lock, and the old process
// lives on for those windows alone, as after 終了.

#include "app/commandline.h"
#include "app/handover.h"
#include "app/singlecopy.h"
#include "storage/checkreport.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class frmMain;

namespace platform {
class FrozenWatch;
class TerminationWatcher;
} // namespace platform

namespace basMain {

// Ticks between two renewals; KELVO_RENEW_AFTER_CHECKS overrides it (0: never).
int RenewAfterChecks();

class Lifetime : public QObject {
    Q_OBJECT
public:
    // `arguments`: this start's; `folder`: the member's files.
    Lifetime(QStringList arguments, const QString& folder);
    ~Lifetime() override;

    // What the command line settles before any window: --help, --version,
    // no desktop to run on. Empty when the program is to run.
    static std::optional<int> answerCommandLine(const QStringList& arguments);

    // Starts, runs until this copy has ended, and ends: the process's status.
    int exec();
    // The start alone (exec's first step): a status when it ends at once.
    std::optional<int> start();
    // The one way to end. Carried out whatever is under way: a check ends
    // first, a hand-over is abandoned, a dialog of the start is closed.
    void close(const QString& why);
    // Starts a renewal now; false when none can start.
    bool renew();

    frmMain* mainWindow() const { return m_main.get(); }
    bool renewing() const { return m_handOver && m_handOver->underWay(); }
    qint64 newCopy() const { return m_handOver ? m_handOver->newCopy() : 0; }
    // For tests: the program a renewal starts, how long it may take to be
    // ready, and the ticks between renewals.
    void setRenewal(const QString& program, int readyLimitMs, int afterChecks);

Q_SIGNALS:
    // Nothing of this copy is left open: the process may end.
    void ended();

private:
    void receive(Command command);
    void runInbox();
    void wire();
    void tickChecked(report::CheckOutcome outcome);
    void repairEngine();
    void watchForFreeze();
    void tryRepair();
    void heldOff(const QString& why);
    void takeOver(const std::vector<Command>& held);
    void handOverAbandoned(bool toldGo);

    const QStringList m_arguments;
    SingleCopy m_single;
    platform::TerminationWatcher* m_termination = nullptr;
    std::unique_ptr<frmMain> m_main;
    std::vector<Command> m_inbox; // heard before the main window runs
    std::unique_ptr<TakeOver> m_takeOver;
    QString m_program;
    int m_readyLimitMs;
    int m_afterChecks;
    int m_ticks = 0;
    QString m_heldBy;
    qint64 m_heldSinceMs = 0;
    QString m_heldSince;
    bool m_heldWarned = false;
    bool m_closeAsked = false;
    bool m_repairing = false;
    qint64 m_lastRepairMs = -1;
    std::unique_ptr<platform::FrozenWatch> m_frozen;
    std::unique_ptr<HandOver> m_handOver; // last: a new copy is ended first
};

} // namespace basMain
