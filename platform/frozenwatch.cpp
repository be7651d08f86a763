#include "platform/frozenwatch.h"

#include <QTimer>

namespace platform {

FrozenWatch::FrozenWatch(int afterTicks, std::function<void()> onFrozen, int tickMs)
    : m_afterTicks(afterTicks), m_tickMs(tickMs), m_onFrozen(std::move(onFrozen)), m_beat(new QTimer) {
    QObject::connect(m_beat, &QTimer::timeout, [this] { ++m_beats; });
    m_beat->start(tickMs / 2);
    m_thread = std::thread(&FrozenWatch::watch, this);
}

FrozenWatch::~FrozenWatch() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    delete m_beat;
}

void FrozenWatch::watch() {
    quint64 seen = m_beats;
    int still = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(m_tickMs), [this] { return m_stop; })) {
        const quint64 now = m_beats;
        still = now == seen ? still + 1 : 0;
        seen = now;
        if (still == m_afterTicks) {
            lock.unlock();
            m_onFrozen();
            lock.lock();
        }
    }
}

} // namespace platform
