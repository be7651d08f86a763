#include "web/signinstate.h"

namespace basMain {

void SignInState::note(LoginResult result) {
    m_backoff.note(result);
    m_last = result;
    const State before = m_state;
    switch (result) {
    case LoginResult::SignedIn:
        m_state = State::SignedIn;
        break;
    case LoginResult::Rejected:
        m_state = State::Refused;
        break;
    case LoginResult::NotReached:
    case LoginResult::NoPassword:
    case LoginResult::Untrusted:
    case LoginResult::Unconfirmed:
        m_state = State::NotSignedIn;
        break;
    }
    Q_EMIT noted(result);
    if (m_state != before)
        Q_EMIT changed(m_state);
}

} // namespace basMain
