#include "engine/browserwindow.h"

#include "platform/browser.h"

#include "engine/browserprefs.h"
#include "engine/downloads.h"
#include "engine/engine.h"
#include "engine/findbar.h"
#include "engine/hangbar.h"
#include "engine/kelvopage.h"
#include "engine/pageprompts.h"
#include "platform/appicon.h"
#include "platform/memory.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWheelEvent>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace engine {
namespace {

QList<BrowserWindow*>& windows() {
    static QList<BrowserWindow*> all;
    return all;
}

// The engine's own menu entries, in the member's language.
void nameActions(QWebEngineView* view) {
    const std::pair<QWebEnginePage::WebAction, const char16_t*> names[] = {
        {QWebEnginePage::Back, u"戻る(&B)"},
        {QWebEnginePage::Forward, u"進む(&F)"},
        {QWebEnginePage::Reload, u"再読み込み(&R)"},
        {QWebEnginePage::Stop, u"中止"},
        {QWebEnginePage::Cut, u"切り取り(&T)"},
        {QWebEnginePage::Copy, u"コピー(&C)"},
        {QWebEnginePage::Paste, u"貼り付け(&P)"},
        {QWebEnginePage::PasteAndMatchStyle, u"書式なしで貼り付け"},
        {QWebEnginePage::Undo, u"元に戻す(&U)"},
        {QWebEnginePage::Redo, u"やり直す(&E)"},
        {QWebEnginePage::SelectAll, u"すべて選択(&A)"},
        {QWebEnginePage::Unselect, u"選択を解除"},
        {QWebEnginePage::OpenLinkInThisWindow, u"リンクをこのウィンドウで開く"},
        {QWebEnginePage::OpenLinkInNewWindow, u"リンクを新しいウィンドウで開く(&W)"},
        {QWebEnginePage::OpenLinkInNewTab, u"リンクを新しいウィンドウで開く"},
        {QWebEnginePage::OpenLinkInNewBackgroundTab, u"リンクを新しいウィンドウで開く"},
        {QWebEnginePage::CopyLinkToClipboard, u"リンクのアドレスをコピー(&E)"},
        {QWebEnginePage::DownloadLinkToDisk, u"名前を付けてリンク先を保存(&K)"},
        {QWebEnginePage::CopyImageToClipboard, u"画像をコピー(&Y)"},
        {QWebEnginePage::CopyImageUrlToClipboard, u"画像のアドレスをコピー(&O)"},
        {QWebEnginePage::DownloadImageToDisk, u"名前を付けて画像を保存(&V)"},
        {QWebEnginePage::CopyMediaUrlToClipboard, u"メディアのアドレスをコピー"},
        {QWebEnginePage::DownloadMediaToDisk, u"メディアを保存"},
        {QWebEnginePage::ToggleMediaPlayPause, u"再生 / 一時停止"},
        {QWebEnginePage::ToggleMediaMute, u"ミュート"},
        {QWebEnginePage::ToggleMediaLoop, u"ループ再生"},
        {QWebEnginePage::ToggleMediaControls, u"コントロールを表示"},
        {QWebEnginePage::ExitFullScreen, u"全画面表示を終了"},
        {QWebEnginePage::SavePage, u"名前を付けて保存(&A)"},
        {QWebEnginePage::ViewSource, u"ページのソースを表示(&S)"},
    };
    for (const auto& [action, text] : names)
        view->pageAction(action)->setText(QString::fromUtf16(text));
}

QList<QKeySequence> keys(std::initializer_list<QKeySequence> wanted, QKeySequence::StandardKey standard) {
    QList<QKeySequence> all = QKeySequence::keyBindings(standard);
    for (const QKeySequence& key : wanted) {
        if (!all.contains(key))
            all << key;
    }
    // Backspace goes back on some desktops; here it must stay the page's key.
    all.removeAll(QKeySequence(Qt::Key_Backspace));
    return all;
}

} // namespace

