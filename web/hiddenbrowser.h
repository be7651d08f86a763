#pragma once

// The hidden browser `ie` of the whole run: made, signed in, resting between
// checks, read, and made anew when its process has gone or it keeps failing
// in ways nobody foresaw.

#include "platform/browser.h"
#include "web/login.h"
#include "web/signinstate.h"

#include <QString>

#include <optional>

namespace basMain {

// What one look at the top page brought.
struct TopPageRead {
    QString text;                               // the page's text, as it will read back from the snapshot
    std::optional<int> failure;                 // the browser failure that ended the look, if any
    LoginResult signIn = LoginResult::SignedIn; // of a sign-in that the look needed
};

class HiddenBrowser {
public:
    platform::BrowserPtr ie() const { return m_ie; }
    // Every sign-in below is noted there.
    SignInState& signIn() { return m_signIn; }
    const SignInState& signIn() const { return m_signIn; }

    // How a sign-in starts: with the browser there (a new one if it has
    // gone), with a new one, or by signing the one there out first (new
    // credentials).
    enum class From { Kept, Fresh, SignedOut };
    // Signs the hidden browser in and rests it. A browser that cannot be made
    // is a sign-in not reached.
    LoginResult SignIn(From from);
    // Loads and reads the top page; a page without the marker means the
    // session ended, and it is signed in again and read once more. Rests
    // the browser afterwards. Never throws.
    TopPageRead ReadTopPage();
    // Until it is needed again the engine may free the page.
    void Rest();
    void Quit();

    // Failures in a row that no rule foresaw: at this many the next check
    // starts with a new hidden browser.
    static constexpr int FreshBrowserAfter = 3;
    bool keepsFailing() const { return m_unexpectedFailures >= FreshBrowserAfter; }

private:
    QString readTopPage();
    void ensure(bool fresh);

    platform::BrowserPtr m_ie;
    SignInState m_signIn;
    int m_unexpectedFailures = 0;
};

} // namespace basMain
