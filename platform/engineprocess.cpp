#include "platform/engineprocess.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <csignal>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcEngineProcess, "kelvo.engine", QtWarningMsg)

namespace platform {
namespace {

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The fields of /proc/PID/stat after the command's name, which, in
// parentheses, may hold anything: they start after the last ')'.
QList<QByteArray> statFields(qint64 pid) {
    const QByteArray stat = procFile(pid, "stat");
    const int close = stat.lastIndexOf(')');
    return close < 0 ? QList<QByteArray>() : stat.mid(close + 2).split(' ');
}

qint64 parentOf(qint64 pid) {
    const QList<QByteArray> fields = statFields(pid);
    return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

} // namespace

namespace {

bool ofTheEngine(qint64 pid) {
    return procFile(pid, "cmdline").contains("--type=");
}

} // namespace

bool isEngineProcess(qint64 pid) {
    // Forked by a zygote, a renderer bears the zygote's command line: what
    // tells it is that it runs below us, through the engine's processes
    // alone (a renewed copy is our child too, with an engine of its own).
    const qint64 self = ::getpid();
    if (pid <= 1 || pid == self)
        return false;
    qint64 p = pid;
    for (; p > 1 && p != self; p = parentOf(p))
        if (!ofTheEngine(p))
            return false;
    return p == self;
}

bool endEngineProcess(qint64 pid) {
    // Checked first: a pid of ours long gone may be somebody else's by now.
    return isEngineProcess(pid) && ::kill(pid_t(pid), SIGKILL) == 0;
}

std::vector<qint64> engineProcessesBelow(qint64 pid) {
    std::vector<qint64> all;
    std::vector<std::pair<qint64, qint64>> parents; // pid, parent
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 p = entry.toLongLong(&number);
        if (number)
            parents.emplace_back(p, parentOf(p));
    }
    std::vector<qint64> level{pid};
    while (!level.empty()) {
        std::vector<qint64> next;
        // Through the engine's processes alone: not into a renewed copy.
        for (const auto& [p, parent] : parents)
            if (std::find(level.begin(), level.end(), parent) != level.end() && ofTheEngine(p))
                next.push_back(p);
        all.insert(all.end(), next.begin(), next.end());
        level = std::move(next);
    }
    return all;
}

void endEngineProcessesLeft() {
    // The zygotes end once they see us gone, unless they are stopped or hung.
    for (qint64 p : engineProcessesBelow(::getpid())) {
        const QByteArray state = statFields(p).value(0);
        if (state == "T" || state == "t")
            qCWarning(lcEngineProcess) << "the engine's process" << p << "is stopped at our end: ended";
        ::kill(pid_t(p), SIGKILL);
    }
}

RendererStarts* RendererStarts::instance() {
    static RendererStarts starts;
    return &starts;
}

void RendererStarts::started() {
    if (m_failures > 0)
        qCInfo(lcEngineProcess) << "renderers start again after" << m_failures << "failures";
    m_failures = 0;
}

void RendererStarts::failed(const QString& why) {
    ++m_failures;
    qCWarning(lcEngineProcess).noquote()
        << QStringLiteral("a renderer did not start (%1 in a row): %2").arg(m_failures).arg(why);
    if (broken())
        Q_EMIT engineBroken();
}

} // namespace platform
