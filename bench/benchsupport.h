#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <vector>

namespace bench {

struct Stats {
    double median = 0;
    double max = 0;
};

inline Stats stats(std::vector<double> v) {
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    s.max = v.back();
    return s;
}

inline void print(const char* what, const std::vector<double>& v, const char* unit) {
    const Stats s = stats(v);
    std::printf("%-48s n=%-4zu median %9.2f %s   max %9.2f %s\n", what, v.size(), s.median, unit, s.max,
                unit);
    std::fflush(stdout);
}

// Fields of /proc/PID/smaps_rollup summed, in KiB; 0 when it cannot be read.
inline qint64 smapsKiB(qint64 pid, std::initializer_list<const char*> fields) {
    QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    qint64 kib = 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        for (const char* field : fields) {
            if (line.startsWith(QByteArray(QByteArray(field) + ':')))
                kib += line.mid(qstrlen(field) + 1).trimmed().split(' ').first().toLongLong();
        }
    }
    return kib;
}

// The process and all its descendants, less the subtree of `excluded`.
inline std::vector<qint64> processTree(qint64 root, qint64 excluded = 0) {
    std::vector<qint64> out{root};
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == excluded)
            continue;
        // Each thread's own: the engine starts its zygotes from a thread of its own.
        const QStringList tasks =
            QDir(QStringLiteral("/proc/%1/task").arg(out[i])).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& task : tasks) {
            QFile f(QStringLiteral("/proc/%1/task/%2/children").arg(out[i]).arg(task));
            if (!f.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray& pid : f.readAll().split(' ')) {
                if (!pid.trimmed().isEmpty() && pid.trimmed().toLongLong() != excluded)
                    out.push_back(pid.trimmed().toLongLong());
            }
        }
    }
    return out;
}

inline double treeMiB(std::initializer_list<const char*> fields, qint64 root, qint64 excluded = 0) {
    qint64 kib = 0;
    for (qint64 pid : processTree(root, excluded))
        kib += smapsKiB(pid, fields);
    return kib / 1024.0;
}
inline double treePssMiB(qint64 root, qint64 excluded = 0) {
    return treeMiB({"Pss"}, root, excluded);
}
// Memory that is the tree's alone: what it would give back if it ended.
inline double treePrivateMiB(qint64 root, qint64 excluded = 0) {
    return treeMiB({"Private_Clean", "Private_Dirty"}, root, excluded);
}

// CPU time (user + system) of the process tree in seconds, ended children included.
inline double treeCpuSeconds(qint64 root, qint64 excluded = 0) {
    double total = 0;
    const double tick = 100.0; // USER_HZ on Linux
    for (qint64 pid : processTree(root, excluded)) {
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        // With the children each has reaped: a check's renderer, once it ended.
        if (fields.size() > 14)
            total += (fields[11].toDouble() + fields[12].toDouble() + fields[13].toDouble() +
                      fields[14].toDouble()) /
                     tick;
    }
    return total;
}

} // namespace bench