BrowserWindow::BrowserWindow(QWebEnginePage* page)
    : m_view(new QWebEngineView), m_stack(new QStackedWidget), m_problem(new QLabel),
      m_progress(new QProgressBar), m_findBar(new FindBar), m_prompts(new PagePrompts(page, this)),
      m_shelf(new DownloadShelf(this)),
      m_hangBar(new HangBar(page, this, [this] { return m_stack->currentWidget() == m_view; })) {
    platform::MemberWindows::instance()->opened();
    windows() << this;
    Downloads::instance(); // downloads are taken from the first window on
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(platform::appIcon());
    page->setParent(this);
    if (auto* own = qobject_cast<KelvoPage*>(page))
        own->setMemberWindow(this);
    // What a member's page may do that the hidden browser's may not.
    page->settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, true);
    page->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, true); // PDFs shown inline
    page->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    m_view->setPage(page);
    nameActions(m_view);
    m_findBar->setPage(page);

    auto* problemPage = new QWidget;
    auto* problemLayout = new QVBoxLayout(problemPage);
    m_problem->setWordWrap(true);
    m_problem->setAlignment(Qt::AlignCenter);
    m_problem->setTextFormat(Qt::PlainText);
    auto* again = new QPushButton(QStringLiteral("再読み込み"));
    problemLayout->addStretch();
    problemLayout->addWidget(m_problem);
    problemLayout->addWidget(again, 0, Qt::AlignCenter);
    problemLayout->addStretch();
    connect(again, &QPushButton::clicked, this, &BrowserWindow::reloadAfterProblem);
    m_stack->addWidget(m_view);
    m_stack->addWidget(problemPage);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_prompts);
    layout->addWidget(m_hangBar);
    layout->addWidget(m_stack, 1);
    layout->addWidget(m_findBar);
    layout->addWidget(m_shelf);
    setCentralWidget(central);

    m_progress->setMaximumWidth(160);
    m_progress->setMaximumHeight(14);
    m_progress->setTextVisible(false);
    m_progress->setAccessibleName(QStringLiteral("読み込みの進み具合"));
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progress);

    buildToolBar();
    addShortcuts();

    connect(m_view, &QWebEngineView::urlChanged, this, [this](const QUrl& url) {
        m_address->setText(url.toDisplayString());
        applySiteZoom();
    });
    connect(m_view, &QWebEngineView::titleChanged, this, &QWidget::setWindowTitle);
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        if (url.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(url);
    });
    connect(page, &QWebEnginePage::loadStarted, this, [this] { loadingChanged(true); });
    connect(page, &QWebEnginePage::loadProgress, m_progress, &QProgressBar::setValue);
    connect(page, &QWebEnginePage::loadFinished, this, [this] {
        loadingChanged(false);
        applySiteZoom(); // the engine may start a new document at its own level
    });
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        qCDebug(lcEngine) << "member window load" << info.status() << info.url() << info.errorDomain()
                          << info.errorCode();
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus &&
            info.errorDomain() == QWebEngineLoadingInfo::CertificateErrorDomain) {
            // The engine refused the certificate: nothing was sent to the site.
            m_problemUrl = info.url();
            showProblem(QStringLiteral("サイトの証明書を確認できないため接続しませんでした。\n") +
                        info.url().toDisplayString());
        } else if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) {
            m_stack->setCurrentWidget(m_view);
        }
    });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status) {
                if (status == QWebEnginePage::NormalTerminationStatus)
                    return;
                m_problemUrl = m_view->url();
                if (m_pageFullScreen)
                    pageFullScreen(false);
                showProblem(QStringLiteral("このページを表示していたプロセスが終了しました。\n"
                                           "再読み込みすると、もう一度表示します。"));
            });
    connect(page, &QWebEnginePage::fullScreenRequested, this, [this](QWebEngineFullScreenRequest request) {
        request.accept();
        pageFullScreen(request.toggleOn());
    });
    connect(page, &QWebEnginePage::windowCloseRequested, this, &QWidget::close);
    connect(m_view, &QWebEngineView::printRequested, this, &BrowserWindow::print); // window.print()
    connect(m_findBar, &FindBar::closed, this, [this] { m_view->setFocus(); });

    // Ctrl+wheel zooms, as in browsers; the engine's own widget takes the
    // wheel, and it may be made anew for a new renderer.
    m_view->installEventFilter(this);
    for (QWidget* child : m_view->findChildren<QWidget*>())
        child->installEventFilter(this);

    if (!restoreGeometry(lastWindowGeometry()))
        resize(1024, 768);
}

BrowserWindow::~BrowserWindow() {
    windows().removeAll(this);
    // The page must go before the view that shows it, and its questions before it.
    delete m_prompts;
    delete m_hangBar;
    if (QWebEnginePage* page = m_view->page()) {
        m_view->setPage(nullptr);
        delete page;
    }
    platform::MemberWindows::instance()->closed();
    // What the window's page held is given back once its renderer has gone.
    platform::releaseFreedMemorySoon();
}

