// The member's browser window on the real engine against kelvo-service:
// downloads, find, zoom, print, credentials, permissions, a page whose
// process ends.
#include "engine/browserprefs.h"
#include "engine/browserwindow.h"
#include "engine/downloads.h"
#include "engine/findbar.h"
#include "engine/pageprompts.h"
#include "platform/clock.h"
#include "platform/modal.h"
#include "storage/membersettings.h"
#include "testfiles.h"
#include "tools/kelvo-service/client/kelvoservice.h"
#include "web/login.h"
#include "web/openpages.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include <csignal>

using namespace basMain;
using engine::BrowserWindow;
using engine::DownloadItem;

namespace {
const QString Mail = QStringLiteral("member@example.com");
const QString Pass = QStringLiteral("correct horse");
QTemporaryDir& home() {
    static QTemporaryDir dir;
    return dir;
}
QString downloads() {
    return home().path() + QStringLiteral("/ダウンロード");
}
} // namespace

class TestBrowserWindow : public QObject {
    Q_OBJECT
public:
    explicit TestBrowserWindow(KelvoService& service) : m_service(service) {}

private:
    KelvoService& m_service;
    QTemporaryDir m_dir;
    QPointer<BrowserWindow> m_window;

    static QString site(const QString& path) { return QStringLiteral("https://") + ServiceHost() + path; }

