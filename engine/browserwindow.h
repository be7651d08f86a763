#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QUrl>

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QStackedWidget;
class QToolBar;
class QToolButton;
class QWebEnginePage;
class QWebEngineView;

namespace engine {

class DownloadShelf;
class FindBar;
class HangBar;
class PagePrompts;

// A browser window for the member, as ordinary browsers have one: back,
// forward, reload or stop, the address, find, zoom kept per site, print,
// full screen, the link under the pointer and the load's progress, the
// page's questions (credentials, permissions), its downloads, and a page of
// its own when the page's process ends or the site cannot be trusted. The
// member closes it; the program never does.
class BrowserWindow : public QMainWindow {
    Q_OBJECT
public:
    // Takes ownership of the page.
    explicit BrowserWindow(QWebEnginePage* page);
    ~BrowserWindow() override;

    QWebEngineView* view() const { return m_view; }
    FindBar* findBar() const { return m_findBar; }
    PagePrompts* prompts() const { return m_prompts; }
    HangBar* hangBar() const { return m_hangBar; }
    DownloadShelf* shelf() const { return m_shelf; }
    // What the member sees instead of the page, or empty while the page shows.
    QString problem() const;
    // The zoom shown in the toolbar ("125%"), empty at 100%.
    QString zoomText() const;

    void zoomBy(int direction);
    void setZoom(qreal factor);
    void print();

    // Number of member windows open now.
    static int openCount();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildToolBar();
    void addShortcuts();
    QAction* addShortcut(const QString& text, const QList<QKeySequence>& keys, void (BrowserWindow::*slot)());
    void applySiteZoom();
    void showZoom();
    void loadingChanged(bool loading);
    void showProblem(const QString& text);
    void reloadAfterProblem();
    void pageFullScreen(bool on);
    void showChrome(bool shown);
    void toggleFullScreen();
    void escape();
    void goBack();
    void goForward();
    void reload();
    void focusAddress();
    void openFind();
    void findNext();
    void findPrevious();
    void zoomIn() { zoomBy(1); }
    void zoomOut() { zoomBy(-1); }
    void zoomReset() { setZoom(1.0); }
    void openInDesktopBrowser();
    void closeWindow() { close(); }

    QWebEngineView* m_view;
    QStackedWidget* m_stack;
    QLabel* m_problem;
    QToolBar* m_bar = nullptr;
    QLineEdit* m_address = nullptr;
    QAction* m_reload = nullptr;
    QToolButton* m_zoom = nullptr;
    QAction* m_zoomAction = nullptr;
    QProgressBar* m_progress;
    FindBar* m_findBar;
    PagePrompts* m_prompts;
    DownloadShelf* m_shelf;
    HangBar* m_hangBar;
    QAction* m_escape = nullptr;
    bool m_loading = false;
    bool m_pageFullScreen = false;
    bool m_printing = false;
    QUrl m_problemUrl; // the page to load again from the problem page
};

} // namespace engine