int BrowserWindow::openCount() {
    return platform::MemberWindows::instance()->openCount();
}

void BrowserWindow::buildToolBar() {
    m_bar = addToolBar(QStringLiteral("ナビゲーション"));
    m_bar->setMovable(false);
    m_bar->setContextMenuPolicy(Qt::PreventContextMenu);
    QAction* back = m_view->pageAction(QWebEnginePage::Back);
    QAction* forward = m_view->pageAction(QWebEnginePage::Forward);
    back->setIconText(QStringLiteral("戻る"));
    forward->setIconText(QStringLiteral("進む"));
    back->setToolTip(QStringLiteral("戻る (Alt+←)"));
    forward->setToolTip(QStringLiteral("進む (Alt+→)"));
    m_bar->addAction(back);
    m_bar->addAction(forward);
    m_reload = m_bar->addAction(QStringLiteral("再読み込み"), this, &BrowserWindow::reload);
    m_reload->setToolTip(QStringLiteral("再読み込み (F5)"));
    m_address = new QLineEdit(m_bar);
    m_address->setAccessibleName(QStringLiteral("アドレス"));
    m_bar->addWidget(m_address);
    connect(m_address, &QLineEdit::returnPressed, this, [this] {
        m_view->setUrl(QUrl::fromUserInput(m_address->text()));
        m_view->setFocus(); // Space and the arrows scroll the page, as in browsers
    });
    m_zoom = new QToolButton(m_bar);
    m_zoom->setToolTip(QStringLiteral("100% に戻す (Ctrl+0)"));
    m_zoomAction = m_bar->addWidget(m_zoom);
    m_zoomAction->setVisible(false);
    connect(m_zoom, &QToolButton::clicked, this, &BrowserWindow::zoomReset);

    auto* menu = new QMenu(this);
    menu->addAction(QStringLiteral("ページ内検索(&F)...\tCtrl+F"), this, &BrowserWindow::openFind);
    menu->addAction(QStringLiteral("印刷(&P)...\tCtrl+P"), this, &BrowserWindow::print);
    menu->addSeparator();
    menu->addAction(QStringLiteral("拡大(&I)\tCtrl++"), this, &BrowserWindow::zoomIn);
    menu->addAction(QStringLiteral("縮小(&D)\tCtrl+-"), this, &BrowserWindow::zoomOut);
    menu->addAction(QStringLiteral("100% に戻す(&Z)\tCtrl+0"), this, &BrowserWindow::zoomReset);
    menu->addAction(QStringLiteral("全画面表示(&U)\tF11"), this, &BrowserWindow::toggleFullScreen);
    menu->addSeparator();
    menu->addAction(QStringLiteral("既定のブラウザで開く(&B)"), this, &BrowserWindow::openInDesktopBrowser);
    menu->addSeparator();
    menu->addAction(QStringLiteral("ウィンドウを閉じる(&C)\tCtrl+W"), this, &BrowserWindow::closeWindow);
    auto* more = new QToolButton(m_bar);
    more->setText(QStringLiteral("メニュー"));
    more->setToolTip(QStringLiteral("メニュー (Alt+F)"));
    more->setAccessibleName(QStringLiteral("メニュー"));
    more->setMenu(menu);
    more->setPopupMode(QToolButton::InstantPopup);
    m_bar->addWidget(more);
    // Alt+F or Alt+E opens the menu, as in Chromium.
    for (const QKeySequence& key : {QKeySequence(Qt::ALT | Qt::Key_F), QKeySequence(Qt::ALT | Qt::Key_E)}) {
        auto* open = new QAction(this);
        open->setShortcut(key);
        connect(open, &QAction::triggered, more, &QToolButton::showMenu);
        addAction(open);
    }
}

QAction* BrowserWindow::addShortcut(const QString& text, const QList<QKeySequence>& keys,
                                    void (BrowserWindow::*slot)()) {
    auto* action = new QAction(text, this);
    action->setShortcuts(keys);
    connect(action, &QAction::triggered, this, slot);
    addAction(action);
    return action;
}

