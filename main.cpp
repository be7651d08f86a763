#include "app/basmain.h"
#include "platform/engine.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    platform::ArgumentVector args(platform::prepareEngine(platform::argumentList(argc, argv)));
    QApplication app(args.argc(), args.argv());
    QApplication::setApplicationName(QStringLiteral("KelvoMonitor"));
    QApplication::setApplicationVersion(QStringLiteral(KELVO_VERSION));
    // The program ends through its close sequence, not when a window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!basMain::Main())
        return 0;
    return QApplication::exec();
}
