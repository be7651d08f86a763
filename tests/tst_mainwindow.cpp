// The program's logic against the scripted browser: signing in and out,
// opening pages, checking, the
// snapshot file, recovery, the popup, the close sequence, and the run-time
// changes (favorite and settings dialogs, credentials, the manual check).
#include "app/changes.h"
#include "app/frmmain.h"
#include "app/frmmessage.h"
#include "dialogs/frmfavorite.h"
#include "dialogs/frmlogin.h"
#include "dialogs/frmsettings.h"
#include "platform/messagebox.h"
#include "platform/placement.h"
#include "platform/tray.h"
#include "scriptedbrowser.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "storage/textcompare.h"
#include "testsupport.h"
#include "web/login.h"
#include "web/openpages.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace basMain;
using Page = ScriptedBrowser::Page;
using namespace testsupport;

namespace {
// Sign-in page first, then `afterSubmit` for the submission, top page for anything else.
std::function<Page(const QString&)> loginSite(const Page& afterSubmit,
                                              const Page& loginPage = Page{QStringLiteral("ログイン")}) {
    return [=](const QString& what) {
        if (what == LoginURL())
            return loginPage;
        return what == QStringLiteral("submit") ? afterSubmit : Page{QStringLiteral("トップ ") + what};
    };
}

} // namespace

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
    bool m_redirectSignedOut = false; // signed out, the top page redirects to the sign-in page
    bool m_loginPageSignedIn = false; // signed in, the sign-in page is shown (with the marker)
    std::shared_ptr<ScriptedBrowser> site() {
        auto b = std::make_shared<ScriptedBrowser>();
        auto* raw = b.get();
        b->onLoad = [this, raw](const QString& what) {
            if (m_down)
                return Page::failed(QStringLiteral("HttpStatusCodeDomain 503"));
            const QString top = basMain::TopURL();
            if (what == basMain::LogoutURL())
                m_session = false;
            if (what == QStringLiteral("submit")) {
                m_session =
                    raw->values.value(QStringLiteral("user_email")) == QStringLiteral("m@example.com") &&
                    raw->values.value(QStringLiteral("user_password")) == m_goodPassword;
                return m_session ? Page::at(top, m_page) : Page(QStringLiteral("ログインに失敗しました"));
            }
            const QString target = what == QStringLiteral("refresh") ? raw->location : what;
            if (target == basMain::LoginURL()) {
                if (!m_session)
                    return Page(QStringLiteral("ログイン"));
                return m_loginPageSignedIn ? Page(QStringLiteral("ログアウト ログイン"))
                                           : Page::at(top, m_page);
            }
            if (target == top && !m_session)
                return m_redirectSignedOut ? Page::at(basMain::LoginURL(), QStringLiteral("ログイン"))
                                           : Page(QStringLiteral("会員制のサイトです"));
            return Page(m_session ? m_page : QStringLiteral("会員制のサイトです"));
        };
        return b;
    }
    int signIns() const {
        int n = 0;
        for (const auto& b : ScriptedBrowser::created)
            n += b->calls.count(QStringLiteral("SubmitForm 1"));
        return n;
    }
    std::shared_ptr<ScriptedBrowser> ie() { return std::static_pointer_cast<ScriptedBrowser>(m_main->ie()); }
    void load() {
        ScriptedBrowser::queue.push_back(site());
        m_main = std::make_unique<frmMain>();
        m_main->Form_Load();
    }
    // Runs a check, answering a popup (if one comes) with Esc; returns whether one came.
    bool checkAnsweringPopup(bool* result = nullptr, std::function<void()> whilePopupUp = {}) {
        bool popup = false;
        auto pending = whenShown<frmMessage>([&](frmMessage* m) {
            popup = true;
            if (whilePopupUp)
                whilePopupUp();
            QTest::keyClick(m, Qt::Key_Escape);
        });
        const bool r = m_main->CheckTopPage();
        if (result)
            *result = r;
        return popup;
    }

    QString m_goodPassword = QStringLiteral("pw");
    static void answerLogin(const QString& mail, const QString& password, bool confirm = true) {
        auto* dlg = testsupport::findVisible<frmLogin>();
        QVERIFY(dlg);
        if (!mail.isNull())
            dlg->setMailAddress(mail);
        if (!password.isNull())
            dlg->setPassword(password);
        QTest::keyClick(dlg->txtPassword, confirm ? Qt::Key_Return : Qt::Key_Escape);
    }

