#pragma once

// The engine's own processes (zygotes, renderers) as the kernel shows them:
// ending one that no longer answers, those a stopped engine leaves behind,
// and whether the engine still manages to start renderers at all.

#include <QObject>
#include <QString>

#include <vector>

namespace platform {

// Whether `pid` is one of the engine's processes below ours.
bool isEngineProcess(qint64 pid);
// Ends it at once (SIGKILL) if it still is one; false when it is not.
bool endEngineProcess(qint64 pid);
// The engine's processes below `pid`, at any depth.
std::vector<qint64> engineProcessesBelow(qint64 pid);
// At the program's end: the engine's processes still below ours (a stopped
// zygote cannot notice that we went) are ended, and said so.
void endEngineProcessesLeft();

// Whether renderers start. A zygote that no longer forks (after a sleep, a
// stop) cannot be mended inside the process: after a few failures in a row
// the copy is to be replaced.
class RendererStarts : public QObject {
    Q_OBJECT
public:
    static RendererStarts* instance();
    static constexpr int BrokenAfter = 3;
    void started();
    void failed(const QString& why);
    int failuresInARow() const { return m_failures; }
    bool broken() const { return m_failures >= BrokenAfter; }
Q_SIGNALS:
    // At BrokenAfter failures in a row, and at each one after.
    void engineBroken();

private:
    int m_failures = 0;
};

} // namespace platform
