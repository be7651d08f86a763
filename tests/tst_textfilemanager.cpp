#include "storage/filemodule.h"
#include "storage/textfilemanager.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestTextFileManager : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char* name = "kelvo_top.txt") const { return m_dir.filePath(QString::fromUtf8(name)); }
    static QByteArray bytes(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static bool looksLikePlatformError(const QString& message) {
        return QRegularExpression(QStringLiteral("^\\d+:\\S.*$")).match(message).hasMatch();
    }

private Q_SLOTS:
    void init() { QFile::remove(path()); }

    void missingFileIsReportedByEveryOperation() {
        textfileManager tm;
        QCOMPARE(tm.Message(), QString());
        QCOMPARE(tm.ReadText(path()), QString());
        QCOMPARE(tm.Message(), textfileManager::NotFoundMessage);
        QCOMPARE(tm.Message(), QStringLiteral("ファイルが見つかりません。"));
        textfileManager tm2;
        QVERIFY(!tm2.WriteText(path(), QString()));
        QCOMPARE(tm2.Message(), textfileManager::NotFoundMessage);
        textfileManager tm3;
        QVERIFY(!tm3.ClearText(path()));
        QCOMPARE(tm3.Message(), textfileManager::NotFoundMessage);
        QVERIFY(!QFile::exists(path())); // nothing made on the way
        // a later success keeps the last failure's message
        QVERIFY(tm.CreateText(path()));
        QCOMPARE(tm.ReadText(path()), QString());
        QCOMPARE(tm.Message(), textfileManager::NotFoundMessage);
    }

    void linesAppendAndReadBackExactly() {
        textfileManager tm;
        QVERIFY(tm.CreateText(path()));
        QCOMPARE(bytes(path()), QByteArray());
        QVERIFY(tm.WriteText(path(), QStringLiteral("a")));
        QVERIFY(tm.WriteText(path(), QStringLiteral("b")));
        QCOMPARE(bytes(path()), QByteArray("a\r\nb\r\n"));
        QCOMPARE(tm.ReadText(path()), QStringLiteral("a\r\nb\r\n"));
        // an empty value writes nothing and succeeds
        QVERIFY(tm.WriteText(path(), QString()));
        QCOMPARE(bytes(path()), QByteArray("a\r\nb\r\n"));
        // page text of every kind survives: CJK, lone CR/LF, NUL, tabs
        const QString page =
            QStringLiteral("新着\r\n記事\rA\nB\tC\u00a0D　E") + QChar(0) + QStringLiteral("end");
        QVERIFY(tm.ClearText(path()));
        QCOMPARE(bytes(path()), QByteArray());
        QVERIFY(tm.WriteText(path(), page));
        QCOMPARE(tm.ReadText(path()), page + QStringLiteral("\r\n"));
        QVERIFY(!bytes(path()).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(tm.Message(), QString());
    }

    void createNeverTouchesAnExistingFile() {
        textfileManager tm;
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("kept");
        f.close();
        QVERIFY(tm.CreateText(path()));
        QCOMPARE(bytes(path()), QByteArray("kept"));
    }

    void missingFolderGivesNumberedMessage() {
        textfileManager tm;
        const QString p = m_dir.filePath(QStringLiteral("no/such/folder/kelvo_top.txt"));
        QVERIFY(!tm.CreateText(p));
        QVERIFY2(looksLikePlatformError(tm.Message()), qPrintable(tm.Message()));
        QVERIFY(!QFile::exists(p));
    }

    void foldersAreNotFiles() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("afolder")));
        const QString folder = path("afolder");
        QVERIFY(!fileModule::CheckFileExists(folder));
        QVERIFY(!fileModule::CheckFileExists(QString()));
        textfileManager tm;
        QCOMPARE(tm.ReadText(folder), QString());
        QCOMPARE(tm.Message(), textfileManager::NotFoundMessage);
        // a folder in the way of a new file is a platform failure, not success
        QVERIFY(!tm.CreateText(folder));
        QVERIFY2(looksLikePlatformError(tm.Message()), qPrintable(tm.Message()));
    }

    void readOnlyFileFailsWithMessage() {
        if (geteuid() == 0)
            QSKIP("root writes read-only files");
        textfileManager tm;
        QVERIFY(tm.CreateText(path()));
        QVERIFY(tm.WriteText(path(), QStringLiteral("old")));
        QFile::setPermissions(path(), QFile::ReadOwner);
        QVERIFY(!tm.ClearText(path()));
        QVERIFY(looksLikePlatformError(tm.Message()));
        QVERIFY(!tm.WriteText(path(), QStringLiteral("new")));
        QCOMPARE(bytes(path()), QByteArray("old\r\n"));
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
    }
};

QTEST_GUILESS_MAIN(TestTextFileManager)
#include "tst_textfilemanager.moc"
