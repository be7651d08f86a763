// The program's decisions against the scripted browser: signing in, checking
// and the snapshot file, recovery, the popup, the close sequence, opening
// pages, and the changes made from the tray menu and its dialogs.
#include "app/changes.h"
#include "app/frmmain.h"
#include "app/frmmessage.h"
#include "app/lifetime.h"
#include "app/singlecopy.h"
#include "dialogs/frmfavorite.h"
#include "dialogs/frmhistory.h"
#include "dialogs/frmlogin.h"
#include "dialogs/frmnotray.h"
#include "dialogs/frmsettings.h"
#include "platform/childprocess.h"
#include "platform/engineprocess.h"
#include "platform/messagebox.h"
#include "platform/placement.h"
#include "platform/tray.h"
#include "scriptedbrowser.h"
#include "storage/membersettings.h"
#include "testsupport.h"
#include "web/login.h"
#include "web/openpages.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>
#include <qpa/qwindowsysteminterface.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/socket.h>

using namespace basMain;
using Page = ScriptedBrowser::Page;
using namespace testsupport;

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeClock m_clock;
    QStringList m_messages;
    QString m_page; // what the top page shows now
    std::unique_ptr<frmMain> m_main;

    // The site: m@example.com with m_goodPassword signs in; the top page shows
    // m_page to a signed-in member. Its misbehaviour is switched by the members below.
    bool m_session = false;           // the site holds a session for the member
    bool m_down = false;              // every load fails
    bool m_untrusted = false;         // every load stops at the site's certificate
    bool m_loginPageSignedIn = false; // signed in, the sign-in page is shown (with the marker)
    std::optional<Page> m_answer;     // what any submission leads to
    // The top page moves on by itself once read: signed out to the sign-in
    // page (a timed refresh, a script), signed in to another signed-in page.
    bool m_movesOnSignedOut = false;
    bool m_movesOnSignedIn = false;
    std::shared_ptr<ScriptedBrowser> site() {
        auto b = std::make_shared<ScriptedBrowser>();
        auto* raw = b.get();
        b->onLoad = [this, raw](const QString& what) {
            if (m_down)
                return Page::failed(QStringLiteral("HttpStatusCodeDomain 503"));
            if (m_untrusted)
                return Page::failed(QStringLiteral("CertificateErrorDomain -202: not trusted"));
            const QString top = basMain::TopURL();
            if (what == basMain::LogoutURL())
                m_session = false;
            if (what == QStringLiteral("submit")) {
                if (m_answer)
                    return *m_answer;
                m_session =
                    raw->values.value(QStringLiteral("user_email")) == QStringLiteral("m@example.com") &&
                    raw->values.value(QStringLiteral("user_password")) == m_goodPassword;
                return m_session ? Page{m_page, top} : Page{QStringLiteral("ログインに失敗しました")};
            }
            const QString target = what == QStringLiteral("refresh") ? raw->location : what;
            if (target == basMain::LoginURL()) {
                if (!m_session)
                    return Page{QStringLiteral("ログイン")};
                return m_loginPageSignedIn ? Page{QStringLiteral("ログアウト ログイン")} : Page{m_page, top};
            }
            Page page{m_session ? m_page : QStringLiteral("セッションの有効期限が切れました")};
            if (m_session ? m_movesOnSignedIn : m_movesOnSignedOut)
                page.movesOn =
                    std::make_shared<Page>(m_session ? Page{QStringLiteral("ログアウト\r\n検索"),
                                                            basMain::TopURL() + QStringLiteral("search")}
                                                     : Page{QStringLiteral("ログイン"), basMain::LoginURL()});
            return page;
        };
        return b;
    }
    std::shared_ptr<ScriptedBrowser> ie() { return std::static_pointer_cast<ScriptedBrowser>(m_main->ie()); }
    void load() {
        m_main = std::make_unique<frmMain>();
        connect(m_main.get(), &frmMain::quitAsked, m_main.get(), &frmMain::Unload); // as its owner would
        m_main->Form_Load();
    }
    // The copy's owner, started as the program starts it, in place of m_main.
    std::unique_ptr<Lifetime> startCopy(const QStringList& arguments, std::optional<int> status = {}) {
        m_main.reset();
        auto life = std::make_unique<Lifetime>(arguments, m_dir.path());
        const std::optional<int> started = life->start();
        QTest::qCompare(started.value_or(-1), status.value_or(-1), "start()", "status", __FILE__, __LINE__);
        return life;
    }
    static std::shared_ptr<ScriptedBrowser> browserOf(const Lifetime& life) {
        return std::static_pointer_cast<ScriptedBrowser>(life.mainWindow()->ie());
    }
    // A line from the other copy, the event loop turning meanwhile; empty at its end.
    static QByteArray readLine(int fd) {
        QByteArray in;
        QDeadlineTimer limit(10000);
        while (!in.contains('\n') && !limit.hasExpired()) {
            char c[64];
            const ssize_t n = ::recv(fd, c, sizeof c, MSG_DONTWAIT);
            if (n == 0)
                break;
            if (n > 0)
                in.append(c, n);
            else
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return in.trimmed();
    }
    // Restarts against a site where the stored password no longer works.
    void restartRefused() {
        m_main.reset();
        m_goodPassword = QStringLiteral("new");
        m_session = false;
        load();
        QCOMPARE(takeMessages(), QStringList{warning(report::LoginFailedMessage)});
        QVERIFY(!m_main->LoggedIn());
        QVERIFY(m_main->loginRejected());
    }
    // Runs a check, answering a popup (if one comes) with Esc; returns whether
    // one came, which is also what the check itself must return.
    bool checkAnsweringPopup(std::function<void()> whilePopupUp = {}) {
        bool popup = false;
        auto pending = whenShown<frmMessage>([&](frmMessage* m) {
            popup = true;
            if (whilePopupUp)
                whilePopupUp();
            QTest::keyClick(m, Qt::Key_Escape);
        });
        const bool changed = m_main->CheckTopPage() == frmMain::CheckOutcome::Changed;
        QTest::qCompare(changed, popup, "CheckTopPage()", "popup", __FILE__, __LINE__);
        return popup;
    }

    // What Qt's own icon reports for a click of the tray.
    void activateIcon(QSystemTrayIcon::ActivationReason reason) {
        auto* icon = m_main->trayIcon()->findChild<QSystemTrayIcon*>();
        QVERIFY(icon);
        Q_EMIT icon->activated(reason);
    }

    QString m_goodPassword = QStringLiteral("pw");
    QStringList takeMessages() { return std::exchange(m_messages, {}); }
    // Confirms the login dialog with `password`, or cancels it when that is null.
    static void answerLogin(frmLogin* dlg, const QString& password) {
        if (!password.isNull())
            dlg->setPassword(password);
        QTest::keyClick(dlg->txtPassword, password.isNull() ? Qt::Key_Escape : Qt::Key_Return);
    }

    // A stand-in for the new copy: a shell script run with the line (3) and
    // the lock (4), as the program would be.
    QString newCopy(const QByteArray& body) {
        const QString path = m_dir.filePath(QStringLiteral("newcopy-%1").arg(++m_copies));
        put(path, "#!/bin/sh\n" + body + '\n');
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    }
    int m_copies = 0;
    static bool gone(qint64 pid) { return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH; }

private Q_SLOTS:
    void initTestCase() {
        basMain::setMemberDirForTesting(m_dir.path());
        platform::setClock(&m_clock);
        testsupport::recordMessages(&m_messages);
    }
    void init() {
        ScriptedBrowser::install();
        platform::forgetTrayKindForTesting();
        FakeTrayWatcher::install(true);
        QFile::remove(frmMain::TopFilePath());
        QFile::remove(NewsHistory::FilePath());
        m_clock.sleeps.clear();
        m_page = QStringLiteral("ログアウト\r\n新着記事\r\n記事A");
        basMain::setMailAddress(QStringLiteral("m@example.com"));
        basMain::setPassword(QStringLiteral("pw"));
        basMain::setFavoriteURL(QString());
        m_goodPassword = QStringLiteral("pw");
        m_session = m_down = m_untrusted = m_loginPageSignedIn = m_movesOnSignedOut = m_movesOnSignedIn =
            false;
        m_answer.reset();
        ScriptedBrowser::make = [this] { return site(); };
        put(basMain::SettingsFilePath(), "[mail]\naddress=m@example.com\npwd=pw\n");
        load();
    }
    void cleanup() {
        m_main.reset();
        QCOMPARE(takeMessages(), QStringList()); // none unaccounted for
    }

    void textComparison_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("changed");
        auto row = [](const char* name, const char16_t* a, const char16_t* b, bool changed) {
            QTest::newRow(name) << QString::fromUtf16(a) << QString::fromUtf16(b) << changed;
        };
        row("spaces, ideographic too", u"記事 A　", u"記  事A ", false);
        row("CR LF pairs", u"a\r\nb\r\n", u"ab", false);
        row("CR space LF is a pair once spaces go", u"a\r \nb", u"ab", false);
        row("empty against blanks", u"", u" \r\n　", false);
        row("lone LF", u"a\nb", u"ab", true);
        row("LF CR is no pair", u"a\n\rb", u"ab", true);
        row("one replace pass", u"\r\r\n\n", u"", true);
        row("tab", u"a\tb", u"ab", true);
        row("no-break space", u"a\u00a0b", u"ab", true);
        row("letter case", u"Kelvo", u"kelvo", true);
    }
    void textComparison() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, changed);
        QCOMPARE(frmMain::IsTextChanged(a, b), changed);
        QCOMPARE(frmMain::IsTextChanged(b, a), changed);
    }

    void baselineThenEachChangeOnce() {
        QVERIFY(!checkAnsweringPopup()); // the first check stores a baseline quietly
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
        QVERIFY(m_clock.sleeps.contains(3000));
        // a page that differs only in blanks and line breaks leaves the file alone
        const QByteArray baseline = bytes(frmMain::TopFilePath());
        m_page = QStringLiteral("ログアウト 新着記事　記事A\r\n\r\n");
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(bytes(frmMain::TopFilePath()), baseline);
        // a change is announced; while the popup is up the file stays as it
        // was and manual checks wait (a later start's runs once it has
        // closed); ticks look on and record what comes meanwhile, which the
        // popup stands for: once answered, the file holds the last page seen
        m_page += QStringLiteral("\r\n記事B");
        QByteArray duringPopup;
        qsizetype manualRefreshes = -1, tickRefreshes = -1;
        QVERIFY(checkAnsweringPopup([&] {
            duringPopup = bytes(frmMain::TopFilePath());
            const qsizetype before = ie()->calls.count(QStringLiteral("Refresh"));
            m_main->mnuCheck_Click();
            m_main->RunCommand(Command::Check);
            manualRefreshes = ie()->calls.count(QStringLiteral("Refresh")) - before;
            m_page += QStringLiteral("\r\n記事C");
            // トップページ asked for during that tick's read: held by it, then
            // run while the popup still waits
            const auto browsers = ScriptedBrowser::created.size();
            auto browser = ie();
            const auto site = browser->onLoad;
            browser->onLoad = [this, site](const QString& what) {
                m_main->RunCommand(Command::TopPage);
                return site(what);
            };
            m_main->Timer1_Timer();
            browser->onLoad = site;
            QCOMPARE(ScriptedBrowser::created.size(), browsers);
            QTRY_COMPARE(ScriptedBrowser::created.size(), browsers + 1);
            m_main->Timer1_Timer(); // the same page again: no entry
            tickRefreshes = ie()->calls.count(QStringLiteral("Refresh")) - before - manualRefreshes;
        }));
        QCOMPARE(duringPopup, baseline);
        QCOMPARE(manualRefreshes, 0);
        QCOMPARE(tickRefreshes, 2);
        const QList<NewsEntry> entries = m_main->history().entries();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).lines.last().text, QStringLiteral("記事B")); // the blanks' line too
        QCOMPARE(entries.at(1).lines, (QList<NewsLine>{{QStringLiteral("記事C"), false, QString()}}));
        QVERIFY(entries.at(0).found <= entries.at(1).found);
        QTRY_VERIFY(!m_messages.isEmpty());
        QCOMPARE(takeMessages(), QStringList{info(report::NoNewArticlesMessage)});
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
        QVERIFY(!checkAnsweringPopup()); // once
        // its open button opens the top page for the member, and closes it
        m_page += QStringLiteral("記事E");
        auto open = whenShown<frmMessage>([](frmMessage* m) { QTest::keyClick(m, Qt::Key_Return); });
        QCOMPARE(m_main->CheckTopPage(), frmMain::CheckOutcome::Changed);
        QVERIFY(ScriptedBrowser::created.back()->visible && !ScriptedBrowser::created.back()->gone);
    }

    // A hidden browser that has gone, or fails three times in a row in ways
    // nobody foresaw, is replaced quietly.
    void aBrowserThatGoesOrKeepsFailingIsReplaced() {
        QVERIFY(!checkAnsweringPopup());
        for (int i = 0; i < 3; ++i) {
            ie()->failures[QStringLiteral("BodyInnerText")] = platform::ErrNoObject;
            QVERIFY(!checkAnsweringPopup());
        }
        QCOMPARE(ScriptedBrowser::created.size(), size_t(1));
        m_page += QStringLiteral("記事K");
        QVERIFY(checkAnsweringPopup()); // on a new browser
        QCOMPARE(ScriptedBrowser::created.size(), size_t(2));
        QCOMPARE(ScriptedBrowser::created.front().use_count(), 1L); // the old one let go
        ie()->gone = true;
        m_page += QStringLiteral("変化"); // not compared in the recovering check
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(ScriptedBrowser::created.size(), size_t(3));
        QVERIFY(m_main->LoggedIn());
        // the check after that compares again
        QVERIFY(checkAnsweringPopup());

        // a replacement that cannot sign in says so and clears LoggedIn
        ie()->gone = true;
        m_session = false;
        m_goodPassword = QStringLiteral("changed on the site");
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(takeMessages(), QStringList{warning(report::LoginFailedMessage)});
        QVERIFY(!m_main->LoggedIn());
    }

    void failedOrLateLoadIsNoPage_data() {
        QTest::addColumn<int>("failure");
        QTest::newRow("load failed") << int(platform::ErrLoadFailed);
        QTest::newRow("load never finished") << int(platform::ErrBusyTimeout);
        QTest::newRow("page did not answer the script") << int(platform::ErrScriptTimeout);
        // and what no rule foresaw: never the end of the program
        QTest::newRow("no body") << int(platform::ErrNoObject);
        QTest::newRow("page navigated while read") << int(platform::ErrScriptFailed);
        QTest::newRow("a number added later") << 4242;
    }
    void failedOrLateLoadIsNoPage() {
        QFETCH(int, failure);
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        m_down = failure == platform::ErrLoadFailed;
        ie()->neverFinish = failure == platform::ErrBusyTimeout;
        if (failure != platform::ErrLoadFailed && failure != platform::ErrBusyTimeout)
            ie()->failures[QStringLiteral("BodyInnerText")] = failure;
        m_page += QStringLiteral("記事F"); // not seen while the site fails
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        QVERIFY(m_main->LoggedIn());
        QVERIFY(!m_main->isUnloaded());
        if (ie()->neverFinish)
            QVERIFY(ie()->calls.contains(QStringLiteral("Stop")));
        // asked for by hand, the member hears that the site was not reached
        if (m_down) {
            m_main->mnuCheck_Click();
            QCOMPARE(takeMessages(), QStringList{warning(report::SiteUnreachableMessage)});
        }
        // back: the article is announced once
        m_down = ie()->neverFinish = false;
        QVERIFY(checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());
    }
    // However the site ends the session (its public page for the top page,
    // or a top page that moves on by itself to the sign-in page while it is
    // read), each check signs in once, quietly, and compares the top page
    // then; an article that came meanwhile is announced once. A top page that
    // moves on to a signed-in page is not compared and signs nothing in.
    void anEndedSessionIsOneQuietSignInPerCheck_data() {
        QTest::addColumn<bool>("movesOn");
        QTest::newRow("public page") << false;
        QTest::newRow("moves on to the sign-in page") << true;
    }
    void anEndedSessionIsOneQuietSignInPerCheck() {
        QFETCH(bool, movesOn);
        QVERIFY(!checkAnsweringPopup());
        m_movesOnSignedOut = movesOn;
        for (int tick = 0; tick < 3; ++tick) {
            m_session = false;
            if (tick == 2)
                m_page += QStringLiteral("\r\n記事M");
            ie()->calls.clear();
            QCOMPARE(checkAnsweringPopup(), tick == 2);
            QCOMPARE(ie()->calls.count(QStringLiteral("SubmitForm 1")), 1);
            QVERIFY(m_main->LoggedIn());
        }
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        QVERIFY(before.contains("記事M"));
        m_movesOnSignedIn = true;
        m_page += QStringLiteral("\r\n記事N");
        ie()->calls.clear();
        QCOMPARE(m_main->CheckTopPage(), frmMain::CheckOutcome::NotReached);
        QCOMPARE(ie()->calls.count(QStringLiteral("SubmitForm 1")), 0);
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        // Its own sign-in not reached: no longer taken for signed in.
        m_movesOnSignedIn = false;
        m_session = false;
        m_answer = Page::failed(QStringLiteral("HttpStatusCodeDomain 503"));
        QCOMPARE(m_main->CheckTopPage(), frmMain::CheckOutcome::NotReached);
        QVERIFY(!m_main->LoggedIn());
    }
    // A maintenance or consent page served in place of the top page (status
    // 200, no marker even right after a sign-in) is never news: nothing is
    // compared or stored, the sign-in is not confirmed, and the real page's
    // articles are announced once when it returns.
    void aPageWithoutTheMarkerAfterASignInIsNeverNews() {
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        const QString top = m_page;
        m_page = QStringLiteral("ただいまメンテナンス中です");
        ie()->calls.clear();
        for (int check = 1; check <= 2; ++check) {
            QVERIFY(!checkAnsweringPopup());
            QCOMPARE(ie()->calls.count(QStringLiteral("Navigate ") + LoginURL()), check);
        }
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        m_main->mnuCheck_Click();
        QCOMPARE(takeMessages(), QStringList{warning(report::UnconfirmedMessage)});
        m_page = top + QStringLiteral("記事H");
        QVERIFY(checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());
    }

    // A manual check says what happened, in one message: never "nothing new"
    // about a page it did not read, never two contradicting boxes, and a site
    // whose certificate is not trusted (an impostor, a captive portal) is
    // named, not taken for one that is down. A check that did not look at
    // all (another is under way) leaves the tip as it was.
    void manualCheckTellsOneOutcome() {
        m_main->mnuCheck_Click();
        QCOMPARE(takeMessages(), QStringList{info(report::NoNewArticlesMessage)});
        m_untrusted = true;
        m_main->Timer1_Timer(); // the timer only tells the tip
        QCOMPARE(takeMessages(), QStringList());
        QVERIFY(m_main->trayIcon()->toolTip().endsWith(report::TipUntrusted.arg(QString()).trimmed()));
        m_main->mnuCheck_Click();
        QCOMPARE(takeMessages(), QStringList{warning(report::UntrustedMessage)});
        m_untrusted = false;
        std::optional<frmMain::CheckOutcome> inner;
        QString tipBefore, tipAfter;
        ie()->onLoad = [&, load = ie()->onLoad](const QString& what) -> Page {
            tipBefore = m_main->trayIcon()->toolTip();
            inner = m_main->CheckTopPage();
            tipAfter = m_main->trayIcon()->toolTip();
            return load(what);
        };
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(inner, std::optional(frmMain::CheckOutcome::NotLooked));
        QCOMPARE(tipAfter, tipBefore);
        ie()->gone = true; // replaced and signed in, the page not looked at
        m_main->mnuCheck_Click();
        QCOMPARE(takeMessages(), QStringList{warning(report::SiteUnreachableMessage)});
        ie()->gone = true; // replaced, and the new sign-in refused
        m_session = false;
        m_goodPassword = QStringLiteral("changed on the site");
        m_main->mnuCheck_Click();
        QCOMPARE(takeMessages(), QStringList{warning(report::LoginFailedMessage)});
    }

    void rejectedSignInIsToldOnceAndNeverResent() {
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        m_session = false;
        m_goodPassword = QStringLiteral("changed on the site");
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(takeMessages(), QStringList{warning(report::LoginFailedMessage)});
        QVERIFY(!m_main->LoggedIn());
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        const QStringList callsBefore = ie()->calls;
        for (int i = 0; i < 3; ++i)
            m_main->Timer1_Timer();
        QCOMPARE(ie()->calls, callsBefore); // the timer leaves the browser alone, silently
        // so do the member's windows: the sign-in page, for the member to fill
        put(SettingsFilePath(), "[mail]\naddress=m@example.com\npwd=pw\n[url]\nfavorite=https://fav/page\n");
        const size_t windowsBefore = ScriptedBrowser::created.size();
        m_main->mnuOpen_Click();
        m_main->mnuFavorite_Click();
        QCOMPARE(ScriptedBrowser::created.size(), windowsBefore + 2);
        for (size_t i = windowsBefore; i < ScriptedBrowser::created.size(); ++i) {
            const auto& window = ScriptedBrowser::created[i];
            QCOMPARE(window->location, LoginURL());
            QVERIFY2(window->calls.filter(QStringLiteral("Submit")).isEmpty(),
                     qPrintable(window->calls.join(u',')));
        }

        // a double-click asks for the credentials; cancelled: still refused
        auto cancel = whenShown<frmLogin>([](frmLogin* dlg) { answerLogin(dlg, QString()); });
        activateIcon(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(!m_messages.isEmpty());
        QCOMPARE(takeMessages(), QStringList{warning(report::NotLoggedInMessage)});
        QVERIFY(!m_main->LoggedIn());
        QVERIFY(m_main->loginRejected());
    }

    // A sign-in that the site answers with neither words (a picture
    // challenge, a locked account) is not sent again at every tick: three
    // quiet tries in the first hour, then one an hour, told once; the
    // member's own check tries at once; a sign-in that lands ends it.
    void aSignInTheSiteDoesNotConfirmIsNotSentAtEveryTick() {
        QVERIFY(!checkAnsweringPopup());
        m_session = false;
        m_answer = Page{QStringLiteral("画像に表示されている文字を入力してください")};
        ie()->calls.clear();
        auto passwords = [this] { return ie()->calls.count(QStringLiteral("SubmitForm 1")); };
        auto ticksFor = [this](int minutes) {
            for (int i = 0; i < minutes; ++i) {
                m_main->Timer1_Timer();
                m_clock.sleep(60000);
            }
        };
        ticksFor(6);
        QCOMPARE(passwords(), 1);
        QCOMPARE(takeMessages(), QStringList{warning(report::UnconfirmedMessage)});
        ticksFor(60 - 6);
        QCOMPARE(passwords(), 3);
        ticksFor(120);
        QCOMPARE(passwords(), 3 + 2);
        QCOMPARE(takeMessages(), QStringList());
        m_main->mnuCheck_Click();
        QCOMPARE(passwords(), 6);
        QCOMPARE(takeMessages(), QStringList{warning(report::UnconfirmedMessage)});
        m_answer.reset();
        m_main->mnuCheck_Click();
        QCOMPARE(takeMessages(), QStringList{info(report::NoNewArticlesMessage)});
        m_session = false;
        ticksFor(2); // back to one quiet sign-in where a session ended
        QCOMPARE(passwords(), 8);
    }

    void signInThatDidNotGetThroughIsRetriedByEachTick_data() {
        QTest::addColumn<bool>("noBrowser");
        QTest::newRow("network not up yet") << false;
        QTest::newRow("no browser could be made") << true;
    }
    void signInThatDidNotGetThroughIsRetriedByEachTick() {
        QFETCH(bool, noBrowser);
        m_main.reset();
        m_down = !noBrowser;
        ScriptedBrowser::failCreation = noBrowser;
        load();
        // not the settings' fault: no message box, the tip says it
        QCOMPARE(takeMessages(), QStringList());
        QVERIFY(m_main->trayIcon()->toolTip().endsWith(QStringLiteral("サイトに接続できません")));
        QVERIFY(!m_main->LoggedIn());
        QVERIFY(!m_main->loginRejected());
        QVERIFY(m_main->Timer1()->isActive());
        m_main->mnuCheck_Click(); // tries at once; no credentials asked for
        QCOMPARE(takeMessages(), QStringList{warning(report::SiteUnreachableMessage)});
        const qsizetype callsBefore = noBrowser ? 0 : ie()->calls.size();
        m_main->Timer1_Timer(); // still failing: one quiet try, nothing compared
        if (!noBrowser)
            QVERIFY(ie()->calls.size() > callsBefore);
        QVERIFY(!QFile::exists(frmMain::TopFilePath()));
        m_down = ScriptedBrowser::failCreation = false;
        m_main->Timer1_Timer();
        QVERIFY(m_main->LoggedIn());
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
    }
    void checkLoadsTheTopPageWhereverTheBrowserIs() {
        m_main.reset();
        m_session = m_loginPageSignedIn = true; // the site shows its sign-in page, with the marker
        load();
        QVERIFY(m_main->LoggedIn());
        QCOMPARE(ie()->location, LoginURL());
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(ie()->steps().last(), QStringLiteral("BodyInnerText"));
        QVERIFY(ie()->steps().contains(QStringLiteral("Navigate ") + TopURL()));
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
        ie()->calls.clear();
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(ie()->steps(), (QStringList{QStringLiteral("Refresh"), QStringLiteral("BodyInnerText")}));

        // the member's window, shown before the sign-in, ends on the top page
        // too, and is left open; a refused one stays on the page that says why
        OpenTopPage();
        auto window = ScriptedBrowser::created.back();
        QCOMPARE(window->steps().first(), QStringLiteral("setVisible true"));
        QCOMPARE(window->steps().last(), QStringLiteral("Navigate ") + TopURL());
        QVERIFY(!window->gone);
        m_session = false;
        m_goodPassword = QStringLiteral("other");
        OpenTopPage();
        QCOMPARE(ScriptedBrowser::created.back()->current.text, QStringLiteral("ログインに失敗しました"));
        ScriptedBrowser::failCreation = true;
        OpenTopPage(); // nothing to show, no crash
    }

    void closeSequence() {
        QSignalSpy finished(m_main.get(), &frmMain::finished);
        ie()->gone = true; // the browser already gone
        m_main->mnuEnd_Click();
        QVERIFY(m_main->isUnloaded());
        QVERIFY(!m_main->Timer1()->isActive());
        QVERIFY(!m_main->trayIcon()->isShown());
        QVERIFY(!m_main->ie());
        QTRY_COMPARE(finished.size(), 1);
        m_main->Timer1_Timer(); // a late tick does nothing
        QCOMPARE(ScriptedBrowser::created.size(), size_t(1));
    }

    void snapshotTroubleRaisesNoFalseAlarm() {
        QVERIFY(!checkAnsweringPopup());
        // deleted while running: the next check starts again from the page
        QFile::remove(frmMain::TopFilePath());
        QVERIFY(!checkAnsweringPopup());
        QVERIFY(QFile::exists(frmMain::TopFilePath()));
        // emptied while running
        QFile(frmMain::TopFilePath()).resize(0);
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
        // cannot be written (a folder in its place): no alarm, and a real
        // change is announced once, not at every check
        QFile::remove(frmMain::TopFilePath());
        QVERIFY(QDir().mkdir(frmMain::TopFilePath()));
        QVERIFY(!checkAnsweringPopup());
        m_page += QStringLiteral("記事C");
        QVERIFY(checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());
        const QStringList told = takeMessages(); // once, with the system's reason
        QCOMPARE(told.size(), 1);
        QVERIFY(told.front().startsWith(report::NewsNotSavedMessage + QStringLiteral("\n")));
        QVERIFY(told.front().endsWith(warning(QString())));
        QVERIFY(QDir().rmdir(frmMain::TopFilePath()));
        QVERIFY(!m_main->isUnloaded());
    }

    void unusualPageTexts() {
        m_page = QString(); // not the member's top page: nothing stored
        QVERIFY(!checkAnsweringPopup());
        QVERIFY(!QFile::exists(frmMain::TopFilePath()));

        m_page = QStringLiteral("ログアウト記事") + QChar(0xD800) +
                 QStringLiteral("壊れた文字"); // a lone surrogate
        QVERIFY(!checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());

        QFile::remove(frmMain::TopFilePath());
        m_page = QStringLiteral("ログアウト") + QString(10 * 1024 * 1024, u'あ');
        QVERIFY(!checkAnsweringPopup());
        m_page[5 * 1024 * 1024] = u'い';
        QVERIFY(checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());
    }

    void credentialChangeFromSettings_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the new password") << "new" << true;
        QTest::newRow("a wrong one") << "wrong" << false;
        QTest::newRow("an empty one") << "" << false;
        QTest::newRow("cancelled") << QString() << false;
    }
    void credentialChangeFromSettings() {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        restartRefused(); // the stored "pw" no longer works
        ie()->calls.clear();
        bool settingsHidden = false;
        auto chooseLogin = whenShown<frmSettings>([](frmSettings* s) { s->cmdLogin->click(); });
        auto answer = whenShown<frmLogin>([&](frmLogin* dlg) {
            settingsHidden = !platform::visibleWindow<frmSettings>();
            QCOMPARE(dlg->Password(), QStringLiteral("pw")); // pre-filled
            answerLogin(dlg, password);
        });
        m_main->mnuSetting_Click();
        QVERIFY(settingsHidden);
        QVERIFY(!platform::visibleWindow<frmSettings>());
        QCOMPARE(m_main->LoggedIn(), accepted); // monitoring resumes only when accepted
        QCOMPARE(m_main->loginRejected(), !accepted);
        // stored whatever the sign-in's outcome; nothing when cancelled
        const QString stored = password.isNull() ? QStringLiteral("pw") : password;
        QCOMPARE(Password(), stored);
        QCOMPARE(bytes(SettingsFilePath()), "[mail]\naddress=m@example.com\npwd=" + stored.toUtf8() + "\n");
        if (password.isNull()) {
            QVERIFY(ie()->steps().isEmpty()); // not even signed out
            return;
        }
        QCOMPARE(ie()->steps().first(), QStringLiteral("Navigate ") + LogoutURL());
        QCOMPARE(ie()->values.value(QStringLiteral("user_password")), password); // sent as typed
        QCOMPARE(takeMessages(), accepted ? QStringList() : QStringList{warning(report::LoginFailedMessage)});
    }
    // A change that cannot be stored (a full disk) is told with the system's
    // reason and changes nothing: not the file, not what the program uses,
    // not the sign-in.
    void unstorableChangesAreToldAndChangeNothing() {
        restartRefused();
        ie()->calls.clear();
        const QByteArray before = bytes(SettingsFilePath());
        auto login = whenShown<frmLogin>([](frmLogin* dlg) { answerLogin(dlg, QStringLiteral("new")); });
        auto favorite = whenShown<frmFavorite>([](frmFavorite* f) {
            f->setFavoriteURL(QStringLiteral("https://kelvo.example/mypage/favorites"));
            f->cmdOK->click();
        });
        for (bool loginChosen : {true, false}) {
            {
                auto choose = whenShown<frmSettings>(
                    [=](frmSettings* s) { (loginChosen ? s->cmdLogin : s->cmdFavorite)->click(); });
                const FileSizeLimit full(8);
                m_main->mnuSetting_Click();
            }
            // the reason the system gave for the write: a file size limit stands in for a full disk
            QCOMPARE(takeMessages(),
                     QStringList{warning(report::SettingsNotSavedMessage + QStringLiteral("\n") +
                                         QString::fromLocal8Bit(std::strerror(EFBIG)))});
        }
        QCOMPARE(Password(), QStringLiteral("pw"));
        QVERIFY(ie()->steps().isEmpty()); // neither signed out nor in
        QCOMPARE(FavoriteURL(), QString());
        QCOMPARE(bytes(SettingsFilePath()), before);
    }

    // News found on a full disk is told once with the system's reason and
    // kept; it is stored at the first tick with room, or at the close.
    void newsOnAFullDiskIsStoredOnceThereIsRoom() {
        m_main->Timer1_Timer(); // the baseline
        const QByteArray before = bytes(frmMain::TopFilePath());
        auto close = [](frmMessage* m) { QTest::keyClick(m, Qt::Key_Escape); };
        auto answer = whenShown<frmMessage>(close);
        const QString notSaved = warning(report::NewsNotSavedMessage + QStringLiteral("\n") +
                                         QString::fromLocal8Bit(std::strerror(EFBIG)));
        m_page += QStringLiteral("\r\n満杯の日の記事");
        {
            const FileSizeLimit full(8);
            m_main->Timer1_Timer(); // told, not stored
            m_main->Timer1_Timer(); // still no room: nothing said or told again
        }
        QCOMPARE(takeMessages(), QStringList{notSaved});
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        m_main->Timer1_Timer(); // room again
        QVERIFY(bytes(frmMain::TopFilePath()).contains("満杯の日の記事"));
        QCOMPARE(m_main->history().entries().size(), 1);
        m_page += QStringLiteral("\r\n更新前の記事");
        auto again = whenShown<frmMessage>(close);
        {
            const FileSizeLimit full(8);
            m_main->Timer1_Timer(); // a new episode: told again
        }
        QCOMPARE(takeMessages(), QStringList{notSaved});
        // A renewal hands it on; the renewed copy stores it as soon as it can.
        const QByteArrayList held = m_main->heldNews();
        QCOMPARE(held.size(), 2); // the page and the record's entry
        {
            frmMain renewed;
            renewed.takeHeldNews(held);
            QCOMPARE(renewed.history().entries().size(), 2);
        }
        m_main->newsHandedOver();
        QVERIFY(m_main->heldNews().isEmpty());
        QVERIFY(bytes(frmMain::TopFilePath()).contains("更新前の記事"));
        QCOMPARE(NewsRecord(NewsHistory::FilePath()).entries().last().lines.last().text,
                 QStringLiteral("更新前の記事"));
        m_page += QStringLiteral("\r\n終了前の記事");
        auto last = whenShown<frmMessage>(close);
        {
            const FileSizeLimit full(8);
            m_main->Timer1_Timer();
        }
        QCOMPARE(takeMessages(), QStringList{notSaved});
        m_main->Unload(); // tried once more at the close
        QVERIFY(bytes(frmMain::TopFilePath()).contains("終了前の記事"));
        QCOMPARE(NewsRecord(NewsHistory::FilePath()).entries().size(), 3);
    }

    // 新着の履歴: one window however often asked for, newest first, what
    // was unseen in bold until looked at; 履歴を消去 empties the record only
    // once the member said yes; it closes with the copy.
    void theHistoryWindow() {
        QVERIFY(!checkAnsweringPopup()); // the baseline
        for (const char* article : {"\r\n記事B", "\r\n記事C"}) {
            m_page += QString::fromUtf8(article);
            QVERIFY(checkAnsweringPopup());
        }
        m_main->RunCommand(Command::History);
        m_main->RunCommand(Command::History);
        QList<frmHistory*> shown;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* h = qobject_cast<frmHistory*>(w); h && h->isVisible())
                shown << h;
        }
        QCOMPARE(shown.size(), 1);
        frmHistory* window = shown.first();
        QCOMPARE(window->lstHistory->count(), 2);
        QVERIFY(window->lstHistory->item(0)->text().contains(QStringLiteral("記事C")));
        QVERIFY(window->lstHistory->item(0)->text().startsWith(QStringLiteral("未確認 ")));
        QVERIFY(!m_main->trayIcon()->toolTip().contains(QStringLiteral("未確認")));
        m_page += QStringLiteral("\r\n記事D"); // found while it is open: before the member's eyes
        QVERIFY(checkAnsweringPopup());
        QCOMPARE(window->lstHistory->count(), 3);
        QVERIFY(!m_main->trayIcon()->toolTip().contains(QStringLiteral("未確認")));

        QStringList asked;
        bool yes = false;
        platform::setQuestionHandler([&](const QString& text) {
            asked << text;
            return yes;
        });
        window->cmdClear->click();
        QCOMPARE(NewsRecord(NewsHistory::FilePath()).entries().size(), 3); // いいえ
        yes = true;
        window->cmdClear->click();
        platform::setQuestionHandler({});
        QCOMPARE(asked, QStringList(2, frmHistory::ClearQuestion));
        QCOMPARE(window->lstHistory->count(), 0);
        QCOMPARE(NewsRecord(NewsHistory::FilePath()).entries().size(), 0);
        QPointer<frmHistory> gone = window;
        m_main->Unload();
        QTRY_VERIFY(!gone);
    }

    // A close (終了, SIGTERM, the session's end) while a credential change
    // is under way: during the dialog nothing half-typed is stored; while the
    // new credentials are sent the close waits for the browser; either way
    // nothing more is said to the member (the tray icon is gone by then).
    void closingDuringACredentialChange_data() {
        QTest::addColumn<bool>("whileSent");
        QTest::newRow("the dialog waits") << false;
        QTest::newRow("the credentials are sent") << true;
    }
    void closingDuringACredentialChange() {
        QFETCH(bool, whileSent);
        restartRefused();
        auto browser = ie();
        browser->onLoad = [this, whileSent, site = browser->onLoad](const QString& what) {
            if (whileSent && what == QStringLiteral("submit"))
                m_main->Unload();
            return site(what);
        };
        auto answer = whenShown<frmLogin>([&](frmLogin* dlg) {
            dlg->setMailAddress(QStringLiteral("half-typed@example.com"));
            if (whileSent)
                answerLogin(dlg, QStringLiteral("wrong"));
            else
                m_main->Unload();
        });
        m_main->mnuCheck_Click();
        QCOMPARE(takeMessages(), QStringList{warning(report::NotLoggedInMessage)}); // not the refusal
        QTRY_VERIFY(m_main->isUnloaded());
        QVERIFY(!platform::visibleWindow<frmLogin>());
        const QStringList calls = browser->steps();
        if (whileSent) {
            QVERIFY2(calls.indexOf(QStringLiteral("Quit")) > calls.indexOf(QStringLiteral("SubmitForm 1")),
                     qPrintable(calls.join(u',')));
        } else {
            QCOMPARE(MailAddress(), QStringLiteral("m@example.com"));
            QCOMPARE(bytes(SettingsFilePath()), QByteArray("[mail]\naddress=m@example.com\npwd=pw\n"));
        }
    }

    void signInOutcome_data() {
        QTest::addColumn<QString>("answer");  // the page after the submission
        QTest::addColumn<QString>("failing"); // the browser member that fails, if any
        QTest::addColumn<int>("outcome");
        auto row = [](const char* name, const char16_t* answer, const char* failing, LoginResult outcome) {
            QTest::newRow(name) << QString::fromUtf16(answer) << QString::fromLatin1(failing) << int(outcome);
        };
        row("failure marker", u"エラー: ログインに失敗しました。", "", LoginResult::Rejected);
        // neither, and the top page loaded then has no marker: not confirmed
        row("neither marker", u"メンテナンス中", "", LoginResult::Unconfirmed);
        row("marker split by a blank", u"ログインに 失敗しました", "", LoginResult::Unconfirmed);
        row("empty page", u"", "", LoginResult::Unconfirmed);
        row("answer failed to load", u"ログアウト", "answer", LoginResult::NotReached);
        for (const char* member : {"Navigate", "Busy", "BodyInnerText", "SetElementValue", "SubmitForm"})
            row(member, u"ログアウト", member, LoginResult::NotReached);
    }
    void signInOutcome() {
        QFETCH(QString, answer);
        QFETCH(QString, failing);
        QFETCH(int, outcome);
        m_session = false;
        m_answer = failing == QStringLiteral("answer") ? Page::failed(QStringLiteral("-324")) : Page{answer};
        auto b = site();
        if (!failing.isEmpty())
            b->failures[failing] = platform::ErrProcessGone;
        QCOMPARE(int(SignIn(*b)), outcome);
        QVERIFY(b->calls.count(QStringLiteral("SubmitForm 1")) <= 1); // never retried
        if (outcome == int(LoginResult::NotReached) && failing != QStringLiteral("answer"))
            QVERIFY(b->calls.last().startsWith(failing)); // nothing after the failure
        else
            QVERIFY(!b->calls.last().startsWith(QStringLiteral("Navigate")));
        b->gone = true;
        Logout(*b); // swallows failures
    }
    void favoriteIsAskedStoredAndOpened() {
        const size_t before = ScriptedBrowser::created.size();
        OpenFavorite();
        QCOMPARE(takeMessages(), QStringList{info(NoFavoriteMessage)});
        QCOMPARE(ScriptedBrowser::created.size(), before);

        auto answer = whenShown<frmFavorite>([](frmFavorite* dlg) {
            QTest::keyClick(dlg->txtURL, Qt::Key_Return); // empty: refused, the dialog stays
            QVERIFY(dlg->isVisible());
            QTest::keyClicks(dlg->txtURL, QStringLiteral("https://fav/page"));
            QTest::keyClick(dlg->txtURL, Qt::Key_Return);
        });
        ChangeFavorite();
        QCOMPARE(takeMessages(), QStringList{warning(frmFavorite::EmptyURLMessage)});
        QCOMPARE(bytes(SettingsFilePath()),
                 QByteArray("[mail]\naddress=m@example.com\npwd=pw\n[url]\nfavorite=https://fav/page\n"));
        // cancelling keeps it
        auto cancel = whenShown<frmFavorite>([](frmFavorite* dlg) {
            QCOMPARE(dlg->FavoriteURL(), QStringLiteral("https://fav/page"));
            QTest::keyClicks(dlg->txtURL, QStringLiteral("x"));
            QTest::keyClick(dlg->txtURL, Qt::Key_Escape);
        });
        ChangeFavorite();
        QCOMPARE(FavoriteURL(), QStringLiteral("https://fav/page"));

        // read from the file each time, not from memory; a refused sign-in does not stop it
        setFavoriteURL(QStringLiteral("https://stale/"));
        m_goodPassword = QStringLiteral("other");
        OpenFavorite();
        auto b = ScriptedBrowser::created.back();
        QCOMPARE(b->steps().first(), QStringLiteral("setVisible true"));
        QCOMPARE(b->steps().last(), QStringLiteral("Navigate https://fav/page"));
    }

    // The tip tells when the program last looked and what it found; a change
    // names what is new there and in the popup's tooltip (the wording itself
    // is report::'s, tested without widgets).
    void trayTipTellsTheLastLook() {
        int unseen = 0; // changes in the history not yet looked at: a line of their own
        auto told = [&](const QString& line) {
            QString shown = m_main->trayIcon()->toolTip();
            shown.replace(QRegularExpression(QStringLiteral("(?<=\\n)\\d\\d:\\d\\d ")),
                          QStringLiteral("%1 "));
            QCOMPARE(shown, report::TrayTip + QStringLiteral("\n") + line +
                                (unseen ? QStringLiteral("\n未確認の新着 %1 件").arg(unseen) : QString()));
        };
        told(report::TipFirstCheck);
        QVERIFY(!checkAnsweringPopup());
        told(report::TipUnchanged);
        // The page's lines are shown as they read, never as markup (an <img>
        // would be loaded from the member's disk).
        const QString bold = QStringLiteral("<b>記事B</b> & <img src=\"/etc/hostname\">");
        m_page += QStringLiteral("\r\n") + bold + QStringLiteral("\r\n記事C\r\nようこそ m@example.com さん");
        QString popupTip;
        QVERIFY(checkAnsweringPopup([&] { popupTip = platform::visibleWindow<frmMessage>()->toolTip(); }));
        unseen = 1;
        told(report::TipNew.arg(QStringLiteral("%1"), bold));
        QTextDocument shown; // as QToolTip reads it
        shown.setHtml(popupTip);
        QVERIFY(Qt::mightBeRichText(popupTip));
        QCOMPARE(shown.toPlainText(), bold + QStringLiteral("\n記事C")); // the greeting left out
        QVERIFY(!popupTip.contains(QStringLiteral("<img")));
        for (const QString& tip : {platform::plainToolTip(bold), platform::statusNotifierToolTip(bold)}) {
            shown.setHtml(tip);
            QCOMPARE(shown.toPlainText(), bold);
        }
        m_down = true;
        QVERIFY(!checkAnsweringPopup());
        told(report::TipNotReached);
        m_main->mnuHistory_Click(); // seen
        unseen = 0;
        told(report::TipNotReached);
        m_down = false;
        m_session = false;
        m_goodPassword = QStringLiteral("changed on the site");
        QVERIFY(!checkAnsweringPopup());
        told(report::TipRefused);
        QCOMPARE(takeMessages(), QStringList{warning(report::LoginFailedMessage)});
    }

    // The desktop hiding a window of ours that waits (minimized, another
    // workspace) is no answer: the wait goes on, no news is stored as seen
    // and nothing half-typed is kept, and the member's next command brings
    // the window back.
    void aHiddenWindowIsNoAnswer_data() {
        QTest::addColumn<QString>("window");
        for (const char* w : {"popup", "settings", "login", "favorite"})
            QTest::newRow(w) << QString::fromLatin1(w);
    }
    void aHiddenWindowIsNoAnswer() {
        QFETCH(QString, window);
        QVERIFY(!checkAnsweringPopup()); // the baseline
        const QByteArray top = testsupport::bytes(frmMain::TopFilePath());
        const QByteArray settings = testsupport::bytes(SettingsFilePath());
        bool waited = false, broughtBack = false;
        auto hideThenComeBack = [&](QWidget* shown) {
            QHideEvent byTheDesktop;
            QSpontaneKeyEvent::setSpontaneous(&byTheDesktop);
            qApp->notify(shown, &byTheDesktop); // as the window system's (sendEvent would clear it)
            if (auto* login = qobject_cast<frmLogin*>(shown))
                login->setMailAddress(QStringLiteral("half-typed@example.com"));
            if (auto* favorite = qobject_cast<frmFavorite*>(shown))
                favorite->txtURL->setText(QStringLiteral("https://half.example/"));
            QTimer::singleShot(300, shown, [&, shown] {
                waited = platform::waitingForMember() && shown->isVisible() &&
                         testsupport::bytes(frmMain::TopFilePath()) == top;
                shown->showMinimized();
                m_main->RunCommand(basMain::Command::Check); // held while it waits
                broughtBack = !shown->isMinimized();
                QTest::keyClick(shown, Qt::Key_Escape);
            });
        };
        std::unique_ptr<QTimer> chosen, pending;
        if (window == QLatin1String("popup")) {
            m_page += QStringLiteral("\r\n記事Z");
            pending = whenShown<frmMessage>(hideThenComeBack);
            QCOMPARE(m_main->CheckTopPage(), frmMain::CheckOutcome::Changed);
            QVERIFY(testsupport::bytes(frmMain::TopFilePath()).contains("記事Z"));
        } else {
            if (window == QLatin1String("settings"))
                pending = whenShown<frmSettings>(hideThenComeBack);
            else
                chosen = whenShown<frmSettings>([&](frmSettings* s) {
                    (window == QLatin1String("login") ? s->cmdLogin : s->cmdFavorite)->click();
                });
            if (window == QLatin1String("login"))
                pending = whenShown<frmLogin>(hideThenComeBack);
            if (window == QLatin1String("favorite"))
                pending = whenShown<frmFavorite>(hideThenComeBack);
            m_main->mnuSetting_Click();
        }
        QVERIFY(waited);
        QVERIFY(broughtBack);
        QCOMPARE(testsupport::bytes(SettingsFilePath()), settings); // nothing half-typed is kept
        QTRY_COMPARE(m_messages.size(), 1);                         // the held check
        QCOMPARE(takeMessages(), QStringList{info(report::NoNewArticlesMessage)});
    }

    // A session without a tray: the program signs in and checks as usual, and
    // the member is told once per run where the commands are.
    void withoutATrayTheMemberIsToldOnce() {
        m_main.reset();
        FakeTrayWatcher::install(false);
        const QByteArray settings = "[mail]\r\naddress=m@example.com\r\npwd=pw\r\n";
        put(SettingsFilePath(), settings);
        load();
        QVERIFY(m_main->LoggedIn());
        QVERIFY(!m_main->trayIcon()->isShown());
        QVERIFY(m_main->noTrayTimer()->isActive());
        m_main->noTrayTimer()->start(1);
        QTRY_VERIFY(m_main->noTrayNotice());
        QPointer<frmNoTray> notice = m_main->noTrayNotice();
        QVERIFY(notice && notice->isVisible() && !notice->isModal());
        QVERIFY(!checkAnsweringPopup()); // checks go on while it is up
        notice->cmdClose->click();
        QTRY_VERIFY(!notice);
        m_main->ShowNoTrayNotice(); // once per run
        QVERIFY(!m_main->noTrayNotice());
        QCOMPARE(bytes(SettingsFilePath()), settings);

        // the next run: "今後表示しない" is kept, the rest of the file as it was
        m_main.reset();
        load();
        m_main->ShowNoTrayNotice();
        notice = m_main->noTrayNotice();
        QVERIFY(notice);
        notice->chkDontShow->click();
        QTest::keyClick(notice, Qt::Key_Escape);
        QTRY_VERIFY(!notice);
        QCOMPARE(bytes(SettingsFilePath()), settings + "[tray]\r\nnotice=off\r\n");
        m_main.reset();
        load();
        m_main->ShowNoTrayNotice();
        QVERIFY(!m_main->noTrayNotice());
    }

    void theIconComesWheneverATrayDoes() {
        m_main.reset();
        FakeTrayWatcher::install(false);
        load();
        m_main->ShowNoTrayNotice();
        QPointer<frmNoTray> notice = m_main->noTrayNotice();
        QVERIFY(notice);
        // hours later: the icon appears and the notice goes
        FakeTrayWatcher::last->setStatusNotifierHost(true);
        QVERIFY(m_main->trayIcon()->isShown());
        QTRY_VERIFY(!notice);
        // the tray restarts: the icon goes with it and comes back
        FakeTrayWatcher::last->setStatusNotifierHost(false);
        QVERIFY(!m_main->trayIcon()->isShown());
        FakeTrayWatcher::last->setStatusNotifierHost(true);
        QVERIFY(m_main->trayIcon()->isShown());
        // with a tray there the notice never comes
        m_main.reset();
        FakeTrayWatcher::install(true);
        load();
        QVERIFY(m_main->trayIcon()->isShown());
        m_main->ShowNoTrayNotice();
        QVERIFY(!m_main->noTrayNotice());
    }

    void commandsOfLaterStarts() {
        // without a tray a plain second start shows the menu mid-screen, ready for the keyboard
        m_main.reset();
        FakeTrayWatcher::install(false);
        load();
        m_main->RunCommand(Command::Show);
        auto* menu = m_main->findChild<QMenu*>();
        QTRY_VERIFY(menu->isVisible());
        QVERIFY((menu->geometry().center() - basWin32API::workArea().center()).manhattanLength() <= 2);
        QCOMPARE(menu->activeAction()->text(), QStringLiteral("トップページ"));
        menu->hide();

        // the settings asked for again while their window is open: that one, no second
        int settingsWindows = 0;
        auto again = whenShown<frmSettings>([&](frmSettings* s) {
            m_main->RunCommand(Command::Settings);
            for (QWidget* w : QApplication::topLevelWidgets())
                settingsWindows += qobject_cast<frmSettings*>(w) && w->isVisible();
            QTest::keyClick(s, Qt::Key_Escape);
        });
        m_main->mnuSetting_Click();
        QCOMPARE(settingsWindows, 1);
        QTest::qWait(20);
        QVERIFY(!platform::visibleWindow<frmSettings>()); // and not shown again once closed
        m_main->RunCommand(Command::Quit);
        QVERIFY(m_main->isUnloaded());
    }

    // A key or click in one of the member's windows while a check waits is
    // answered then, not once the check is over: the desktop's input goes
    // through every wait of ours.
    void theMembersWindowsAnswerDuringAWait() {
        platform::setClock(nullptr);
        QLineEdit member;
        member.show();
        QVERIFY(QTest::qWaitForWindowExposed(&member));
        QWindowSystemInterface::handleWindowActivated(member.windowHandle(), Qt::ActiveWindowFocusReason);
        QString typedMeanwhile;
        QTimer::singleShot(50, &member, [&member] {
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                member.windowHandle(), QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        });
        QTimer::singleShot(250, &member, [&] { typedMeanwhile = member.text(); });
        platform::Sleep(400);
        platform::setClock(&m_clock);
        QCOMPARE(typedMeanwhile, QStringLiteral("a"));
    }

    // Every door used while a check has the hidden browser (the icon, each
    // menu item, each twice) is carried out once the browser is free: once
    // each, in the order asked, none inside the check, none dropped; no
    // tick runs while the settings wait for the member.
    void everyDoorDuringACheckIsCarriedOutAfterIt() {
        QVERIFY(!checkAnsweringPopup());
        auto browser = ie();
        const auto site = browser->onLoad;
        auto* menu = m_main->findChild<QMenu*>();
        const size_t windows = ScriptedBrowser::created.size();
        bool once = true;
        browser->onLoad = [&, site](const QString& what) {
            for (int twice = 0; once && twice < 2; ++twice) {
                activateIcon(QSystemTrayIcon::Trigger);
                for (const char* item : {"mnuOpen", "mnuCheck", "mnuSetting"})
                    menu->findChild<QAction*>(QLatin1String(item))->trigger();
            }
            if (std::exchange(once, false))
                QTest::qWait(20); // the doors reach the main window meanwhile
            return site(what);
        };
        int settingsShown = 0;
        qsizetype refreshesInSettings = -1;
        auto settings = whenShown<frmSettings>([&](frmSettings* s) {
            ++settingsShown;
            const qsizetype before = ie()->calls.count(QStringLiteral("Refresh"));
            m_main->Timer1_Timer();
            refreshesInSettings = ie()->calls.count(QStringLiteral("Refresh")) - before;
            QTest::keyClick(s, Qt::Key_Escape);
        });
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(ScriptedBrowser::created.size(), windows);
        QCOMPARE(takeMessages(), QStringList());
        QTRY_COMPARE(settingsShown, 1);
        QCOMPARE(takeMessages(), QStringList{info(report::NoNewArticlesMessage)});
        QCOMPARE(ScriptedBrowser::created.size(), windows + 1); // the top page's window
        QCOMPARE(refreshesInSettings, 0);
        QTest::qWait(50);
        QCOMPARE(settingsShown, 1);
        QCOMPARE(takeMessages(), QStringList());
    }

    // Every click of the icon, as Qt reports it for the kind of tray, runs
    // from the event loop, never inside the icon's handler: a click checks
    // now on a StatusNotifierItem host, a double click on an XEmbed tray
    // (where a single click does nothing), a right press brings the menu.
    void eachClickOfTheIcon() {
        activateIcon(QSystemTrayIcon::Trigger);
        QCOMPARE(takeMessages(), QStringList()); // not inside the handler
        QTRY_VERIFY(!m_messages.isEmpty());
        QCOMPARE(takeMessages(), QStringList{info(report::NoNewArticlesMessage)});

        m_main.reset();
        platform::forgetTrayKindForTesting();
        FakeTrayWatcher::install(false, true);
        load();
        QTRY_VERIFY_WITH_TIMEOUT(m_main->trayIcon()->isShown(), 5000); // an XEmbed tray settles first
        const int checks = ie()->calls.count(QStringLiteral("Refresh"));
        activateIcon(QSystemTrayIcon::Trigger);
        QTest::qWait(50);
        QCOMPARE(ie()->calls.count(QStringLiteral("Refresh")), checks);
        activateIcon(QSystemTrayIcon::DoubleClick);
        QTRY_VERIFY(!m_messages.isEmpty());
        QCOMPARE(takeMessages(), QStringList{info(report::NoNewArticlesMessage)});

        // The desktop's tray turns into the other kind: the icon cannot follow,
        // so the member is told, and a second start shows the menu mid-screen.
        FakeTrayWatcher::last->setXembedTray(false);
        FakeTrayWatcher::last->setStatusNotifierHost(true);
        QVERIFY(!m_main->trayIcon()->isShown());
        QTRY_VERIFY(m_main->noTrayNotice());
        m_main->RunCommand(Command::Show);
        QTRY_VERIFY(m_main->findChild<QMenu*>()->isVisible());
        m_main->findChild<QMenu*>()->hide();
    }

    // Opening a member window signs in on the hidden browser's cookies: a
    // tick meanwhile runs no check inside it, and a close waits for its end.
    void aMemberWindowsSignInIsAUseOfTheHiddenBrowser() {
        QVERIFY(!checkAnsweringPopup());
        const int refreshes = ie()->calls.count(QStringLiteral("Refresh"));
        ScriptedBrowser::make = [this] {
            auto window = site();
            const auto load = window->onLoad;
            window->onLoad = [this, load](const QString& what) -> Page {
                m_main->Timer1_Timer();
                m_main->mnuEnd_Click();
                if (m_main->isUnloaded())
                    QTest::qFail("closed under the member window's sign-in", __FILE__, __LINE__);
                return load(what);
            };
            return window;
        };
        m_main->mnuOpen_Click();
        QCOMPARE(ie()->calls.count(QStringLiteral("Refresh")), refreshes);
        QTRY_VERIFY(m_main->isUnloaded());
    }

    // A fresh process comes at a tick that found nothing new, once enough
    // ticks have checked, and only where the member would lose nothing; a
    // member's browser window does not hold it off (it outlives the close).
    // What holds it is said, and warned of once it has lasted a day.
    void aRenewalComesAtAQuietTickOnly() {
        auto life = startCopy({QStringLiteral("KelvoMonitor")});
        frmMain* main = life->mainWindow();
        const QString program = newCopy("exit 0");
        life->setRenewal(program, 5000, 2);
        int renewals = 0;
        auto tick = [&] {
            main->Timer1_Timer();
            if (life->renewing()) {
                ++renewals;
                QTest::ignoreMessage(QtWarningMsg, "no renewal: the new copy ended");
                QTRY_VERIFY(!life->renewing());
            }
        };
        tick();                 // the baseline
        main->mnuCheck_Click(); // the member's checks do not count
        QCOMPARE(takeMessages(), QStringList{info(report::NoNewArticlesMessage)});
        QCOMPARE(renewals, 0);
        tick();
        QCOMPARE(renewals, 1);

        life->setRenewal(program, 5000, 1);
        platform::MemberWindows::instance()->opened();
        tick();
        platform::MemberWindows::instance()->closed();
        QCOMPARE(renewals, 2);
        // News not stored (a full disk) is handed on: it holds no renewal.
        auto answer = [](frmMessage* m) { QTest::keyClick(m, Qt::Key_Escape); };
        m_page += QStringLiteral("\r\n記事R");
        {
            auto popup = whenShown<frmMessage>(answer);
            const FileSizeLimit full(8);
            tick(); // news: no renewal at a tick that found some
            QCOMPARE(renewals, 2);
            tick();
            QCOMPARE(renewals, 3);
        }
        QCOMPARE(takeMessages().size(), 1); // the news not stored, told once
        // What holds it is warned of once it has lasted a day.
        basMain::setPassword(QStringLiteral("typed, not stored"));
        tick();
        m_clock.sleep(24 * 3600 * 1000);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("held off for a day.*credentials in use")));
        tick();
        QCOMPARE(renewals, 3);
        basMain::setPassword(QStringLiteral("pw"));
        tick();
        QCOMPARE(renewals, 4);
    }

    // Renderers that no longer start cannot be mended in this process: at
    // the third failure in a row the copy renews at once, not waiting for a
    // day of ticks; one that did not go through is tried again only ten
    // minutes on, not at every failure.
    void aBrokenEngineRenewsTheCopyAtOnce() {
        auto life = startCopy({QStringLiteral("KelvoMonitor")});
        life->setRenewal(newCopy("exit 0"), 5000, 0); // no daily renewal
        auto* starts = platform::RendererStarts::instance();
        auto fail = [&](bool renews) {
            starts->failed(QStringLiteral("a test"));
            if (!renews) {
                QTest::qWait(100);
                QVERIFY(!life->renewing());
                return;
            }
            QTRY_VERIFY(life->renewing());
            QTest::ignoreMessage(QtWarningMsg, "no renewal: the new copy ended");
            QTRY_VERIFY(!life->renewing());
        };
        fail(false);
        fail(false);
        fail(true);
        fail(false);
        m_clock.sleep(11 * 60 * 1000);
        fail(true);
        starts->started();
        QVERIFY(!starts->broken());
    }

    // A signal (or the session's end) while the first-run dialog waits ends
    // the start at once: the dialog closes, nothing is stored, no window made.
    void aSignalDuringTheFirstRunDialogEndsTheStart() {
        m_main.reset();
        QFile::remove(SettingsFilePath());
        basMain::setMailAddress(QString());
        Lifetime life({QStringLiteral("KelvoMonitor")}, m_dir.path());
        bool asked = false;
        auto signal = whenShown<frmLogin>([&](frmLogin*) {
            asked = true;
            ::raise(SIGTERM);
        });
        QCOMPARE(life.start(), std::optional<int>(0));
        QVERIFY(asked);
        QVERIFY(!life.mainWindow());
        QVERIFY(!QFile::exists(SettingsFilePath()));
    }

    // The old copy's side of the hand-over, whatever the new copy (a script)
    // does and whatever the member asks meanwhile. A command held meanwhile
    // (a check) is never lost: the new copy is handed it with "go", or this
    // copy runs it. A copy that cannot start, dies or never says it runs is
    // ended and reaped, and this copy goes on holding the folder; one whose
    // sign-in is refused makes this copy tell the member once and renew no
    // more; a close (終了, a later start's --quit) at any moment ends both
    // and lets the folder go; a copy that runs is left the lock, while this
    // process lives on for the member's window alone.
    void theHandOver_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("why"); // this copy goes on, warned so
        QTest::addColumn<int>("close");   // 0 none, 1 終了, 2 --quit
        const QByteArray starting("exec sleep 30");
        const QByteArray toldGo("echo ready >&3; read go <&3; read go <&3; ");
        const QString ended = QStringLiteral("the new copy ended");
        QTest::newRow("cannot start") << QByteArray() << QString() << 0;
        QTest::newRow("dies at once") << QByteArray("exit 3") << ended << 0;
        QTest::newRow("never ready") << QByteArray("trap '' TERM; sleep 30")
                                     << QStringLiteral("the new copy was not ready in time") << 0;
        QTest::newRow("dies when told to go") << QByteArray(toldGo + "exit 1") << ended << 0;
        QTest::newRow("its password refused")
            << QByteArray("echo refused >&3") << QStringLiteral("the site refused the password") << 0;
        QTest::newRow("終了 while it starts") << starting << QString() << 1;
        QTest::newRow("--quit while it starts") << starting << QString() << 2;
        QTest::newRow("終了 once told to go") << QByteArray(toldGo + starting) << QString() << 1;
        QTest::newRow("runs") << QByteArray(
                                     "echo ready >&3; read a <&3; read b <&3; echo \"$1 $a $b\" >heard; "
                                     "echo running >&3; echo '#' >&4; exec sleep 1")
                              << QString() << 0;
    }
    void theHandOver() {
        QFETCH(QByteArray, body);
        QFETCH(QString, why);
        QFETCH(int, close);
        QDir::setCurrent(m_dir.path());
        auto life = startCopy({QStringLiteral("KelvoMonitor")});
        frmMain* main = life->mainWindow();
        QSignalSpy ended(life.get(), &Lifetime::ended);
        const bool runs = body.startsWith("echo ready >&3; read a");
        const bool refused = body.contains("refused");
        life->setRenewal(body.isEmpty() ? QStringLiteral("/nonexistent/KelvoMonitor") : newCopy(body),
                         close ? 20000 : 1000, 1);
        if (body.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot start")));
        if (runs)
            platform::MemberWindows::instance()->opened();
        const bool started = life->renew();
        QCOMPARE(started, !body.isEmpty());
        const qint64 pid = life->newCopy();
        const qsizetype refreshes = browserOf(*life)->calls.count(QStringLiteral("Refresh"));
        main->RunCommand(Command::Check);
        QCOMPARE(browserOf(*life)->calls.count(QStringLiteral("Refresh")), refreshes + (started ? 0 : 1));
        if (close) {
            QTest::qWait(300); // told to go, where it says so
            QTest::ignoreMessage(QtWarningMsg, "no renewal: a close was asked for");
            if (close == 2)
                QCOMPARE(laterStart(m_dir.path(), Command::Quit), SingleCopy::Claim::HandedOver);
            else
                main->mnuEnd_Click();
        }
        if (!why.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("no renewal: ") + why));
        QTRY_VERIFY_WITH_TIMEOUT(!life->renewing(), 8000);
        QVERIFY(!pid || platform::childEnded(pid) || runs);
        if (runs || close) {
            QTRY_VERIFY(main->isUnloaded());
            if (runs) {
                QCOMPARE(bytes(QStringLiteral("heard")), QByteArray("--renewed check go\n"));
                QCOMPARE(bytes(QStringLiteral("KelvoMonitor.lock")).left(1), QByteArray("#"));
                QTest::qWait(100);
                QCOMPARE(ended.size(), 0); // the member's window is still open
                platform::MemberWindows::instance()->closed();
                QTRY_COMPARE(ended.size(), 1);
                QTRY_COMPARE_WITH_TIMEOUT(platform::childrenWaitedFor(), 0, 5000); // no zombie
            }
            QCOMPARE(laterStart(m_dir.path(), Command::Quit), SingleCopy::Claim::NoneRunning);
            return;
        }
        QTRY_VERIFY(!m_messages.isEmpty()); // the held check, and a refusal told once
        QStringList told{info(report::NoNewArticlesMessage)};
        if (refused)
            told.append(warning(report::LoginFailedMessage));
        QTRY_COMPARE(m_messages.size(), told.size());
        QCOMPARE(takeMessages(), told);
        QCOMPARE(main->loginRejected(), refused);
        // Refused: no copy is sent the password again, until new credentials.
        if (refused) {
            main->Timer1_Timer();
            QCOMPARE(life->renewing(), false);
        }
        QCOMPARE(laterStart(m_dir.path(), Command::Show), SingleCopy::Claim::HandedOver);
        QTRY_VERIFY(!m_messages.isEmpty() || main->trayIcon()->isShown());
        takeMessages();
    }

    // The new copy's side: it says nothing and shows nothing until told to
    // run; a site out of reach ends it unseen, a refused password is handed
    // back. Told "go", it runs the commands handed on and carries the tip.
    // A line that closes with the old copy alive ends it; with the old copy
    // gone (killed after "ready"), it goes on as the one copy.
    void theRenewedCopysSide_data() {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("then");
        QTest::newRow("site down") << "down"
                                   << "";
        QTest::newRow("password refused") << "refuses"
                                          << "";
        QTest::newRow("told go") << "signs in"
                                 << "go";
        QTest::newRow("line closed, the old copy alive") << "signs in"
                                                         << "close";
        QTest::newRow("the old copy killed after ready") << "signs in"
                                                         << "kill";
        QTest::newRow("the old copy killed, the password refused") << "refuses"
                                                                   << "killed before";
    }
    void theRenewedCopysSide() {
        QFETCH(QString, site);
        QFETCH(QString, then);
        m_down = site == QLatin1String("down");
        m_session = false;
        if (site == QLatin1String("refuses"))
            m_goodPassword = QStringLiteral("new");
        QProcess old; // stands for the old copy's process
        old.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(old.waitForStarted());
        int line[2];
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM, 0, line) == 0);
        const QByteArray lockName = QFile::encodeName(m_dir.filePath(QStringLiteral("KelvoMonitor.lock")));
        const int lock = ::open(lockName.constData(), O_RDWR | O_CREAT, 0600);
        QVERIFY(lock >= 0 && ::flock(lock, LOCK_EX) == 0);
        constexpr int LineAt = 200;
        QVERIFY(::dup2(line[1], LineAt) == LineAt && ::dup2(lock, LineAt + 1) == LineAt + 1);
        ::close(line[1]);
        TakeOver::setLineForTesting(LineAt, old.processId());
        // Whichever way the row ends: the old copy's end of the line, the stand-in, the seam.
        struct Restore {
            QProcess& old;
            int& line;
            ~Restore() {
                if (line >= 0)
                    ::close(line);
                old.kill();
                old.waitForFinished();
                TakeOver::setLineForTesting(3, 0);
                qunsetenv("KELVO_RENEWED_TIP");
            }
        } restore{old, line[0]};
        const QString tip = QStringLiteral("12:34 新着記事はありません");
        qputenv("KELVO_RENEWED_TIP", tip.toUtf8());
        if (then == QLatin1String("killed before")) {
            old.kill();
            old.waitForFinished();
            QTest::ignoreMessage(QtWarningMsg, "the copy before is gone: this one takes over");
        }
        const bool runs = site == QLatin1String("signs in") || then == QLatin1String("killed before");
        auto life = startCopy({QStringLiteral("KelvoMonitor"), QStringLiteral("--renewed")},
                              runs ? std::nullopt : std::optional<int>(0));
        ::close(lock); // shared with it now
        if (then == QLatin1String("killed before")) {
            // The one copy left: it tells the member, runs, and sends the password no more.
            QCOMPARE(takeMessages(), QStringList{warning(report::LoginFailedMessage)});
            QVERIFY(life->mainWindow()->Timer1()->isActive() && life->mainWindow()->loginRejected());
            QCOMPARE(laterStart(m_dir.path(), Command::Show), SingleCopy::Claim::HandedOver);
            return;
        }
        QCOMPARE(takeMessages(), QStringList());
        QCOMPARE(readLine(line[0]), QByteArray(runs                            ? "ready"
                                               : site == QLatin1String("down") ? ""
                                                                               : "refused"));
        if (!runs)
            return;
        frmMain* main = life->mainWindow();
        QVERIFY(!main->trayIcon()->isShown() && !main->Timer1()->isActive());
        QVERIFY(main->trayIcon()->toolTip().endsWith(tip));
        if (then == QLatin1String("go")) {
            const qsizetype refreshes = browserOf(*life)->calls.count(QStringLiteral("Refresh"));
            QVERIFY(::write(line[0], "check\ngo\n", 9) == 9);
            QCOMPARE(readLine(line[0]), QByteArray("running"));
            QTRY_VERIFY(browserOf(*life)->calls.count(QStringLiteral("Refresh")) >
                        refreshes); // the held check
            QTRY_COMPARE(m_messages.size(), 1);
        } else {
            if (then == QLatin1String("kill")) {
                QTest::ignoreMessage(QtWarningMsg, "the copy before is gone: this one takes over");
                old.kill();
                QVERIFY(old.waitForFinished());
            }
            ::close(std::exchange(line[0], -1));
        }
        const bool goesOn = then != QLatin1String("close");
        QTRY_VERIFY_WITH_TIMEOUT(main->Timer1()->isActive() || main->isUnloaded(), 5000);
        QCOMPARE(main->Timer1()->isActive(), goesOn);
        QCOMPARE(main->isUnloaded(), !goesOn);
        // Going on, it holds the folder: a later start is handed to it.
        if (goesOn)
            QCOMPARE(laterStart(m_dir.path(), Command::Show), SingleCopy::Claim::HandedOver);
        else
            QCOMPARE(SingleCopy(m_dir.path()).claim(Command::Quit), SingleCopy::Claim::NoneRunning);
        takeMessages();
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
