// Run-time changes: the favorite and settings dialogs, credential and
// favorite updates, and the manual check when not signed in.
#include "app/frmmain.h"
#include "dialogs/frmfavorite.h"
#include "dialogs/frmlogin.h"
#include "dialogs/frmsettings.h"
#include "platform/messagebox.h"
#include "scriptedbrowser.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "testsupport.h"
#include "web/changes.h"
#include "web/login.h"
#include "web/openpages.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace basMain;
using Page = ScriptedBrowser::Page;
using testsupport::whenShown;

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeClock m_clock;
    QStringList m_messages;
    QString m_goodPassword = QStringLiteral("pw");

    static QByteArray bytes(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // A site that accepts m@example.com with m_goodPassword.
    std::shared_ptr<ScriptedBrowser> site() {
        auto b = std::make_shared<ScriptedBrowser>();
        auto* raw = b.get();
        b->onLoad = [this, raw](const QString& what) {
            if (what == QStringLiteral("submit")) {
                const bool ok =
                    raw->values.value(QStringLiteral("user_email")) == QStringLiteral("m@example.com") &&
                    raw->values.value(QStringLiteral("user_password")) == m_goodPassword;
                return Page{ok ? QStringLiteral("ログアウト トップ")
                               : QStringLiteral("ログインに失敗しました")};
            }
            return Page{QStringLiteral("ページ ") + what};
        };
        return b;
    }
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
        setApplicationDirForTesting(m_dir.path());
        platform::setClock(&m_clock);
        platform::setMessageHandler([this](const QString& text, platform::MessageIcon icon) {
            m_messages << text + (icon == platform::MessageIcon::Warning ? QStringLiteral("|warning")
                                                                         : QStringLiteral("|info"));
        });
    }
    void init() {
        ScriptedBrowser::install();
        m_messages.clear();
        m_goodPassword = QStringLiteral("pw");
        setMailAddress(QStringLiteral("m@example.com"));
        setPassword(QStringLiteral("pw"));
        setFavoriteURL(QString());
        QFile f(SettingsFilePath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[mail]\naddress=m@example.com\npwd=pw\n");
    }

    void favoriteDialog() {
        frmFavorite dlg;
        QCOMPARE(dlg.size(), QSize(429, 172));
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("lblURL"))->text(),
                 QStringLiteral("お気に入りのＵＲＬを設定します"));
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(),
                 QStringLiteral(" お気に入り設定"));
        QCOMPARE(dlg.cmdOK->text(), QStringLiteral("設定"));
        QVERIFY(dlg.cmdOK->isDefault());
        dlg.show();
        // empty: refused with the message, the dialog stays
        QTest::keyClick(dlg.txtURL, Qt::Key_Return);
        QCOMPARE(m_messages, QStringList{QStringLiteral("お気に入りＵＲＬが入力されていません。|warning")});
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

    void settingsDialog() {
        frmSettings dlg;
        QCOMPARE(dlg.size(), QSize(429, 172));
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(),
                 QStringLiteral(" Kelvo+ログイン"));
        QCOMPARE(dlg.cmdLogin->text(), QStringLiteral("ログイン設定"));
        QCOMPARE(dlg.cmdFavorite->text(), QStringLiteral("お気に入り設定"));
        QCOMPARE(dlg.cmdClose->text(), QStringLiteral("閉じる"));
        for (QPushButton* b : {dlg.cmdLogin, dlg.cmdFavorite, dlg.cmdClose})
            QVERIFY(!b->isDefault());
        dlg.show();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
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
                     : QStringList{QStringLiteral("ログインできません。設定を見直してください。|warning")});
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
        ScriptedBrowser::queue().push_back(b);
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
        ScriptedBrowser::queue().push_back(site());
        frmMain main;
        main.Form_Load(); // "pw" is refused now
        QVERIFY(!main.LoggedIn());
        m_messages.clear();

        // cancelled: still not signed in, asked again next time
        auto cancel = whenShown<frmLogin>([](frmLogin*) { answerLogin(QString(), QString(), false); });
        main.mnuCheck_Click();
        QCOMPARE(m_messages, QStringList{QStringLiteral("ログインしていません|warning")});
        QVERIFY(!main.LoggedIn());
        cancel.reset();

        m_messages.clear();
        auto fixIt = whenShown<frmLogin>([](frmLogin*) { answerLogin(QString(), QStringLiteral("new")); });
        main.Form_MouseMove(0x203); // the double-click does the same
        QCOMPARE(m_messages, QStringList{QStringLiteral("ログインしていません|warning")});
        QVERIFY(main.LoggedIn());
        fixIt.reset();

        // now the check itself runs
        m_messages.clear();
        main.mnuCheck_Click();
        QCOMPARE(m_messages, QStringList{QStringLiteral("新着記事はありません。|info")});
    }

    void closingDuringTheLoginDialogStoresNothing() {
        m_goodPassword = QStringLiteral("new");
        ScriptedBrowser::queue().push_back(site());
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
        QCOMPARE(m_messages, QStringList{QStringLiteral("ログインしていません|warning")});
        QVERIFY(!testsupport::findVisible<frmLogin>());
    }

    void settingsActionsLeaveLoggedInAlone() {
        m_goodPassword = QStringLiteral("new");
        ScriptedBrowser::queue().push_back(site());
        frmMain main;
        main.Form_Load();
        QVERIFY(!main.LoggedIn());
        bool settingsHidden = false;
        auto openLogin = whenShown<frmSettings>([&](frmSettings* s) {
            QCOMPARE(s->Owner(), static_cast<SettingsOwner*>(&main));
            auto answer = std::make_shared<std::unique_ptr<QTimer>>();
            *answer = whenShown<frmLogin>([&, answer](frmLogin*) {
                settingsHidden = !testsupport::findVisible<frmSettings>();
                answerLogin(QString(), QStringLiteral("new"));
            });
            s->cmdLogin->click();
        });
        main.mnuSetting_Click();
        QVERIFY(settingsHidden);
        QVERIFY(!testsupport::findVisible<frmSettings>());
        QCOMPARE(Password(), QStringLiteral("new"));
        QVERIFY(!main.LoggedIn()); // signed in, but the flag is the manual check's business
        auto scripted = std::static_pointer_cast<ScriptedBrowser>(main.ie());
        QCOMPARE(scripted->calls.filter(QStringLiteral("SubmitForm")).size(), 2);
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
