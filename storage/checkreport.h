#pragma once

// What the member is told about each look at the site: the tray tip's line,
// the manual check's message and the popup's list of what is new, with the
// lines that name the member left out. Words only; nothing here shows them.

#include "storage/newsrecord.h"
#include "storage/textcompare.h"

#include <QString>

#include <optional>

namespace report {

// How a check ended: a change (shown in the popup), no change, no page (a
// failed or late load, a page that went elsewhere, an unforeseen browser
// failure), the sign-in refused (told by the sign-in), the hidden browser
// replaced and signed in without a look at the page, a page that was not
// compared (not the member's top page, an unreadable snapshot), no look at
// all (the hidden browser busy, a close under way), a site whose
// certificate is not trusted (nothing was sent to it), or a sign-in that
// the site answered with neither a session nor a refusal.
enum class CheckOutcome {
    Changed,
    Unchanged,
    NotReached,
    Rejected,
    Recovered,
    NotCompared,
    NotLooked,
    Untrusted,
    Unconfirmed
};

extern const QString TrayTip; // "Kelvo+Monitor", the tip's first line
extern const QString LoginFailedMessage;
extern const QString NoNewArticlesMessage;
extern const QString NotLoggedInMessage;
extern const QString SiteUnreachableMessage;
extern const QString UntrustedMessage;
extern const QString UnconfirmedMessage;
extern const QString AlreadyRunningMessage;
extern const QString SettingsNotSavedMessage;
// A change told but not stored: it is kept and stored once it can be.
extern const QString NewsNotSavedMessage;

// The tip's second line; %1 is the time (HH:MM) where it has one.
extern const QString TipFirstCheck;
extern const QString TipSigningIn;
extern const QString TipUnchanged;
extern const QString TipNew; // %2: the first new line
extern const QString TipNewUnnamed;
extern const QString TipRemoved; // only lines went away
extern const QString TipRearranged;
extern const QString TipNotReached;
extern const QString TipRefused;
extern const QString TipNotRead;
extern const QString TipRecovered;
extern const QString TipUntrusted;
extern const QString TipUnconfirmed;

// The tip's line after a check that ended so, at `time`; nothing where the
// tip stays as it was or something else says it (a change, a refusal, no look).
std::optional<QString> tipAfter(CheckOutcome outcome, const QString& time);

struct Message {
    QString text;
    bool warning;
};
// The one message of a manual check that ended so; nothing where the popup or
// the sign-in has said it already, or where nothing was looked at.
std::optional<Message> afterManualCheck(CheckOutcome outcome);

// A change as the member may see it: inserted lines first, then updates (a
// counter, a date), none holding the member's mail address or password.
struct NewsReport {
    QString tipLine; // the tip's line at `time`
    QString popup;   // the popup's tooltip: up to five lines, or empty
};
NewsReport reportNews(const textcompare::News& news, const QString& time, const QString& mailAddress,
                      const QString& password);

// The record's entry of a change found at `found`: its lines in page order,
// none holding the member's mail address or password.
NewsEntry newsEntry(const textcompare::News& news, const QDateTime& found, const QString& mailAddress,
                    const QString& password);

} // namespace report
