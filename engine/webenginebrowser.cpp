#include "engine/webenginebrowser.h"

#include "engine/browserwindow.h"
#include "engine/kelvopage.h"
#include "engine/renderers.h"
#include "platform/clock.h"
#include "platform/engineprocess.h"
#include "platform/memory.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QScreen>
#include <QTimer>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineSettings>
#include <QWebEngineView>

Q_LOGGING_CATEGORY(lcEngine, "kelvo.engine", QtWarningMsg)

using namespace platform;

namespace engine {
namespace {

// Bounds of one script call. A hidden page's script spinning on the page's
// only thread must cost the machine seconds, not the whole tick.
constexpr int ScriptTimeoutMs = 15000;
constexpr int HiddenScriptTimeoutMs = 5000;

BrowserError gone() {
    return BrowserError(ErrProcessGone, QStringLiteral("The browser's process is no longer there"));
}

BrowserError noObject(const QString& what) {
    return BrowserError(ErrNoObject, QStringLiteral("Object not set: ") + what);
}

// Arguments go into scripts as JSON literals, never pasted as source text.
QString jsonArgs(const QJsonArray& args) {
    return QString::fromUtf8(QJsonDocument(args).toJson(QJsonDocument::Compact));
}

QString withCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    QChar previous;
    for (QChar c : text) {
        if (c == u'\n' && previous != u'\r')
            out += u'\r';
        out += c;
        previous = c;
    }
    return out;
}

BrowserPtr create() {
    if (!QGuiApplication::instance())
        throw BrowserError(ErrCannotCreate, QStringLiteral("No application object"));
    return std::make_shared<WebEngineBrowser>();
}

} // namespace

void install() {
    setBrowserFactory(&create);
}

WebEngineBrowser::WebEngineBrowser() {
    makePage();
}

void WebEngineBrowser::makePage() {
    m_page = new KelvoPage;
    connect(m_page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status) {
                if (status == QWebEnginePage::NormalTerminationStatus)
                    return;
                qCWarning(lcEngine) << "the page's process ended:" << status;
                m_gone = true;
                m_awaitingStart = false;
                m_loadsInFlight = 0;
            });
    connect(m_page, &QObject::destroyed, this, [this] { m_gone = true; });
    // Hidden, it has no use for the page's icon: one request less per check.
    m_page->settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, m_visible);

    // A page without a view gets no frames, so pages that draw their articles
    // in animation frames or on coming into view never finish. A view parked
    // beyond every screen renders, stays unseen and has no taskbar entry.
    m_parkedView = new QWebEngineView;
    m_parkedView->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                                 Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
    m_parkedView->setAttribute(Qt::WA_ShowWithoutActivating);
    m_parkedView->setPage(m_page);
    m_parkedView->resize(1280, 800);
    QRect desktop;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        desktop = screen->virtualGeometry();
    m_parkedView->move(desktop.x() + desktop.width() + 64, desktop.y());
    m_parkedView->show();
}

void WebEngineBrowser::dropPage() {
    if (m_page) { // none while the browser rests
        disconnect(m_page, nullptr, this, nullptr);
        endRendererLeftBy(m_page);
    }
    if (m_parkedView) {
        m_parkedView->setPage(nullptr);
        delete m_parkedView;
    }
    delete m_page;
}

WebEngineBrowser::~WebEngineBrowser() {
    // A visible browser's window belongs to the member from now on.
    if (!m_window)
        dropPage();
}

qint64 WebEngineBrowser::rendererPid() const {
    return m_page ? m_page->renderProcessPid() : 0;
}

QWebEnginePage* WebEngineBrowser::page() const {
    return m_page;
}

void WebEngineBrowser::ensureAlive() const {
    if (m_gone || (!m_page && !m_resting))
        throw gone();
}

