// Polling and change detection, the main window's part of them: the timer's
// tick, the check and what it compares, the popup.

#include "app/frmmain.h"

#include "app/frmmessage.h"
#include "dialogs/frmhistory.h"
#include "platform/browser.h"
#include "platform/messagebox.h"
#include "platform/modal.h"
#include "platform/placement.h"
#include "platform/tray.h"
#include "storage/membersettings.h"
#include "storage/textcompare.h"
#include "web/openpages.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QPointer>

Q_DECLARE_LOGGING_CATEGORY(lcCheck)

using basMain::LoginResult;
using From = basMain::HiddenBrowser::From;
using Kind = MainPhase::Kind;

void frmMain::Timer1_Timer() {
    // A tick while the hidden browser is in use is dropped: the next one
    // comes in 60 s. While a check waits in its popup, it only records.
    if (isUnloaded())
        return;
    if (m_popupPage && !m_phase.driving())
        return lookWhilePopupWaits();
    if (isBusy())
        return;
    storeHeldNews(false);
    if (m_loginOffer)
        return offerKeyringLogin();
    if (!LoggedIn()) {
        // A refused password is never sent again by the timer; one the site
        // did not confirm only at a slowing pace; after any other failure
        // each tick tries one quiet sign-in, and then checks.
        if (!m_hidden.signIn().timerMaySignIn())
            return;
        if (!passwordAtHand())
            return showStatus(m_keyring.tipLine(now()));
        const LoginResult result = signInHidden(From::Kept);
        tellSignIn(result, Asker::Timer);
        if (result != LoginResult::SignedIn)
            return;
    }
    const CheckOutcome outcome = CheckTopPage();
    if (outcome == CheckOutcome::Unconfirmed)
        tellSignIn(LoginResult::Unconfirmed, Asker::Timer);
    Q_EMIT tickChecked(outcome);
}

QString frmMain::restHeldBy(Renewal renewal) const {
    if (closing())
        return QStringLiteral("closing");
    if (isBusy())
        return QStringLiteral("a check, a sign-in or the member's answer is under way");
    if (m_hidden.signIn().refused())
        return QStringLiteral("the site refused the password: new credentials are needed");
    if (!LoggedIn() && renewal == Renewal::Daily)
        return QStringLiteral("not signed in");
    if (!m_pending.empty())
        return QStringLiteral("a command is held");
    if (platform::waitingForMember() || (m_notice->window() && m_notice->window()->isVisible()))
        return QStringLiteral("a window of ours is open");
    if (m_menu->isVisible() || QApplication::activePopupWidget())
        return QStringLiteral("a menu is open");
    if (m_history.window() && m_history.window()->isVisible())
        return QStringLiteral("a window of ours is open");
    if (!basMain::CredentialsStored())
        return QStringLiteral("the credentials in use are not stored");
    return {};
}

QString frmMain::TopFilePath() {
    return basMain::MemberDir() + QStringLiteral("/kelvo_top.txt");
}

bool frmMain::IsTextChanged(const QString& newText, const QString& oldText) {
    return textcompare::IsTextChanged(newText, oldText);
}

frmMain::CheckOutcome frmMain::CheckTopPage() {
    if (isBusy() || closing())
        return CheckOutcome::NotLooked; // the tip stays as it is
    const CheckOutcome outcome = checkTopPage();
    if (const auto line = report::tipAfter(outcome, now()))
        showStatus(*line);
    return outcome;
}

frmMain::CheckOutcome frmMain::checkTopPage() {
    Activity waiting(*this, Kind::Waiting);
    if (m_hidden.keepsFailing()) {
        // The hidden browser keeps failing in ways nobody foresaw: start over.
        qCWarning(lcCheck) << "a new hidden browser after" << m_hidden.FreshBrowserAfter
                           << "unexpected failures in a row";
        if (const auto outcome = signInNewForCheck(); outcome != CheckOutcome::Recovered)
            return outcome;
    }
    basMain::TopPageRead read;
    {
        Activity driving(*this, Kind::Driving);
        read = m_hidden.ReadTopPage();
    }
    if (read.failure == platform::ErrProcessGone)
        return signInNewForCheck();
    if (read.failure == platform::ErrCertificate)
        return CheckOutcome::Untrusted; // nothing was sent to it
    if (read.failure)                   // never the end of the program: the next tick checks as usual
        return CheckOutcome::NotReached;
    switch (read.signIn) {
    case LoginResult::SignedIn:
        break;
    case LoginResult::Rejected:
        tellSignIn(read.signIn, Asker::Timer);
        return CheckOutcome::Rejected;
    case LoginResult::Untrusted:
        return CheckOutcome::Untrusted;
    case LoginResult::NotReached:
    case LoginResult::NoPassword:
        return CheckOutcome::NotReached; // the next tick tries again
    case LoginResult::Unconfirmed:
        return CheckOutcome::Unconfirmed; // told by whoever asked for the check
    }
    if (!read.text.contains(basMain::SignedInMarker)) {
        // Every page of a signed-in member has the marker: right after a
        // sign-in, a page without it is something else (a maintenance or
        // consent page), never news.
        qCInfo(lcCheck) << "signed in, yet the top page lacks the marker: not compared";
        return CheckOutcome::NotCompared;
    }
    const QString path = TopFilePath();
    const std::optional<QString> oldText = m_snapshot.baselineFor(path, read.text);
    if (!oldText)
        return CheckOutcome::NotCompared;
    if (!IsTextChanged(read.text, *oldText)) {
        qCInfo(lcCheck) << "nothing new";
        return CheckOutcome::Unchanged;
    }
    qCInfo(lcCheck) << "new articles";
    const textcompare::News news = textcompare::whatIsNew(read.text, *oldText);
    const report::NewsReport told =
        report::reportNews(news, now(), basMain::MailAddress(), basMain::Password());
    m_history.add(news); // at once: the popup may wait for hours
    showStatus(told.tipLine);
    m_popupPage = read.text;
    ShowMessageForm(told.popup);
    storeNews(*std::exchange(m_popupPage, std::nullopt));
    return CheckOutcome::Changed;
}

