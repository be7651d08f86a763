#include "web/login.h"

#include "platform/clock.h"
#include "storage/membersettings.h"

namespace basMain {
namespace {
int g_busyTimeoutMs = 60000;
}

const QString SignedInMarker = QStringLiteral("ログアウト");
const QString LoginFailedMarker = QStringLiteral("ログインに失敗しました");

QString ServiceHost() {
    return QStringLiteral(KELVO_SERVICE_HOST);
}

QString LoginURL() {
    return QStringLiteral("https://") + ServiceHost() + QStringLiteral("/login?code=qzv");
}

QString LogoutURL() {
    return QStringLiteral("https://") + ServiceHost() + QStringLiteral("/account/logout");
}

void setBusyTimeoutMs(int ms) {
    g_busyTimeoutMs = ms;
}

int busyTimeoutMs() {
    return g_busyTimeoutMs;
}

void WaitWhileBusy(platform::Browser& browser) {
    const qint64 start = platform::clock().elapsedMs();
    while (browser.Busy()) {
        if (platform::clock().elapsedMs() - start >= g_busyTimeoutMs) {
            browser.Stop();
            throw platform::BrowserError(platform::ErrBusyTimeout,
                                         QStringLiteral("The page did not finish loading in time"));
        }
        platform::Sleep(WaitStepMs);
    }
}

bool Login(platform::Browser& browser) {
    try {
        browser.Navigate(LoginURL());
        WaitWhileBusy(browser);
        if (browser.BodyInnerText().contains(SignedInMarker))
            return true;
        browser.SetElementValue(QStringLiteral("user_email"), MailAddress());
        browser.SetElementValue(QStringLiteral("user_password"), Password());
        browser.SubmitForm(1);
        WaitWhileBusy(browser);
        return !browser.BodyInnerText().contains(LoginFailedMarker);
    } catch (const platform::BrowserError&) {
        return false;
    }
}

void Logout(platform::Browser& browser) {
    try {
        browser.Navigate(LogoutURL());
        WaitWhileBusy(browser);
    } catch (const platform::BrowserError&) {
    }
}

} // namespace basMain
