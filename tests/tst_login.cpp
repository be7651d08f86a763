// Sign-in, sign-out and the opening commands against the scripted browser.
#include "platform/messagebox.h"
#include "scriptedbrowser.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "web/login.h"
#include "web/openpages.h"

#include <QTemporaryDir>
#include <QTest>

using namespace basMain;
using Page = ScriptedBrowser::Page;

namespace {

// Sign-in page first, then `afterSubmit` for the submission, top page for anything else.
std::function<Page(const QString&)> site(const Page& afterSubmit,
                                         const Page& loginPage = Page{QStringLiteral("ログイン")}) {
    return [=](const QString& what) {
        if (what == LoginURL())
            return loginPage;
        return what == QStringLiteral("submit") ? afterSubmit : Page{QStringLiteral("トップ ") + what};
    };
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

    FakeClock m_clock;
    QTemporaryDir m_dir;
    QStringList m_messages;

private Q_SLOTS:
    void initTestCase() {
        platform::setClock(&m_clock);
        setApplicationDirForTesting(m_dir.path());
        platform::setMessageHandler(
            [this](const QString& text, platform::MessageIcon) { m_messages << text; });
    }
    void init() {
        m_clock.sleeps.clear();
        m_messages.clear();
        setMailAddress(QStringLiteral("m@example.com"));
        setPassword(QStringLiteral("pw"));
        setBusyTimeoutMs(60000);
        ScriptedBrowser::install();
        QFile::remove(SettingsFilePath());
    }

    void signInFillsAndSubmitsTheSecondForm() {
        ScriptedBrowser b;
        b.onLoad = site(Page{QStringLiteral("ようこそ")});
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
        b.onLoad = site(Page{pageAfterSubmit});
        QCOMPARE(Login(b), signedIn);
        QCOMPARE(b.calls.count(QStringLiteral("SubmitForm 1")), 1); // one attempt, never retried
        QVERIFY(!b.calls.last().startsWith(QStringLiteral("Navigate")));
    }

    void alreadySignedInSendsNothing() {
        ScriptedBrowser b;
        b.onLoad = site(Page(), Page{QStringLiteral("記事: ログアウトの仕方について")});
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
        b.onLoad = site(Page());
        b.failures[member] = number;
        QVERIFY(!Login(b));
        // nothing happens after the failure
        QVERIFY(b.calls.last().startsWith(member));
    }

    void waitsAreBounded() {
        ScriptedBrowser b;
        b.onLoad = site(Page());
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
        b->onLoad = site(Page{QStringLiteral("ログインに失敗しました")});
        ScriptedBrowser::queue.push_back(b);
        OpenTopPage();
        QCOMPARE(ScriptedBrowser::created.size(), size_t(1));
        QCOMPARE(b->steps().first(), QStringLiteral("setVisible true"));
        QVERIFY(b->calls.contains(QStringLiteral("SubmitForm 1")));
        QVERIFY(!b->calls.contains(QStringLiteral("Quit"))); // left to the member
        QVERIFY(m_messages.isEmpty());                       // a failed sign-in is not reported

        ScriptedBrowser::failCreation = true;
        OpenTopPage(); // nothing to show, no crash
    }

    void openFavoriteReadsTheStoredEntry() {
        OpenFavorite();
        QCOMPARE(m_messages, QStringList{NoFavoriteMessage});
        QVERIFY(ScriptedBrowser::created.empty());

        // stored the way the favorite dialog stores it; read as "URL"/"FAVORITE"
        QVERIFY(inifileModule::WriteIniString(QStringLiteral("https://fav/page"), QStringLiteral("favorite"),
                                              QStringLiteral("url"), SettingsFilePath()));
        setFavoriteURL(QStringLiteral("https://stale/")); // the copy in memory is not what opens
        auto b = std::make_shared<ScriptedBrowser>();
        b->onLoad = site(Page{QStringLiteral("ログインに失敗しました")});
        ScriptedBrowser::queue.push_back(b);
        OpenFavorite();
        QCOMPARE(b->steps().first(), QStringLiteral("setVisible true"));
        // a failed sign-in does not stop it
        QCOMPARE(b->steps().last(), QStringLiteral("Navigate https://fav/page"));
        QCOMPARE(b->calls.last(), QStringLiteral("Busy"));
        QCOMPARE(m_messages.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLogin)
#include "tst_login.moc"
