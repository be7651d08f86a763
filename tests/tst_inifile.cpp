#include "storage/inifile.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using inifileModule::GetIniString;
using inifileModule::WriteIniString;

class TestIniFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("settings.ini")); }

    static QByteArray bytes(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    static void put(const QString& p, const QByteArray& data) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }
    QString get(const char* key, const char* section) const {
        return GetIniString(QString::fromUtf8(key), QString::fromUtf8(section), QStringLiteral("<default>"),
                            path());
    }
    bool set(const QString& value, const char* key, const char* section) const {
        return WriteIniString(value, QString::fromUtf8(key), QString::fromUtf8(section), path());
    }

private Q_SLOTS:
    void init() { QFile::remove(path()); }

    void valuesReadBackExactly_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("member@example.com");
        QTest::newRow("blanks kept") << QStringLiteral("  pass word  ");
        QTest::newRow("quotes kept") << QStringLiteral("\"quoted\"");
        QTest::newRow("single quotes and backslash") << QStringLiteral("a'b\"c\\</script>");
        QTest::newRow("equals and semicolon") << QStringLiteral("a=b;c#d");
        QTest::newRow("brackets") << QStringLiteral("[mail]");
        QTest::newRow("japanese") << QStringLiteral("パスワード　全角");
        QTest::newRow("tab") << QStringLiteral("a\tb");
    }
    void valuesReadBackExactly() {
        QFETCH(QString, value);
        QVERIFY(set(value, "pwd", "mail"));
        QCOMPARE(get("pwd", "mail"), value);
        // and again in place, with the other key around it
        QVERIFY(set(QStringLiteral("x@example.com"), "address", "mail"));
        QVERIFY(set(value + value, "pwd", "mail"));
        QCOMPARE(get("pwd", "mail"), value + value);
        QCOMPARE(get("address", "mail"), QStringLiteral("x@example.com"));
    }

    void firstWriteCreatesPrivateFileInOrder() {
        QCOMPARE(get("address", "mail"), QStringLiteral("<default>"));
        QVERIFY(set(QStringLiteral("a@b"), "address", "mail"));
        QVERIFY(set(QStringLiteral(""), "pwd", "mail"));
        QVERIFY(set(QStringLiteral("https://x/"), "favorite", "url"));
        QCOMPARE(bytes(path()), QByteArray("[mail]\naddress=a@b\npwd=\n[url]\nfavorite=https://x/\n"));
        QCOMPARE(testsupport::fileMode(path()), 0600);
        // an empty value reads as the caller's default, like a missing key
        QCOMPARE(get("pwd", "mail"), QStringLiteral("<default>"));
        // no temporary files left beside it
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("settings.ini")});
    }

    void existingFileBecomesPrivate() {
        put(path(), "[mail]\naddress=a\n");
        QFile::setPermissions(path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
        QVERIFY(set(QStringLiteral("b"), "address", "mail"));
        QCOMPARE(testsupport::fileMode(path()), 0600);
    }

    void namesMatchWithoutCase() {
        QVERIFY(set(QStringLiteral("https://fav/"), "favorite", "url"));
        QCOMPARE(get("FAVORITE", "URL"), QStringLiteral("https://fav/"));
        put(path(), "[URL]\nFAVORITE=https://hand/\n");
        QCOMPARE(get("favorite", "url"), QStringLiteral("https://hand/"));
        QVERIFY(set(QStringLiteral("https://new/"), "favorite", "url"));
        QCOMPARE(bytes(path()), QByteArray("[URL]\nFAVORITE=https://new/\n"));
        // a favorite kept as key "url" of a section "favorite" is not the favorite
        put(path(), "[favorite]\nurl=https://wrong/\n");
        QCOMPARE(get("favorite", "url"), QStringLiteral("<default>"));
    }

    void otherLinesStayByteForByte() {
        const QByteArray original = "\xEF\xBB\xBF; comment\r\n[mail]\r\naddress=a@b\r\n"
                                    "pwd=  x  \r\n\r\n[other]\r\nkey = spaced value \r\n\r\n";
        put(path(), original);
        QCOMPARE(get("address", "mail"), QStringLiteral("a@b"));
        QCOMPARE(get("key", "other"), QStringLiteral(" spaced value "));
        QVERIFY(set(QStringLiteral("https://f/"), "favorite", "url"));
        QCOMPARE(bytes(path()), original + "[url]\r\nfavorite=https://f/\r\n");
        QVERIFY(set(QStringLiteral("new"), "pwd", "mail"));
        QByteArray expected = original + "[url]\r\nfavorite=https://f/\r\n";
        expected.replace("pwd=  x  ", "pwd=new");
        QCOMPARE(bytes(path()), expected);
        // a new key goes after the section's last entry, not after its blank lines
        QVERIFY(set(QStringLiteral("v"), "extra", "mail"));
        expected.replace("pwd=new\r\n", "pwd=new\r\nextra=v\r\n");
        QCOMPARE(bytes(path()), expected);
    }

    void lastLineWithoutEnding() {
        put(path(), "[mail]\naddress=a");
        QVERIFY(set(QStringLiteral("p"), "pwd", "mail"));
        QCOMPARE(bytes(path()), QByteArray("[mail]\naddress=a\npwd=p\n"));
    }

    void lineBreaksAndNulAreRefused_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("LF") << QStringLiteral("x\n[evil]\nkey=1");
        QTest::newRow("CR") << QStringLiteral("x\r[evil]");
        QTest::newRow("CRLF") << QStringLiteral("x\r\naddress=evil");
        QTest::newRow("NUL") << QString(QStringLiteral("x") + QChar(0) + QStringLiteral("y"));
    }
    void lineBreaksAndNulAreRefused() {
        QFETCH(QString, value);
        put(path(), "[mail]\naddress=a\npwd=b\n");
        QVERIFY(!set(value, "pwd", "mail"));
        QVERIFY(!set(value, "favorite", "url"));
        QCOMPARE(bytes(path()), QByteArray("[mail]\naddress=a\npwd=b\n"));
        QVERIFY(
            !WriteIniString(QStringLiteral("v"), QStringLiteral("k\n[x]"), QStringLiteral("mail"), path()));
        QVERIFY(!WriteIniString(QStringLiteral("v"), QStringLiteral("k"), QStringLiteral("a]\n"), path()));
        QCOMPARE(bytes(path()), QByteArray("[mail]\naddress=a\npwd=b\n"));
    }

    void longValuesAreCutOnCharacterBoundary() {
        const QString ascii(300, u'a');
        QVERIFY(set(ascii, "pwd", "mail"));
        QCOMPARE(get("pwd", "mail"), QString(254, u'a'));
        const QString kana(100, u'あ'); // 3 bytes each: 84 whole ones fit in 254
        QVERIFY(set(kana, "pwd", "mail"));
        QCOMPARE(get("pwd", "mail"), QString(84, u'あ'));
        const QString mixed = QStringLiteral("a") + QString(100, u'あ'); // 1 + 3*84 = 253
        QVERIFY(set(mixed, "pwd", "mail"));
        QCOMPARE(get("pwd", "mail"), mixed.left(85));
    }

    void duplicatesFirstWins() {
        put(path(), "[mail]\naddress=first\naddress=second\n[MAIL]\npwd=hidden\naddress=third\n");
        QCOMPARE(get("address", "mail"), QStringLiteral("first"));
        QCOMPARE(get("pwd", "mail"), QStringLiteral("<default>"));
        QVERIFY(set(QStringLiteral("p"), "pwd", "mail"));
        QVERIFY(set(QStringLiteral("new"), "address", "mail"));
        QCOMPARE(
            bytes(path()),
            QByteArray("[mail]\naddress=new\naddress=second\npwd=p\n[MAIL]\npwd=hidden\naddress=third\n"));
    }

    void brokenHeaderOpensNoSection() {
        put(path(), "[mail\naddress=lost\n");
        QCOMPARE(get("address", "mail"), QStringLiteral("<default>"));
        QVERIFY(set(QStringLiteral("a"), "address", "mail"));
        QCOMPARE(bytes(path()), QByteArray("[mail\naddress=lost\n[mail]\naddress=a\n"));
        QCOMPARE(get("address", "mail"), QStringLiteral("a"));
    }

    void badFilesGiveDefaults() {
        put(path(), "");
        QCOMPARE(get("address", "mail"), QStringLiteral("<default>"));
        put(path(), "[mail]\naddress=\xff\xfe\x80ok\npwd=fine\n");
        QVERIFY(!get("address", "mail").isEmpty());
        QCOMPARE(get("pwd", "mail"), QStringLiteral("fine"));
        QVERIFY(set(QStringLiteral("x"), "pwd", "mail"));
        QVERIFY(bytes(path()).startsWith("[mail]\naddress=\xff\xfe\x80ok\n"));

        QFile::remove(path());
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("settings.ini")));
        QCOMPARE(get("address", "mail"), QStringLiteral("<default>"));
        QVERIFY(!set(QStringLiteral("x"), "address", "mail"));
        QVERIFY(QFileInfo(path()).isDir());
        QVERIFY(QDir(path()).removeRecursively());
    }

    void tenMegabyteFile() {
        QByteArray big = "[mail]\naddress=a\n[bulk]\n";
        const QByteArray line = "filler=" + QByteArray(90, 'x') + "\n";
        while (big.size() < 10 * 1024 * 1024)
            big += line;
        put(path(), big);
        QCOMPARE(get("address", "mail"), QStringLiteral("a"));
        QVERIFY(set(QStringLiteral("p"), "pwd", "mail"));
        QCOMPARE(QFileInfo(path()).size(), qint64(big.size() + 6));
        QCOMPARE(get("pwd", "mail"), QStringLiteral("p"));
    }

    void unwritableFolderChangesNothing() {
        // A folder under a regular file cannot be made, even by root.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        put(blocker, "not a folder");
        const QString p = blocker + QStringLiteral("/settings.ini");
        QVERIFY(!WriteIniString(QStringLiteral("v"), QStringLiteral("k"), QStringLiteral("s"), p));
        QCOMPARE(bytes(blocker), QByteArray("not a folder"));
        if (geteuid() != 0) {
            const QString ro = m_dir.filePath(QStringLiteral("ro"));
            QVERIFY(QDir().mkdir(ro));
            put(ro + QStringLiteral("/settings.ini"), "[mail]\naddress=a\n");
            QFile::setPermissions(ro, QFile::ReadOwner | QFile::ExeOwner);
            QVERIFY(!WriteIniString(QStringLiteral("b"), QStringLiteral("address"), QStringLiteral("mail"),
                                    ro + QStringLiteral("/settings.ini")));
            QFile::setPermissions(ro, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QCOMPARE(bytes(ro + QStringLiteral("/settings.ini")), QByteArray("[mail]\naddress=a\n"));
        }
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
