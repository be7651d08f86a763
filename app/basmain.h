#pragma once

#include <QString>

#include <optional>

class frmMain;

namespace basMain {

// Start-up: reads the member settings, asks for the credentials when no mail
// address is stored, then loads the hidden main window. Returns false when
// the program is to end at once (the member cancelled the login dialog).
// `renewedTip` is set when this copy takes over from one that renewed itself.
bool Main(const std::optional<QString>& renewedTip = std::nullopt);

// The main window loaded by Main, or nullptr.
frmMain* MainWindow();
// Destroys the main window; called once the event loop has ended.
void ReleaseMainWindow();

} // namespace basMain