private Q_SLOTS:
    void initTestCase() {
        basMain::setMemberDirForTesting(m_dir.path());
        platform::setClock(&m_clock);
        testsupport::recordMessages(&m_messages);
    }
    void init() {
        ScriptedBrowser::install();
        QFile::remove(frmMain::TopFilePath());
        m_messages.clear();
        m_clock.sleeps.clear();
        m_page = QStringLiteral("ログアウト\r\n新着記事\r\n記事A");
        basMain::setMailAddress(QStringLiteral("m@example.com"));
        basMain::setPassword(QStringLiteral("pw"));
        basMain::setFavoriteURL(QString());
        m_goodPassword = QStringLiteral("pw");
        m_session = m_down = m_redirectSignedOut = m_loginPageSignedIn = false;
        QFile f(basMain::SettingsFilePath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[mail]\naddress=m@example.com\npwd=pw\n");
        f.close();
        load();
    }
    void cleanup() { m_main.reset(); }

    void textComparison_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("changed");
        const struct {
            const char* name;
            const char16_t* a;
            const char16_t* b;
            bool changed;
        } rows[] = {{"spaces", u"記事 A", u"記  事A ", false},
                    {"ideographic spaces", u"記事　A", u"記事A　　", false},
                    {"CR LF pairs", u"a\r\nb\r\n", u"ab", false},
                    {"CR space LF is a pair once spaces go", u"a\r \nb", u"ab", false},
                    {"empty against blanks", u"", u" \r\n　", false},
                    {"lone LF", u"a\nb", u"ab", true},
                    {"lone CR", u"a\rb", u"ab", true},
                    {"LF CR is no pair", u"a\n\rb", u"ab", true},
                    {"one replace pass", u"\r\r\n\n", u"", true},
                    {"tab", u"a\tb", u"ab", true},
                    {"no-break space", u"a\u00a0b", u"ab", true},
                    {"letter case", u"Kelvo", u"kelvo", true},
                    {"full width letter", u"Ａ", u"A", true}};
        for (const auto& r : rows)
            QTest::newRow(r.name) << QString::fromUtf16(r.a) << QString::fromUtf16(r.b) << r.changed;
    }
    void textComparison() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, changed);
        QCOMPARE(frmMain::IsTextChanged(a, b), changed);
        QCOMPARE(frmMain::IsTextChanged(b, a), changed);
    }

    void firstCheckSetsTheBaselineQuietly() {
        bool result = true;
        QVERIFY(!checkAnsweringPopup(&result));
        QVERIFY(!result);
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
        QVERIFY(m_clock.sleeps.contains(3000));
        // a page that differs only in blanks and line breaks leaves the file alone
        const QByteArray before = bytes(frmMain::TopFilePath());
        m_page = QStringLiteral("ログアウト 新着記事　記事A\r\n\r\n");
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
    }

    void changeIsShownThenStored() {
        QVERIFY(!checkAnsweringPopup());
        m_page += QStringLiteral("\r\n記事B");
        const QByteArray old = bytes(frmMain::TopFilePath());
        bool result = false;
        QByteArray duringPopup;
        QVERIFY(checkAnsweringPopup(&result, [&] { duringPopup = bytes(frmMain::TopFilePath()); }));
        QVERIFY(result);
        QCOMPARE(duringPopup, old); // rewritten only once the popup has gone
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
        QVERIFY(!checkAnsweringPopup());
    }

    void ticksDuringAPopupAreDropped() {
        QVERIFY(!checkAnsweringPopup());
        m_page += QStringLiteral("新");
        int refreshesDuringPopup = -1;
        QVERIFY(checkAnsweringPopup(nullptr, [&] {
            const int before = ie()->calls.count(QStringLiteral("Refresh"));
            m_main->Timer1_Timer();
            m_main->mnuCheck_Click();
            refreshesDuringPopup = ie()->calls.count(QStringLiteral("Refresh")) - before;
        }));
        QCOMPARE(refreshesDuringPopup, 0);
        QVERIFY(m_messages.isEmpty());
    }

    void vanishedBrowserIsReplacedQuietly() {
        QVERIFY(!checkAnsweringPopup());
        ie()->gone = true;
        m_page += QStringLiteral("変化"); // not compared in the recovering check
        bool result = true;
        QVERIFY(!checkAnsweringPopup(&result));
        QVERIFY(!result);
        QCOMPARE(ScriptedBrowser::created.size(), size_t(2));
        QVERIFY(m_messages.isEmpty());
        QVERIFY(m_main->LoggedIn());
        // the check after that compares again
        QVERIFY(checkAnsweringPopup(&result));
        QVERIFY(result);

        // a replacement that cannot sign in says so and clears LoggedIn
        ie()->gone = true;
        auto refusing = site();
        refusing->onLoad = [](const QString&) { return Page{QStringLiteral("ログインに失敗しました")}; };
        ScriptedBrowser::queue.push_back(refusing);
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(m_messages, QStringList{warning(frmMain::LoginFailedMessage)});
        QVERIFY(!m_main->LoggedIn());
    }

    void failedOrLateLoadIsNoPage_data() {
        QTest::addColumn<int>("failure");
        QTest::newRow("load failed") << int(platform::ErrLoadFailed);
        QTest::newRow("load never finished") << int(platform::ErrBusyTimeout);
        QTest::newRow("page did not answer the script") << int(platform::ErrScriptTimeout);
    }
    void failedOrLateLoadIsNoPage() {
        QFETCH(int, failure);
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        m_down = failure == platform::ErrLoadFailed;
        ie()->neverFinish = failure == platform::ErrBusyTimeout;
        if (failure == platform::ErrScriptTimeout)
            ie()->failures[QStringLiteral("BodyInnerText")] = failure;
        m_page += QStringLiteral("記事F"); // not seen while the site fails
        bool result = true;
        QVERIFY(!checkAnsweringPopup(&result));
        QVERIFY(!result);
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(m_main->LoggedIn());
        QVERIFY(!m_main->isUnloaded());
        if (ie()->neverFinish)
            QVERIFY(ie()->calls.contains(QStringLiteral("Stop")));
        // asked for by hand, the member hears that the site was not reached
        if (m_down) {
            m_main->mnuCheck_Click();
            QCOMPARE(m_messages, QStringList{warning(frmMain::SiteUnreachableMessage)});
            m_messages.clear();
        }
        // back: the article is announced once
        m_down = ie()->neverFinish = false;
        QVERIFY(checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());
        QVERIFY(m_messages.isEmpty());
    }
    void endedSessionIsSignedInAgainBeforeComparing_data() {
        QTest::addColumn<bool>("redirect");
        QTest::newRow("public page") << false;
        QTest::newRow("redirect to the sign-in page") << true;
    }
    void endedSessionIsSignedInAgainBeforeComparing() {
        QFETCH(bool, redirect);
        m_redirectSignedOut = redirect;
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        m_session = false;
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(signIns(), 2);
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        // an article that came while signed out is announced
        m_session = false;
        m_page += QStringLiteral("記事G");
        QVERIFY(checkAnsweringPopup());
        QCOMPARE(signIns(), 3);
        QVERIFY(bytes(frmMain::TopFilePath()).contains("記事G"));
        QVERIFY(m_messages.isEmpty());
        QVERIFY(m_main->LoggedIn());
    }

    void topPageWithoutTheMarkerIsComparedAfterASignIn() {
        m_page = QStringLiteral("新着記事\r\n記事A"); // the site keeps the marker elsewhere
        QVERIFY(!checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());
        m_page += QStringLiteral("記事H");
        QVERIFY(checkAnsweringPopup());
        QVERIFY(m_messages.isEmpty());
    }

    void rejectedSignInIsToldOnceAndNeverResent() {
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        m_session = false;
        m_goodPassword = QStringLiteral("changed on the site");
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(m_messages, QStringList{warning(frmMain::LoginFailedMessage)});
        QVERIFY(!m_main->LoggedIn());
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        const QStringList callsBefore = ie()->calls;
        for (int i = 0; i < 3; ++i)
            m_main->Timer1_Timer();
        QCOMPARE(ie()->calls, callsBefore); // the timer leaves the browser alone
        QCOMPARE(m_messages.size(), 1);

        // the member cancels the login dialog: still refused, asked again next time
        m_messages.clear();
        auto cancel = whenShown<frmLogin>([](frmLogin*) { answerLogin(QString(), QString(), false); });
        m_main->mnuCheck_Click();
        cancel.reset();
        QVERIFY(!m_main->LoggedIn());
        QVERIFY(m_main->loginRejected());
        // fixes it through the double-click (the manual check); the timer checks again
        m_messages.clear();
        auto fix = whenShown<frmLogin>(
            [](frmLogin*) { answerLogin(QString(), QStringLiteral("changed on the site")); });
        Q_EMIT m_main->trayIcon()->checkNowRequested();
        QCOMPARE(m_messages, QStringList{warning(frmMain::NotLoggedInMessage)});
        QVERIFY(m_main->LoggedIn());
        m_page += QStringLiteral("記事I");
        bool popup = false;
        auto answer = whenShown<frmMessage>([&](frmMessage* m) {
            popup = true;
            m->cmdClose->click();
        });
        m_main->Timer1_Timer();
        QVERIFY(popup);
    }

    void signInThatDidNotGetThroughIsRetriedByEachTick_data() {
        QTest::addColumn<bool>("noBrowser");
        QTest::newRow("network not up yet") << false;
        QTest::newRow("no browser could be made") << true;
    }
    void signInThatDidNotGetThroughIsRetriedByEachTick() {
        QFETCH(bool, noBrowser);
        m_main.reset();
        m_messages.clear();
        m_down = !noBrowser;
        ScriptedBrowser::failCreation = noBrowser;
        load();
        QCOMPARE(m_messages, QStringList{warning(frmMain::LoginFailedMessage)}); // at start, as ever
        QVERIFY(!m_main->LoggedIn());
        QVERIFY(!m_main->loginRejected());
        QVERIFY(m_main->Timer1()->isActive());
        m_messages.clear();
        const qsizetype callsBefore = noBrowser ? 0 : ie()->calls.size();
        m_main->Timer1_Timer(); // still failing: one quiet try, nothing compared
        if (!noBrowser)
            QVERIFY(ie()->calls.size() > callsBefore);
        QVERIFY(!QFile::exists(frmMain::TopFilePath()));
        QVERIFY(m_messages.isEmpty());
        m_down = ScriptedBrowser::failCreation = false;
        m_main->Timer1_Timer();
        QVERIFY(m_main->LoggedIn());
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
        QVERIFY(m_messages.isEmpty());
    }
    void checkLoadsTheTopPageWhereverTheBrowserIs() {
        m_main.reset();
        m_session = true; // signed in already: the site shows its sign-in page with the marker
        m_loginPageSignedIn = true;
        ScriptedBrowser::queue.push_back(site());
        m_main = std::make_unique<frmMain>();
        m_main->Form_Load();
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
        auto window = site();
        ScriptedBrowser::queue.push_back(window);
        OpenTopPage();
        QCOMPARE(window->steps().first(), QStringLiteral("setVisible true"));
        QCOMPARE(window->steps().last(), QStringLiteral("Navigate ") + TopURL());
        QVERIFY(!window->gone);
        m_session = false;
        m_goodPassword = QStringLiteral("other");
        ScriptedBrowser::queue.push_back(site());
        OpenTopPage();
        QCOMPARE(ScriptedBrowser::created.back()->current.text, QStringLiteral("ログインに失敗しました"));
        QVERIFY(m_messages.isEmpty());
        ScriptedBrowser::failCreation = true;
        OpenTopPage(); // nothing to show, no crash
    }

    void otherFailuresEndTheProgram() {
        QSignalSpy finished(m_main.get(), &frmMain::finished);
        auto browser = ie();
        browser->failures[QStringLiteral("BodyInnerText")] = platform::ErrNoObject;
        QVERIFY(!checkAnsweringPopup());
        QVERIFY(m_main->isUnloaded());
        QVERIFY(!m_main->Timer1()->isActive());
        QVERIFY(!m_main->trayIcon()->isShown());
        QCOMPARE(browser->calls.last(), QStringLiteral("Quit"));
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(m_messages.isEmpty());
    }

    void closeSequenceIgnoresAGoneBrowser() {
        QSignalSpy finished(m_main.get(), &frmMain::finished);
        ie()->gone = true;
        m_main->mnuEnd_Click();
        QVERIFY(m_main->isUnloaded());
        QVERIFY(!m_main->trayIcon()->isShown());
        QVERIFY(!m_main->ie());
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(m_messages.isEmpty());
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
        QVERIFY(QDir().rmdir(frmMain::TopFilePath()));
        QVERIFY(!m_main->isUnloaded());
    }

    void unusualPageTexts() {
        m_page = QString();
        QVERIFY(!checkAnsweringPopup());
        QCOMPARE(bytes(frmMain::TopFilePath()), QByteArray());
        QVERIFY(!checkAnsweringPopup());

        QFile::remove(frmMain::TopFilePath());
        m_page = QStringLiteral("記事") + QChar(0xD800) + QStringLiteral("壊れた文字"); // a lone surrogate
        QVERIFY(!checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());

        QFile::remove(frmMain::TopFilePath());
        m_page = QString(10 * 1024 * 1024, u'あ');
        QVERIFY(!checkAnsweringPopup());
        m_page[5 * 1024 * 1024] = u'い';
        QVERIFY(checkAnsweringPopup());
        QVERIFY(!checkAnsweringPopup());
    }

    void manualCheckOutcomes() {
        QVERIFY(!checkAnsweringPopup());
        m_main->mnuCheck_Click();
        QCOMPARE(m_messages, QStringList{info(frmMain::NoNewArticlesMessage)});
        m_messages.clear();
        m_page += QStringLiteral("記事D");
        bool popup = false;
        auto pending = whenShown<frmMessage>([&](frmMessage* m) {
            popup = true;
            m->cmdClose->click();
        });
        Q_EMIT m_main->trayIcon()->checkNowRequested(); // same as "すぐに確認"
        QVERIFY(popup);
        QVERIFY(m_messages.isEmpty());
    }

    void popupSitsInTheWorkAreasCorner() {
        const QSize outer(202, 95);
        using basWin32API::bottomRightPosition;
        // taskbar at the bottom, on the right, at the top, on the left
        QCOMPARE(bottomRightPosition(QRect(0, 0, 1280, 768), outer), QPoint(1078, 673));
        QCOMPARE(bottomRightPosition(QRect(0, 0, 1240, 800), outer), QPoint(1038, 705));
        QCOMPARE(bottomRightPosition(QRect(0, 32, 1280, 768), outer), QPoint(1078, 705));
        QCOMPARE(bottomRightPosition(QRect(40, 0, 1240, 800), outer), QPoint(1078, 705));
    }
    void openButtonOpensTheTopPageThenCloses() {
        QVERIFY(!checkAnsweringPopup());
        m_page += QStringLiteral("記事E");
        auto pending = whenShown<frmMessage>([](frmMessage* m) { QTest::keyClick(m, Qt::Key_Return); });
        QVERIFY(m_main->CheckTopPage());
        QCOMPARE(ScriptedBrowser::created.size(), size_t(2));
        QVERIFY(ScriptedBrowser::created.back()->visible);
        QVERIFY(!ScriptedBrowser::created.back()->gone); // left open for the member
    }

    void credentialChangeStoresBeforeSigningIn_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("same again") << "pw" << true;
        QTest::newRow("wrong new password") << "wrong" << false;
        QTest::newRow("empty password") << "" << false;
        QTest::newRow("cancelled") << QString() << false;
    }
    void credentialChangeStoresBeforeSigningIn() {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        auto b = site();
        auto pending = whenShown<frmLogin>([&](frmLogin* dlg) {
            QCOMPARE(dlg->Password(), QStringLiteral("pw")); // pre-filled
            answerLogin(QString(), password, !password.isNull());
        });
        QCOMPARE(ChangeLogin(*b), accepted);
        if (password.isNull()) { // not even signed out, nothing stored
            QVERIFY(b->calls.isEmpty());
            QCOMPARE(bytes(SettingsFilePath()), QByteArray("[mail]\naddress=m@example.com\npwd=pw\n"));
            QVERIFY(m_messages.isEmpty());
            return;
        }
        QCOMPARE(b->steps().first(), QStringLiteral("Navigate ") + LogoutURL());
        QCOMPARE(b->values.value(QStringLiteral("user_password")), password); // sent as typed
        // stored before the sign-in, whatever its outcome
        QCOMPARE(Password(), password);
        QCOMPARE(bytes(SettingsFilePath()),
                 QByteArray("[mail]\naddress=m@example.com\npwd=") + password.toUtf8() + "\n");
        QCOMPARE(m_messages, accepted ? QStringList() : QStringList{warning(frmMain::LoginFailedMessage)});
    }
    void closingDuringTheLoginDialogStoresNothing() {
        m_goodPassword = QStringLiteral("new");
        m_session = false;
        ScriptedBrowser::queue.push_back(site());
        frmMain main;
        main.Form_Load();
        m_messages.clear();
        auto pending = whenShown<frmLogin>([&](frmLogin* dlg) {
            dlg->setMailAddress(QStringLiteral("half-typed@example.com"));
            main.Unload(); // SIGTERM or the session's end while the dialog waits
        });
        main.mnuCheck_Click();
        QVERIFY(main.isUnloaded());
        QCOMPARE(MailAddress(), QStringLiteral("m@example.com"));
        QCOMPARE(bytes(SettingsFilePath()), QByteArray("[mail]\naddress=m@example.com\npwd=pw\n"));
        QCOMPARE(m_messages, QStringList{warning(QStringLiteral("ログインしていません"))});
        QVERIFY(!testsupport::findVisible<frmLogin>());
    }

    void credentialChangeFromSettingsDecidesLoggedIn() {
        m_goodPassword = QStringLiteral("new");
        m_session = false;
        ScriptedBrowser::queue.push_back(site());
        frmMain main;
        main.Form_Load();
        QVERIFY(!main.LoggedIn());
        QVERIFY(main.loginRejected());
        auto changeTo = [&](const QString& password) {
            bool settingsHidden = false;
            auto chooseLogin = whenShown<frmSettings>([](frmSettings* s) { s->cmdLogin->click(); });
            auto answer = whenShown<frmLogin>([&](frmLogin*) {
                settingsHidden = !testsupport::findVisible<frmSettings>();
                answerLogin(QString(), password);
            });
            main.mnuSetting_Click();
            QVERIFY(settingsHidden);
            QVERIFY(!testsupport::findVisible<frmSettings>());
        };
        changeTo(QStringLiteral("new"));
        QCOMPARE(Password(), QStringLiteral("new"));
        QVERIFY(main.LoggedIn()); // monitoring resumes
        QVERIFY(!main.loginRejected());
        m_messages.clear();
        changeTo(QStringLiteral("wrong"));
        QVERIFY(!main.LoggedIn());
        QVERIFY(main.loginRejected());
        QCOMPARE(m_messages, QStringList{warning(frmMain::LoginFailedMessage)});
    }

    void outcomeOfASubmission_data() {
        QTest::addColumn<QString>("pageAfterSubmit");
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("failure marker") << QStringLiteral("エラー: ログインに失敗しました。") << false;
        QTest::newRow("neither marker") << QStringLiteral("メンテナンス中") << true;
        QTest::newRow("signed-in marker") << QStringLiteral("ログアウト") << true;
        QTest::newRow("marker split by a blank") << QStringLiteral("ログインに 失敗しました") << true;
        QTest::newRow("empty page") << QString() << true;
    }
    void outcomeOfASubmission() {
        QFETCH(QString, pageAfterSubmit);
        QFETCH(bool, signedIn);
        ScriptedBrowser b;
        b.onLoad = loginSite(Page{pageAfterSubmit});
        QCOMPARE(Login(b), signedIn);
        QCOMPARE(b.calls.count(QStringLiteral("SubmitForm 1")), 1); // one attempt, never retried
        QVERIFY(!b.calls.last().startsWith(QStringLiteral("Navigate")));
    }

    void browserFailuresGiveFalse_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("number");
        QTest::newRow("navigate, process gone") << "Navigate" << int(platform::ErrProcessGone);
        QTest::newRow("busy, process gone") << "Busy" << int(platform::ErrProcessGone);
        QTest::newRow("text, script timeout") << "BodyInnerText" << int(platform::ErrScriptTimeout);
        QTest::newRow("field") << "SetElementValue" << int(platform::ErrNoObject);
        QTest::newRow("submit") << "SubmitForm" << int(platform::ErrNoObject);
    }
    void browserFailuresGiveFalse() {
        QFETCH(QString, member);
        QFETCH(int, number);
        ScriptedBrowser b;
        b.onLoad = loginSite(Page());
        b.failures[member] = number;
        QCOMPARE(SignIn(b), LoginResult::NotReached);
        // nothing happens after the failure
        QVERIFY(b.calls.last().startsWith(member));
        Logout(b); // swallows failures
        QVERIFY(m_messages.isEmpty());
    }
    void favoriteIsAskedStoredAndOpened() {
        const size_t before = ScriptedBrowser::created.size();
        OpenFavorite();
        QCOMPARE(m_messages, QStringList{info(NoFavoriteMessage)});
        QCOMPARE(ScriptedBrowser::created.size(), before);
        m_messages.clear();

        auto answer = whenShown<frmFavorite>([](frmFavorite* dlg) {
            QTest::keyClick(dlg->txtURL, Qt::Key_Return); // empty: refused, the dialog stays
            QVERIFY(dlg->isVisible());
            QTest::keyClicks(dlg->txtURL, QStringLiteral("https://fav/page"));
            QTest::keyClick(dlg->txtURL, Qt::Key_Return);
        });
        ChangeFavorite();
        QCOMPARE(m_messages, QStringList{warning(frmFavorite::EmptyURLMessage)});
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
        auto b = site();
        ScriptedBrowser::queue.push_back(b);
        OpenFavorite();
        QCOMPARE(b->steps().first(), QStringLiteral("setVisible true"));
        QCOMPARE(b->steps().last(), QStringLiteral("Navigate https://fav/page"));
        QVERIFY(b->calls.mid(b->calls.lastIndexOf(QStringLiteral("Navigate https://fav/page")))
                    .contains(QStringLiteral("Busy"))); // waited for it
        QCOMPARE(m_messages.size(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
