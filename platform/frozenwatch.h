#pragma once

// Whether the user-interface thread still turns its event loop. The engine
// can block it for good (it waits on a zygote that no longer answers), and
// then no timer, tray or door of ours runs: only a thread of our own can
// act. Counted in that thread's ticks, not in seconds, so that a machine
// that slept (every thread stopped alike) is no freeze.

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QTimer;

namespace platform {

class FrozenWatch {
public:
    // `onFrozen` runs on the watch's own thread, once, after `afterTicks`
    // ticks of `tickMs` without a beat of the event loop.
    FrozenWatch(int afterTicks, std::function<void()> onFrozen, int tickMs = 1000);
    ~FrozenWatch();

private:
    void watch();

    const int m_afterTicks;
    const int m_tickMs;
    std::function<void()> m_onFrozen;
    std::atomic<quint64> m_beats{0};
    QTimer* m_beat;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace platform
