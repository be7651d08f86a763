#pragma once

#include <QFrame>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QWebEngineDownloadRequest;

namespace engine {

// The name a download is saved under: the site's name without any folder
// part, or "download" when the site gave none.
QString downloadFileName(const QString& suggested);
// `name` in `folder`, or, when that is taken (on disk, or by a download
// under way), "name (1).ext", "name (2).ext"... as browsers do: nothing the
// member has is ever overwritten.
QString freeDownloadPath(const QString& folder, const QString& name, const QSet<QString>& taken);

// One download: its name, its progress, how it ended, and what the member
// may do with it (cancel; open it or its folder with the desktop's handler).
class DownloadItem : public QFrame {
    Q_OBJECT
public:
    DownloadItem(QWebEngineDownloadRequest* request, const QString& path, QWidget* parent);
    ~DownloadItem() override;

    QString path() const { return m_path; }
    bool running() const;
    void cancel();
    QString state() const; // what the member reads
    // The engine resumes a download that was cut off with a new request for it.
    void resumedAs(QWebEngineDownloadRequest* request);

Q_SIGNALS:
    void ended();

private:
    void update();
    void end();

    QPointer<QWebEngineDownloadRequest> m_request;
    QString m_path;
    QLabel* m_name;
    QLabel* m_status;
    QProgressBar* m_progress;
    QPushButton* m_cancel;
    QPushButton* m_open;
    QPushButton* m_folder;
    bool m_ended = false;
};

// The downloads of one window, shown along its bottom edge.
class DownloadShelf : public QFrame {
    Q_OBJECT
public:
    explicit DownloadShelf(QWidget* parent);
    void add(DownloadItem* item);
    QList<DownloadItem*> items() const;
    QList<DownloadItem*> runningItems() const;

private:
    QVBoxLayout* m_rows;
};

// Where downloads go on when the window they started in has been closed.
// A member window of its own: the program lives on until it is closed.
class DownloadsWindow : public QWidget {
    Q_OBJECT
public:
    DownloadsWindow();
    ~DownloadsWindow() override;
    DownloadShelf* shelf() const { return m_shelf; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    DownloadShelf* m_shelf;
    bool m_confirmed = false;
};

// Takes every download of the shared profile: saved whole in the desktop's
// download folder under a free name, on the member's session, shown in the
// window it started in. The hidden browser never downloads.
class Downloads : public QObject {
    Q_OBJECT
public:
    static Downloads* instance();
    // A window is closing: its downloads under way go on in the downloads window.
    void windowClosing(DownloadShelf* shelf);
    // For tests: the downloads window, if one is open.
    DownloadsWindow* window() const { return m_window; }

private:
    Downloads();
    void requested(QWebEngineDownloadRequest* request);
    void cancelAllAtExit();
    DownloadsWindow* downloadsWindow();

    QSet<QString> m_taken;                          // paths of downloads under way
    QHash<quint32, QPointer<DownloadItem>> m_items; // by the engine's download id
    QPointer<DownloadsWindow> m_window;
};

} // namespace engine