void frmMain::lookWhilePopupWaits() {
    if (basMain::OpeningPage() || closing())
        return; // a member window signs in on the hidden browser's cookies
    basMain::TopPageRead read;
    {
        Activity driving(*this, Kind::Driving);
        if (m_popup)
            m_popup->setReading(true);
        read = m_hidden.ReadTopPage();
        if (m_popup)
            m_popup->setReading(false);
    }
    if (read.signIn == LoginResult::Rejected)
        tellSignIn(read.signIn, Asker::Timer);
    // Anything but the member's top page is left to the ticks after the popup.
    if (read.failure || read.signIn != LoginResult::SignedIn ||
        !read.text.contains(basMain::SignedInMarker) || !m_popupPage ||
        !IsTextChanged(read.text, *m_popupPage))
        return;
    qCInfo(lcCheck) << "new articles while the popup waits";
    const textcompare::News news = textcompare::whatIsNew(read.text, *m_popupPage);
    m_history.add(news);
    showStatus(report::reportNews(news, now(), basMain::MailAddress(), basMain::Password()).tipLine);
    m_popupPage = read.text;
}

void frmMain::storeNews(const QString& page) {
    const bool stored = m_snapshot.store(TopFilePath(), page);
    if (!stored)
        tellUnstored(m_snapshot.failure());
    else if (!m_history.allStored())
        tellUnstored(m_history.failure());
}

QByteArrayList frmMain::heldNews() {
    QByteArrayList news;
    if (m_snapshot.unsaved())
        news << "page " + m_snapshot.unsaved()->toUtf8();
    for (const NewsEntry& entry : m_history.stored().unwritten())
        news << "entry " + NewsRecord::encode(entry);
    return news;
}

void frmMain::takeHeldNews(const QByteArrayList& news) {
    QList<NewsEntry> entries;
    for (const QByteArray& item : news) {
        if (item.startsWith("page "))
            m_snapshot.hold(QString::fromUtf8(item.mid(5)));
        else if (const auto entry = NewsRecord::decode(item.mid(6)); item.startsWith("entry ") && entry)
            entries << *entry;
    }
    m_history.stored().hold(entries);
    if (!news.isEmpty())
        qCInfo(lcCheck) << "handed news that the copy before could not store:" << news.size() << "items";
    storeHeldNews(false);
}

void frmMain::newsHandedOver() {
    m_snapshot.forgetUnsaved();
    m_history.stored().forgetUnwritten();
}

void frmMain::tellUnstored(const QString& why) {
    if (std::exchange(m_unstoredTold, true) || closing())
        return;
    platform::ShowMessage(report::NewsNotSavedMessage + QStringLiteral("\n") + why,
                          platform::MessageIcon::Warning);
}

void frmMain::storeHeldNews(bool closing) {
    const bool record = m_history.retry();
    if (m_snapshot.retry(TopFilePath()) && record) {
        m_unstoredTold = false;
        return;
    }
    if (!closing) // the next start tells this news again
        return;
    if (m_snapshot.unsaved())
        qCWarning(lcCheck).noquote() << QStringLiteral("closing with news that could not be stored (%1): "
                                                       "its page is lost, beginning")
                                            .arg(m_snapshot.failure())
                                     << m_snapshot.unsaved()->left(80);
    if (!record)
        qCWarning(lcCheck).noquote()
            << QStringLiteral("closing with entries of the record of news that could not be stored (%1)")
                   .arg(m_history.failure());
}

// The hidden browser's process has gone, or it keeps failing: a new one,
// signed in. Its page is looked at by the next check.
frmMain::CheckOutcome frmMain::signInNewForCheck() {
    switch (signInHidden(From::Fresh)) {
    case LoginResult::SignedIn:
        return CheckOutcome::Recovered;
    case LoginResult::Rejected:
        tellSignIn(LoginResult::Rejected, Asker::Timer);
        return CheckOutcome::Rejected;
    case LoginResult::Untrusted:
        return CheckOutcome::Untrusted;
    case LoginResult::Unconfirmed:
        return CheckOutcome::Unconfirmed;
    case LoginResult::NotReached:
    case LoginResult::NoPassword:
        break;
    }
    return CheckOutcome::NotReached;
}

void frmMain::ShowMessageForm(const QString& whatIsNew) {
    QPointer<frmMessage> popup = new frmMessage;
    m_popup = popup;
    // The fixed text stays; hovering it shows what is new.
    popup->setToolTip(platform::plainToolTip(whatIsNew)); // the page's own lines
    popup->setAccessibleDescription(whatIsNew);
    basWin32API::MoveToBottomRight(*popup);
    basWin32API::SetTopMost(*popup);
    platform::showAndWait(popup);
    delete popup;
}
