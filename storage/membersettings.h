#pragma once

#include <QString>

// The member's three settings, held for the whole run. Setting a value never
// writes the settings file: storing is always the caller's explicit step.
namespace basMain {

QString MailAddress();
void setMailAddress(const QString& value);
QString Password();
void setPassword(const QString& value);
QString FavoriteURL();
void setFavoriteURL(const QString& value);

// Folder of the executable; tests point it at a temporary folder.
QString ApplicationDir();
void setApplicationDirForTesting(const QString& dir);

QString SettingsFilePath();

} // namespace basMain
