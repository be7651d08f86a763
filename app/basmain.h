#pragma once

class frmMain;

namespace basMain {

// Start-up: reads the member settings, asks for the credentials when no mail
// address is stored, then loads the hidden main window. Returns false when
// the program is to end at once (the member cancelled the login dialog).
bool Main();

// The main window loaded by Main, or nullptr.
frmMain* MainWindow();
// Destroys the main window; called once the event loop has ended.
void ReleaseMainWindow();

} // namespace basMain
