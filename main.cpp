#include "app/lifetime.h"
#include "engine/engine.h"
#include "engine/webenginebrowser.h"
#include "platform/engineprocess.h"
#include "platform/termination.h"
#include "storage/membersettings.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    const QStringList arguments = engine::argumentList(argc, argv);
    if (const auto status = basMain::Lifetime::answerCommandLine(arguments))
        return *status;
    platform::sayWhyOnFatalSignals();
    engine::ArgumentVector args(engine::prepareEngine(arguments));
    int status = 0;
    {
        QApplication app(args.argc(), args.argv());
        engine::install();
        QApplication::setApplicationName(QStringLiteral("KelvoMonitor"));
        QApplication::setApplicationVersion(QStringLiteral(KELVO_VERSION));
        QGuiApplication::setDesktopFileName(QStringLiteral(KELVO_APP_ID));
        // A copy ends through its owner's close, not when a window closes.
        QApplication::setQuitOnLastWindowClosed(false);
        basMain::Lifetime life(arguments, basMain::MemberDir());
        status = life.exec();
    }
    // Nothing of the engine outlives us, a stopped zygote included.
    platform::endEngineProcessesLeft();
    return status;
}
