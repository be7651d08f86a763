#pragma once

// What the main window is doing, in one value: it answers "busy?" (ticks are
// dropped, or only record while a popup waits), "closing?" (nothing more is said to the member) and "may this
// command run now?".

#include "app/commandline.h"

class MainPhase {
public:
    // Waiting: a check or credential change waits for the member (a popup, a
    // dialog). Driving: the hidden browser is in use; a close must not pull
    // it away and becomes ClosePending until it is free. Closed once the
    // close sequence has run; Finished once nothing of ours is left open.
    enum class Kind { Idle, Waiting, Driving, ClosePending, Closed, Finished };

    Kind kind() const { return m_kind; }
    bool busy() const { return m_depth > 0; }
    bool unloaded() const { return m_kind == Kind::Closed || m_kind == Kind::Finished; }
    bool closing() const { return m_closeAsked || unloaded(); }
    bool driving() const { return m_kind == Kind::Driving || m_kind == Kind::ClosePending; }
    // A command's handler runs only while the browser is free (its door,
    // RunCommand, holds it until then).
    bool commandAllowed() const { return !driving() && !unloaded(); }
    // Every door's command waits while the browser is in use, and a check
    // or the settings while the member is being asked something.
    bool holds(basMain::Command command, bool memberAsked) const {
        if (command == basMain::Command::Quit || command == basMain::Command::History)
            return false; // a close waits for the browser by itself; the history needs none
        if (driving())
            return true;
        const bool asks = command == basMain::Command::Check || command == basMain::Command::Settings;
        return asks && (busy() || memberAsked);
    }

    // An activity of `kind` begins; the kind before it is what leave() restores.
    Kind enter(Kind kind) {
        ++m_depth;
        const Kind before = m_kind;
        if (m_kind == Kind::Idle || (m_kind == Kind::Waiting && kind == Kind::Driving))
            m_kind = kind;
        return before;
    }
    // True when a close that waited for the browser may run now.
    bool leave(Kind before) {
        --m_depth;
        if (m_kind == Kind::ClosePending && before != Kind::Driving) {
            m_kind = before;
            return true;
        }
        if (m_kind == Kind::Waiting || m_kind == Kind::Driving)
            m_kind = before;
        return false;
    }
    // A close is asked for: true when the close sequence may run now, false
    // when it waits for the browser.
    bool askClose() {
        if (unloaded())
            return false;
        m_closeAsked = true;
        if (driving()) {
            m_kind = Kind::ClosePending;
            return false;
        }
        m_kind = Kind::Closed;
        return true;
    }
    // The process may end: closed, nothing under way, no member window open.
    bool finish(bool memberWindowsOpen) {
        if (m_kind != Kind::Closed || m_depth > 0 || memberWindowsOpen)
            return false;
        m_kind = Kind::Finished;
        return true;
    }

private:
    Kind m_kind = Kind::Idle;
    int m_depth = 0; // nested activities under way
    bool m_closeAsked = false;
};