void BrowserWindow::addShortcuts() {
    using K = QKeySequence;
    addShortcut(QStringLiteral("再読み込み"), keys({K(Qt::Key_F5), K(Qt::CTRL | Qt::Key_R)}, K::Refresh),
                &BrowserWindow::reload);
    addShortcut(QStringLiteral("戻る"), keys({K(Qt::ALT | Qt::Key_Left)}, K::Back), &BrowserWindow::goBack);
    addShortcut(QStringLiteral("進む"), keys({K(Qt::ALT | Qt::Key_Right)}, K::Forward),
                &BrowserWindow::goForward);
    addShortcut(QStringLiteral("閉じる"), keys({K(Qt::CTRL | Qt::Key_W)}, K::Close),
                &BrowserWindow::closeWindow);
    addShortcut(QStringLiteral("アドレス"), {K(Qt::CTRL | Qt::Key_L), K(Qt::Key_F6), K(Qt::ALT | Qt::Key_D)},
                &BrowserWindow::focusAddress);
    addShortcut(QStringLiteral("ページ内検索"), keys({K(Qt::CTRL | Qt::Key_F)}, K::Find),
                &BrowserWindow::openFind);
    addShortcut(QStringLiteral("次を検索"), keys({K(Qt::Key_F3)}, K::FindNext), &BrowserWindow::findNext);
    addShortcut(QStringLiteral("前を検索"), keys({K(Qt::SHIFT | Qt::Key_F3)}, K::FindPrevious),
                &BrowserWindow::findPrevious);
    addShortcut(QStringLiteral("拡大"),
                keys({K(Qt::CTRL | Qt::Key_Plus), K(Qt::CTRL | Qt::Key_Equal),
                      K(Qt::CTRL | Qt::SHIFT | Qt::Key_Equal), K(Qt::CTRL | Qt::SHIFT | Qt::Key_Plus)},
                     K::ZoomIn),
                &BrowserWindow::zoomIn);
    addShortcut(QStringLiteral("縮小"), keys({K(Qt::CTRL | Qt::Key_Minus)}, K::ZoomOut),
                &BrowserWindow::zoomOut);
    addShortcut(QStringLiteral("100% に戻す"), {K(Qt::CTRL | Qt::Key_0)}, &BrowserWindow::zoomReset);
    addShortcut(QStringLiteral("印刷"), keys({K(Qt::CTRL | Qt::Key_P)}, K::Print), &BrowserWindow::print);
    addShortcut(QStringLiteral("全画面表示"), keys({K(Qt::Key_F11)}, K::FullScreen),
                &BrowserWindow::toggleFullScreen);
    // Esc is the page's key but while a load runs (it stops it) or the page
    // is in full screen (it leaves it).
    m_escape = addShortcut(QStringLiteral("中止"), {K(Qt::Key_Escape)}, &BrowserWindow::escape);
    m_escape->setEnabled(false);
}

QString BrowserWindow::problem() const {
    return m_stack->currentWidget() == m_view ? QString() : m_problem->text();
}

QString BrowserWindow::zoomText() const {
    return m_zoomAction->isVisible() ? m_zoom->text() : QString();
}

void BrowserWindow::applySiteZoom() {
    const qreal factor = siteZoom(m_view->url());
    if (!qFuzzyCompare(m_view->zoomFactor(), factor))
        m_view->setZoomFactor(factor);
    showZoom();
}

void BrowserWindow::showZoom() {
    const qreal factor = m_view->zoomFactor();
    m_zoom->setText(QString::number(qRound(factor * 100)) + u'%');
    m_zoomAction->setVisible(qRound(factor * 100) != 100);
}

void BrowserWindow::zoomBy(int direction) {
    setZoom(nextZoom(m_view->zoomFactor(), direction));
}

void BrowserWindow::setZoom(qreal factor) {
    m_view->setZoomFactor(factor);
    setSiteZoom(m_view->url(), factor);
    showZoom();
    // As in browsers, the site's other windows follow.
    const QString host = m_view->url().host();
    for (BrowserWindow* other : windows()) {
        if (other != this && other->m_view->url().host() == host)
            other->applySiteZoom();
    }
}

