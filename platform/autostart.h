#pragma once

#include <QString>

namespace platform {

// The member's autostart entry (the XDG autostart folder:
// $XDG_CONFIG_HOME/autostart or ~/.config/autostart, file "<id>.desktop").
QString autostartEntryPath(const QString& appId);
bool autostartEnabled(const QString& appId);
// Writes the entry, starting `executable` (an absolute path) a little after
// the session, or removes it. False when the file could not be written or
// removed.
bool setAutostart(const QString& appId, const QString& executable, bool enabled);

} // namespace platform
