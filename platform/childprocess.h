#pragma once

// Child processes of ours, POSIX-side: started with only the descriptors we
// hand them, ended within a bound, and always reaped, however long they take.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace platform {

// Starts `program` with `arguments` (argv[0] is the program). The child gets
// standard input from /dev/null, our standard output and error, `handed` at
// descriptors 3, 4, ... in that order, and nothing else of ours; signals as
// at a fresh start. `environment` entries ("NAME=value") replace ours of the
// same name. 0 when it could not be started (logged).
qint64 spawnChild(const QString& program, const QStringList& arguments, const std::vector<int>& handed,
                  const std::vector<QByteArray>& environment);

// Asks the child to end (SIGTERM) unless `hard`, then makes it (SIGKILL),
// waiting at most two seconds for each. One that has not ended by then is
// reaped whenever it does: never left as a zombie.
void endChild(qint64 pid, bool hard);

// A child left to run on its own: reaped whenever it ends.
void reapWhenEnded(qint64 pid);

// Whether the child has ended (reaped now if so).
bool childEnded(qint64 pid);

// Children of ours still waited for, for tests.
int childrenWaitedFor();

} // namespace platform
