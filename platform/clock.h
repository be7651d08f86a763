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

// Hands memory that the program has freed back to the system. The C
// library keeps freed memory for reuse; between two checks, a minute apart,
// it would only swell the footprint.
void releaseFreedMemory();
// The same, some seconds from now (once, however often asked): the engine
// frees most of a page's memory only after the page's process has gone.
void releaseFreedMemorySoon();
// Blocks from 256 KiB up (the engine's frame buffers, say) go back to the
// system as soon as they are freed. Left to itself, the C library raises that
// bound after the first such block and keeps megabytes of them in its
// threads' pools, out of reach of releaseFreedMemory(). Call before threads start.
void returnLargeBlocksWhenFreed();

} // namespace platform
