#pragma once

// The member's sign-in as this copy knows it: one home that every sign-in of
// the hidden browser goes through (its own inside a check too), with the
// pace at which the timer may try again; the main window only reads it.

#include "web/login.h"

#include <QObject>

namespace basMain {

class SignInState : public QObject {
    Q_OBJECT
public:
    enum class State { NotSignedIn, SignedIn, Refused };

    State state() const { return m_state; }
    bool signedIn() const { return m_state == State::SignedIn; }
    // The site refused the stored credentials: nothing sends them again
    // until the member gives new ones.
    bool refused() const { return m_state == State::Refused; }
    // The timer may sign in now.
    bool timerMaySignIn() const { return !refused() && m_backoff.allows(); }
    // How the last sign-in noted ended.
    LoginResult last() const { return m_last; }
    // The last sign-in noted began an episode of unconfirmed ones.
    bool firstOfEpisode() const { return m_backoff.firstOfEpisode(); }

    // A sign-in ended so (or a page proved it: SignedIn).
    void note(LoginResult result);

Q_SIGNALS:
    // After every note, whether or not the state changed.
    void noted(basMain::LoginResult result);
    void changed(basMain::SignInState::State state);

private:
    State m_state = State::NotSignedIn;
    LoginResult m_last = LoginResult::NotReached;
    SignInBackoff m_backoff;
};

} // namespace basMain
