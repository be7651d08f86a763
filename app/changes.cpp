#include "app/changes.h"

#include "app/frmmain.h"

#include "dialogs/frmfavorite.h"
#include "dialogs/frmlogin.h"
#include "platform/messagebox.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "web/login.h"

namespace basMain {

using inifileModule::WriteIniString;

std::optional<LoginResult> ChangeCredentials(platform::Browser* browser) {
    const frmLogin::Result entered = frmLogin::Ask(MailAddress(), Password());
    if (entered.mailAddress.isEmpty())
        return std::nullopt;
    if (browser)
        Logout(*browser);
    setMailAddress(entered.mailAddress);
    setPassword(entered.password);
    WriteIniString(MailAddress(), QStringLiteral("address"), QStringLiteral("mail"), SettingsFilePath());
    WriteIniString(Password(), QStringLiteral("pwd"), QStringLiteral("mail"), SettingsFilePath());
    const LoginResult result = browser ? SignIn(*browser) : LoginResult::NotReached;
    if (result != LoginResult::SignedIn)
        platform::ShowMessage(frmMain::LoginFailedMessage, platform::MessageIcon::Warning);
    return result;
}

bool ChangeLogin(platform::Browser& browser) {
    return ChangeCredentials(&browser) == LoginResult::SignedIn;
}

void ChangeFavorite() {
    const QString url = frmFavorite::Ask(FavoriteURL());
    if (url.isEmpty())
        return;
    setFavoriteURL(url);
    WriteIniString(FavoriteURL(), QStringLiteral("favorite"), QStringLiteral("url"), SettingsFilePath());
}

} // namespace basMain
