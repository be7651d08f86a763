#pragma once

#include <QMainWindow>

class QLineEdit;
class QWebEnginePage;
class QWebEngineView;

namespace engine {

// A browser window for the member: back, forward, reload, the address, the
// page's title as caption. The member closes it; the program never does.
class BrowserWindow : public QMainWindow {
    Q_OBJECT
public:
    // Takes ownership of the page.
    explicit BrowserWindow(QWebEnginePage* page);
    ~BrowserWindow() override;

    QWebEngineView* view() const { return m_view; }

    // Number of member windows open now.
    static int openCount();

private:
    QWebEngineView* m_view;
    QLineEdit* m_address;
};

} // namespace engine
