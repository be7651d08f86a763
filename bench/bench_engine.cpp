// Engine figures against kelvo-service on loopback:
//   engine start to first loaded page, reload + text read of a 200 KB top
//   page, and PSS of this process and its engine processes after sign-in and
//   after 300 reloads. Run: build/bench/bench_engine [runs]
#include "benchsupport.h"
#include "engine/engine.h"
#include "engine/webenginebrowser.h"
#include "platform/clock.h"
#include "storage/membersettings.h"
#include "tools/kelvo-service/client/kelvoservice.h"
#include "web/login.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <unistd.h>

namespace {

const QString Account = QStringLiteral("bench@example.com:bench");

// Waits for the load like WaitWhileBusy, but polls every millisecond so the
// figure is the engine's time, not the 1000 ms steps.
void waitEngine(platform::Browser& b) {
    QElapsedTimer t;
    t.start();
    while (b.Busy() && t.elapsed() < 60000) {
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace

// Child mode: one engine start to the first loaded page, against the parent's service.
int firstPage(int argc, char* argv[], const QElapsedTimer& sinceStart) {
    engine::ArgumentVector args(engine::prepareEngine(QStringList(QString::fromLocal8Bit(argv[0]))
                                                      << QStringLiteral("--webEngineArgs")
                                                      << KelvoService::engineSwitches(atoi(argv[2]))));
    Q_UNUSED(argc);
    QApplication app(args.argc(), args.argv());
    engine::WebEngineBrowser b;
    b.setVisible(false);
    b.Navigate(basMain::LoginURL());
    waitEngine(b);
    const bool loaded = b.BodyInnerText().contains(QStringLiteral("メールアドレス"));
    std::printf("%lld %d\n", static_cast<long long>(sinceStart.elapsed()), loaded ? 1 : 0);
    return 0;
}

int main(int argc, char* argv[]) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (argc > 2 && qstrcmp(argv[1], "--first-page") == 0)
        return firstPage(argc, argv, sinceStart);
    const int runs = argc > 1 ? std::max(20, atoi(argv[1])) : 20;
    char* ownArgv[] = {argv[0], nullptr};
    return runWithService(1, ownArgv, {Account}, [&](KelvoService& service) {
        basMain::setMailAddress(QStringLiteral("bench@example.com"));
        basMain::setPassword(QStringLiteral("bench"));
        std::printf("bench_engine: %d runs, kelvo-service on 127.0.0.1:%d\n", runs, service.port());
        std::vector<double> firstPages;
        int failed = 0;
        for (int i = 0; i < runs && !qEnvironmentVariableIsSet("KELVO_BENCH_SKIP_STARTS"); ++i) {
            QProcess p;
            p.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--first-page"), QString::number(service.port())});
            p.waitForFinished(120000);
            const QList<QByteArray> fields =
                p.readAllStandardOutput().trimmed().split('\n').last().split(' ');
            if (fields.size() == 2 && fields[1] == "1")
                firstPages.push_back(fields[0].toDouble());
            else
                ++failed;
        }
        bench::print("process start to first loaded page", firstPages, "ms");
        if (failed)
            std::printf("  %d starts did not load the page\n", failed);
        engine::WebEngineBrowser ie;
        ie.setVisible(false);
        if (!basMain::Login(ie)) {
            std::printf("sign-in failed\n");
            return 1;
        }
        // Let the engine settle before measuring memory.
        platform::clock().sleep(3000);
        const double idle = bench::treePssMiB(getpid(), service.pid());
        std::printf("PSS after sign-in (program + engine): %.1f MiB in %zu processes\n", idle,
                    bench::processTree(getpid(), service.pid()).size());
        // The program rests the hidden browser whenever it is idle.
        ie.Rest();
        platform::clock().sleep(3000);
        const double resting = bench::treePssMiB(getpid(), service.pid());
        std::printf("PSS after sign-in, hidden page resting as between checks: %.1f MiB in %zu processes\n",
                    resting, bench::processTree(getpid(), service.pid()).size());
        const int reloads = qEnvironmentVariableIntValue("KELVO_BENCH_RELOADS") > 0
                                ? qEnvironmentVariableIntValue("KELVO_BENCH_RELOADS")
                                : 300;
        for (int i = 1; i <= reloads; ++i) {
            ie.Refresh();
            waitEngine(ie);
            ie.BodyInnerText();
            if (i % 100 == 0) {
                std::printf("  after %d reloads: %.1f MiB (", i, bench::treePssMiB(getpid(), service.pid()));
                for (qint64 pid : bench::processTree(getpid(), service.pid()))
                    std::printf(" %lld:%.1f", static_cast<long long>(pid),
                                bench::smapsKiB(pid, {"Pss"}) / 1024.0);
                std::printf(" )\n");
            }
        }
        // Idle as between two checks, so that the engine's idle-time collection can run.
        platform::clock().sleep(30000);
        const double after = bench::treePssMiB(getpid(), service.pid());
        ie.Rest();
        platform::clock().sleep(3000);
        const double afterResting = bench::treePssMiB(getpid(), service.pid());
        std::printf("PSS after %d reloads: %.1f MiB (growth %.1f%%); resting: %.1f MiB (growth %.1f%%)\n",
                    reloads, after, (after - idle) / idle * 100, afterResting,
                    (afterResting - resting) / resting * 100);

        service.control("/_control/top-size", {{"kb", "200"}});
        ie.Navigate(QStringLiteral("https://") + basMain::ServiceHost() + QStringLiteral("/"));
        waitEngine(ie);
        std::printf("top page text: %lld KiB\n",
                    static_cast<long long>(ie.BodyInnerText().toUtf8().size() / 1024));
        std::vector<double> reload, text;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer t;
            t.start();
            ie.Refresh();
            waitEngine(ie);
            const double loaded = t.nsecsElapsed() / 1e6;
            ie.BodyInnerText();
            reload.push_back(t.nsecsElapsed() / 1e6);
            text.push_back(t.nsecsElapsed() / 1e6 - loaded);
        }
        bench::print("reload + text read, 200 KB top page", reload, "ms");
        bench::print("  of which the text read", text, "ms");
        std::printf("PSS with the 200 KB page: %.1f MiB\n", bench::treePssMiB(getpid(), service.pid()));
        return 0;
    });
}
