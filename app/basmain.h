#pragma once

#include <QString>

#include <memory>
#include <optional>

class frmMain;

namespace basMain {

// Start-up: reads the member settings, asks for the credentials when no mail
// address is stored, then loads the hidden main window. Returns none when
// the program is to end at once (the member cancelled the login dialog, a
// close came during the load). `renewedTip` is set when this copy takes over
// from one that renewed itself: it never asks.
std::unique_ptr<frmMain> Main(const std::optional<QString>& renewedTip = std::nullopt);

} // namespace basMain