void BrowserWindow::print() {
    if (m_printing)
        return;
    m_printing = true;
    auto* printer = new QPrinter(QPrinter::HighResolution);
    printer->setDocName(windowTitle());
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer: the dialog offers a PDF file, in the download folder.
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        const QString title = downloadFileName(windowTitle().replace(u'/', u'-'));
        printer->setOutputFileName(freeDownloadPath(folder, title + QStringLiteral(".pdf"), {}));
    }
    auto* dialog = new QPrintDialog(printer, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("印刷"));
    connect(dialog, &QDialog::finished, this, [this, dialog, printer](int result) {
        if (result != QDialog::Accepted) {
            delete printer;
            m_printing = false;
            return;
        }
        // Printing runs on while the member goes on reading.
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection =
            connect(m_view, &QWebEngineView::printFinished, this, [this, printer, connection](bool ok) {
                disconnect(*connection);
                statusBar()->showMessage(
                    ok ? QStringLiteral("印刷しました") : QStringLiteral("印刷できませんでした"), 5000);
                delete printer;
                m_printing = false;
            });
        m_view->print(printer);
        Q_UNUSED(dialog);
    });
    dialog->open();
}

void BrowserWindow::loadingChanged(bool loading) {
    m_loading = loading;
    m_progress->setVisible(loading);
    m_reload->setText(loading ? QStringLiteral("中止") : QStringLiteral("再読み込み"));
    m_reload->setToolTip(loading ? QStringLiteral("読み込みを中止 (Esc)")
                                 : QStringLiteral("再読み込み (F5)"));
    m_escape->setEnabled(m_loading || m_pageFullScreen);
}

void BrowserWindow::showProblem(const QString& text) {
    m_problem->setText(text);
    m_stack->setCurrentIndex(1);
}

void BrowserWindow::reloadAfterProblem() {
    m_stack->setCurrentWidget(m_view);
    if (m_problemUrl.isValid())
        m_view->load(m_problemUrl);
    else
        m_view->reload();
}

void BrowserWindow::showChrome(bool shown) {
    m_bar->setVisible(shown);
    statusBar()->setVisible(shown);
}

void BrowserWindow::pageFullScreen(bool on) {
    if (on == m_pageFullScreen)
        return;
    m_pageFullScreen = on;
    showChrome(!on);
    if (on)
        showFullScreen();
    else
        showNormal();
    m_escape->setEnabled(m_loading || m_pageFullScreen);
}

void BrowserWindow::toggleFullScreen() {
    if (m_pageFullScreen) {
        m_view->triggerPageAction(QWebEnginePage::ExitFullScreen);
        return;
    }
    const bool on = !isFullScreen();
    showChrome(!on);
    if (on)
        showFullScreen();
    else
        showNormal();
}

void BrowserWindow::escape() {
    if (m_pageFullScreen)
        m_view->triggerPageAction(QWebEnginePage::ExitFullScreen);
    else if (m_loading)
        m_view->stop();
}

void BrowserWindow::goBack() {
    m_view->back();
}

void BrowserWindow::goForward() {
    m_view->forward();
}

void BrowserWindow::reload() {
    if (m_loading)
        m_view->stop();
    else if (m_stack->currentWidget() != m_view)
        reloadAfterProblem();
    else
        m_view->reload();
}

void BrowserWindow::focusAddress() {
    if (!m_bar->isVisible())
        showChrome(true);
    m_address->setFocus(Qt::ShortcutFocusReason);
    m_address->selectAll();
}

void BrowserWindow::openFind() {
    m_findBar->open();
}

void BrowserWindow::findNext() {
    m_findBar->findNext(false);
}

void BrowserWindow::findPrevious() {
    m_findBar->findNext(true);
}

void BrowserWindow::openInDesktopBrowser() {
    const QUrl url = m_view->url();
    if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
        QDesktopServices::openUrl(url);
}

void BrowserWindow::closeEvent(QCloseEvent* event) {
    // The next window opens where the member left this one.
    if (!isFullScreen())
        setLastWindowGeometry(saveGeometry());
    Downloads::instance()->windowClosing(m_shelf);
    QMainWindow::closeEvent(event);
}

void BrowserWindow::changeEvent(QEvent* event) {
    // A window left full screen by the desktop gets its bars back.
    if (event->type() == QEvent::WindowStateChange && !isFullScreen() && !m_bar->isVisible())
        showChrome(true);
    QMainWindow::changeEvent(event);
}

bool BrowserWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && event->type() == QEvent::ChildAdded) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            child->installEventFilter(this);
    } else if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers().testFlag(Qt::ControlModifier) && wheel->angleDelta().y() != 0) {
            zoomBy(wheel->angleDelta().y() > 0 ? 1 : -1);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace engine
