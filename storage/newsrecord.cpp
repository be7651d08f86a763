#include "storage/newsrecord.h"

#include "storage/filemodule.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcFiles)

namespace {

const QString Program = QStringLiteral("KelvoMonitor");

QString timeText(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject toJson(const NewsEntry& entry) {
    QJsonArray lines;
    for (const NewsLine& line : entry.lines) {
        QJsonObject o{{QStringLiteral("text"), line.text}};
        if (line.update)
            o.insert(QStringLiteral("update"), true);
        if (!line.was.isEmpty())
            o.insert(QStringLiteral("was"), line.was);
        lines.append(o);
    }
    QJsonObject o{{QStringLiteral("found"), timeText(entry.found)}, {QStringLiteral("lines"), lines}};
    if (entry.withheld)
        o.insert(QStringLiteral("withheld"), entry.withheld);
    if (entry.more)
        o.insert(QStringLiteral("more"), entry.more);
    if (entry.removed)
        o.insert(QStringLiteral("removed"), true);
    return o;
}

std::optional<NewsEntry> fromJson(const QJsonValue& value) {
    const QJsonObject o = value.toObject();
    NewsEntry entry;
    entry.found = QDateTime::fromString(o.value(QStringLiteral("found")).toString(), Qt::ISODateWithMs);
    if (!value.isObject() || !entry.found.isValid() || !o.value(QStringLiteral("lines")).isArray())
        return std::nullopt;
    for (const QJsonValue& l : o.value(QStringLiteral("lines")).toArray()) {
        const QJsonValue text = l.toObject().value(QStringLiteral("text"));
        if (!text.isString())
            return std::nullopt;
        entry.lines.append({text.toString(), l.toObject().value(QStringLiteral("update")).toBool(),
                            l.toObject().value(QStringLiteral("was")).toString()});
    }
    entry.withheld = std::max(0, o.value(QStringLiteral("withheld")).toInt());
    entry.more = std::max(0, o.value(QStringLiteral("more")).toInt());
    entry.removed = o.value(QStringLiteral("removed")).toBool();
    return entry;
}

bool byTime(const NewsEntry& a, const NewsEntry& b) {
    return a.found < b.found;
}

} // namespace

NewsRecord::NewsRecord(QString path) : m_path(std::move(path)) {}

QDateTime NewsRecord::now() const {
    return m_now.isValid() ? m_now : QDateTime::currentDateTimeUtc();
}

QString NewsRecord::stamp() const {
    const QFileInfo info(m_path);
    if (!info.exists())
        return {};
    return QString::number(info.size()) + u'/' + QString::number(info.lastModified().toMSecsSinceEpoch()) +
           u'/' + QString::number(info.metadataChangeTime().toMSecsSinceEpoch());
}

NewsRecord::Content NewsRecord::readFile() {
    m_stamp = stamp();
    QFile file(m_path);
    if (!file.exists())
        return {};
    QString why;
    Content content;
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
    } else {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        const QJsonObject root = document.object();
        const int format = root.value(QStringLiteral("format")).toInt();
        if (error.error != QJsonParseError::NoError)
            why = QStringLiteral("damaged: ") + error.errorString();
        else if (root.value(QStringLiteral("program")).toString() != Program)
            why = QStringLiteral("not a record of this program");
        else if (format > Format)
            why = QStringLiteral("written by a newer version (format %1)").arg(format);
        else if (format < 1 || !root.value(QStringLiteral("entries")).isArray())
            why = QStringLiteral("damaged: no entries");
        content.seen =
            QDateTime::fromString(root.value(QStringLiteral("seen")).toString(), Qt::ISODateWithMs);
        for (const QJsonValue& value : root.value(QStringLiteral("entries")).toArray()) {
            const std::optional<NewsEntry> entry = fromJson(value);
            if (!entry) {
                why = QStringLiteral("damaged: an entry cannot be read");
                break;
            }
            content.entries.append(*entry);
        }
    }
    if (why.isEmpty()) {
        m_blocked = false;
        return content;
    }
    // Never written over: the member or a newer version may want it back.
    const QString base = m_path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = base;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = base + u'~' + QString::number(n);
    file.close();
    if (file.rename(aside)) {
        m_stamp.clear();
        m_blocked = false;
        qCWarning(lcFiles).noquote()
            << QStringLiteral("the record of news %1 cannot be read (%2): set aside as %3 and begun anew")
                   .arg(m_path, why, aside);
    } else {
        m_blocked = true;
        m_failure = file.errorString();
        qCWarning(lcFiles).noquote()
            << QStringLiteral("the record of news %1 cannot be read (%2) nor set aside (%3): left as it is")
                   .arg(m_path, why, m_failure);
    }
    return {};
}

