#include "app/changes.h"

#include "app/keyring.h"

#include "storage/checkreport.h"

#include "dialogs/frmfavorite.h"
#include "platform/messagebox.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"

namespace basMain {

inifileModule::IniEntry SettingEntry(Setting setting, const QString& value) {
    return {QString::fromLatin1(setting.section), QString::fromLatin1(setting.key), value};
}

bool WriteSettings(const QList<inifileModule::IniEntry>& entries) {
    QString why;
    if (inifileModule::WriteIniStrings(entries, SettingsFilePath(), &why))
        return true;
    platform::ShowMessage(report::SettingsNotSavedMessage + QStringLiteral("\n") + why,
                          platform::MessageIcon::Warning);
    return false;
}

std::optional<frmLogin::Result> AskCredentials() {
    frmLogin::Result entered = frmLogin::Ask(MailAddress(), Password());
    if (entered.mailAddress.isEmpty())
        return std::nullopt;
    return entered;
}

bool StoreCredentials(const frmLogin::Result& entered) {
    if (PasswordInKeyring())
        return StoreCredentialsInKeyring(entered);
    // One write: a failure between the two would leave a mismatched pair.
    if (!WriteSettings({SettingEntry(MailAddressSetting, entered.mailAddress),
                        SettingEntry(PasswordSetting, entered.password)}))
        return false;
    setMailAddress(entered.mailAddress);
    setPassword(entered.password);
    return true;
}

void ChangeFavorite() {
    const QString url = frmFavorite::Ask(FavoriteURL());
    if (url.isEmpty())
        return;
    if (WriteSettings({SettingEntry(FavoriteSetting, url)}))
        setFavoriteURL(url);
}

} // namespace basMain
