#pragma once

#include "dialogs/frmlogin.h"

#include <optional>

namespace basMain {

// Asks for new credentials, pre-filled with the current ones; nothing when
// the member cancelled.
std::optional<frmLogin::Result> AskCredentials();

// Stores address and password in one replace of the settings file, then in
// memory. A failed write is told to the member with the system's reason and
// changes nothing, in the file or in memory.
bool StoreCredentials(const frmLogin::Result& entered);

// Asks for a new favorite URL (pre-filled) and stores a non-empty answer, in
// the file first: a failed write is told and the old favorite stays.
void ChangeFavorite();

} // namespace basMain
