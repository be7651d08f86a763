#include "engine/browserwindow.h"

#include "platform/browser.h"

#include "engine/engine.h"
#include "engine/kelvopage.h"
#include "platform/appicon.h"

#include <QAction>
#include <QLineEdit>
#include <QShortcut>
#include <QToolBar>
#include <QWebEngineView>

namespace engine {
namespace {}

KelvoPage::KelvoPage(QObject* parent) : QWebEnginePage(sharedProfile(), parent) {}

QWebEnginePage* KelvoPage::createWindow(WebWindowType) {
    auto* page = new KelvoPage;
    auto* window = new BrowserWindow(page);
    window->show();
    return page;
}

BrowserWindow::BrowserWindow(QWebEnginePage* page) : m_view(new QWebEngineView(this)) {
    platform::MemberWindows::instance()->opened();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(platform::appIcon());
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
    platform::MemberWindows::instance()->closed();
}

int BrowserWindow::openCount() {
    return platform::MemberWindows::instance()->openCount();
}

} // namespace engine
