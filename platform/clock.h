#pragma once

#include <QtGlobal>

namespace platform {

// Time and sleeping behind one seam, so tests need not wait.
class Clock {
public:
    virtual ~Clock() = default;
    // Waits without handling user input: the engine keeps loading pages and
    // timers fire, but clicks and keys wait until the sleep is over.
    virtual void sleep(int ms) = 0;
    virtual qint64 elapsedMs() const = 0;
};

Clock& clock();
// nullptr restores the real clock. The clock is not owned.
void setClock(Clock* clock);

// The program's fixed sleeps go through here; benchmarks shorten them by a factor.
void Sleep(int ms);
void setSleepScale(double scale);

} // namespace platform
