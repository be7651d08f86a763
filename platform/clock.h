#pragma once

#include <QtGlobal>

namespace platform {

// Time and sleeping behind one seam, so tests need not wait.
class Clock {
public:
    virtual ~Clock() = default;
    // Waits in a nested event loop: the engine keeps loading pages, timers
    // fire, and the member's clicks and keys are answered.
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