NewsRecord::Content NewsRecord::merged(Content base) const {
    if (m_clearedAt) {
        base.entries.erase(std::remove_if(base.entries.begin(), base.entries.end(),
                                          [&](const NewsEntry& e) { return e.found <= *m_clearedAt; }),
                           base.entries.end());
    }
    for (const NewsEntry& entry : m_pending) {
        const bool there = std::any_of(base.entries.begin(), base.entries.end(), [&](const NewsEntry& e) {
            return e.found == entry.found && e.sameNewsAs(entry);
        });
        if (!there)
            base.entries.append(entry);
    }
    if (m_pendingSeen.isValid() && !(base.seen.isValid() && base.seen >= m_pendingSeen))
        base.seen = m_pendingSeen;
    std::stable_sort(base.entries.begin(), base.entries.end(), byTime);
    bound(base.entries);
    return base;
}

void NewsRecord::bound(QList<NewsEntry>& entries) const {
    const QDateTime oldest = now().addDays(-MaxDays);
    entries.erase(
        std::remove_if(entries.begin(), entries.end(), [&](const NewsEntry& e) { return e.found < oldest; }),
        entries.end());
    if (entries.size() > MaxEntries)
        entries.remove(0, entries.size() - MaxEntries);
}

void NewsRecord::load() {
    if (m_loaded && stamp() == m_stamp)
        return;
    m_content = merged(readFile());
    m_loaded = true;
}

bool NewsRecord::write() {
    m_content = merged(readFile());
    m_loaded = true;
    m_dirty = true;
    if (m_blocked)
        return false;
    QJsonArray entries;
    for (const NewsEntry& entry : std::as_const(m_content.entries))
        entries.append(toJson(entry));
    QJsonObject root{{QStringLiteral("program"), Program},
                     {QStringLiteral("format"), Format},
                     {QStringLiteral("entries"), entries}};
    if (m_content.seen.isValid())
        root.insert(QStringLiteral("seen"), timeText(m_content.seen));
    QSaveFile file(m_path);
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!opened || !fileModule::CommitWhole(file, QJsonDocument(root).toJson(QJsonDocument::Indented))) {
        m_failure = file.errorString();
        qCWarning(lcFiles) << "cannot write" << m_path << m_failure;
        file.cancelWriting();
        return false;
    }
    m_stamp = stamp();
    m_pending.clear();
    m_pendingSeen = {};
    m_clearedAt.reset();
    m_dirty = false;
    return true;
}

const QList<NewsEntry>& NewsRecord::entries() {
    load();
    return m_content.entries;
}

bool NewsRecord::add(const NewsEntry& entry) {
    load();
    if (!m_content.entries.isEmpty() && m_content.entries.last().sameNewsAs(entry))
        return retry(); // found again (a snapshot that could not be stored): no new entry
    m_pending.append(entry);
    return write();
}

bool NewsRecord::retry() {
    return !m_dirty || write();
}

QDateTime NewsRecord::seenUpTo() {
    load();
    return m_content.seen;
}

int NewsRecord::unseen() {
    load();
    const QDateTime seen = m_content.seen;
    return static_cast<int>(
        std::count_if(m_content.entries.begin(), m_content.entries.end(),
                      [&](const NewsEntry& e) { return !seen.isValid() || e.found > seen; }));
}

bool NewsRecord::markSeen() {
    load();
    if (unseen() == 0)
        return retry();
    m_pendingSeen = m_content.entries.last().found;
    return write();
}

void NewsRecord::hold(const QList<NewsEntry>& entries) {
    if (entries.isEmpty())
        return;
    load();
    m_pending += entries;
    m_content = merged(m_content);
    m_dirty = true;
}

void NewsRecord::forgetUnwritten() {
    m_pending.clear();
    m_dirty = m_pendingSeen.isValid() || m_clearedAt.has_value();
    m_loaded = false; // the file again
}

QByteArray NewsRecord::encode(const NewsEntry& entry) {
    return QJsonDocument(toJson(entry)).toJson(QJsonDocument::Compact);
}

std::optional<NewsEntry> NewsRecord::decode(const QByteArray& json) {
    return fromJson(QJsonDocument::fromJson(json).object());
}

bool NewsRecord::clear() {
    load();
    QDateTime upTo = now();
    if (!m_content.entries.isEmpty() && m_content.entries.last().found > upTo)
        upTo = m_content.entries.last().found;
    m_clearedAt = upTo;
    m_pending.clear();
    return write();
}
