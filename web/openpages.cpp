#include "web/openpages.h"

#include "platform/messagebox.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "web/login.h"

namespace basMain {

const QString NoFavoriteMessage = QStringLiteral("お気に入りは登録されていません。");

void OpenTopPage() {
    try {
        platform::BrowserPtr browser = platform::CreateBrowser();
        browser->setVisible(true);
        Login(*browser);
    } catch (const platform::BrowserError&) {
        // No browser could be made: nothing to show, nothing to tell.
    }
}

void OpenFavorite() {
    try {
        const QString url = inifileModule::GetIniString(QStringLiteral("FAVORITE"), QStringLiteral("URL"),
                                                        QString(), SettingsFilePath());
        if (url.isEmpty()) {
            platform::ShowMessage(NoFavoriteMessage, platform::MessageIcon::Information);
            return;
        }
        platform::BrowserPtr browser = platform::CreateBrowser();
        browser->setVisible(true);
        Login(*browser);
        browser->Navigate(url);
        WaitWhileBusy(*browser);
    } catch (const platform::BrowserError&) {
    }
}

} // namespace basMain
