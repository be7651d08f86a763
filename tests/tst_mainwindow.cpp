// The program's logic against the scripted browser: signing in and out,
// opening pages, checking, the
// snapshot file, recovery, the popup, the close sequence, and the run-time
// changes (favorite and settings dialogs, credentials, the manual check).
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
#include "web/changes.h"
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
using testsupport::whenShown;

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

    static QByteArray bytes(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
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
    static QString warning(const QString& text) { return text + QStringLiteral("|warning"); }
    static QString info(const QString& text) { return text + QStringLiteral("|info"); }
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
        basMain::setApplicationDirForTesting(m_dir.path());
        platform::setClock(&m_clock);
        platform::setMessageHandler([this](const QString& text, platform::MessageIcon icon) {
            m_messages << (icon == platform::MessageIcon::Warning ? warning(text) : info(text));
        });
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
        QTest::newRow("same") << "記事A"
                              << "記事A" << false;
        QTest::newRow("spaces") << "記事 A"
                                << "記  事A " << false;
        QTest::newRow("ideographic spaces") << "記事　A"
                                            << "記事A　　" << false;
        QTest::newRow("CR LF pairs") << "a\r\nb\r\n"
                                     << "ab" << false;
        QTest::newRow("CR space LF is a pair once spaces go") << "a\r \nb"
                                                              << "ab" << false;
        QTest::newRow("lone LF") << "a\nb"
                                 << "ab" << true;
        QTest::newRow("lone CR") << "a\rb"
                                 << "ab" << true;
        QTest::newRow("LF CR is no pair") << "a\n\rb"
                                          << "ab" << true;
        QTest::newRow("one replace pass") << "\r\r\n\n"
                                          << "" << true;
        QTest::newRow("tab") << "a\tb"
                             << "ab" << true;
        QTest::newRow("no-break space") << "a\u00a0b"
                                        << "ab" << true;
        QTest::newRow("letter case") << "Kelvo"
                                     << "kelvo" << true;
        QTest::newRow("full width letter") << "Ａ"
                                           << "A" << true;
        QTest::newRow("both empty") << ""
                                    << "" << false;
        QTest::newRow("empty against blanks") << ""
                                              << " \r\n　" << false;
    }
    void textComparison() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, changed);
        QCOMPARE(frmMain::IsTextChanged(a, b), changed);
        QCOMPARE(frmMain::IsTextChanged(b, a), changed);
    }

    void loadSignsInAndStartsTheTimer() {
        QVERIFY(m_main->LoggedIn());
        QCOMPARE(m_main->Timer1()->interval(), 60000);
        QVERIFY(m_main->Timer1()->isActive());
        QVERIFY(m_main->trayIcon()->isShown());
        QCOMPARE(ie()->steps().first(), QStringLiteral("setVisible false"));
        QVERIFY(m_messages.isEmpty());
    }

    void failedOrImpossibleSignInAtLoad() {
        m_main.reset();
        auto wrong = site();
        wrong->onLoad = [](const QString&) { return Page{QStringLiteral("ログインに失敗しました")}; };
        ScriptedBrowser::queue.push_back(wrong);
        m_main = std::make_unique<frmMain>();
        m_main->Form_Load();
        QCOMPARE(m_messages, QStringList{warning(frmMain::LoginFailedMessage)});
        QVERIFY(!m_main->LoggedIn());
        QVERIFY(m_main->Timer1()->isActive());

        m_main.reset();
        m_messages.clear();
        ScriptedBrowser::failCreation = true;
        m_main = std::make_unique<frmMain>();
        m_main->Form_Load();
        QCOMPARE(m_messages, QStringList{warning(frmMain::LoginFailedMessage)});
        QVERIFY(!m_main->ie());
        QVERIFY(m_main->Timer1()->isActive());
        // the next tick tries again with a new browser
        ScriptedBrowser::failCreation = false;
        m_messages.clear();
        m_main->Timer1_Timer();
        QVERIFY(m_main->ie());
        QVERIFY(m_main->LoggedIn());
        QVERIFY(m_messages.isEmpty());
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

    void slowSiteEndsTheCheckQuietly() {
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        ie()->neverFinish = true;
        m_page = QStringLiteral("never compared");
        bool result = true;
        QVERIFY(!checkAnsweringPopup(&result));
        QVERIFY(!result);
        QVERIFY(!m_main->isUnloaded());
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        QVERIFY(ie()->calls.contains(QStringLiteral("Stop")));
        ie()->neverFinish = false;
        ie()->failures[QStringLiteral("BodyInnerText")] = platform::ErrScriptTimeout;
        QVERIFY(!checkAnsweringPopup());
        QVERIFY(!m_main->isUnloaded());
    }

    void failedLoadIsNoPage() {
        QVERIFY(!checkAnsweringPopup());
        const QByteArray before = bytes(frmMain::TopFilePath());
        m_down = true;
        bool result = true;
        QVERIFY(!checkAnsweringPopup(&result));
        QVERIFY(!result);
        m_main->Timer1_Timer();
        QCOMPARE(bytes(frmMain::TopFilePath()), before);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(m_main->LoggedIn());
        QVERIFY(!m_main->isUnloaded());
        // asked for by hand, the member hears that the site was not reached
        m_main->mnuCheck_Click();
        QCOMPARE(m_messages, QStringList{warning(frmMain::SiteUnreachableMessage)});
        m_messages.clear();
        // back up: no alarm for the outage, then the next article is announced
        m_down = false;
        QVERIFY(!checkAnsweringPopup());
        m_page += QStringLiteral("記事F");
        QVERIFY(checkAnsweringPopup());
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

        // the member fixes it through the manual check; the timer checks again
        m_messages.clear();
        auto fix = whenShown<frmLogin>(
            [](frmLogin*) { answerLogin(QString(), QStringLiteral("changed on the site")); });
        m_main->mnuCheck_Click();
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

    void signInThatDidNotGetThroughIsRetriedByEachTick() {
        m_main.reset();
        ScriptedBrowser::install();
        m_messages.clear();
        m_down = true; // started before the network was up
        ScriptedBrowser::queue.push_back(site());
        m_main = std::make_unique<frmMain>();
        m_main->Form_Load();
        QCOMPARE(m_messages, QStringList{warning(frmMain::LoginFailedMessage)});
        QVERIFY(!m_main->LoggedIn());
        QVERIFY(!m_main->loginRejected());
        m_messages.clear();
        const int loginPages = ie()->calls.count(QStringLiteral("Navigate ") + LoginURL());
        m_main->Timer1_Timer();
        QCOMPARE(ie()->calls.count(QStringLiteral("Navigate ") + LoginURL()), loginPages + 1);
        QVERIFY(!ie()->calls.contains(QStringLiteral("Refresh")));
        QVERIFY(!QFile::exists(frmMain::TopFilePath())); // nothing compared or stored
        QVERIFY(m_messages.isEmpty());
        m_down = false;
        m_main->Timer1_Timer();
        QVERIFY(m_main->LoggedIn());
        QCOMPARE(bytes(frmMain::TopFilePath()), (m_page + QStringLiteral("\r\n")).toUtf8());
        QCOMPARE(ScriptedBrowser::created.size(), size_t(1));
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

        // the member's window ends on the top page too
        auto window = site();
        ScriptedBrowser::queue.push_back(window);
        OpenTopPage();
        QCOMPARE(window->steps().last(), QStringLiteral("Navigate ") + TopURL());
        QCOMPARE(window->location, TopURL());
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
        m_main->Form_MouseMove(platform::WM_LBUTTONDBLCLK); // same as "すぐに確認"
        QVERIFY(popup);
        QVERIFY(m_messages.isEmpty());
    }

    void trayDispatchByMouseMessage() {
        const int refreshes = ie()->calls.count(QStringLiteral("Refresh"));
        for (int other : {0x200, 0x201, int(platform::WM_LBUTTONUP), 0x205, int(platform::WM_MBUTTONDOWN)})
            m_main->Form_MouseMove(other);
        QCOMPARE(ie()->calls.count(QStringLiteral("Refresh")), refreshes);
        QVERIFY(!m_main->menu0()->isVisible());
        QVERIFY(m_messages.isEmpty());
        m_main->Form_MouseMove(platform::WM_RBUTTONDOWN);
        QTRY_VERIFY(m_main->menu0()->isVisible());
        m_main->menu0()->hide();
    }

    void popupPlacement() {
        frmMessage popup;
        QCOMPARE(popup.size(), QSize(202, 95));
        QVERIFY(popup.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(popup.windowFlags() & Qt::Tool); // no taskbar entry
        QCOMPARE(popup.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral(" Kelvo+Monitor"));
        QCOMPARE(popup.findChild<QLabel*>(QStringLiteral("Label1"))->width(), 201);
        QCOMPARE(popup.findChild<QLabel*>(QStringLiteral("lblMessage"))->text(),
                 QStringLiteral("新着記事があります"));
        QVERIFY(!popup.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
        QVERIFY(popup.cmdOpen->isDefault());
        basWin32API::SetTopMost(popup);
        QVERIFY(popup.windowFlags() & Qt::WindowStaysOnTopHint);

        const QSize outer(202, 95);
        using basWin32API::bottomRightPosition;
        // taskbar at the bottom, on the right, at the top, on the left; no work area known
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

    void favoriteDialog() {
        frmFavorite dlg;
        dlg.show();
        // empty: refused with the message, the dialog stays
        QTest::keyClick(dlg.txtURL, Qt::Key_Return);
        QCOMPARE(m_messages, QStringList{warning(QStringLiteral("お気に入りＵＲＬが入力されていません。"))});
        QVERIFY(dlg.isVisible());
        // blanks are a URL
        QTest::keyClicks(dlg.txtURL, QStringLiteral("  "));
        QTest::keyClick(dlg.txtURL, Qt::Key_Return);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.FavoriteURL(), QStringLiteral("  "));
        // typed, then Esc: the caller gets nothing
        dlg.show();
        QTest::keyClicks(dlg.txtURL, QStringLiteral("https://x/"));
        QTest::keyClick(dlg.txtURL, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.FavoriteURL(), QString());
    }

    void cancelledLoginChangesNothing() {
        ScriptedBrowser b;
        auto pending = whenShown<frmLogin>([](frmLogin* dlg) {
            QCOMPARE(dlg->MailAddress(), QStringLiteral("m@example.com")); // pre-filled
            QCOMPARE(dlg->Password(), QStringLiteral("pw"));
            dlg->setMailAddress(QStringLiteral("other@example.com"));
            dlg->cmdClose->click();
        });
        QVERIFY(!ChangeLogin(b));
        QVERIFY(b.calls.isEmpty()); // not even signed out
        QCOMPARE(MailAddress(), QStringLiteral("m@example.com"));
        QCOMPARE(bytes(SettingsFilePath()), QByteArray("[mail]\naddress=m@example.com\npwd=pw\n"));
        QVERIFY(m_messages.isEmpty());
    }

    void confirmedCredentialsSignOutStoreAndSignIn_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("same again") << "pw" << true;
        QTest::newRow("wrong new password") << "wrong" << false;
        QTest::newRow("empty password") << "" << false;
    }
    void confirmedCredentialsSignOutStoreAndSignIn() {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        auto b = site();
        auto pending = whenShown<frmLogin>([&](frmLogin*) { answerLogin(QString(), password); });
        QCOMPARE(ChangeLogin(*b), accepted);
        QCOMPARE(b->steps().first(), QStringLiteral("Navigate ") + LogoutURL());
        QVERIFY(b->calls.contains(QStringLiteral("Navigate ") + LoginURL()));
        QCOMPARE(b->values.value(QStringLiteral("user_password")), password); // sent as typed
        // stored before the sign-in, whatever its outcome
        QCOMPARE(Password(), password);
        QCOMPARE(bytes(SettingsFilePath()),
                 QByteArray("[mail]\naddress=m@example.com\npwd=") + password.toUtf8() + "\n");
        QCOMPARE(m_messages,
                 accepted
                     ? QStringList()
                     : QStringList{warning(QStringLiteral("ログインできません。設定を見直してください。"))});
    }

    void newFavoriteIsStoredAndOpenedNext() {
        auto pending = whenShown<frmFavorite>([](frmFavorite* dlg) {
            QCOMPARE(dlg->FavoriteURL(), QString());
            QTest::keyClicks(dlg->txtURL, QStringLiteral("https://kelvo.example/mypage/favorites"));
            QTest::keyClick(dlg->txtURL, Qt::Key_Return);
        });
        ChangeFavorite();
        QCOMPARE(FavoriteURL(), QStringLiteral("https://kelvo.example/mypage/favorites"));
        QCOMPARE(bytes(SettingsFilePath()), QByteArray("[mail]\naddress=m@example.com\npwd=pw\n[url]\n"
                                                       "favorite=https://kelvo.example/mypage/favorites\n"));
        auto b = site();
        ScriptedBrowser::queue.push_back(b);
        OpenFavorite();
        QCOMPARE(b->steps().last(), QStringLiteral("Navigate https://kelvo.example/mypage/favorites"));

        // cancelling keeps the old one
        auto cancel = whenShown<frmFavorite>([](frmFavorite* dlg) {
            QCOMPARE(dlg->FavoriteURL(), QStringLiteral("https://kelvo.example/mypage/favorites"));
            dlg->txtURL->clear();
            QTest::keyClick(dlg->txtURL, Qt::Key_Escape);
        });
        ChangeFavorite();
        QCOMPARE(FavoriteURL(), QStringLiteral("https://kelvo.example/mypage/favorites"));
    }

    void manualCheckWhenNotSignedIn() {
        m_goodPassword = QStringLiteral("new");
        m_session = false;
        ScriptedBrowser::queue.push_back(site());
        frmMain main;
        main.Form_Load(); // "pw" is refused now
        QVERIFY(!main.LoggedIn());
        m_messages.clear();

        // cancelled: still not signed in, asked again next time
        auto cancel = whenShown<frmLogin>([](frmLogin*) { answerLogin(QString(), QString(), false); });
        main.mnuCheck_Click();
        QCOMPARE(m_messages, QStringList{warning(QStringLiteral("ログインしていません"))});
        QVERIFY(!main.LoggedIn());
        cancel.reset();

        m_messages.clear();
        auto fixIt = whenShown<frmLogin>([](frmLogin*) { answerLogin(QString(), QStringLiteral("new")); });
        main.Form_MouseMove(0x203); // the double-click does the same
        QCOMPARE(m_messages, QStringList{warning(QStringLiteral("ログインしていません"))});
        QVERIFY(main.LoggedIn());
        fixIt.reset();

        // now the check itself runs
        m_messages.clear();
        main.mnuCheck_Click();
        QCOMPARE(m_messages, QStringList{info(QStringLiteral("新着記事はありません。"))});
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

    void signInFillsAndSubmitsTheSecondForm() {
        m_clock.sleeps.clear();
        ScriptedBrowser b;
        b.onLoad = loginSite(Page{QStringLiteral("ようこそ")});
        b.busyReadings = 3;
        QVERIFY(Login(b));
        QCOMPARE(b.steps(),
                 (QStringList{QStringLiteral("Navigate ") + LoginURL(), QStringLiteral("BodyInnerText"),
                              QStringLiteral("SetElementValue user_email=m@example.com"),
                              QStringLiteral("SetElementValue user_password=pw"),
                              QStringLiteral("SubmitForm 1"), QStringLiteral("BodyInnerText")}));
        // 3 busy readings per load, a 1000 ms sleep after each
        QCOMPARE(m_clock.sleeps, QList<int>(6, 1000));
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

    void alreadySignedInSendsNothing() {
        m_clock.sleeps.clear();
        ScriptedBrowser b;
        b.onLoad = loginSite(Page(), Page{QStringLiteral("記事: ログアウトの仕方について")});
        b.busyReadings = 0;
        QVERIFY(Login(b));
        QCOMPARE(b.steps(),
                 (QStringList{QStringLiteral("Navigate ") + LoginURL(), QStringLiteral("BodyInnerText")}));
        QVERIFY(m_clock.sleeps.isEmpty()); // not busy: no sleep at all
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
        QVERIFY(!Login(b));
        // nothing happens after the failure
        QVERIFY(b.calls.last().startsWith(member));
    }

    void waitsAreBounded() {
        m_clock.sleeps.clear();
        ScriptedBrowser b;
        b.onLoad = loginSite(Page());
        b.neverFinish = true;
        QVERIFY(!Login(b));
        QCOMPARE(b.calls.last(), QStringLiteral("Stop"));
        QCOMPARE(m_clock.sleeps.size(), 60); // 60 s of 1 s steps, then it gives up
    }

    void logoutIgnoresFailures() {
        ScriptedBrowser b;
        Logout(b);
        QCOMPARE(b.steps(), QStringList{QStringLiteral("Navigate ") + LogoutURL()});
        ScriptedBrowser gone;
        gone.gone = true;
        Logout(gone); // must not throw
        QVERIFY(m_messages.isEmpty());
    }

    void openTopPageShowsBeforeSigningIn() {
        auto b = std::make_shared<ScriptedBrowser>();
        b->onLoad = loginSite(Page{QStringLiteral("ログインに失敗しました")});
        ScriptedBrowser::queue.push_back(b);
        OpenTopPage();
        QCOMPARE(ScriptedBrowser::created.back(), b);
        QCOMPARE(b->steps().first(), QStringLiteral("setVisible true"));
        QVERIFY(b->calls.contains(QStringLiteral("SubmitForm 1")));
        QVERIFY(!b->calls.contains(QStringLiteral("Quit"))); // left to the member
        QVERIFY(m_messages.isEmpty());                       // a failed sign-in is not reported

        ScriptedBrowser::failCreation = true;
        OpenTopPage(); // nothing to show, no crash
    }

    void openFavoriteReadsTheStoredEntry() {
        const size_t before = ScriptedBrowser::created.size();
        OpenFavorite();
        QCOMPARE(m_messages, QStringList{info(NoFavoriteMessage)});
        QCOMPARE(ScriptedBrowser::created.size(), before);

        // stored the way the favorite dialog stores it; read as "URL"/"FAVORITE"
        QVERIFY(inifileModule::WriteIniString(QStringLiteral("https://fav/page"), QStringLiteral("favorite"),
                                              QStringLiteral("url"), SettingsFilePath()));
        setFavoriteURL(QStringLiteral("https://stale/")); // the copy in memory is not what opens
        auto b = std::make_shared<ScriptedBrowser>();
        b->onLoad = loginSite(Page{QStringLiteral("ログインに失敗しました")});
        ScriptedBrowser::queue.push_back(b);
        OpenFavorite();
        QCOMPARE(b->steps().first(), QStringLiteral("setVisible true"));
        // a failed sign-in does not stop it
        QCOMPARE(b->steps().last(), QStringLiteral("Navigate https://fav/page"));
        // waited for the favorite to load
        QVERIFY(b->calls.mid(b->calls.lastIndexOf(QStringLiteral("Navigate https://fav/page")))
                    .contains(QStringLiteral("Busy")));
        QCOMPARE(m_messages.size(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
