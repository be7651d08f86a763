#include "app/basmain.h"
#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/singlecopy.h"
#include "engine/engine.h"
#include "engine/webenginebrowser.h"
#include "storage/membersettings.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

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
    if (!single.claim(command))
        return 0; // the copy already running has been handed the command
    if (command == basMain::Command::Quit)
        return 0; // none was running
    // Heard from the load on, while the first sign-in is still under way.
    QObject::connect(&single, &basMain::SingleCopy::commandReceived, [](basMain::Command received) {
        // Out of the socket's handler: a command may wait for the member.
        if (frmMain* main = basMain::MainWindow())
            QTimer::singleShot(0, main, [main, received] { main->RunCommand(received); });
    });
    if (!basMain::Main()) {
        basMain::ReleaseMainWindow();
        return 0;
    }
    frmMain* main = basMain::MainWindow();
    QObject::connect(main, &frmMain::finished, &app, &QCoreApplication::quit);
    if (command != basMain::Command::Show)
        QTimer::singleShot(0, main, [main, command] { main->RunCommand(command); });

    const int code = QApplication::exec();
    basMain::ReleaseMainWindow();
    return code;
}
