#include "web/hiddenbrowser.h"

#include "platform/clock.h"
#include "storage/textcompare.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCheck, "kelvo.check", QtWarningMsg)

using platform::BrowserError;

namespace basMain {
namespace {

// Failures after which the check ends quietly and the next tick checks as
// usual: the site did not answer in time, sent no page, or is not trusted.
bool isForeseen(int number) {
    return number == platform::ErrBusyTimeout || number == platform::ErrScriptTimeout ||
           number == platform::ErrLoadFailed || number == platform::ErrPageLeft ||
           number == platform::ErrCertificate || number == platform::ErrProcessGone;
}

bool isAlive(platform::Browser& browser) {
    try {
        browser.Busy();
        return true;
    } catch (const BrowserError&) {
        return false;
    }
}

} // namespace

void HiddenBrowser::ensure(bool fresh) {
    if (!fresh && m_ie && isAlive(*m_ie))
        return;
    m_ie.reset();
    m_unexpectedFailures = 0;
    try {
        m_ie = platform::CreateBrowser();
        m_ie->setVisible(false);
    } catch (const BrowserError&) {
        m_ie.reset();
    }
}

LoginResult HiddenBrowser::SignIn(From from) {
    ensure(from == From::Fresh);
    LoginResult result = LoginResult::NotReached;
    if (m_ie) {
        if (from == From::SignedOut)
            Logout(*m_ie);
        result = basMain::SignIn(*m_ie);
        Rest();
    }
    m_signIn.note(result);
    return result;
}

void HiddenBrowser::Rest() {
    try {
        if (m_ie)
            m_ie->Rest();
    } catch (const BrowserError&) {
        // gone: the next check replaces it
    }
}

void HiddenBrowser::Quit() {
    try {
        if (m_ie)
            m_ie->Quit();
    } catch (const BrowserError&) {
        // already gone
    }
    m_ie.reset();
}

QString HiddenBrowser::readTopPage() {
    LoadTopPage(*m_ie);
    const QString landed = m_ie->LocationURL();
    platform::Sleep(3000);
    // Compared as it will read back from the file, so that a character
    // the file cannot hold does not raise a change at every check.
    const QString text = textcompare::storable(m_ie->BodyInnerText());
    if (!m_ie->Busy() && m_ie->LocationURL() == landed)
        return text;
    // The page went elsewhere by itself while it was read. Where it went says
    // why: a page without the marker (the sign-in page, a "session ended"
    // notice) means the session ended, and its text, lacking the marker, has
    // the caller sign in again; a signed-in page is not the top page.
    WaitWhileBusy(*m_ie);
    const QString there = textcompare::storable(m_ie->BodyInnerText());
    if (there.contains(SignedInMarker))
        throw BrowserError(platform::ErrPageLeft,
                           QStringLiteral("The page went elsewhere while it was read"));
    qCInfo(lcCheck) << "the top page moved on to a signed-out page: the session ended";
    return there;
}

TopPageRead HiddenBrowser::ReadTopPage() {
    TopPageRead read;
    try {
        if (!m_ie)
            throw BrowserError(platform::ErrProcessGone, QStringLiteral("no browser"));
        read.text = readTopPage();
        if (!read.text.contains(SignedInMarker)) {
            // The site ended the session: sign in again at once, quietly, and
            // look at the top page then.
            read.signIn = basMain::SignIn(*m_ie);
            m_signIn.note(read.signIn);
            if (read.signIn == LoginResult::SignedIn)
                read.text = readTopPage();
        }
        if (read.signIn == LoginResult::SignedIn && read.text.contains(SignedInMarker) &&
            !m_signIn.signedIn())
            m_signIn.note(LoginResult::SignedIn); // the page proves it, whoever signed in
        m_unexpectedFailures = 0;
    } catch (const BrowserError& e) {
        read.failure = e.number();
        qCInfo(lcCheck) << "no page: browser failure" << e.number() << e.description();
        if (!isForeseen(e.number())) {
            ++m_unexpectedFailures;
            qCWarning(lcCheck) << "unexpected browser failure" << e.number() << "- nothing compared";
        }
    }
    Rest();
    return read;
}

} // namespace basMain
