#pragma once

#include <QStringList>

#include <optional>

class QTextStream;

namespace basMain {

// What the command line settles before any window exists: "--help" and
// "--version" print and end the program; without a desktop to run on it
// says so and ends with 1. Switches after "--webEngineArgs" belong to the
// engine and are not looked at. Empty when the program is to run.
std::optional<int> HandleCommandLine(const QStringList& arguments, bool haveDesktop, QTextStream& out,
                                     QTextStream& err);

// Whether the environment names a display (X11, Wayland, or a Qt platform).
bool HaveDesktop();

} // namespace basMain
