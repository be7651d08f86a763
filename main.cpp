#include "app/basmain.h"
#include "app/frmmain.h"
#include "platform/engine.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    platform::ArgumentVector args(platform::prepareEngine(platform::argumentList(argc, argv)));
    QApplication app(args.argc(), args.argv());
    QApplication::setApplicationName(QStringLiteral("KelvoMonitor"));
    QApplication::setApplicationVersion(QStringLiteral(KELVO_VERSION));
    // The program ends through its close sequence, not when a window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!basMain::Main()) {
        basMain::ReleaseMainWindow();
        return 0;
    }
    QObject::connect(basMain::MainWindow(), &frmMain::finished, &app, &QCoreApplication::quit);
    const int code = QApplication::exec();
    basMain::ReleaseMainWindow();
    return code;
}
