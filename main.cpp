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
#include <QTimer>

#include <cstdio>
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
    const bool renewed = basMain::IsRenewed(arguments);
    if (renewed) {
        // Taking over from a copy that renewed itself: a start of the
        // member's that came first is the running copy, and needs nothing.
        if (!single.claimIfFree())
            return 0;
    } else {
        switch (single.claim(command)) {
        case basMain::SingleCopy::Claim::Held:
            break;
        case basMain::SingleCopy::Claim::HandedOver:
            return 0;
        case basMain::SingleCopy::Claim::NotReached:
            std::fprintf(stderr, "KelvoMonitor is running but could not be reached; nothing was done.\n");
            return 1;
        }
    }
    if (command == basMain::Command::Quit)
        return 0; // none was running
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
        // Out of the socket's handler: a command may wait for the member.
        QTimer::singleShot(0, main, [main, received] { main->RunCommand(received); });
    });
    if (!basMain::Main(renewed ? std::optional<QString>(basMain::RenewedTipLine()) : std::nullopt)) {
        basMain::ReleaseMainWindow();
        return 0;
    }
    frmMain* main = basMain::MainWindow();
    QObject::connect(main, &frmMain::closed, &single, &basMain::SingleCopy::release);
    QObject::connect(main, &frmMain::finished, &app, &QCoreApplication::quit);
    QObject::connect(main, &frmMain::renewalDue, main,
                     [&single, main, &arguments] { basMain::Renew(single, *main, arguments); });
    for (basMain::Command held : std::exchange(early, {}))
        QTimer::singleShot(0, main, [main, held] { main->RunCommand(held); });

    const int code = QApplication::exec();
    basMain::ReleaseMainWindow();
    return code;
}
