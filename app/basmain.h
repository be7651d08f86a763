#pragma once

#include <QString>

class frmLogin;

namespace basMain {

// Start-up: reads the member settings, asks for the credentials when no mail
// address is stored, then loads the hidden main window. Returns false when
// the program is to end at once (the member cancelled the login dialog).
bool Main();

// Shows a login dialog and waits until it hides. A dialog destroyed by other
// means counts as cancelled: both values empty.
struct Credentials {
    QString mailAddress;
    QString password;
};
Credentials AskCredentials(const QString& mailAddress, const QString& password);

} // namespace basMain
