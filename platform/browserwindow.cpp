#include "platform/browserwindow.h"

#include "platform/appicon.h"
#include "platform/engine.h"
#include "platform/kelvopage.h"

#include <QAction>
#include <QLineEdit>
#include <QShortcut>
#include <QToolBar>
#include <QWebEngineView>

namespace platform {
namespace {
int g_openCount = 0;
}

KelvoPage::KelvoPage(QObject* parent) : QWebEnginePage(sharedProfile(), parent) {}

QWebEnginePage* KelvoPage::createWindow(WebWindowType) {
    auto* page = new KelvoPage;
    auto* window = new BrowserWindow(page);
    window->show();
    return page;
}

BrowserWindows* BrowserWindows::instance() {
    static auto* windows = new BrowserWindows;
    return windows;
}

BrowserWindow::BrowserWindow(QWebEnginePage* page) : m_view(new QWebEngineView(this)) {
    ++g_openCount;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(appIcon());
    page->setParent(this);
    m_view->setPage(page);
    setCentralWidget(m_view);

    auto* bar = addToolBar(QStringLiteral("navigation"));
    bar->setMovable(false);
    const std::pair<QWebEnginePage::WebAction, QString> actions[] = {
        {QWebEnginePage::Back, QStringLiteral("戻る")},
        {QWebEnginePage::Forward, QStringLiteral("進む")},
        {QWebEnginePage::Reload, QStringLiteral("再読み込み")}};
    for (const auto& [action, text] : actions) {
        QAction* a = m_view->pageAction(action);
        a->setText(text);
        bar->addAction(a);
    }
    m_address = new QLineEdit(bar);
    bar->addWidget(m_address);

    connect(m_view, &QWebEngineView::urlChanged, this,
            [this](const QUrl& url) { m_address->setText(url.toDisplayString()); });
    connect(m_view, &QWebEngineView::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_address, &QLineEdit::returnPressed, this,
            [this] { m_view->setUrl(QUrl::fromUserInput(m_address->text())); });
    // As in other browsers: Ctrl+L or F6 goes to the address.
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6)}) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            m_address->setFocus(Qt::ShortcutFocusReason);
            m_address->selectAll();
        });
    }
    resize(1024, 768);
}

BrowserWindow::~BrowserWindow() {
    // The page must go before the view that shows it.
    if (QWebEnginePage* page = m_view->page()) {
        m_view->setPage(nullptr);
        delete page;
    }
    if (--g_openCount == 0)
        Q_EMIT BrowserWindows::instance()->allClosed();
}

int BrowserWindow::openCount() {
    return g_openCount;
}

} // namespace platform
