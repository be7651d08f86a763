#include "app/basmain.h"
#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/singlecopy.h"
#include "engine/engine.h"
#include "engine/webenginebrowser.h"
#include "storage/membersettings.h"

#include <QApplication>
#include <QTextStream>

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
    basMain::SingleCopy single(basMain::MemberDir());
    if (!single.claim())
        return 0; // the copy already running has been told
    // Heard from the load on, while the first sign-in is still under way.
    QObject::connect(&single, &basMain::SingleCopy::anotherStartRefused, [] {
        if (frmMain* main = basMain::MainWindow())
            main->ShowAlreadyRunning();
    });
    if (!basMain::Main()) {
        basMain::ReleaseMainWindow();
        return 0;
    }
    QObject::connect(basMain::MainWindow(), &frmMain::finished, &app, &QCoreApplication::quit);

    const int code = QApplication::exec();
    basMain::ReleaseMainWindow();
    return code;
}
