#pragma once

#include <QString>

// The member's three settings, held for the whole run. Setting a value never
// writes the settings file: storing is always the caller's explicit step.
namespace basMain {

QString MailAddress();
void setMailAddress(const QString& value);
QString Password();
// Also makes the password at hand, and not (yet) the keyring's.
void setPassword(const QString& value);
// The keyring has not given the password (locked, gone, silent): nothing
// may sign in with it until it does.
bool PasswordAtHand();
void setPasswordMissing();
// The password in memory is the one the keyring holds (read from it, or
// stored to it).
void setKeyringHoldsPassword(bool holds);
QString FavoriteURL();
void setFavoriteURL(const QString& value);

// Folder of the member's files (settings.ini, the snapshot): beside the
// executable, unless it runs from the bin folder it was installed to, which
// is not the member's to write; then the member's config folder
// ($XDG_CONFIG_HOME or ~/.config, then "KelvoMonitor"), made if missing and
// private. Tests point it at a temporary folder.
QString MemberDir();
// Makes the member's config folder if need be, and private (0700) whoever
// made it: it holds the password and the member's pages.
bool MakePrivateFolder(const QString& folder);
void setMemberDirForTesting(const QString& dir);
QString MemberFolder(const QString& executableDir, const QString& installedBinDir,
                     const QString& xdgConfigHome, const QString& home);

QString SettingsFilePath();
// What our windows remember between starts ("browser.ini"): the member
// windows' zoom by site, and the place each kind of window was last left at
// (a section each), so that the settings file is never rewritten for them.
QString WindowPrefsFilePath();
QByteArray WindowPlace(const QString& section);
bool SetWindowPlace(const QString& section, const QByteArray& geometry);

// The settings file's sections and keys, named here and nowhere else.
struct Setting {
    const char* section;
    const char* key;
};
inline constexpr Setting MailAddressSetting{"mail", "address"};
inline constexpr Setting PasswordSetting{"mail", "pwd"};
// "1" when the password is in the desktop's keyring and not in the file.
inline constexpr Setting KeyringSetting{"mail", "keyring"};
inline constexpr Setting FavoriteSetting{"url", "favorite"};
inline constexpr Setting TrayNoticeSetting{"tray", "notice"};
// Its value in the settings file; empty when missing or unreadable.
QString ReadSetting(Setting setting);
bool PasswordInKeyring();
// The credentials in use are those stored, where the settings file says
// (a later copy of the program reads the same).
bool CredentialsStored();

} // namespace basMain
