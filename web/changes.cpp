#include "web/changes.h"

#include "dialogs/frmfavorite.h"
#include "dialogs/frmlogin.h"
#include "platform/messagebox.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "web/login.h"

namespace basMain {

using inifileModule::WriteIniString;

const QString& loginFailedMessage() {
    static const QString text = QStringLiteral("ログインできません。設定を見直してください。");
    return text;
}

bool ChangeLogin(platform::Browser& browser) {
    const frmLogin::Result entered = frmLogin::Ask(MailAddress(), Password());
    if (entered.mailAddress.isEmpty())
        return false;
    Logout(browser);
    setMailAddress(entered.mailAddress);
    setPassword(entered.password);
    WriteIniString(MailAddress(), QStringLiteral("address"), QStringLiteral("mail"), SettingsFilePath());
    WriteIniString(Password(), QStringLiteral("pwd"), QStringLiteral("mail"), SettingsFilePath());
    if (Login(browser))
        return true;
    platform::ShowMessage(loginFailedMessage(), platform::MessageIcon::Warning);
    return false;
}

void ChangeFavorite() {
    const QString url = frmFavorite::Ask(FavoriteURL());
    if (url.isEmpty())
        return;
    setFavoriteURL(url);
    WriteIniString(FavoriteURL(), QStringLiteral("favorite"), QStringLiteral("url"), SettingsFilePath());
}

} // namespace basMain
