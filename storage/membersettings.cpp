#include "storage/membersettings.h"

#include <QCoreApplication>

namespace basMain {
namespace {
QString g_mailAddress;
QString g_password;
QString g_favoriteURL;
QString g_applicationDirOverride;
} // namespace

QString MailAddress() {
    return g_mailAddress;
}
void setMailAddress(const QString& value) {
    g_mailAddress = value;
}
QString Password() {
    return g_password;
}
void setPassword(const QString& value) {
    g_password = value;
}
QString FavoriteURL() {
    return g_favoriteURL;
}
void setFavoriteURL(const QString& value) {
    g_favoriteURL = value;
}

QString ApplicationDir() {
    if (!g_applicationDirOverride.isEmpty())
        return g_applicationDirOverride;
    return QCoreApplication::applicationDirPath();
}

void setApplicationDirForTesting(const QString& dir) {
    g_applicationDirOverride = dir;
}

QString SettingsFilePath() {
    return ApplicationDir() + QStringLiteral("/settings.ini");
}

} // namespace basMain
