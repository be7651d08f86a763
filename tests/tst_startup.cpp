#include "app/basmain.h"
#include "app/changes.h"
#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/frmmessage.h"
#include "app/keyring.h"
#include "app/singlecopy.h"
#include "dialogs/frmfavorite.h"
#include "dialogs/frmlogin.h"
#include "dialogs/frmnotray.h"
#include "dialogs/frmsettings.h"
#include "keyringbus.h"
#include "platform/autostart.h"
#include "platform/frozenwatch.h"
#include "platform/placement.h"
#include "platform/secretservice.h"
#include "scriptedbrowser.h"
#include "storage/membersettings.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>

#include <algorithm>

using namespace testsupport;

class TestStartup : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_messages;
    FakeClock m_clock;
    std::unique_ptr<frmMain> m_main;

private Q_SLOTS:
    void initTestCase() {
        basMain::setMemberDirForTesting(m_dir.path());
        platform::setClock(&m_clock);
        testsupport::recordMessages(&m_messages);
    }
    void cleanup() { m_main.reset(); }
    void init() {
        ScriptedBrowser::install();
        QFile::remove(basMain::SettingsFilePath());
        basMain::setMailAddress(QString());
        basMain::setPassword(QString());
        basMain::setFavoriteURL(QString());
        m_messages.clear();
    }

    void firstStartAsksAndStores() {
        bool shown = false;
        auto pending = whenShown<frmLogin>([&](frmLogin* dlg) {
            shown = true;
            QVERIFY(dlg->MailAddress().isEmpty());
            QTest::keyClicks(dlg->txtPassword, QStringLiteral("p a'ss"));
            dlg->cmdOpen->click(); // no address: refused, the dialog stays as typed
            QVERIFY(dlg->isVisible());
            QCOMPARE(dlg->Password(), QStringLiteral("p a'ss"));
            QTest::keyClicks(dlg->txtMailAddr, QStringLiteral("member@example.com"));
            QTest::keyClick(dlg->txtPassword, Qt::Key_Return);
        });
        m_main = basMain::Main();
        QVERIFY(m_main);
        QVERIFY(shown);
        QCOMPARE(m_messages, QStringList{warning(QStringLiteral("メールアドレスが入力されていません。"))});
        QCOMPARE(basMain::MailAddress(), QStringLiteral("member@example.com"));
        // then the main window is loaded, signed in, and never seen
        frmMain* main = m_main.get();
        QVERIFY(!main->isVisible());
        QVERIFY(main->LoggedIn());
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(ScriptedBrowser::created.size(), size_t(1));
        QCOMPARE(ScriptedBrowser::created.front()->values.value(QStringLiteral("user_password")),
                 QStringLiteral("p a'ss"));
        QCOMPARE(bytes(basMain::SettingsFilePath()),
                 QByteArray("[mail]\naddress=member@example.com\npwd=p a'ss\n"));
        QCOMPARE(QFile::permissions(basMain::SettingsFilePath()), OwnerOnly);
    }

    void cancelCreatesNothing_data() {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("close button") << false;
        QTest::newRow("escape") << true;
    }
    void cancelCreatesNothing() {
        QFETCH(bool, byEscape);
        auto pending = whenShown<frmLogin>([&](frmLogin* dlg) {
            QTest::keyClicks(dlg->txtMailAddr, QStringLiteral("typed@example.com"));
            if (byEscape)
                QTest::keyClick(dlg->txtMailAddr, Qt::Key_Escape);
            else
                dlg->cmdClose->click();
        });
        QVERIFY(!basMain::Main()); // no window, no tray icon, no browser
        QVERIFY(!QFile::exists(basMain::SettingsFilePath()));
        QCOMPARE(basMain::MailAddress(), QString());
        QVERIFY(ScriptedBrowser::created.empty());
    }

    void storedAddressSkipsTheDialog_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("favorite");
        QTest::newRow("no pwd key") << QByteArray("[mail]\naddress=a@b\n") << "a@b" << QString() << QString();
        QTest::newRow("blank address")
            << QByteArray("[MAIL]\r\nADDRESS= \r\npwd=x\r\n[url]\r\nfavorite=https://f/\r\n") << " "
            << "x"
            << "https://f/";
    }
    void storedAddressSkipsTheDialog() {
        QFETCH(QByteArray, file);
        QFETCH(QString, address);
        QFETCH(QString, password);
        QFETCH(QString, favorite);
        put(basMain::SettingsFilePath(), file);
        bool shown = false;
        auto pending = whenShown<frmLogin>([&](frmLogin* dlg) {
            shown = true;
            dlg->cmdClose->click();
        });
        m_main = basMain::Main();
        QCoreApplication::processEvents();
        QVERIFY(!shown);
        QCOMPARE(basMain::MailAddress(), address);
        QCOMPARE(basMain::Password(), password);
        QCOMPARE(basMain::FavoriteURL(), favorite);
        QCOMPARE(bytes(basMain::SettingsFilePath()), file);
    }

    void passwordWithoutAddressIsReplaced() {
        put(basMain::SettingsFilePath(), "[mail]\npwd=old\n[url]\nfavorite=https://f/\n");
        auto pending = whenShown<frmLogin>([](frmLogin* dlg) {
            QVERIFY(dlg->Password().isEmpty());                        // not pre-filled
            QTest::keyClicks(dlg->txtMailAddr, QStringLiteral("   ")); // blanks are an address
            QTest::keyClick(dlg->txtMailAddr, Qt::Key_Enter);
        });
        m_main = basMain::Main();
        QVERIFY(m_main);
        QCOMPARE(bytes(basMain::SettingsFilePath()),
                 QByteArray("[mail]\npwd=\naddress=   \n[url]\nfavorite=https://f/\n"));
        QCOMPARE(basMain::FavoriteURL(), QStringLiteral("https://f/"));
    }

    void autostartCheckBoxWritesAndRemovesTheEntry() {
        const QString config = m_dir.filePath(QStringLiteral("config"));
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        const QString entry = config + QStringLiteral("/autostart/example.kelvo.KelvoMonitor.desktop");
        {
            frmSettings dlg;
            QVERIFY(!dlg.chkAutostart->isChecked());
            dlg.chkAutostart->click();
        }
        const QByteArray text = bytes(entry);
        QVERIFY2(text.contains(
                     QByteArray("\nExec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\"\n")),
                 text);
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY(validate.waitForFinished());
        QCOMPARE(validate.exitCode(), 0);
        {
            frmSettings dlg; // shows what is there
            QVERIFY(dlg.chkAutostart->isChecked());
            dlg.chkAutostart->click();
        }
        QVERIFY(!QFile::exists(entry));
        QVERIFY(m_messages.isEmpty());

        // a file where the autostart folder should be: told, and left unticked
        QVERIFY(QDir(config).removeRecursively());
        QVERIFY(QDir().mkpath(config));
        QFile blocker(config + QStringLiteral("/autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        frmSettings dlg;
        dlg.chkAutostart->click();
        QVERIFY(!dlg.chkAutostart->isChecked());
        QCOMPARE(m_messages, QStringList{warning(frmSettings::AutostartFailedMessage)});
        qunsetenv("XDG_CONFIG_HOME");
    }

    // A program path with the characters desktop entries escape still starts
    // at login: the entry is read back by GLib, as desktops do.
    void autostartEntryStartsTheProgramWhateverItsPath() {
        const QString folder = m_dir.filePath(QStringLiteral("a b%c%%d\"e'f\\g$h`i\nj"));
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + QStringLiteral("/KelvoMonitor");
        const QString out = m_dir.filePath(QStringLiteral("started"));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s' \"$0\" >\"" + out.toUtf8() + "\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString config = m_dir.filePath(QStringLiteral("login-config"));
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        QVERIFY(platform::setAutostart(QStringLiteral("example.kelvo.Path"), program, true));
        const QString entry = platform::autostartEntryPath(QStringLiteral("example.kelvo.Path"));
        qunsetenv("XDG_CONFIG_HOME");
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY(validate.waitForFinished());
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
        QProcess launch;
        launch.start(QStringLiteral("gio"), {QStringLiteral("launch"), entry});
        QVERIFY(launch.waitForFinished());
        QVERIFY2(launch.exitCode() == 0, launch.readAllStandardError().constData());
        QTRY_COMPARE(QString::fromUtf8(bytes(out)), program);
    }

    // What docks leave free, read from X in device pixels, in Qt's logical
    // ones: never a logical pixel that a dock covers even in part.
    void aScaledDesktopsFreeAreaIsInLogicalPixels_data() {
        QTest::addColumn<QRect>("monitor");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QRect>("free");
        QTest::addColumn<QRect>("logical");
        QTest::newRow("100 %") << QRect(0, 0, 1280, 1024) << 1.0 << QRect(0, 0, 1280, 992)
                               << QRect(0, 0, 1280, 992);
        // 1280 x 1024 at 150 %, a 32-pixel panel at the bottom: it starts at 661.3
        QTest::newRow("150 %") << QRect(0, 0, 853, 683) << 1.5 << QRect(0, 0, 1280, 992)
                               << QRect(0, 0, 853, 661);
        // 200 %, a monitor to the right of another, docks on its left and top
        QTest::newRow("200 % beside another")
            << QRect(1920, 0, 960, 540) << 2.0 << QRect(1981, 33, 1859, 1047) << QRect(1951, 17, 929, 523);
    }
    void aScaledDesktopsFreeAreaIsInLogicalPixels() {
        QFETCH(QRect, monitor);
        QFETCH(qreal, ratio);
        QFETCH(QRect, free);
        QFETCH(QRect, logical);
        QCOMPARE(basWin32API::logicalFreeArea(monitor, ratio, free), logical);
    }

    // What a screen reader says of each window and field: the label's words,
    // the window's title strip; the password field stays one.
    void windowsAndFieldsHaveNamesForScreenReaders() {
        auto name = [](QObject* o) {
            return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
        };
        frmLogin login;
        QCOMPARE(name(&login), QStringLiteral("Kelvo+ログイン"));
        QVERIFY(login.windowTitle().isEmpty());
        QCOMPARE(name(login.txtMailAddr), QStringLiteral("メールアドレス"));
        QCOMPARE(name(login.txtPassword), QStringLiteral("パスワード"));
        QVERIFY(QAccessible::queryAccessibleInterface(login.txtPassword)->state().passwordEdit);
        QCOMPARE(name(login.cmdOpen), QStringLiteral("ログイン"));
        frmSettings settings;
        QCOMPARE(name(&settings), QStringLiteral("Kelvo+ログイン"));
        QCOMPARE(name(settings.cmdFavorite), QStringLiteral("お気に入り設定"));
        QCOMPARE(name(settings.chkAutostart), QStringLiteral("ログイン時に起動する"));
        frmFavorite favorite;
        QCOMPARE(name(&favorite), QStringLiteral("お気に入り設定"));
        QCOMPARE(name(favorite.txtURL), QStringLiteral("お気に入りのＵＲＬを設定します"));
        frmMessage popup;
        QCOMPARE(name(&popup), frmMessage::Text);
        QCOMPARE(QAccessible::queryAccessibleInterface(&popup)->role(), QAccessible::Notification);
    }

    // Each window of ours opens with the keyboard on its first control; Tab
    // walks every control once, in reading order (top to bottom, then left
    // to right), and comes back; Esc closes it as its cancel does.
    void eachWindowWorksFromTheKeyboardAlone() {
        auto walk = [](QWidget* window, QWidget* first) {
            window->show();
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QCOMPARE(QApplication::focusWidget(), first);
            QList<QWidget*> controls;
            for (QWidget* w : window->findChildren<QWidget*>())
                if (w->isVisibleTo(window) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
                    controls << w;
            std::sort(controls.begin(), controls.end(), [window](QWidget* a, QWidget* b) {
                const QPoint pa = a->mapTo(window, QPoint()), pb = b->mapTo(window, QPoint());
                return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
            });
            std::rotate(controls.begin(), controls.begin() + controls.indexOf(first), controls.end());
            QList<QWidget*> walked{first};
            for (int i = 0; i < controls.size(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                walked << QApplication::focusWidget();
            }
            QCOMPARE(walked, controls + QList<QWidget*>{first});
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            QVERIFY(!window->isVisible());
        };
        frmLogin login;
        walk(&login, login.txtMailAddr);
        frmSettings settings;
        walk(&settings, settings.cmdLogin);
        frmFavorite favorite;
        walk(&favorite, favorite.txtURL);
        frmMessage popup;
        walk(&popup, popup.cmdOpen);
        frmNoTray notice;
        walk(&notice, notice.cmdClose);
    }

    // An event loop that turns, slowly or in nested waits, is not frozen;
    // one held for good is, once, after as many of the watch's ticks.
    void aFrozenEventLoopIsToldOnce() {
        std::atomic<int> told{0};
        platform::FrozenWatch watch(
            4, [&] { ++told; }, 50);
        QTest::qWait(600); // turning
        QCOMPARE(told.load(), 0);
        QThread::msleep(600); // held
        QCOMPARE(told.load(), 1);
        QThread::msleep(300);
        QCOMPARE(told.load(), 1);
        QTest::qWait(300);
        QThread::msleep(600); // held again, after turning
        QCOMPARE(told.load(), 2);
    }

    void commandLineOptions() {
        using basMain::Command;
        auto requested = [](QStringList args) {
            return basMain::RequestedCommand(QStringList{QStringLiteral("KelvoMonitor")} + args);
        };
        QCOMPARE(requested({}), Command::Show);
        QCOMPARE(requested({QStringLiteral("--top-page"), QStringLiteral("--quit")}), Command::Quit);
        // the engine's switches are not ours
        QCOMPARE(requested({QStringLiteral("--webEngineArgs"), QStringLiteral("--check")}), Command::Show);
        QString help;
        QTextStream out(&help);
        QTextStream err(stderr);
        QCOMPARE(basMain::HandleCommandLine({QStringLiteral("KelvoMonitor"), QStringLiteral("--help")}, false,
                                            out, err),
                 std::optional<int>(0));
        out.flush();
        for (const char* option : {"--check", "--top-page", "--favorite", "--settings", "--quit"})
            QVERIFY2(help.contains(QString::fromLatin1(option)), option);

        // A renewal starts the copy as this one was started, less its command
        // (a second --check, a --quit that ends the new copy), engine switches
        // untouched even where they look like ours.
        const QStringList started = {QStringLiteral("/usr/bin/KelvoMonitor"),
                                     QStringLiteral("--quit"),
                                     QStringLiteral("--renewed"),
                                     QStringLiteral("--webEngineArgs"),
                                     QStringLiteral("--host-resolver-rules=MAP a b"),
                                     QStringLiteral("--check")};
        const QStringList renewed = basMain::RenewedArguments(started);
        QCOMPARE(renewed,
                 QStringList({QStringLiteral("--renewed"), QStringLiteral("--webEngineArgs"),
                              QStringLiteral("--host-resolver-rules=MAP a b"), QStringLiteral("--check")}));
        QVERIFY(basMain::IsRenewed(QStringList{started.first()} + renewed));
        QCOMPARE(basMain::RequestedCommand(QStringList{started.first()} + renewed), Command::Show);
        QVERIFY(!basMain::IsRenewed(
            {started.first(), QStringLiteral("--webEngineArgs"), QStringLiteral("--renewed")}));
    }

    // The running copy hears a later start's command over a channel in the
    // member's private runtime folder; nothing else that reaches it counts.
    void laterStartsHandTheRunningCopyTheirCommand() {
        using basMain::Command;
        using basMain::SingleCopy;
        QTemporaryDir folder;
        QTemporaryDir runtime; // made 0700
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        const QString channel = SingleCopy::channelPath(folder.path(), runtime.path());
        QVERIFY2(channel.startsWith(runtime.path() + QLatin1Char('/')), qPrintable(channel));
        SingleCopy running(folder.path());
        QCOMPARE(running.claim(), SingleCopy::Claim::Held);
        QSignalSpy heard(&running, &SingleCopy::commandReceived);
        QCOMPARE(testsupport::laterStart(folder.path(), Command::Favorite), SingleCopy::Claim::HandedOver);
        QTRY_COMPARE(heard.size(), 1);
        QCOMPARE(qvariant_cast<Command>(heard.takeFirst().at(0)), Command::Favorite);

        for (const QByteArray& stranger : {QByteArray("rm -rf ~\n"), QByteArray(300, 'x')}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unknown|overlong")));
            QLocalSocket socket;
            socket.connectToServer(channel);
            QVERIFY(socket.waitForConnected(1000));
            socket.write(stranger);
            QVERIFY(socket.waitForBytesWritten(1000));
            QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
        }
        QCOMPARE(heard.size(), 0);

        // A holder that cannot be reached has been handed nothing, and says so.
        QLocalServer::removeServer(channel); // its channel's file is gone
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not answer")));
        QCOMPARE(SingleCopy(folder.path()).claim(Command::Check), SingleCopy::Claim::NotReached);
        // After the close sequence the folder is let go at once: a new start holds it.
        running.release();
        SingleCopy next(folder.path());
        QCOMPARE(next.claim(), SingleCopy::Claim::Held);
        // A --quit with none running neither starts a copy nor keeps the folder.
        next.release();
        QCOMPARE(SingleCopy(folder.path()).claim(Command::Quit), SingleCopy::Claim::NoneRunning);
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("KelvoMonitor.lock"))));

        // a runtime folder that others may enter is not used
        QVERIFY(QFile::setPermissions(runtime.path(), QFile::permissions(runtime.path()) | QFile::ExeOther));
        QVERIFY(!SingleCopy::channelPath(folder.path(), runtime.path()).startsWith(runtime.path()));
        qunsetenv("XDG_RUNTIME_DIR");
    }

    // Only a copy that holds the lock turns a later start away. A lock that
    // cannot be written (a full disk) or made in the folder at all is not
    // "held by another": still exactly one copy runs.
    void aLockThatCannotBeWrittenStillLetsOneCopyRun() {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        for (const bool diskFull : {true, false}) {
            QTemporaryDir folder;
            std::optional<testsupport::FileSizeLimit> full;
            if (diskFull)
                full.emplace(0);
            else
                QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("KelvoMonitor.lock")));
            basMain::SingleCopy first(folder.path());
            QCOMPARE(first.claim(), basMain::SingleCopy::Claim::Held);
            QSignalSpy heard(&first, &basMain::SingleCopy::commandReceived);
            QCOMPARE(testsupport::laterStart(folder.path(), basMain::Command::Show),
                     basMain::SingleCopy::Claim::HandedOver);
            QTRY_COMPARE(heard.size(), 1);
        }
        qunsetenv("XDG_RUNTIME_DIR");
    }

    // Two starts in one folder meet on one lock whatever the folder did in
    // between (it could hold no lock file, then could again), and a start
    // never takes the channel of a copy that listens on it, even one whose
    // lock files were removed under it.
    void twoStartsInOneFolderAlwaysMeet() {
        using basMain::Command;
        using basMain::SingleCopy;
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QTemporaryDir folder;
        QDir dir(folder.path());
        QVERIFY(dir.mkdir(QStringLiteral("KelvoMonitor.lock"))); // no lock file can be made
        SingleCopy first(folder.path());
        QCOMPARE(first.claim(), SingleCopy::Claim::Held);
        QSignalSpy heard(&first, &SingleCopy::commandReceived);
        QVERIFY(dir.rmdir(QStringLiteral("KelvoMonitor.lock"))); // and now it can
        QCOMPARE(testsupport::laterStart(folder.path(), Command::Favorite), SingleCopy::Claim::HandedOver);
        QTRY_COMPARE(heard.size(), 1);

        const QString channel = SingleCopy::channelPath(folder.path(), runtime.path());
        QVERIFY(QFile::remove(channel + QStringLiteral(".lock"))); // a cleaner of the runtime folder
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("listens at .* without the lock")));
        QCOMPARE(testsupport::laterStart(folder.path(), Command::Check), SingleCopy::Claim::HandedOver);
        QTRY_COMPARE(heard.size(), 2);
        QCOMPARE(qvariant_cast<Command>(heard.at(1).at(0)), Command::Check);
        qunsetenv("XDG_RUNTIME_DIR");
    }

    // A start while the running copy's close waits (for a check to end) is
    // told so and waits: once the copy lets the folder go, the start runs
    // with its command. A --quit meanwhile is done at once.
    void aStartDuringAPendingCloseRunsOnceItEnds() {
        using basMain::Command;
        using basMain::SingleCopy;
        QTemporaryDir folder;
        SingleCopy closing(folder.path());
        QCOMPARE(closing.claim(), SingleCopy::Claim::Held);
        QSignalSpy heard(&closing, &SingleCopy::commandReceived);
        closing.refuseCommands();
        QCOMPARE(testsupport::laterStart(folder.path(), Command::Quit), SingleCopy::Claim::HandedOver);
        QTimer::singleShot(1500, &closing, &SingleCopy::release); // the check is over
        QElapsedTimer waited;
        waited.start();
        QCOMPARE(testsupport::laterStart(folder.path(), Command::Check), SingleCopy::Claim::Held);
        QVERIFY(waited.elapsed() >= 1400);
        QCOMPARE(heard.size(), 0); // never dropped by the closing copy: run by the new one
    }

    // The member's choice of store, with a real GNOME Keyring on a bus of
    // the test's own: no keyring, no choice and nothing moved; ticked, the
    // password leaves the file only once the keyring holds it (every other
    // byte kept); starts and new credentials use the keyring; unticked, the
    // file first, then the keyring forgets it.
    void thePasswordMovesToTheKeyringAndBack() {
        KeyringBus bus;
        platform::SecretService service(bus.connection());
        platform::setSecretServiceForTesting(&service);
        const QString password = QStringLiteral("p a'ss-7Qx");
        const QByteArray file(
            "[mail]\r\naddress=a@b\r\npwd=p a'ss-7Qx\r\n; kept\r\n[url]\r\nfavorite=https://f/\r\n");
        put(basMain::SettingsFilePath(), file);
        basMain::setMailAddress(QStringLiteral("a@b"));
        basMain::setPassword(password);
        auto lookup = [&](const QString& address) {
            return bus.secretTool({QStringLiteral("lookup"), QStringLiteral("xdg:schema"),
                                   QStringLiteral(KELVO_APP_ID), QStringLiteral("username"), address});
        };
        auto settled = [](frmSettings& dlg) {
            return QTest::qWaitFor(
                [&] { return dlg.chkKeyring->toolTip() != frmSettings::KeyringAskingTip; });
        };
        {
            frmSettings dlg(&basMain::ChoosePasswordPlace);
            QVERIFY(settled(dlg));
            QVERIFY(!dlg.chkKeyring->isEnabled());
            QCOMPARE(dlg.chkKeyring->toolTip(), frmSettings::KeyringMissingTip);
        }
        QVERIFY(!basMain::ChoosePasswordPlace(true));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.first().startsWith(basMain::KeyringNotSavedMessage));
        QCOMPARE(bytes(basMain::SettingsFilePath()), file);
        m_messages.clear();

        QVERIFY(bus.startKeyring());
        {
            frmSettings dlg(&basMain::ChoosePasswordPlace);
            QVERIFY(settled(dlg));
            QVERIFY(!dlg.chkKeyring->isChecked());
            QVERIFY(dlg.chkKeyring->isEnabled());
            dlg.chkKeyring->click();
            QVERIFY(dlg.chkKeyring->isChecked());
        }
        QCOMPARE(lookup(QStringLiteral("a@b")), password);
        QCOMPARE(
            bytes(basMain::SettingsFilePath()),
            QByteArray("[mail]\r\naddress=a@b\r\n; kept\r\nkeyring=1\r\n[url]\r\nfavorite=https://f/\r\n"));

        basMain::setPassword(QString());
        m_main = basMain::Main();
        QVERIFY(m_main);
        QVERIFY(m_main->LoggedIn());
        QCOMPARE(ScriptedBrowser::created.back()->values.value(QStringLiteral("user_password")), password);
        QVERIFY(basMain::CredentialsStored());
        m_main.reset();

        QVERIFY(basMain::StoreCredentials({QStringLiteral("c@d"), password + QStringLiteral("2")}));
        QCOMPARE(lookup(QStringLiteral("c@d")), password + QStringLiteral("2"));
        QCOMPARE(lookup(QStringLiteral("a@b")), QString()); // the old address's item left with it
        QCOMPARE(
            bytes(basMain::SettingsFilePath()),
            QByteArray("[mail]\r\naddress=c@d\r\n; kept\r\nkeyring=1\r\n[url]\r\nfavorite=https://f/\r\n"));

        {
            frmSettings dlg(&basMain::ChoosePasswordPlace);
            QVERIFY(settled(dlg));
            QVERIFY(dlg.chkKeyring->isChecked());
            dlg.chkKeyring->click();
            QVERIFY(!dlg.chkKeyring->isChecked());
        }
        QCOMPARE(
            bytes(basMain::SettingsFilePath()),
            QByteArray(
                "[mail]\r\naddress=c@d\r\n; kept\r\npwd=p a'ss-7Qx2\r\n[url]\r\nfavorite=https://f/\r\n"));
        QCOMPARE(lookup(QStringLiteral("c@d")), QString());
        QVERIFY(m_messages.isEmpty());
        for (const QFileInfo& f : QDir(bus.keyringFolder()).entryInfoList(QDir::Files))
            QVERIFY2(!bytes(f.filePath()).contains(password.toUtf8()), qPrintable(f.filePath()));
        platform::setSecretServiceForTesting(nullptr);
    }

    // A keyring that has not given the password sends the site nothing: a
    // locked one asks the desktop to unlock (turned away here: told once,
    // the login dialog once) and signs in at the tick after the unlock; a
    // silent one lets the start go on in seconds and is read again at the
    // next tick; a gone one is told once and the password typed is stored
    // where the member chose, never in the file. A renewal asks nothing.
    void aKeyringLockedSilentOrGoneSendsNothing() {
        KeyringBus bus;
        platform::SecretService service(bus.connection());
        service.setCallTimeoutMs(1000);
        platform::setSecretServiceForTesting(&service);
        QVERIFY(bus.startKeyring());
        const QByteArray file("[mail]\naddress=a@b\nkeyring=1\n");
        put(basMain::SettingsFilePath(), file);
        bus.secretTool({QStringLiteral("store"), QStringLiteral("--label=x"), QStringLiteral("xdg:schema"),
                        QStringLiteral(KELVO_APP_ID), QStringLiteral("service"),
                        QStringLiteral(KELVO_SERVICE_HOST), QStringLiteral("username"),
                        QStringLiteral("a@b")},
                       "pw-9");
        auto sent = [] {
            QStringList passwords;
            for (const auto& b : ScriptedBrowser::created)
                passwords += b->calls.filter(QStringLiteral("SetElementValue user_password"));
            return passwords;
        };
        // The page after the sign-in lacks the marker here: a sign-in again.
        auto sentOnly = [&](const QString& password) {
            const QStringList all = sent();
            return !all.isEmpty() &&
                   all.filter(QStringLiteral("user_password=") + password).size() == all.size();
        };
        auto endsTip = [this](const QString& tip) {
            return m_main->tipLine().endsWith(tip.mid(tip.indexOf(u' ')));
        };

        bus.lockLogin();
        QVERIFY(!basMain::Main(QStringLiteral("renewed"))); // the copy before goes on
        QVERIFY(m_messages.isEmpty());
        bool asked = false;
        auto pending = whenShown<frmLogin>([&](frmLogin* dlg) {
            asked = true;
            QCOMPARE(dlg->MailAddress(), QStringLiteral("a@b"));
            dlg->cmdClose->click();
        });
        m_main = basMain::Main();
        QVERIFY(m_main);
        QTRY_VERIFY(asked);
        QCOMPARE(m_messages, QStringList{warning(basMain::KeyringRefusedMessage)});
        m_main->Timer1_Timer();
        m_main->mnuCheck_Click();
        QCOMPARE(m_messages.size(), 2); // the check is told why; nothing more
        QVERIFY(endsTip(basMain::KeyringLockedTip));
        QVERIFY(!platform::visibleWindow<frmLogin>());
        QVERIFY(sent().isEmpty());
        bus.unlockLogin();
        m_main->Timer1_Timer();
        QVERIFY(m_main->LoggedIn());
        QVERIFY(sentOnly(QStringLiteral("pw-9")));
        m_main.reset();
        m_messages.clear();

        ScriptedBrowser::install();
        bus.freezeKeyring(true);
        QElapsedTimer started;
        started.start();
        m_main = basMain::Main();
        QVERIFY(m_main);
        QVERIFY(started.elapsed() < 5000);
        QVERIFY(endsTip(basMain::KeyringNoAnswerTip));
        QVERIFY(m_messages.isEmpty());
        bus.freezeKeyring(false);
        m_main->Timer1_Timer();
        QVERIFY(m_main->LoggedIn());
        m_main.reset();

        bus.secretTool({QStringLiteral("clear"), QStringLiteral("username"), QStringLiteral("a@b")});
        for (const QString& typed : {QStringLiteral("pw-10"), QStringLiteral("pw-11")}) {
            ScriptedBrowser::install();
            m_messages.clear();
            auto retyped = whenShown<frmLogin>([&](frmLogin* dlg) {
                QTest::keyClicks(dlg->txtPassword, typed);
                QTest::keyClick(dlg->txtPassword, Qt::Key_Enter);
            });
            m_main = basMain::Main();
            QTRY_VERIFY(m_main->LoggedIn());
            QCOMPARE(m_messages.first(), warning(basMain::KeyringGoneMessage));
            QCOMPARE(bytes(basMain::SettingsFilePath()), file);
            QVERIFY(sentOnly(typed));
            m_main.reset();
            bus.stopKeyring(); // and now gone altogether: told, and kept for this run only
        }
        QVERIFY(m_messages.last().startsWith(basMain::KeyringNotSavedMessage));
        QVERIFY(!basMain::CredentialsStored());
        platform::setSecretServiceForTesting(nullptr);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
