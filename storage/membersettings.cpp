#include "storage/membersettings.h"

#include "storage/inifile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcFiles)

namespace basMain {
namespace {
QString g_mailAddress;
QString g_password;
bool g_passwordAtHand = true;
bool g_keyringHoldsPassword = false;
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
    g_passwordAtHand = true;
    g_keyringHoldsPassword = false;
}
bool PasswordAtHand() {
    return g_passwordAtHand;
}
void setPasswordMissing() {
    g_password.clear();
    g_passwordAtHand = false;
    g_keyringHoldsPassword = false;
}
void setKeyringHoldsPassword(bool holds) {
    g_keyringHoldsPassword = holds;
}
QString FavoriteURL() {
    return g_favoriteURL;
}
void setFavoriteURL(const QString& value) {
    g_favoriteURL = value;
}

namespace {
QString canonical(const QString& path) {
    const QString c = QDir(path).canonicalPath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}
} // namespace

QString MemberFolder(const QString& executableDir, const QString& installedBinDir,
                     const QString& xdgConfigHome, const QString& home) {
    if (canonical(executableDir) != canonical(installedBinDir))
        return executableDir;
    // The XDG rules ignore a relative path.
    const QString config =
        QDir::isAbsolutePath(xdgConfigHome) ? xdgConfigHome : home + QStringLiteral("/.config");
    return QDir::cleanPath(config + QStringLiteral("/KelvoMonitor"));
}

QString MemberDir() {
    if (!g_applicationDirOverride.isEmpty())
        return g_applicationDirOverride;
    static const QString dir = [] {
        const QString exeDir = QCoreApplication::applicationDirPath();
        const QString folder = MemberFolder(exeDir, QStringLiteral(KELVO_INSTALL_BINDIR),
                                            qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
        // A folder of its own; beside the executable, a folder that may hold more.
        if (folder != exeDir)
            MakePrivateFolder(folder);
        return folder;
    }();
    return dir;
}

bool MakePrivateFolder(const QString& folder) {
    return (QFileInfo(folder).isDir() || QDir().mkpath(folder)) &&
           QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void setMemberDirForTesting(const QString& dir) {
    g_applicationDirOverride = dir;
}

QString WindowPrefsFilePath() {
    return MemberDir() + QStringLiteral("/browser.ini");
}

QByteArray WindowPlace(const QString& section) {
    return QByteArray::fromBase64(
        inifileModule::GetIniString(QStringLiteral("geometry"), section, QString(), WindowPrefsFilePath())
            .toLatin1());
}

bool SetWindowPlace(const QString& section, const QByteArray& geometry) {
    if (inifileModule::WriteIniString(QString::fromLatin1(geometry.toBase64()), QStringLiteral("geometry"),
                                      section, WindowPrefsFilePath()))
        return true;
    qCWarning(lcFiles) << "could not keep the place of a window in" << WindowPrefsFilePath();
    return false;
}

QString SettingsFilePath() {
    return MemberDir() + QStringLiteral("/settings.ini");
}

QString ReadSetting(Setting setting) {
    return inifileModule::GetIniString(QString::fromLatin1(setting.key), QString::fromLatin1(setting.section),
                                       QString(), SettingsFilePath());
}

bool PasswordInKeyring() {
    return ReadSetting(KeyringSetting) == QLatin1String("1");
}

bool CredentialsStored() {
    if (ReadSetting(MailAddressSetting) != MailAddress())
        return false;
    if (PasswordInKeyring())
        return g_passwordAtHand && g_keyringHoldsPassword;
    return ReadSetting(PasswordSetting) == Password();
}

} // namespace basMain
