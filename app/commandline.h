#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

class QTextStream;

namespace basMain {

// What a start asks of the program: a plain start, or one of the tray menu's
// commands (the desktop entry's actions). A running copy gets it as one word
// over the one-copy channel.
enum class Command { Show, Check, TopPage, Favorite, Settings, Quit, History };

// What the command line settles before any window exists: "--help" and
// "--version" print and end the program; without a desktop to run on it
// says so and ends with 1. Switches after "--webEngineArgs" belong to the
// engine and are not looked at. Empty when the program is to run.
std::optional<int> HandleCommandLine(const QStringList& arguments, bool haveDesktop, QTextStream& out,
                                     QTextStream& err);

// The command that the options ask for (the last one given); Show without one.
Command RequestedCommand(const QStringList& arguments);

QByteArray commandWord(Command command);
// Only the known words: anything else that reaches the channel is no command.
std::optional<Command> commandFromWord(const QByteArray& word);

// "--renewed": this start takes over from a copy of the program that ended
// itself to start afresh (see handover.h). Never given by the member.
bool IsRenewed(const QStringList& arguments);
// The arguments for such a start: this one's, without a command, with
// "--renewed" among the program's own.
QStringList RenewedArguments(const QStringList& arguments);

// Whether the environment names a display (X11, Wayland, or a Qt platform).
bool HaveDesktop();

} // namespace basMain