void WebEngineBrowser::startLoad() {
    // Busy from the moment the call returns, not from the engine's later
    // loadStarted; a stale loadFinished of an earlier load must not end it.
    m_awaitingStart = true;
    m_loadAskedMs = platform::clock().elapsedMs();
    m_loadError.clear();
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        m_awaitingStart = false;
        ++m_loadsInFlight;
        return;
    }
    if (m_loadsInFlight > 0)
        --m_loadsInFlight;
    // The engine shows its own error page for a load that brought nothing, and
    // reports a page that came with an HTTP error status as failed too
    // (HttpStatusCodeDomain); neither is the site's page.
    const bool failed =
        info.status() == QWebEngineLoadingInfo::LoadFailedStatus || info.isErrorPage() ||
        (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400);
    if (failed && info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
        // Its error string is a template of the engine's error page.
        m_loadError = QStringLiteral("HTTP ") + QString::number(info.errorCode());
    } else if (failed) {
        m_loadError =
            QString::fromLatin1(
                QMetaEnum::fromType<QWebEngineLoadingInfo::ErrorDomain>().valueToKey(info.errorDomain())) +
            u' ' + QString::number(info.errorCode()) + QStringLiteral(": ") + info.errorString();
    } else if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) {
        m_loadError.clear();
    }
    qCDebug(lcEngine) << "load" << info.status() << info.url() << "renderer" << m_page->renderProcessPid()
                      << "visible" << m_visible << "error page" << info.isErrorPage() << info.errorDomain()
                      << info.errorCode() << info.errorString();
}

QString WebEngineBrowser::LoadError() {
    ensureAlive();
    return m_loadError;
}

QString WebEngineBrowser::LocationURL() {
    ensureAlive();
    return (m_resting ? m_restUrl : m_page->url()).toString();
}

void WebEngineBrowser::Rest() {
    // Only the hidden browser, idle and alive, rests: its page goes, and with
    // its renderer most of the engine's memory, until the next check. A page
    // that is made anew loads only what it is asked to; one discarded and
    // woken would restore its old page first, a second request to the site.
    if (m_gone || !m_page || m_window || !m_parkedView || m_resting || Busy())
        return;
    m_restUrl = m_page->url();
    m_resting = true;
    dropPage();
    platform::releaseFreedMemorySoon();
}

// A hidden page that passed a bound is given up, and its renderer with it:
// a spinning script would keep it busy long after, and the next page of
// the site could be put in the same process. The next load makes a new page.
void WebEngineBrowser::abandonPage(const QString& why) {
    if (!m_page || m_window || m_visible)
        return;
    endRenderer(m_page, why);
    m_restUrl = m_page->url();
    m_resting = true;
    m_awaitingStart = false;
    m_loadsInFlight = 0;
    dropPage();
}

void WebEngineBrowser::wake() {
    if (!m_resting)
        return;
    makePage();
    m_resting = false;
}

void WebEngineBrowser::Navigate(const QString& url) {
    ensureAlive();
    wake();
    startLoad();
    load(QUrl(url));
}

void WebEngineBrowser::load(const QUrl& url) {
    if (m_visible) {
        m_page->load(url);
        return;
    }
    // The hidden browser reads what the site says now: never an answer kept
    // from an earlier check, whatever the page's cache headers allowed.
    QWebEngineHttpRequest request(url);
    request.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    m_page->load(request);
}

void WebEngineBrowser::Refresh() {
    ensureAlive();
    const bool wasResting = m_resting;
    wake();
    startLoad();
    if (wasResting)
        load(m_restUrl);
    else
        m_page->triggerAction(QWebEnginePage::Reload);
}

bool WebEngineBrowser::Busy() {
    ensureAlive();
    const bool busy = m_awaitingStart || m_loadsInFlight > 0;
    if (busy && !m_visible && m_page && m_page->renderProcessPid() <= 0 &&
        platform::clock().elapsedMs() - m_loadAskedMs >= RendererStartLimitMs) {
        // Its renderer never came up: no wait can mend that.
        platform::RendererStarts::instance()->failed(QStringLiteral("none came up for ") +
                                                     m_page->url().toString());
        abandonPage(QStringLiteral("it never came up"));
        throw BrowserError(ErrProcessGone, QStringLiteral("The page's process did not start"));
    }
    return busy;
}

