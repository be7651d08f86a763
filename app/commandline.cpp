#include "app/commandline.h"

#include <QTextStream>

namespace basMain {

namespace {

const char* const Help = "Usage: KelvoMonitor [OPTION] [--webEngineArgs SWITCH...]\n"
                         "\n"
                         "Keeps you signed in to the Kelvo members' site from the notification area\n"
                         "and tells you when its top page has new articles.\n"
                         "\n"
                         "The commands of the tray menu, for desktops without a tray. They go to the\n"
                         "copy that is running; with none running, the program starts and then does it:\n"
                         "  --check          check for new articles now (すぐに確認)\n"
                         "  --top-page       open the top page, signed in (トップページ)\n"
                         "  --favorite       open the favorite page, signed in (お気に入り)\n"
                         "  --history        show what came, newest first (新着の履歴)\n"
                         "  --settings       change the sign-in or the favorite page (設定)\n"
                         "  --quit           end the running copy (終了); nothing if none runs\n"
                         "Started again without an option, a running copy without a tray shows its menu.\n"
                         "\n"
                         "  --help           show this help and end\n"
                         "  --version        show the version and end\n"
                         "  --webEngineArgs  everything after it goes to the browser engine\n"
                         "\n"
                         "Diagnostics go through Qt's logging; for example\n"
                         "  QT_LOGGING_RULES='kelvo.*.info=true' KelvoMonitor\n"
                         "shows sign-ins, checks, failed loads, file writes and the tray.\n";

struct Known {
    Command command;
    const char* word;
    const char* option;
};
constexpr Known Commands[] = {{Command::Show, "show", nullptr},
                              {Command::Check, "check", "--check"},
                              {Command::TopPage, "top-page", "--top-page"},
                              {Command::Favorite, "favorite", "--favorite"},
                              {Command::Settings, "settings", "--settings"},
                              {Command::History, "history", "--history"},
                              {Command::Quit, "quit", "--quit"}};

// The arguments that are the program's own: those before "--webEngineArgs".
QStringList ownArguments(const QStringList& arguments) {
    const QStringList own = arguments.mid(1);
    const qsizetype engine = own.indexOf(QStringLiteral("--webEngineArgs"));
    return engine < 0 ? own : own.mid(0, engine);
}

const QLatin1String Renewed("--renewed");

bool isCommandOption(const QString& arg) {
    for (const Known& known : Commands) {
        if (known.option && arg == QLatin1String(known.option))
            return true;
    }
    return false;
}

} // namespace

std::optional<int> HandleCommandLine(const QStringList& arguments, bool haveDesktop, QTextStream& out,
                                     QTextStream& err) {
    for (const QString& arg : ownArguments(arguments)) {
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

Command RequestedCommand(const QStringList& arguments) {
    Command requested = Command::Show;
    for (const QString& arg : ownArguments(arguments)) {
        for (const Known& known : Commands) {
            if (known.option && arg == QLatin1String(known.option))
                requested = known.command;
        }
    }
    return requested;
}

bool IsRenewed(const QStringList& arguments) {
    return ownArguments(arguments).contains(Renewed);
}

QStringList RenewedArguments(const QStringList& arguments) {
    QStringList out{Renewed};
    const QStringList own = ownArguments(arguments);
    for (const QString& arg : own) {
        if (arg != Renewed && !isCommandOption(arg))
            out << arg;
    }
    // the engine's switches as they came
    out << arguments.mid(1 + own.size());
    return out;
}

QByteArray commandWord(Command command) {
    for (const Known& known : Commands) {
        if (known.command == command)
            return QByteArray(known.word);
    }
    return {};
}

std::optional<Command> commandFromWord(const QByteArray& word) {
    for (const Known& known : Commands) {
        if (word == known.word)
            return known.command;
    }
    return std::nullopt;
}

bool HaveDesktop() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace basMain
