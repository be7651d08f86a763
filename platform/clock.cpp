#include "platform/clock.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cmath>

namespace platform {
namespace {

class RealClock : public Clock {
public:
    RealClock() { m_timer.start(); }
    void sleep(int ms) override {
        if (ms <= 0)
            return;
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        // Input goes through: the member's windows stay live during a check,
        // and the main window's doors, not a frozen loop, keep commands from
        // nesting.
        loop.exec();
    }
    qint64 elapsedMs() const override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;
};

Clock* g_clock = nullptr;
double g_sleepScale = 1.0;

} // namespace

Clock& clock() {
    static RealClock real;
    return g_clock ? *g_clock : real;
}

void setClock(Clock* c) {
    g_clock = c;
}

void Sleep(int ms) {
    clock().sleep(static_cast<int>(std::lround(ms * g_sleepScale)));
}

void setSleepScale(double scale) {
    g_sleepScale = scale;
}

} // namespace platform
