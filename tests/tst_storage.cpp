// The settings file, the text file manager and the record of news, on real files.
#include "storage/checkreport.h"
#include "storage/filemodule.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"
#include "storage/newsrecord.h"
#include "storage/textcompare.h"
#include "storage/textfilemanager.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using inifileModule::GetIniString;
using inifileModule::WriteIniString;

using namespace testsupport;

class TestStorage : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char* name = "settings.ini") const { return m_dir.filePath(QString::fromUtf8(name)); }
    QString get(const char* key, const char* section) const {
        return GetIniString(QString::fromUtf8(key), QString::fromUtf8(section), QStringLiteral("<default>"),
                            path());
    }
    bool set(const QString& value, const char* key, const char* section) const {
        return WriteIniString(value, QString::fromUtf8(key), QString::fromUtf8(section), path());
    }
    static bool isPlatformError(const QString& message) {
        return QRegularExpression(QStringLiteral("^\\d+:\\S.*$")).match(message).hasMatch();
    }

private Q_SLOTS:
    void init() {
        QFile::remove(path());
        QFile::remove(path("kelvo_top.txt"));
    }

    void valuesReadBackExactly_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("blanks kept") << QStringLiteral("  pass word  ");
        QTest::newRow("quotes kept") << QStringLiteral("\"quoted\"");
        QTest::newRow("script-like") << QStringLiteral("a'b\"c\\</script>");
        QTest::newRow("equals, semicolon, brackets") << QStringLiteral("a=b;c#[mail]");
        QTest::newRow("japanese and tab") << QStringLiteral("パスワード　全角\tx");
    }
    void valuesReadBackExactly() {
        QFETCH(QString, value);
        QVERIFY(set(value, "pwd", "mail"));
        QCOMPARE(get("pwd", "mail"), value);
        QVERIFY(set(QStringLiteral("x@example.com"), "address", "mail"));
        QVERIFY(set(value + value, "pwd", "mail")); // in place, with another key around
        QCOMPARE(get("pwd", "mail"), value + value);
        QCOMPARE(get("address", "mail"), QStringLiteral("x@example.com"));
    }

    void writesArePrivateAndInOrder() {
        QCOMPARE(get("address", "mail"), QStringLiteral("<default>"));
        QVERIFY(set(QStringLiteral("a@b"), "address", "mail"));
        QVERIFY(set(QStringLiteral(""), "pwd", "mail"));
        QVERIFY(set(QStringLiteral("https://x/"), "favorite", "url"));
        QCOMPARE(bytes(path()), QByteArray("[mail]\naddress=a@b\npwd=\n[url]\nfavorite=https://x/\n"));
        QCOMPARE(QFile::permissions(path()), OwnerOnly);
        QCOMPARE(get("pwd", "mail"), QStringLiteral("<default>")); // empty reads as missing
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("settings.ini")});
        // an existing file readable by others becomes private
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QVERIFY(set(QStringLiteral("b"), "address", "mail"));
        QCOMPARE(QFile::permissions(path()), OwnerOnly);
    }

    void namesMatchWithoutCase() {
        put(path(), "[URL]\nFAVORITE=https://hand/\n");
        QCOMPARE(get("favorite", "url"), QStringLiteral("https://hand/"));
        QVERIFY(set(QStringLiteral("https://new/"), "favorite", "url"));
        QCOMPARE(bytes(path()), QByteArray("[URL]\nFAVORITE=https://new/\n"));
        put(path(), "[favorite]\nurl=https://wrong/\n"); // not the favorite
        QCOMPARE(get("favorite", "url"), QStringLiteral("<default>"));
    }

    void otherLinesStayByteForByte() {
        const QByteArray original = "\xEF\xBB\xBF; comment\r\n[mail]\r\naddress=a@b\r\n"
                                    "pwd=  x  \r\n\r\n[other]\r\nkey = spaced value \r\n\r\n";
        put(path(), original);
        QCOMPARE(get("key", "other"), QStringLiteral(" spaced value "));
        QVERIFY(set(QStringLiteral("https://f/"), "favorite", "url"));
        QVERIFY(set(QStringLiteral("new"), "pwd", "mail"));
        QVERIFY(set(QStringLiteral("v"), "extra", "mail")); // after the last entry, not the blank line
        QByteArray expected = original + "[url]\r\nfavorite=https://f/\r\n";
        expected.replace("pwd=  x  \r\n", "pwd=new\r\nextra=v\r\n");
        QCOMPARE(bytes(path()), expected);
        put(path(), "[mail]\naddress=a"); // last line without an ending
        QVERIFY(set(QStringLiteral("p"), "pwd", "mail"));
        QCOMPARE(bytes(path()), QByteArray("[mail]\naddress=a\npwd=p\n"));
    }

    void lineBreaksAndNulAreRefused() {
        put(path(), "[mail]\naddress=a\npwd=b\n");
        for (const QString& value :
             {QStringLiteral("x\n[evil]\nkey=1"), QStringLiteral("x\r[evil]"),
              QStringLiteral("x\r\naddress=evil"), QString(QStringLiteral("x") + QChar(0))}) {
            QVERIFY(!set(value, "pwd", "mail"));
            QVERIFY(!set(value, "favorite", "url"));
        }
        QVERIFY(
            !WriteIniString(QStringLiteral("v"), QStringLiteral("k\n[x]"), QStringLiteral("mail"), path()));
        QVERIFY(!WriteIniString(QStringLiteral("v"), QStringLiteral("k"), QStringLiteral("a]\n"), path()));
        QCOMPARE(bytes(path()), QByteArray("[mail]\naddress=a\npwd=b\n"));
    }

    // Address and password go in one replace of the file: both or, when the
    // disk is full or one value is refused, neither, with the reason told.
    void entriesWrittenTogetherOrNotAtAll() {
        using inifileModule::WriteIniStrings;
        put(path(), "; kept\r\n[mail]\r\naddress=old@example.com\r\n[url]\r\nfavorite=f\r\n");
        const QByteArray before = bytes(path());
        QString why;
        QVERIFY(
            !WriteIniStrings({{QStringLiteral("mail"), QStringLiteral("address"), QStringLiteral("new@x")},
                              {QStringLiteral("mail"), QStringLiteral("pwd"), QStringLiteral("a\nb")}},
                             path(), &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(bytes(path()), before);
        {
            const FileSizeLimit full(16);
            why.clear();
            QVERIFY(
                !WriteIniStrings({{QStringLiteral("mail"), QStringLiteral("address"), QStringLiteral("n@x")},
                                  {QStringLiteral("mail"), QStringLiteral("pwd"), QStringLiteral("p")}},
                                 path(), &why));
        }
        QCOMPARE(why, QString::fromLocal8Bit(std::strerror(EFBIG))); // the system's reason, as it gave it
        QCOMPARE(bytes(path()), before);
        QVERIFY(WriteIniStrings({{QStringLiteral("mail"), QStringLiteral("address"), QStringLiteral("n@x")},
                                 {QStringLiteral("mail"), QStringLiteral("pwd"), QStringLiteral("p w")}},
                                path()));
        QCOMPARE(bytes(path()),
                 QByteArray("; kept\r\n[mail]\r\naddress=n@x\r\npwd=p w\r\n[url]\r\nfavorite=f\r\n"));
        QCOMPARE(QFile::permissions(path()), OwnerOnly);
    }

    void whatIsNewLineByLine_data() {
        QTest::addColumn<QString>("oldText");
        QTest::addColumn<QString>("newText");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<bool>("removed");
        const QString page =
            QStringLiteral("Kelvo+\r\nログアウト\r\n新着記事\r\n記事B\r\n記事A\r\n表示完了\r\n");
        auto with = [&](const char16_t* from, const char16_t* to) {
            return QString(page).replace(QString::fromUtf16(from), QString::fromUtf16(to));
        };
        auto row = [](const char* name, const QString& o, const QString& n, QStringList added, bool removed) {
            QTest::newRow(name) << o << n << added << removed;
        };
        row("articles prepended", page, with(u"新着記事\r\n", u"新着記事\r\n 記事D\r\n記事C　\r\n"),
            {QStringLiteral("記事D"), QStringLiteral("記事C")}, false);
        row("one removed", page, with(u"記事B\r\n", u""), {}, true);
        row("reordered", page, with(u"記事B\r\n記事A", u"記事A\r\n記事B"), {}, false);
        row("blanks and U+3000 moved", page, with(u"新着記事", u"新着　記 事 "), {}, false);
        row("LF for CR LF, blank lines", page,
            QString(page).replace(QStringLiteral("\r\n"), QStringLiteral("\n\n")), {}, false);
        row("one replaced", page, with(u"記事A", u"記事E"), {QStringLiteral("記事E")}, true);
        row("a line once more", page, page + QStringLiteral("記事A\r\n"), {QStringLiteral("記事A")}, false);
        row("no old text", QString(), QStringLiteral("ログアウト\r\n記事A"),
            {QStringLiteral("ログアウト"), QStringLiteral("記事A")}, false);
    }
    void whatIsNewLineByLine() {
        QFETCH(QString, oldText);
        QFETCH(QString, newText);
        QFETCH(QStringList, added);
        QFETCH(bool, removed);
        const textcompare::News news = textcompare::whatIsNew(newText, oldText);
        QCOMPARE(news.added, added);
        QCOMPARE(news.removed, removed);
    }

    // What the member is told of a change: the new article, not the counter
    // or the date above the list that changed with it; news as news even
    // where none of it may be shown; never the member's address or password.
    void whatTheMemberIsToldOfAChange_data() {
        QTest::addColumn<QString>("oldText");
        QTest::addColumn<QString>("newText");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("popup");
        const QString page = QStringLiteral("ログアウト\r\n記事数 2\r\n最終更新 2026/12/06 09:15\r\n"
                                            "第2回 勉強会のお知らせ\r\n記事A\r\n");
        auto with = [&](const char16_t* from, const char16_t* to) {
            return QString(page).replace(QString::fromUtf16(from), QString::fromUtf16(to));
        };
        const QString counted = with(u"記事数 2", u"記事数 3");
        QTest::newRow("a counter above the list") << page << counted << "12:00 新着記事があります"
                                                  << "記事数 3";
        QTest::newRow("a new article, the counter and the date with it")
            << page
            << QString(counted)
                   .replace(QStringLiteral("2026/12/06 09:15"), QStringLiteral("2026/12/07 12:00"))
                   .replace(QStringLiteral("記事A"), QStringLiteral("新しい記事\r\n記事A"))
            << "12:00 新着: 新しい記事"
            << "新しい記事\n記事数 3\n最終更新 2026/12/07 12:00";
        QTest::newRow("a title that differs from an old one by more than digits")
            << page << with(u"第2回 勉強会のお知らせ", u"第3回 勉強会の日程変更")
            << "12:00 新着: 第3回 勉強会の日程変更"
            << "第3回 勉強会の日程変更";
        QTest::newRow("an article whose title holds the password")
            << page << with(u"記事A", u"PWA 対応のお知らせ\r\n記事A") << "12:00 新着記事があります"
            << "";
        const QString title = QStringLiteral("会員限定: ") + QString(60, u'長') + QStringLiteral("い記事");
        QTest::newRow("a long title, a greeting that names the member")
            << page
            << QString(page).replace(QStringLiteral("記事A"),
                                     title + QStringLiteral("\r\nようこそ m@example.com さん\r\n記事A"))
            << QString(QStringLiteral("12:00 新着: ") + title.left(39) + QStringLiteral("…"))
            << QString(title.left(59) + QStringLiteral("…"));
        QTest::newRow("an article removed")
            << page << with(u"記事A\r\n", u"") << "12:00 確認済み: 記事が削除されました"
            << "確認済み: 記事が削除されました";
    }
    void whatTheMemberIsToldOfAChange() {
        QFETCH(QString, oldText);
        QFETCH(QString, newText);
        QFETCH(QString, tip);
        QFETCH(QString, popup);
        const report::NewsReport told =
            report::reportNews(textcompare::whatIsNew(newText, oldText), QStringLiteral("12:00"),
                               QStringLiteral("m@example.com"), QStringLiteral("PWA"));
        QCOMPARE(told.tipLine, tip);
        QCOMPARE(told.popup, popup);
    }

    // A long favorite (tracking parameters) or password comes back as stored.
    void longValuesReadBackWhole() {
        const QString url = QStringLiteral("https://kelvo.example/members/?") + QString(3000, u'x');
        QVERIFY(set(url, "favorite", "url"));
        QCOMPARE(get("favorite", "url"), url);
        const QString mixed = QStringLiteral("a") + QString(300, u'あ') + QStringLiteral("=;#");
        QVERIFY(set(mixed, "pwd", "mail"));
        QCOMPARE(get("pwd", "mail"), mixed);
        QCOMPARE(get("favorite", "url"), url);
    }

    void duplicatesAndBrokenHeaders() {
        put(path(), "[mail]\naddress=first\naddress=second\n[MAIL]\npwd=hidden\n");
        QCOMPARE(get("address", "mail"), QStringLiteral("first"));
        QCOMPARE(get("pwd", "mail"), QStringLiteral("<default>"));
        QVERIFY(set(QStringLiteral("p"), "pwd", "mail"));
        QVERIFY(set(QStringLiteral("new"), "address", "mail"));
        QCOMPARE(bytes(path()),
                 QByteArray("[mail]\naddress=new\naddress=second\npwd=p\n[MAIL]\npwd=hidden\n"));
        // A key taken out leaves no copy in a duplicate section that reads ignore.
        inifileModule::IniEntry out{QStringLiteral("mail"), QStringLiteral("PWD"), QString()};
        out.remove = true;
        QVERIFY(inifileModule::WriteIniStrings({out}, path()));
        QCOMPARE(bytes(path()), QByteArray("[mail]\naddress=new\naddress=second\n[MAIL]\n"));
        put(path(), "[mail\naddress=lost\n"); // no "]": opens no section
        QCOMPARE(get("address", "mail"), QStringLiteral("<default>"));
        QVERIFY(set(QStringLiteral("a"), "address", "mail"));
        QCOMPARE(bytes(path()), QByteArray("[mail\naddress=lost\n[mail]\naddress=a\n"));
    }

    void badFiles() {
        put(path(), "[mail]\naddress=\xff\xfe\x80ok\npwd=fine\n"); // not UTF-8
        QVERIFY(!get("address", "mail").isEmpty());
        QCOMPARE(get("pwd", "mail"), QStringLiteral("fine"));
        QVERIFY(set(QStringLiteral("x"), "pwd", "mail"));
        QVERIFY(bytes(path()).startsWith("[mail]\naddress=\xff\xfe\x80ok\n"));

        QByteArray big = "[mail]\naddress=a\n[bulk]\n";
        while (big.size() < 10 * 1024 * 1024)
            big += "filler=" + QByteArray(90, 'x') + "\n";
        put(path(), big);
        QVERIFY(set(QStringLiteral("p"), "pwd", "mail"));
        QCOMPARE(QFileInfo(path()).size(), qint64(big.size() + 6));
        QCOMPARE(get("pwd", "mail"), QStringLiteral("p"));

        QFile::remove(path());
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("settings.ini"))); // a folder in its place
        QCOMPARE(get("address", "mail"), QStringLiteral("<default>"));
        QVERIFY(!set(QStringLiteral("x"), "address", "mail"));
        QVERIFY(QDir(path()).removeRecursively());

        put(path("blocker"), "not a folder"); // a folder that cannot be made, even by root
        QVERIFY(!WriteIniString(QStringLiteral("v"), QStringLiteral("k"), QStringLiteral("s"),
                                path("blocker") + QStringLiteral("/settings.ini")));
        QCOMPARE(bytes(path("blocker")), QByteArray("not a folder"));
    }

    void textFileFailures() {
        const QString top = path("kelvo_top.txt");
        textfileManager tm;
        QCOMPARE(tm.ReadText(top), QString());
        QCOMPARE(tm.Message(), textfileManager::NotFoundMessage);
        QVERIFY(!tm.WriteText(top, QString())); // the existence check comes first
        QVERIFY(!tm.ClearText(top));
        QVERIFY(!QFile::exists(top));
        QVERIFY(tm.CreateText(top)); // a later success keeps the last failure's message
        QCOMPARE(tm.Message(), textfileManager::NotFoundMessage);
        // the platform's own failures read number:description
        QVERIFY(!tm.CreateText(path("no/such/folder/kelvo_top.txt")));
        QVERIFY2(isPlatformError(tm.Message()), qPrintable(tm.Message()));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("afolder")));
        QVERIFY(!fileModule::CheckFileExists(path("afolder")));
        QVERIFY(!fileModule::CheckFileExists(QString()));
        QVERIFY(!tm.CreateText(path("afolder"))); // a folder in the way is a failure
        QVERIFY2(isPlatformError(tm.Message()), qPrintable(tm.Message()));
    }

    void textFilesKeepWhatIsWritten() {
        const QString top = path("kelvo_top.txt");
        textfileManager tm;
        QVERIFY(tm.CreateText(top));
        QVERIFY(tm.WriteText(top, QStringLiteral("a")));
        QVERIFY(tm.WriteText(top, QStringLiteral("b")));
        QVERIFY(tm.WriteText(top, QString()));
        QCOMPARE(bytes(top), QByteArray("a\r\nb\r\n"));
        QVERIFY(tm.CreateText(top)); // never touches an existing file
        QCOMPARE(tm.ReadText(top), QStringLiteral("a\r\nb\r\n"));
        const QString page =
            QStringLiteral("新着\r\n記事\rA\nB\tC\u00a0D　E") + QChar(0) + QStringLiteral("end");
        QVERIFY(tm.ClearText(top));
        QCOMPARE(bytes(top), QByteArray());
        QVERIFY(tm.WriteText(top, page));
        QCOMPARE(tm.ReadText(top), page + QStringLiteral("\r\n"));
        QVERIFY(!bytes(top).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(tm.Message(), QString());
    }

    void memberFilesLiveBesideOrInTheConfigFolder_data() {
        QTest::addColumn<QString>("exeDir");
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("folder");
        auto row = [](const char* name, const char* exeDir, const char* xdg, const char* folder) {
            QTest::newRow(name) << QString::fromUtf8(exeDir) << QString::fromUtf8(xdg)
                                << QString::fromUtf8(folder);
        };
        row("build tree", "/src/build", "/x/conf", "/src/build");
        row("unpacked beside the bin folder", "/usr/bin/../lib/x", "", "/usr/bin/../lib/x");
        row("installed, XDG_CONFIG_HOME set", "/usr/bin", "/x/conf", "/x/conf/KelvoMonitor");
        row("installed, XDG_CONFIG_HOME unset", "/usr/bin/", "", "/home/m/.config/KelvoMonitor");
        row("installed, XDG_CONFIG_HOME relative", "/usr/bin", "conf", "/home/m/.config/KelvoMonitor");
    }
    void memberFilesLiveBesideOrInTheConfigFolder() {
        QFETCH(QString, exeDir);
        QFETCH(QString, xdg);
        QFETCH(QString, folder);
        QCOMPARE(basMain::MemberFolder(exeDir, QStringLiteral("/usr/bin"), xdg, QStringLiteral("/home/m")),
                 folder);
    }
    // The config folder is the member's alone, whoever made it and how.
    void memberFolderIsPrivate() {
        const QString made = path("conf/KelvoMonitor");
        QVERIFY(basMain::MakePrivateFolder(made));
        const QString before = path("before");
        QVERIFY(QDir().mkpath(before)); // made 0755 by someone else
        QVERIFY(basMain::MakePrivateFolder(before));
        for (const QString& folder : {made, before}) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, 0700u);
        }
    }

    void replacedSnapshotIsNeverHalfWritten() {
        const QString top = path("kelvo_top.txt");
        textfileManager tm;
        QVERIFY(tm.ReplaceText(top, QStringLiteral("記事A"))); // made when missing
        QCOMPARE(bytes(top), QByteArray("記事A\r\n"));
        QVERIFY(tm.ReplaceText(top, QStringLiteral("記事B")));
        QCOMPARE(bytes(top), QByteArray("記事B\r\n"));
        QVERIFY(tm.ReplaceText(top, QString()));
        QCOMPARE(bytes(top), QByteArray());
        // the member's page, name and all: theirs alone, whatever it was before
        QVERIFY(QFile::setPermissions(top, OwnerOnly | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(tm.ReplaceText(top, QStringLiteral("記事B")));
        QCOMPARE(QFile::permissions(top), OwnerOnly);

        // A disk that fills up mid-write (a file size limit stands in for it):
        // the old snapshot stays whole, and the failure is reported.
        for (const QString& text : {QString(64 * 1024, u'新'), QStringLiteral("記事C、少し長い")}) {
            const FileSizeLimit full(8);
            QVERIFY(!tm.ReplaceText(top, text));
        }
        QVERIFY2(isPlatformError(tm.Message()), qPrintable(tm.Message()));
        QCOMPARE(bytes(top), QByteArray("記事B\r\n"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter(QStringLiteral("kelvo_top")),
                 QStringList{QStringLiteral("kelvo_top.txt")}); // no temporary file left behind
    }

    // The record across starts: each change once, private, bounded, and a
    // write cut short (a full disk) leaves the old file whole and keeps the
    // entry until there is room; an entry that another copy wrote meanwhile
    // (the copy before a renewal) is kept beside ours.
    void theRecordKeepsEveryChangeWhole() {
        const QString file = path("kelvo_history.json");
        QFile::remove(file);
        const QDateTime t0 = QDateTime::fromString(QStringLiteral("2026-12-09T04:05:00Z"), Qt::ISODate);
        auto entry = [&](int minutes, const QString& line) {
            return NewsEntry{t0.addSecs(60 * minutes), {{line, false, QString()}}, 0, 0, false};
        };
        NewsRecord record(file);
        record.setNowForTesting(t0);
        QVERIFY(record.add(entry(0, QStringLiteral("記事A"))));
        QVERIFY(record.add(entry(1, QStringLiteral("記事A")))); // the same news again: no entry
        QVERIFY(record.add(entry(2, QStringLiteral("記事B"))));
        QCOMPARE(QFile::permissions(file), OwnerOnly);
        QCOMPARE(record.unseen(), 2);
        QVERIFY(record.markSeen());
        QCOMPARE(record.unseen(), 0);

        const QByteArray written = bytes(file);
        {
            const FileSizeLimit full(64);
            QVERIFY(!record.add(entry(3, QStringLiteral("記事C"))));
            QVERIFY(!record.allStored());
            QVERIFY(!record.failure().isEmpty());
            QVERIFY(!record.retry());
        }
        QCOMPARE(bytes(file), written);
        QCOMPARE(record.entries().size(), 3); // held in memory meanwhile
        NewsRecord before(file);              // the copy before a renewal writes one more
        QVERIFY(before.add(entry(4, QStringLiteral("記事D"))));
        QVERIFY(record.retry());
        QVERIFY(record.allStored());
        QStringList read;
        NewsRecord reread(file);
        for (const NewsEntry& e : reread.entries())
            read << e.lines.first().text + u'@' + e.found.toString(Qt::ISODate);
        QCOMPARE(read, (QStringList{QStringLiteral("記事A@2026-12-09T04:05:00Z"),
                                    QStringLiteral("記事B@2026-12-09T04:07:00Z"),
                                    QStringLiteral("記事C@2026-12-09T04:08:00Z"),
                                    QStringLiteral("記事D@2026-12-09T04:09:00Z")}));
        QCOMPARE(NewsRecord(file).unseen(), 2);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter(QStringLiteral("kelvo_history")),
                 QStringList{QStringLiteral("kelvo_history.json")}); // no temporary file left

        // The newest 200, none older than 90 days.
        for (int i = 0; i < 210; ++i)
            QVERIFY(record.add(entry(10 + i, QString::number(i))));
        QCOMPARE(record.entries().size(), NewsRecord::MaxEntries);
        QCOMPARE(record.entries().first().lines.first().text, QStringLiteral("10"));
        record.setNowForTesting(t0.addDays(NewsRecord::MaxDays).addSecs(60 * 100));
        QVERIFY(record.add(entry(60 * 24 * 91, QStringLiteral("三か月後"))));
        QCOMPARE(NewsRecord(file).entries().size(), 121);
        QVERIFY(record.clear());
        QCOMPARE(NewsRecord(file).entries().size(), 0);
    }

    // A file that cannot be read is set aside as it is, never written over,
    // and the record begins anew.
    void anUnreadableRecordIsSetAside_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("damaged") << QByteArray("{\"program\":\"KelvoMonitor\",\"format\":1,\"entr");
        QTest::newRow("from a newer version")
            << QByteArray("{\"program\":\"KelvoMonitor\",\"format\":2,\"entries\":[]}");
        QTest::newRow("not ours") << QByteArray("{\"entries\":[]}");
        QTest::newRow("an entry without its time")
            << QByteArray("{\"program\":\"KelvoMonitor\",\"format\":1,\"entries\":[{\"lines\":[]}]}");
    }
    void anUnreadableRecordIsSetAside() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("kelvo_history.json"));
        put(file, content);
        NewsRecord record(file);
        QCOMPARE(record.entries().size(), 0);
        const QStringList aside =
            QDir(dir.path()).entryList({QStringLiteral("kelvo_history.json.unreadable-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(bytes(dir.filePath(aside.first())), content);
        QVERIFY(record.add(
            {QDateTime::currentDateTimeUtc(), {{QStringLiteral("記事"), false, QString()}}, 0, 0, false}));
        QCOMPARE(NewsRecord(file).entries().size(), 1);
    }

    // What changed in an edited line, character by character: never half of
    // a surrogate pair (𠮷 and 𠮟 share their first unit) or of a base and
    // its combining mark; an edited title found wherever new articles moved it.
    void editsAreMarkedByWholeCharacters() {
        using textcompare::Span;
        const QString yoshi = QStringLiteral("\U00020BB7"), shikaru = QStringLiteral("\U00020B9F");
        QCOMPARE(textcompare::changedSpans(yoshi + QStringLiteral("野家の新メニュー"),
                                           shikaru + QStringLiteral("野家の冬メニュー")),
                 (QList<Span>{{0, 2}, {5, 1}}));
        QCOMPARE(textcompare::changedSpans(QStringLiteral("かき"), QStringLiteral("か\u3099き")),
                 (QList<Span>{{0, 2}}));
        QVERIFY(textcompare::editedFrom(QStringLiteral("勉強会のお知らせ"),
                                        QStringLiteral("勉強会の日程変更のお知らせ")));
        QVERIFY(!textcompare::editedFrom(QStringLiteral("勉強会のお知らせ"), QStringLiteral("新しい記事")));

        const textcompare::News news = textcompare::whatIsNew(
            QStringLiteral("記事数 4\n新しい記事\n次の記事\n第2回 勉強会の日程変更のお知らせ\n記事A"),
            QStringLiteral("記事数 2\n第2回 勉強会のお知らせ\n記事A"));
        QCOMPARE(news.added, (QStringList{QStringLiteral("記事数 4"), QStringLiteral("新しい記事"),
                                          QStringLiteral("次の記事"),
                                          QStringLiteral("第2回 勉強会の日程変更のお知らせ")}));
        QCOMPARE(news.replaced, (QStringList{QStringLiteral("記事数 2"), QString(), QString(),
                                             QStringLiteral("第2回 勉強会のお知らせ")}));
        // the record's entry: in page order, the password's line withheld
        const NewsEntry entry = report::newsEntry(
            textcompare::whatIsNew(QStringLiteral("記事数 4\nPWA 対応\n記事A"),
                                   QStringLiteral("記事数 2\n記事A")),
            QDateTime::currentDateTimeUtc(), QStringLiteral("m@example.com"), QStringLiteral("PWA"));
        QCOMPARE(entry.lines,
                 (QList<NewsLine>{{QStringLiteral("記事数 4"), true, QStringLiteral("記事数 2")}}));
        QCOMPARE(entry.withheld, 1);
    }
};

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
