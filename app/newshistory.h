#pragma once

// The main window's part of the record of news: what each change brought is
// kept (report::newsEntry, NewsRecord) and shown in 新着の履歴 (frmHistory),
// whose place is kept beside the member windows' in browser.ini.

#include "storage/newsrecord.h"
#include "storage/textcompare.h"

#include <QObject>
#include <QPointer>

#include <optional>

class frmHistory;

namespace basMain {

class NewsHistory : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~NewsHistory() override;

    static QString FilePath();
    // "未確認の新着 %1 件"
    static const QString UnseenTip;

    // A change found now: an entry, written or held to be written (false).
    bool add(const textcompare::News& news);
    // Writes what is held; true once nothing is.
    bool retry() { return record().retry(); }
    bool allStored() const { return !m_record || m_record->allStored(); }
    QString failure() { return record().failure(); }
    const QList<NewsEntry>& entries() { return record().entries(); }
    NewsRecord& stored() { return record(); }
    // The tip's line on unseen entries; empty when there are none.
    QString tipLine();

    // Shows the window (raised if it is open): its entries are seen now.
    void Show();
    frmHistory* window() const;
    // At the close: it goes with the tray icon.
    void closeWindow();

Q_SIGNALS:
    // The window's 開く, Enter or double click.
    void openTopPage();
    // The unseen count may have changed.
    void changed();
    // A write of the window's asking failed (told by the owner, once).
    void notStored();

private:
    NewsRecord& record();
    void refresh();
    void clear();
    void keepPlace();

    std::optional<NewsRecord> m_record;
    QPointer<frmHistory> m_window;
    QDateTime m_boldAfter; // the seen mark when the window was opened
};

} // namespace basMain
