#include "app/renewal.h"

#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/singlecopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>

#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcStart)

namespace basMain {

namespace {

// The environment, unlike the command line, is the member's own to read.
const char* const TipVariable = "KELVO_RENEWED_TIP";

QString g_programForTesting;
qint64 g_takeOverLimitMs = 20000; // an engine's start on a slow, busy machine

// Where this program lies now. A package upgrade replaces the file under a
// running copy: the link then ends in " (deleted)" and the new one takes over.
QString programFile() {
    if (!g_programForTesting.isEmpty())
        return g_programForTesting;
    QString path = QCoreApplication::applicationFilePath();
    const QLatin1String deleted(" (deleted)");
    if (!QFileInfo::exists(path) && path.endsWith(deleted))
        path.chop(deleted.size());
    return QFileInfo(path).isExecutable() ? path : QString();
}

// The new copy's pid, or 0 when it could not be started.
qint64 startRenewedCopy(const QStringList& arguments, const QString& tipLine) {
    const QString program = programFile();
    if (program.isEmpty()) {
        qCWarning(lcStart) << "no renewal: the program file is gone";
        return 0;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(RenewedArguments(arguments));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(TipVariable), tipLine);
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        qCWarning(lcStart) << "no renewal:" << process.errorString();
        return 0;
    }
    return pid;
}

} // namespace

int RenewAfterChecks() {
    constexpr int ADay = 24 * 60;
    bool ok = false;
    const int set = qEnvironmentVariableIntValue("KELVO_RENEW_AFTER_CHECKS", &ok);
    return ok && set >= 0 ? set : ADay;
}

void Renew(SingleCopy& single, frmMain& main, const QStringList& arguments) {
    main.beginHandOver();
    single.release();
    const qint64 pid = startRenewedCopy(arguments, main.tipLine());
    // Taken back at once; should a start of the member's have taken it in
    // between, that start is the running copy now. A copy closed meanwhile
    // (終了) has let the folder go for good.
    auto keepRunning = [&single, &main] {
        main.endHandOver();
        if (!main.isUnloaded() && !single.claimIfFree())
            main.Unload();
    };
    if (!pid) {
        keepRunning();
        return;
    }
    constexpr int PollMs = 200;
    const qint64 limitMs = g_takeOverLimitMs;
    auto* poll = new QTimer(&main);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(poll, &QTimer::timeout, &main, [=, &single, &main] {
        const qint64 holder = single.holder();
        const bool handedOver = holder != 0;
        if (!handedOver && waited->elapsed() < limitMs)
            return;
        poll->deleteLater();
        if (handedOver) {
            qCInfo(lcStart) << "renewed: process" << holder << "has taken over";
            main.endHandOver();
            main.Unload();
        } else {
            qCWarning(lcStart) << "no renewal: the new copy" << pid << "did not take over";
            keepRunning();
        }
    });
    poll->start(PollMs);
}

void setRenewalProgramForTesting(const QString& program, int takeOverLimitMs) {
    g_programForTesting = program;
    g_takeOverLimitMs = takeOverLimitMs;
}

QString RenewedTipLine() {
    const QString line = qEnvironmentVariable(TipVariable);
    qunsetenv(TipVariable); // not handed to the engine's processes
    return line;
}

} // namespace basMain
