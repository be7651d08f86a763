#pragma once

// The record of every change found on the top page, for the member to look
// back at: one entry a change, in a private file beside the snapshot, written
// whole (a new file renamed over the old one) and bounded. The file is the
// truth: it is read again before each write, so an entry written by the copy
// before a renewal is kept. What could not be written is kept in memory and
// written at the next try.

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

struct NewsLine {
    QString text;
    bool update = false; // only a counter or a date changed
    QString was;         // the line it stands for (an edit, an update), else empty
    bool operator==(const NewsLine& o) const { return text == o.text && update == o.update && was == o.was; }
};

struct NewsEntry {
    QDateTime found;       // UTC
    QList<NewsLine> lines; // in page order
    int withheld = 0;      // added lines left out: they hold the member's address or password
    int more = 0;          // added lines beyond MaxLines, not kept
    bool removed = false;  // lines went away
    // The same news, whenever found.
    bool sameNewsAs(const NewsEntry& o) const {
        return lines == o.lines && withheld == o.withheld && more == o.more && removed == o.removed;
    }
};

class NewsRecord {
public:
    static constexpr int MaxEntries = 200;
    static constexpr int MaxDays = 90;
    static constexpr int MaxLines = 20; // of one entry
    static constexpr int Format = 1;

    explicit NewsRecord(QString path);

    QString path() const { return m_path; }
    // Newest last; what is in memory alone included.
    const QList<NewsEntry>& entries();
    // Keeps `entry` (unless the newest entry holds the same news) and writes
    // the record; false when it could not be written: kept in memory, the
    // reason in failure().
    bool add(const NewsEntry& entry);
    // Writes what is held in memory alone; true once nothing is.
    bool retry();
    bool allStored() const { return !m_dirty; }
    // Entries found after the member last opened the record.
    int unseen();
    // Where the member last looked up to: entries found later are unseen.
    QDateTime seenUpTo();
    bool markSeen();
    // Empties the record (the file too).
    bool clear();
    QString failure() const { return m_failure; }
    // Entries not yet written, for a renewed copy to write; it holds them
    // (hold), and this copy forgets them once it runs.
    const QList<NewsEntry>& unwritten() const { return m_pending; }
    void hold(const QList<NewsEntry>& entries);
    void forgetUnwritten();
    // One entry as the file holds it, compact; nothing for what is no entry.
    static QByteArray encode(const NewsEntry& entry);
    static std::optional<NewsEntry> decode(const QByteArray& json);

    // For tests: the clock that the bounds are kept against.
    void setNowForTesting(const QDateTime& now) { m_now = now; }

private:
    struct Content {
        QList<NewsEntry> entries;
        QDateTime seen;
    };
    // The file as it is now; empty when it is there but cannot be used (it
    // is set aside, or when that fails never written over).
    Content readFile();
    // What is written, and shown: the file's content with what is held here.
    Content merged(Content base) const;
    // Reads the file again when it changed since we last read or wrote it.
    void load();
    QString stamp() const;
    bool write();
    void bound(QList<NewsEntry>& entries) const;
    QDateTime now() const;

    QString m_path;
    QString m_stamp; // of the file as last read or written
    bool m_loaded = false;
    Content m_content;
    // Not yet written: entries added, a seen mark, a clear (at that time).
    QList<NewsEntry> m_pending;
    QDateTime m_pendingSeen;
    std::optional<QDateTime> m_clearedAt;
    bool m_dirty = false;
    // The file could neither be read nor set aside: it is never written over.
    bool m_blocked = false;
    QString m_failure;
    QDateTime m_now;
};
