#pragma once

#include "platform/browser.h"

#include <QString>

namespace basMain {

QString ServiceHost();
QString TopURL();    // https://<host>/
QString LoginURL();  // https://<host>/login?code=qzv
QString LogoutURL(); // https://<host>/account/logout

extern const QString SignedInMarker;    // "ログアウト"
extern const QString LoginFailedMarker; // "ログインに失敗しました"
constexpr int WaitStepMs = 1000;

// Reads Busy, sleeping a step while it is true. Gives up after the bound,
// stopping the load and throwing BrowserError ErrBusyTimeout. A load that
// brought no page throws ErrLoadFailed, or ErrCertificate when the site's
// certificate stopped it.
void WaitWhileBusy(platform::Browser& browser);
void setBusyTimeoutMs(int ms);
int busyTimeoutMs();

enum class LoginResult {
    SignedIn,
    Rejected,   // the site refused the credentials
    NotReached, // no sign-in page, no form, a failed load, a gone browser
    Untrusted   // the site's certificate is not trusted: nothing was sent
};

// Signs the browser in with the member's stored credentials. Never throws and
// never shows a message.
LoginResult SignIn(platform::Browser& browser);
bool Login(platform::Browser& browser);

bool ShowsTopPage(platform::Browser& browser);
// Loads the top page: a reload when the browser shows it, else a navigation.
// Throws BrowserError like WaitWhileBusy.
void LoadTopPage(platform::Browser& browser);
// Sends the browser to the sign-out page; failures are ignored.
void Logout(platform::Browser& browser);

} // namespace basMain
