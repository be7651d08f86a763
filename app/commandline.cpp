#include "app/commandline.h"

#include <QTextStream>

namespace basMain {

namespace {

const char* const Help = "Usage: KelvoMonitor [--help] [--version] [--webEngineArgs SWITCH...]\n"
                         "\n"
                         "Keeps you signed in to the Kelvo members' site from the notification area\n"
                         "and tells you when its top page has new articles.\n"
                         "\n"
                         "  --help           show this help and end\n"
                         "  --version        show the version and end\n"
                         "  --webEngineArgs  everything after it goes to the browser engine\n"
                         "\n"
                         "Diagnostics go through Qt's logging; for example\n"
                         "  QT_LOGGING_RULES='kelvo.*.info=true' KelvoMonitor\n"
                         "shows sign-ins, checks, failed loads and file writes.\n";

} // namespace

std::optional<int> HandleCommandLine(const QStringList& arguments, bool haveDesktop, QTextStream& out,
                                     QTextStream& err) {
    for (const QString& arg : arguments.mid(1)) {
        if (arg == QLatin1String("--webEngineArgs"))
            break;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << Help;
            return 0;
        }
        if (arg == QLatin1String("--version")) {
            out << "KelvoMonitor " << KELVO_VERSION << '\n';
            return 0;
        }
    }
    if (!haveDesktop) {
        err << "KelvoMonitor needs a desktop: neither DISPLAY nor WAYLAND_DISPLAY is set.\n";
        return 1;
    }
    return std::nullopt;
}

bool HaveDesktop() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace basMain
