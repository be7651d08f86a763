#include "web/openpages.h"

#include "platform/messagebox.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "web/login.h"

namespace basMain {

const QString NoFavoriteMessage = QStringLiteral("お気に入りは登録されていません。");

namespace {

int g_opening = 0;
struct Opening {
    Opening() { ++g_opening; }
    ~Opening() { --g_opening; }
    Opening(const Opening&) = delete;
    Opening& operator=(const Opening&) = delete;
};

// A refused password is never sent again, and one the keyring has not
// given cannot be: the member signs in by hand.
bool openSignInPage(platform::Browser& browser, bool signIn) {
    if (signIn && PasswordAtHand())
        return false;
    browser.Navigate(LoginURL());
    WaitWhileBusy(browser);
    return true;
}

} // namespace

bool OpeningPage() {
    return g_opening > 0;
}

void OpenTopPage(bool signIn) {
    const Opening opening;
    try {
        platform::BrowserPtr browser = platform::CreateBrowser();
        browser->setVisible(true);
        if (openSignInPage(*browser, signIn))
            return;
        // A member already signed in may be left on the sign-in page; a
        // rejected one stays on the page that says why.
        if (Login(*browser) && !ShowsTopPage(*browser))
            LoadTopPage(*browser);
    } catch (const platform::BrowserError&) {
        // No browser could be made, or the top page did not load: the window
        // (if any) shows what the engine made of it.
    }
}

void OpenFavorite(bool signIn) {
    const Opening opening;
    try {
        const QString url = ReadSetting(FavoriteSetting);
        if (url.isEmpty()) {
            platform::ShowMessage(NoFavoriteMessage, platform::MessageIcon::Information);
            return;
        }
        platform::BrowserPtr browser = platform::CreateBrowser();
        browser->setVisible(true);
        if (openSignInPage(*browser, signIn))
            return;
        Login(*browser);
        browser->Navigate(url);
        WaitWhileBusy(*browser);
    } catch (const platform::BrowserError&) {
    }
}

} // namespace basMain
