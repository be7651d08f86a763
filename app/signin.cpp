// Sign-ins, the main window's part of them: the hidden browser's, what the
// member is told of each, and new credentials.

#include "app/frmmain.h"

#include "app/changes.h"
#include "platform/messagebox.h"
#include "platform/modal.h"
#include "storage/membersettings.h"

using basMain::LoginResult;
using From = basMain::HiddenBrowser::From;
using Kind = MainPhase::Kind;

void frmMain::tell(const report::Message& message) {
    platform::ShowMessage(message.text, message.warning ? platform::MessageIcon::Warning
                                                        : platform::MessageIcon::Information);
}

void frmMain::tellSignIn(LoginResult result, Asker asker) {
    // Never after a close was asked for: the tray icon may be gone already.
    if (closing())
        return;
    std::optional<report::Message> message;
    switch (result) {
    case LoginResult::SignedIn:
        break;
    case LoginResult::Rejected:
        message = report::Message{report::LoginFailedMessage, true};
        break;
    case LoginResult::Unconfirmed:
        if (asker == Asker::Start) // the settings are the likeliest cause
            message = report::Message{report::LoginFailedMessage, true};
        else if (asker == Asker::Member || m_hidden.signIn().firstOfEpisode())
            message = report::Message{report::UnconfirmedMessage, true};
        break;
    case LoginResult::NotReached: // the tip says so; the ticks try again
        if (asker == Asker::Member)
            message = report::Message{report::SiteUnreachableMessage, true};
        break;
    case LoginResult::Untrusted:
        if (asker != Asker::Timer)
            message = report::Message{report::UntrustedMessage, true};
        break;
    case LoginResult::NoPassword: // the keyring's part tells its own once
        if (asker == Asker::Member && !m_loginOffer)
            message = report::Message{m_keyring.message(), true};
        break;
    }
    if (message)
        tell(*message);
}

// The one way the hidden browser is signed in; the tip tells it meanwhile.
LoginResult frmMain::signInHidden(From from) {
    showStatus(report::TipSigningIn.arg(now()));
    auto result = LoginResult::NotReached;
    {
        Activity driving(*this, Kind::Driving);
        result = m_hidden.SignIn(from);
    }
    return result;
}

// The tip follows every sign-in of the hidden browser, its own included.
void frmMain::showSignInTip(LoginResult result) {
    switch (result) {
    case LoginResult::SignedIn:
        break; // what comes next tells
    case LoginResult::Rejected:
        showStatus(report::TipRefused.arg(now()));
        break;
    case LoginResult::NotReached:
        showStatus(report::TipNotReached.arg(now()));
        break;
    case LoginResult::Untrusted:
        showStatus(report::TipUntrusted.arg(now()));
        break;
    case LoginResult::Unconfirmed:
        showStatus(report::TipUnconfirmed.arg(now()));
        break;
    case LoginResult::NoPassword:
        showStatus(m_keyring.tipLine(now()));
        break;
    }
}

void frmMain::TellStartSignIn() {
    tellSignIn(m_hidden.signIn().last(), Asker::Start);
}

void frmMain::RefusedAtRenewal() {
    m_hidden.signIn().note(LoginResult::Rejected);
    tellSignIn(LoginResult::Rejected, Asker::Timer);
}

// New credentials: asked for, stored, and the hidden browser signed out and
// in with them.
void frmMain::ChangeLogin(bool keepUnstored) {
    Activity waiting(*this, Kind::Waiting);
    const std::optional<frmLogin::Result> entered = basMain::AskCredentials();
    if (!entered || closing())
        return;
    if (!basMain::StoreCredentials(*entered)) {
        if (!keepUnstored)
            return;
        // Told; this run goes on with what the member typed, stored nowhere.
        basMain::setMailAddress(entered->mailAddress);
        basMain::setPassword(entered->password);
    }
    auto result = LoginResult::NotReached;
    {
        // Driving: a close asked for now waits until the browser is free.
        Activity driving(*this, Kind::Driving);
        result = m_hidden.SignIn(From::SignedOut);
    }
    tellSignIn(result, Asker::Member);
}

bool frmMain::passwordAtHand() {
    if (basMain::PasswordAtHand())
        return true;
    // Driving: the keyring's answer is waited for on the event loop.
    Activity driving(*this, Kind::Driving);
    return m_keyring.retry();
}

void frmMain::offerKeyringLogin() {
    if (!m_loginOffer || closing() || isBusy() || platform::waitingForMember())
        return; // the next tick offers it
    const QString why = *std::exchange(m_loginOffer, std::nullopt);
    tell(report::Message{why, true});
    ChangeLogin(true);
}