void WebEngineBrowser::Stop() {
    ensureAlive();
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Stop);
    m_awaitingStart = false;
    m_loadsInFlight = 0;
    abandonPage(QStringLiteral("its load passed its bound"));
}

QVariant WebEngineBrowser::runScript(const QString& script) {
    ensureAlive();
    if (m_resting) // no document until a page is loaded again
        throw noObject(QStringLiteral("Document"));
    // The answer may come after this object or its page is gone.
    QPointer<QObject> guard(this);
    QPointer<KelvoPage> page(m_page);
    auto answered = std::make_shared<bool>(false);
    auto result = std::make_shared<QVariant>();
    QEventLoop loop;
    QPointer<QEventLoop> loopGuard(&loop);
    m_page->runJavaScript(script, [answered, result, loopGuard](const QVariant& value) {
        *answered = true;
        *result = value;
        if (loopGuard)
            loopGuard->quit();
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    connect(m_page, &QObject::destroyed, &loop, &QEventLoop::quit);
    timeout.start(m_visible ? ScriptTimeoutMs : HiddenScriptTimeoutMs);
    if (!*answered)
        loop.exec(); // the member's windows stay live meanwhile
    if (!guard || !page || m_gone)
        throw gone();
    if (!*answered) {
        abandonPage(QStringLiteral("a script call passed its bound"));
        throw BrowserError(ErrScriptTimeout, QStringLiteral("The page did not answer in time"));
    }
    return *result;
}

QString WebEngineBrowser::BodyInnerText() {
    const QVariant v = runScript(QStringLiteral("(function(){var b=document.body;"
                                                "return b?[true,b.innerText]:[false];})()"));
    const QVariantList answer = v.toList();
    if (answer.isEmpty())
        throw BrowserError(ErrScriptFailed, QStringLiteral("The page did not run the script"));
    if (!answer.at(0).toBool())
        throw noObject(QStringLiteral("Document.Body"));
    return withCrLf(answer.value(1).toString());
}

void WebEngineBrowser::SetElementValue(const QString& id, const QString& value) {
    const QString script = QStringLiteral("(function(id,v){var e=document.getElementById(id);"
                                          "if(!e)return false;e.value=v;return true;}).apply(null,") +
                           jsonArgs({id, value}) + QStringLiteral(")");
    const QVariant v = runScript(script);
    if (!v.toBool())
        throw noObject(QStringLiteral("getElementById(\"") + id + QStringLiteral("\")"));
}

void WebEngineBrowser::SubmitForm(short index) {
    ensureAlive();
    startLoad();
    // The prototype's submit: a field named "submit" cannot shadow it.
    const QString script = QStringLiteral("(function(i){var f=document.forms[i];if(!f)return false;"
                                          "HTMLFormElement.prototype.submit.call(f);return true;})(") +
                           QString::number(index) + QStringLiteral(")");
    bool submitted = false;
    try {
        submitted = runScript(script).toBool();
    } catch (...) {
        m_awaitingStart = false;
        throw;
    }
    if (!submitted) {
        m_awaitingStart = false;
        throw noObject(QStringLiteral("Forms(") + QString::number(index) + QStringLiteral(")"));
    }
}

void WebEngineBrowser::setVisible(bool visible) {
    ensureAlive();
    wake();
    if (visible == m_visible)
        return;
    m_visible = visible;
    if (visible) {
        m_page->settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, true);
        if (!m_window) {
            m_parkedView->setPage(nullptr);
            delete m_parkedView;
            m_window = new BrowserWindow(m_page);
        }
        m_window->show();
        m_window->raise();
    } else if (m_window) {
        m_window->hide();
    }
}

void WebEngineBrowser::Quit() {
    ensureAlive();
    m_gone = true;
    if (m_window)
        m_window->close();
    else
        dropPage();
}

} // namespace engine
