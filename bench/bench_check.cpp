// Whole checks of the tray program against kelvo-service with the program's
// sleeps shortened a hundredfold, a new article and its popup every tenth:
// time beyond the sleeps; resting private memory, PSS and the heap (bytes in
// use and in large blocks) at check 500 (check 5 in runs under 1000), at each
// quarter and after the last (1440 checks make a day, 43200 a month); CPU
// while idle between checks.
// Run (on an X display): build/bench/bench_check [checks]
#include "app/frmmain.h"
#include "app/frmmessage.h"
#include "benchmember.h"
#include "benchsupport.h"
#include "platform/clock.h"
#include "tools/kelvo-service/client/kelvoservice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

namespace {

// The real clock, counting the time spent sleeping.
class CountingClock : public platform::Clock {
public:
    void sleep(int ms) override {
        QElapsedTimer t;
        t.start();
        platform::setClock(nullptr);
        platform::clock().sleep(ms);
        platform::setClock(this);
        sleptNs += t.nsecsElapsed();
    }
    qint64 elapsedMs() const override { return m_timer.elapsed(); }
    qint64 sleptNs = 0;
    CountingClock() { m_timer.start(); }

private:
    QElapsedTimer m_timer;
};

} // namespace

int main(int argc, char* argv[]) {
    const int checks = argc > 1 ? std::max(20, atoi(argv[1])) : 500;
    return bench::runAsMember(argv[0], [&](KelvoService& service) {
        CountingClock clock;
        platform::setClock(&clock);
        // 3000 ms become 30 ms: enough for the page's animation frames to have run,
        // as they always have after the full sleep.
        platform::setSleepScale(0.01);

        // Popups are answered at once.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* m = qobject_cast<frmMessage*>(w); m && m->isVisible())
                    m->cmdClose->click();
        });
        answer.start(1);

        frmMain main;
        main.Form_Load();
        main.Timer1()->stop(); // the bench drives the checks
        if (!main.LoggedIn()) {
            std::printf("sign-in failed\n");
            return 1;
        }
        main.CheckTopPage(); // baseline
        platform::clock().sleep(3000);
        const double idle = bench::treePssMiB(getpid(), service.pid());
        std::printf("bench_check: %d checks, sleeps x0.01\n", checks);
        std::printf("PSS after sign-in: %.1f MiB\n", idle);

        // Resting as between two ticks: some seconds after a check, once the
        // page's renderer has gone. malloc's bytes in use (and in large blocks,
        // mapped on their own) tell a leak from memory held elsewhere.
        struct Resting {
            double privateMiB, pssMiB, heapMiB, largeMiB;
        };
        auto resting = [&] {
            platform::clock().sleep(10000);
            const struct mallinfo2 heap = mallinfo2();
            return Resting{bench::treePrivateMiB(getpid(), service.pid()),
                           bench::treePssMiB(getpid(), service.pid()), heap.uordblks / 1048576.0,
                           heap.hblkhd / 1048576.0};
        };
        auto show = [](int check, const Resting& r, const Resting* base = nullptr) {
            std::printf("resting after check %d: private %.1f MiB, PSS %.1f MiB, heap in use %.2f MiB, "
                        "large blocks %.2f MiB",
                        check, r.privateMiB, r.pssMiB, r.heapMiB, r.largeMiB);
            if (base)
                std::printf(" (private %+.2f MiB = %+.1f%%, heap %+.2f MiB = %+.1f%%)",
                            r.privateMiB - base->privateMiB,
                            (r.privateMiB - base->privateMiB) / base->privateMiB * 100,
                            r.heapMiB + r.largeMiB - base->heapMiB - base->largeMiB,
                            (r.heapMiB + r.largeMiB - base->heapMiB - base->largeMiB) /
                                (base->heapMiB + base->largeMiB) * 100);
            std::printf("\n");
            std::fflush(stdout);
        };
        // Growth is read against check 500 (check 5 in short runs): by then
        // every one-time cost of the run has been paid.
        const int reference = checks >= 1000 ? 500 : 5;
        std::vector<double> unchanged, changed;
        Resting atReference{};
        int wrong = 0;
        for (int i = 0; i < checks; ++i) {
            const bool change = i % 10 == 0;
            if (change)
                service.control("/_control/article", {{"title", "bench " + std::to_string(i)}});
            const qint64 slept = clock.sleptNs;
            QElapsedTimer t;
            t.start();
            const bool found = main.CheckTopPage() == frmMain::CheckOutcome::Changed;
            const double beyond = (t.nsecsElapsed() - (clock.sleptNs - slept)) / 1e6;
            (found ? changed : unchanged).push_back(beyond);
            if (found != change) {
                ++wrong;
                std::printf("check %d: change %s\n", i, found ? "found unexpectedly" : "missed");
            }
            if (i + 1 == reference) {
                atReference = resting();
                show(i + 1, atReference);
            } else if ((i + 1) % (checks / 4) == 0 && i + 1 < checks) {
                // Whether any growth levels off or goes on.
                const Resting now = resting();
                show(i + 1, now, i + 1 > reference ? &atReference : nullptr);
            }
        }
        // Taken as the others are: right after the last check, before anything else runs.
        const Resting last = resting();
        show(checks, last, &atReference);
        bench::print("check without change, beyond the sleeps", unchanged, "ms");
        bench::print("check with change (popup answered at once)", changed, "ms");
        std::printf("wrong outcomes: %d of %d checks\n", wrong, checks);

        // Idle between checks, as in real use: the timer's next tick is a minute away.
        answer.stop();
        const double cpuBefore = bench::treeCpuSeconds(getpid(), service.pid());
        QElapsedTimer wall;
        wall.start();
        platform::setClock(nullptr);
        platform::clock().sleep(60000);
        const double cpu = bench::treeCpuSeconds(getpid(), service.pid()) - cpuBefore;
        std::printf("CPU while idle for %.0f s: %.2f s = %.2f%% of a core\n", wall.elapsed() / 1000.0, cpu,
                    cpu / (wall.elapsed() / 1000.0) * 100);
        // A minute as in real use: one check at the program's full sleeps, then idle.
        platform::setSleepScale(1.0);
        const double cpuMinuteBefore = bench::treeCpuSeconds(getpid(), service.pid());
        QElapsedTimer minute;
        minute.start();
        main.CheckTopPage();
        platform::clock().sleep(static_cast<int>(std::max<qint64>(0, 60000 - minute.elapsed())));
        const double cpuMinute = bench::treeCpuSeconds(getpid(), service.pid()) - cpuMinuteBefore;
        std::printf("CPU over a minute with one full check: %.2f s = %.2f%% of a core\n", cpuMinute,
                    cpuMinute / (minute.elapsed() / 1000.0) * 100);
        main.Unload();
        return 0;
    });
}
