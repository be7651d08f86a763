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
    void terminationRequested();
};

} // namespace platform