    // A member window signed in, showing `path`.
    BrowserWindow* open(const QString& path) {
        OpenTopPage();
        m_window = platform::visibleWindow<BrowserWindow>();
        if (m_window && !path.isEmpty())
            load(m_window, path);
        return m_window;
    }
    static bool load(BrowserWindow* window, const QString& path) {
        QSignalSpy finished(window->view(), &QWebEngineView::loadFinished);
        window->view()->load(QUrl(site(path)));
        return finished.wait(20000);
    }
    static QString text(BrowserWindow* window) {
        QString result;
        bool answered = false;
        window->view()->page()->runJavaScript(QStringLiteral("document.body.innerText"),
                                              [&](const QVariant& v) {
                                                  result = v.toString();
                                                  answered = true;
                                              });
        (void)QTest::qWaitFor([&] { return answered; }, 10000);
        return result;
    }
    QByteArray attachment() { return m_service.get("/_control/attachment"); }
    static DownloadItem* lastDownload(engine::DownloadShelf* shelf) {
        const QList<DownloadItem*> items = shelf->items();
        return items.isEmpty() ? nullptr : items.last();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_service.isRunning());
        basMain::setMemberDirForTesting(m_dir.path());
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation), downloads());
        setMailAddress(Mail);
        setPassword(Pass);
        platform::setSleepScale(0.05);
    }
    void cleanup() {
        if (m_window)
            m_window->close();
        if (engine::DownloadsWindow* list = engine::Downloads::instance()->window()) {
            for (DownloadItem* item : list->shelf()->runningItems())
                item->cancel();
            list->close();
        }
        QTRY_COMPARE(BrowserWindow::openCount(), 0);
    }

    void fileNamesNeverOverwriteAndNeverLeaveTheFolder_data() {
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringLiteral("report.pdf") << QStringList()
                              << QStringLiteral("report.pdf");
        QTest::newRow("taken on disk")
            << QStringLiteral("report.pdf") << QStringList{QStringLiteral("report.pdf")}
            << QStringLiteral("report (1).pdf");
        QTest::newRow("twice taken") << QStringLiteral("report.pdf")
                                     << QStringList{QStringLiteral("report.pdf"),
                                                    QStringLiteral("report (1).pdf")}
                                     << QStringLiteral("report (2).pdf");
        QTest::newRow("double extension")
            << QStringLiteral("data.tar.gz") << QStringList{QStringLiteral("data.tar.gz")}
            << QStringLiteral("data (1).tar.gz");
        QTest::newRow("no extension") << QStringLiteral("README") << QStringList{QStringLiteral("README")}
                                      << QStringLiteral("README (1)");
        QTest::newRow("folder parts") << QStringLiteral("../../.ssh/authorized_keys") << QStringList()
                                      << QStringLiteral("authorized_keys");
        QTest::newRow("hidden") << QStringLiteral(".bashrc") << QStringList() << QStringLiteral("bashrc");
        QTest::newRow("none") << QStringLiteral("") << QStringList() << QStringLiteral("download");
    }
    void fileNamesNeverOverwriteAndNeverLeaveTheFolder() {
        QFETCH(QString, suggested);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        for (const QString& name : existing)
            testsupport::put(folder.path() + u'/' + name, "mine");
        QCOMPARE(engine::freeDownloadPath(folder.path(), engine::downloadFileName(suggested), {}),
                 folder.path() + u'/' + expected);
        // A name a download under way holds is taken too.
        QVERIFY(engine::freeDownloadPath(folder.path(), expected, {folder.path() + u'/' + expected}) !=
                folder.path() + u'/' + expected);
    }

    // Saved whole beside the member's file of the same name, which stays;
    // one cancelled and one cut off by the site leave no file behind.
    void downloadsAreWholeNeverOverwriteAndLeaveNothingHalf() {
        QDir().mkpath(downloads());
        testsupport::put(downloads() + QStringLiteral("/report.pdf"), "the member's own");
        BrowserWindow* window = open(QStringLiteral("/members/"));
        QVERIFY(window);
        window->view()->load(QUrl(site(QStringLiteral("/members/report.pdf"))));
        QTRY_VERIFY_WITH_TIMEOUT(lastDownload(window->shelf()), 10000);
        DownloadItem* item = lastDownload(window->shelf());
        QTRY_VERIFY_WITH_TIMEOUT(!item->running(), 20000);
        QCOMPARE(item->state().left(2), QStringLiteral("完了"));
        QCOMPARE(item->path(), downloads() + QStringLiteral("/report (1).pdf"));
        QCOMPARE(testsupport::bytes(item->path()), attachment());
        QCOMPARE(testsupport::bytes(downloads() + QStringLiteral("/report.pdf")),
                 QByteArray("the member's own"));

        window->view()->load(QUrl(site(QStringLiteral("/members/report.pdf?slow=300"))));
        QTRY_VERIFY_WITH_TIMEOUT(lastDownload(window->shelf()) != item, 10000);
        DownloadItem* cancelled = lastDownload(window->shelf());
        QTRY_VERIFY_WITH_TIMEOUT(cancelled->state().contains(u'/'), 10000); // bytes arriving
        cancelled->cancel();
        QTRY_COMPARE_WITH_TIMEOUT(cancelled->state(), QStringLiteral("キャンセルしました"), 10000);

        window->view()->load(QUrl(site(QStringLiteral("/members/report.pdf?break=1"))));
        QTRY_VERIFY_WITH_TIMEOUT(lastDownload(window->shelf()) != cancelled, 10000);
        DownloadItem* cut = lastDownload(window->shelf());
        QTRY_VERIFY_WITH_TIMEOUT(!cut->running(), 120000);
        QVERIFY2(cut->state().startsWith(QStringLiteral("失敗しました")), qPrintable(cut->state()));
        QCOMPARE(QDir(downloads()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("report (1).pdf"), QStringLiteral("report.pdf")}));
    }

    // Closing the window does not end its download: it goes on in a window
    // of its own, which keeps the program alive until the member closes it.
    void aDownloadGoesOnWhenItsWindowCloses() {
        QDir(downloads()).removeRecursively();
        BrowserWindow* window = open(QStringLiteral("/members/"));
        window->view()->load(QUrl(site(QStringLiteral("/members/report.pdf?slow=100"))));
        QTRY_VERIFY_WITH_TIMEOUT(lastDownload(window->shelf()), 10000);
        window->close();
        QTRY_VERIFY(engine::Downloads::instance()->window());
        engine::DownloadsWindow* list = engine::Downloads::instance()->window();
        QTRY_COMPARE(BrowserWindow::openCount(), 1); // the downloads window
        DownloadItem* item = lastDownload(list->shelf());
        QVERIFY(item);
        QTRY_VERIFY_WITH_TIMEOUT(!item->running(), 30000);
        QCOMPARE(testsupport::bytes(downloads() + QStringLiteral("/report.pdf")), attachment());
        list->close();
    }

    void findCountsMatchesBothWaysAndEscGivesThePageBack() {
        BrowserWindow* window = open(QStringLiteral("/members/long"));
        QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
        engine::FindBar* bar = window->findBar();
        QVERIFY(bar->isVisible());
        QVERIFY(bar->field()->hasFocus() || QApplication::focusWidget() == bar->field());
        bar->field()->insert(QStringLiteral("キーワード"));
        QTRY_COMPARE(bar->matches(), QStringLiteral("1 / 12 件"));
        QTest::keyClick(bar->field(), Qt::Key_Return);
        QTRY_COMPARE(bar->matches(), QStringLiteral("2 / 12 件"));
        QTest::keyClick(bar->field(), Qt::Key_Return, Qt::ShiftModifier);
        QTRY_COMPARE(bar->matches(), QStringLiteral("1 / 12 件"));
        QTest::keyClick(window, Qt::Key_F3, Qt::ShiftModifier);
        QTRY_COMPARE(bar->matches(), QStringLiteral("12 / 12 件"));
        QTest::keyClick(bar->field(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
    }

    // Kept for the site, in a file of its own: the member's settings stay byte for byte.
    void zoomIsKeptForTheSiteAcrossWindowsAndStarts() {
        const QByteArray settings = "[mail]\r\naddress=member@example.com\r\npwd=correct horse\r\n; mine\r\n";
        testsupport::put(SettingsFilePath(), settings);
        BrowserWindow* window = open(QStringLiteral("/members/long"));
        QCOMPARE(window->zoomText(), QString());
        QTest::keyClick(window, Qt::Key_Plus, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(window->zoomText(), QStringLiteral("125%"));
        QCOMPARE(window->view()->zoomFactor(), 1.25);
        window->close();
        BrowserWindow* again = open(QStringLiteral("/members/"));
        QTRY_COMPARE(again->view()->zoomFactor(), 1.25);
        QCOMPARE(again->zoomText(), QStringLiteral("125%"));
        QCOMPARE(engine::siteZoom(QUrl(site(QStringLiteral("/")))), 1.25);
        QTest::keyClick(again, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(again->zoomText(), QStringLiteral("110%"));
        QTest::keyClick(again, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(again->zoomText(), QString());
        QCOMPARE(engine::siteZoom(QUrl(site(QStringLiteral("/")))), 1.0);
        QCOMPARE(testsupport::bytes(SettingsFilePath()), settings);
    }

    // Asked in a dialog that names the site and its realm; Cancel shows the
    // site's own page; nothing typed is kept on disk.
    void httpAuthenticationAsksAndCancelShowsTheSitesPage() {
        BrowserWindow* window = open(QString());
        window->view()->load(QUrl(site(QStringLiteral("/members/private"))));
        QTRY_VERIFY_WITH_TIMEOUT(window->prompts()->credentialsDialog(), 10000);
        QDialog* dialog = window->prompts()->credentialsDialog();
        const QString question = dialog->findChild<QLabel*>()->text();
        QVERIFY2(question.contains(ServiceHost()) && question.contains(QStringLiteral("Kelvo members")),
                 qPrintable(question));
        dialog->reject();
        QTRY_VERIFY2_WITH_TIMEOUT(text(window).contains(QStringLiteral("このページには認証が必要です")),
                                  qPrintable(text(window)), 10000);

        window->view()->reload();
        QTRY_VERIFY_WITH_TIMEOUT(window->prompts()->credentialsDialog(), 10000);
        dialog = window->prompts()->credentialsDialog();
        const QList<QLineEdit*> fields = dialog->findChildren<QLineEdit*>();
        QCOMPARE(fields.size(), 2);
        QCOMPARE(fields.at(1)->echoMode(), QLineEdit::Password);
        fields.at(0)->setText(QStringLiteral("member"));
        fields.at(1)->setText(QStringLiteral("opensesame"));
        dialog->accept();
        QTRY_VERIFY_WITH_TIMEOUT(text(window).contains(QStringLiteral("認証されました")), 10000);
        for (const QString& file : QDir(m_dir.path()).entryList(QDir::Files))
            QVERIFY(!testsupport::bytes(m_dir.path() + u'/' + file).contains("opensesame"));
    }

    void aPermissionIsAskedNamingTheSiteAndABlockIsANo() {
        BrowserWindow* window = open(QString());
        window->view()->load(QUrl(site(QStringLiteral("/members/permission"))));
        QTRY_VERIFY_WITH_TIMEOUT(!window->prompts()->question().isEmpty(), 10000);
        QVERIFY(window->prompts()->question().contains(ServiceHost()));
        QVERIFY(window->prompts()->question().contains(QStringLiteral("通知の表示")));
        window->prompts()->answerPermission(false);
        QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), QStringLiteral("permission:denied"), 10000);
        QVERIFY(window->prompts()->isHidden());
    }

    // Ctrl+P and the page's window.print() both bring the print dialog; with
    // no printer it prints the page to a PDF file in the download folder.
    void printingToAFileWithoutAPrinter() {
        QDir(downloads()).removeRecursively();
        QDir().mkpath(downloads());
        BrowserWindow* window = open(QStringLiteral("/members/print"));
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("印刷用ページ | Kelvo+"));
        window->view()->page()->runJavaScript(QStringLiteral("window.print()"));
        QTRY_VERIFY_WITH_TIMEOUT(platform::visibleWindow<QPrintDialog>(), 10000);
        platform::visibleWindow<QPrintDialog>()->reject();
        QTRY_VERIFY(!platform::visibleWindow<QPrintDialog>());
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_P, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(platform::visibleWindow<QPrintDialog>(), 10000);
        QPrintDialog* dialog = platform::visibleWindow<QPrintDialog>();
        const QString file = dialog->printer()->outputFileName();
        QCOMPARE(QFileInfo(file).absolutePath(), downloads());
        dialog->accept();
        QTRY_VERIFY_WITH_TIMEOUT(testsupport::bytes(file).startsWith("%PDF"), 20000);
    }

    // Not a blank or frozen window: a page that says so, and a way back.
    void aPageWhoseProcessEndsCanBeReloaded() {
        BrowserWindow* window = open(QStringLiteral("/members/"));
        const qint64 pid = window->view()->page()->renderProcessPid();
        QVERIFY(pid > 0);
        QVERIFY(::kill(static_cast<pid_t>(pid), SIGKILL) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!window->problem().isEmpty(), 10000);
        QSignalSpy loaded(window->view(), &QWebEngineView::loadFinished);
        QTest::keyClick(window, Qt::Key_F5);
        QVERIFY(loaded.wait(20000));
        QCOMPARE(window->problem(), QString());
        QVERIFY(text(window).contains(QStringLiteral("会員のページ")));
    }
};

int main(int argc, char* argv[]) {
    // The desktop's download folder, as xdg-user-dirs names it.
    qputenv("XDG_CONFIG_HOME", home().path().toLocal8Bit());
    QFile dirs(home().path() + QStringLiteral("/user-dirs.dirs"));
    if (!dirs.open(QIODevice::WriteOnly) ||
        dirs.write("XDG_DOWNLOAD_DIR=\"" + downloads().toUtf8() + "\"\n") < 0)
        return 1;
    dirs.close();
    const QStringList testArgs = engine::argumentList(argc, argv);
    return runWithService(argc, argv, {Mail + QStringLiteral(":") + Pass}, [&](KelvoService& service) {
        TestBrowserWindow test(service);
        return QTest::qExec(&test, testArgs);
    });
}

#include "tst_browserwindow.moc"
