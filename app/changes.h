#pragma once

#include "dialogs/frmlogin.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"

#include <optional>

namespace basMain {

// Asks for new credentials, pre-filled with the current ones; nothing when
// the member cancelled.
std::optional<frmLogin::Result> AskCredentials();

// Writes the entries in one replace of the settings file; a failure is told
// with the system's reason.
bool WriteSettings(const QList<inifileModule::IniEntry>& entries);
inifileModule::IniEntry SettingEntry(Setting setting, const QString& value);

// Stores address and password in one replace of the settings file (the
// password in the keyring instead, when the member chose it), then in
// memory. A failed write is told to the member with the system's reason and
// changes nothing, in the file or in memory.
bool StoreCredentials(const frmLogin::Result& entered);

// Asks for a new favorite URL (pre-filled) and stores a non-empty answer, in
// the file first: a failed write is told and the old favorite stays.
void ChangeFavorite();

} // namespace basMain
