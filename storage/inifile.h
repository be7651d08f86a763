#pragma once

#include <QList>
#include <QString>

// Reads and writes single entries of an INI file, keeping every other line of
// the file as it is. Section and key names match without regard to case; the
// first of duplicate sections or keys is the one used.
namespace inifileModule {

// A file that exists but cannot be read gives the default, and is logged.
QString GetIniString(const QString& key, const QString& section, const QString& defaultValue,
                     const QString& filePath);

// Returns false, leaving the file untouched, when the file cannot be written or
// when the value holds CR, LF or NUL (it would inject lines into the file).
bool WriteIniString(const QString& value, const QString& key, const QString& section,
                    const QString& filePath);

struct IniEntry {
    QString section;
    QString key;
    QString value;
    // Takes the key out instead, from every section of that name: a
    // password must not stay in a duplicate that reads ignore.
    bool remove = false;
};
// Writes all entries in one replace of the file: all of them or, on failure,
// none. `error`, when given, gets the reason the system gave.
bool WriteIniStrings(const QList<IniEntry>& entries, const QString& filePath, QString* error = nullptr);

} // namespace inifileModule
