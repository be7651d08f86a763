#include "web/login.h"

#include "platform/clock.h"
#include "storage/membersettings.h"

#include <QLoggingCategory>
#include <QUrl>

Q_LOGGING_CATEGORY(lcSignIn, "kelvo.signin", QtWarningMsg)

namespace basMain {
namespace {
int g_busyTimeoutMs = 60000;
}

const QString SignedInMarker = QStringLiteral("ログアウト");
const QString LoginFailedMarker = QStringLiteral("ログインに失敗しました");

QString ServiceHost() {
    return QStringLiteral(KELVO_SERVICE_HOST);
}

QString TopURL() {
    return QStringLiteral("https://") + ServiceHost() + QStringLiteral("/");
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
    const QString failure = browser.LoadError();
    if (failure.startsWith(platform::CertificateFailurePrefix))
        throw platform::BrowserError(platform::ErrCertificate, failure);
    if (!failure.isEmpty())
        throw platform::BrowserError(platform::ErrLoadFailed, failure);
}

LoginResult SignIn(platform::Browser& browser) {
    if (!PasswordAtHand()) {
        qCInfo(lcSignIn) << "the password is not at hand: nothing sent";
        return LoginResult::NoPassword;
    }
    try {
        browser.Navigate(LoginURL());
        WaitWhileBusy(browser);
        // The password goes to the service's own page over TLS only: a sign-in
        // that was sent elsewhere, or down to plain http, gets nothing.
        const QUrl landed(browser.LocationURL());
        const QUrl own(LoginURL());
        if (landed.scheme() != own.scheme() || landed.host().compare(own.host(), Qt::CaseInsensitive) != 0 ||
            landed.port() != own.port()) {
            qCWarning(lcSignIn) << "the sign-in page is not the service's own; nothing sent to" << landed;
            return LoginResult::NotReached;
        }
        if (browser.BodyInnerText().contains(SignedInMarker)) {
            qCInfo(lcSignIn) << "already signed in";
            return LoginResult::SignedIn;
        }
        browser.SetElementValue(QStringLiteral("user_email"), MailAddress());
        browser.SetElementValue(QStringLiteral("user_password"), Password());
        browser.SubmitForm(1);
        // An answer that failed to load (the site went down mid-way) is no
        // sign-in, whatever it shows.
        WaitWhileBusy(browser);
        const QString answer = browser.BodyInnerText();
        if (answer.contains(LoginFailedMarker)) {
            qCInfo(lcSignIn) << "refused by the site";
            return LoginResult::Rejected;
        }
        // Neither words: the top page tells whether the session is there.
        if (!answer.contains(SignedInMarker)) {
            LoadTopPage(browser);
            if (!browser.BodyInnerText().contains(SignedInMarker)) {
                qCWarning(lcSignIn) << "the site did not confirm the sign-in";
                return LoginResult::Unconfirmed;
            }
        }
        qCInfo(lcSignIn) << "signed in";
        return LoginResult::SignedIn;
    } catch (const platform::BrowserError& e) {
        qCInfo(lcSignIn) << "not reached: browser failure" << e.number() << e.description();
        return e.number() == platform::ErrCertificate ? LoginResult::Untrusted : LoginResult::NotReached;
    }
}

bool SignInBackoff::allows() const {
    constexpr qint64 Minute = 60 * 1000;
    if (m_tries == 0)
        return true;
    return platform::clock().elapsedMs() - m_last >= (m_tries < 3 ? 20 : 60) * Minute;
}

bool SignInBackoff::note(LoginResult result) {
    if (result != LoginResult::Unconfirmed) {
        // Any other answer ends the episode: the site has said what it thinks.
        if (result != LoginResult::NotReached && result != LoginResult::NoPassword)
            m_tries = 0;
        return false;
    }
    m_last = platform::clock().elapsedMs();
    return ++m_tries == 1;
}

bool Login(platform::Browser& browser) {
    return SignIn(browser) == LoginResult::SignedIn;
}

bool ShowsTopPage(platform::Browser& browser) {
    return QUrl(browser.LocationURL()) == QUrl(TopURL());
}

void LoadTopPage(platform::Browser& browser) {
    if (ShowsTopPage(browser))
        browser.Refresh();
    else
        browser.Navigate(TopURL());
    WaitWhileBusy(browser);
}

void Logout(platform::Browser& browser) {
    try {
        browser.Navigate(LogoutURL());
        WaitWhileBusy(browser);
    } catch (const platform::BrowserError&) {
    }
}

} // namespace basMain
