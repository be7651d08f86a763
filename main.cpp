#include "app/basmain.h"
#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/renewal.h"
#include "app/singlecopy.h"
#include "engine/engine.h"
#include "engine/webenginebrowser.h"
#include "storage/membersettings.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

int main(int argc, char* argv[]) {
    const QStringList arguments = engine::argumentList(argc, argv);
    {
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const auto code = basMain::HandleCommandLine(arguments, basMain::HaveDesktop(), out, err))
            return *code;
    }
    engine::ArgumentVector args(engine::prepareEngine(arguments));
    QApplication app(args.argc(), args.argv());
    engine::install();
    QApplication::setApplicationName(QStringLiteral("KelvoMonitor"));
    QApplication::setApplicationVersion(QStringLiteral(KELVO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(KELVO_APP_ID));
    // The program ends through its close sequence, not when a window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    const basMain::Command command = basMain::RequestedCommand(arguments);
    basMain::SingleCopy single(basMain::MemberDir());
    // Taking over from a copy that renews itself: it hands this start the
    // folder's lock and a line to say when it runs.
    std::unique_ptr<basMain::Successor> successor;
    if (basMain::IsRenewed(arguments)) {
        successor = basMain::Successor::adopt(single);
        if (!successor)
            return 0;
    } else {
        switch (single.claim(command)) {
        case basMain::SingleCopy::Claim::Held:
            break;
        case basMain::SingleCopy::Claim::HandedOver:
        case basMain::SingleCopy::Claim::NoneRunning:
            return 0;
        case basMain::SingleCopy::Claim::NotReached:
            std::fprintf(stderr, "KelvoMonitor is running but could not be reached; nothing was done.\n");
            return 1;
        }
    }
    // Heard from the load on; what comes before the main window exists (while
    // the first-run dialog waits) is kept and run once it does.
    std::vector<basMain::Command> early;
    if (command != basMain::Command::Show)
        early.push_back(command);
    QObject::connect(&single, &basMain::SingleCopy::commandReceived, [&early](basMain::Command received) {
        frmMain* main = basMain::MainWindow();
        if (!main) {
            early.push_back(received);
            return;
        }
        main->RunLater({received}); // out of the socket's handler: it may wait for the member
    });
    if (!basMain::Main(successor ? std::optional<QString>(basMain::RenewedTipLine()) : std::nullopt) ||
        (successor && !successor->ready(*basMain::MainWindow()))) {
        basMain::ReleaseMainWindow();
        return 0;
    }
    frmMain* main = basMain::MainWindow();
    QObject::connect(main, &frmMain::closed, &single, &basMain::SingleCopy::release);
    QObject::connect(main, &frmMain::finished, &app, &QCoreApplication::quit);
    new basMain::Renewal(single, *main, arguments); // the main window's child
    main->RunLater(std::exchange(early, {}));

    const int code = QApplication::exec();
    basMain::ReleaseMainWindow();
    return code;
}
