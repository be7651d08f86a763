#pragma once

#include <QObject>

namespace platform {

// Reports SIGTERM, SIGINT and SIGHUP, and the end of the desktop session, on
// the user-interface thread.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

Q_SIGNALS:
    // `why`: the signal's name, or the session's end.
    void terminationRequested(const QString& why);
};

// A fault (a crash of ours or of the engine's) still ends the process as it
// would, core dump and all, after one line on standard error that says so.
void sayWhyOnFatalSignals();

} // namespace platform
