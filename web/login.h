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
    SignedIn,    // the page after it, or the top page right after, shows the marker
    Rejected,    // the site refused the credentials
    NotReached,  // no sign-in page, no form, a failed load, a gone browser
    Untrusted,   // the site's certificate is not trusted: nothing was sent
    Unconfirmed, // sent, and answered with neither (a challenge, a locked account)
    NoPassword,  // the keyring has not given the password yet: nothing sent
};

// Signs the browser in with the member's stored credentials. Never throws and
// never shows a message.
LoginResult SignIn(platform::Browser& browser);

// When the timer may send the password again after a sign-in that the site
// did not confirm: three quiet tries in the first hour of such an episode,
// then one an hour, so that a challenge or a locked account is not sent
// the password at every tick.
class SignInBackoff {
public:
    // The timer may sign in now.
    bool allows() const;
    // A sign-in ended so; true when it begins an episode (told once).
    bool note(LoginResult result);
    // The last sign-in noted began an episode.
    bool firstOfEpisode() const { return m_tries == 1; }

private:
    qint64 m_last = 0;
    int m_tries = 0; // in this episode
};
bool Login(platform::Browser& browser);

bool ShowsTopPage(platform::Browser& browser);
// Loads the top page: a reload when the browser shows it, else a navigation.
// Throws BrowserError like WaitWhileBusy.
void LoadTopPage(platform::Browser& browser);
// Sends the browser to the sign-out page; failures are ignored.
void Logout(platform::Browser& browser);

} // namespace basMain
