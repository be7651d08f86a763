#include "engine/kelvopage.h"

#include "engine/browserwindow.h"
#include "engine/engine.h"
#include "engine/renderers.h"
#include "platform/desktopproxy.h"

#include <QAuthenticator>
#include <QInputDialog>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace engine {
namespace {

// The page's own words, kept short in the log.
QString logged(const QString& text) {
    return text.size() <= 200 ? text : text.left(199) + u'…';
}

QString from(const QUrl& origin) {
    return origin.host().isEmpty() ? QStringLiteral("このページ") : origin.host();
}

QList<KelvoPage*>& livePages() {
    static QList<KelvoPage*> pages;
    return pages;
}

} // namespace

KelvoPage::~KelvoPage() {
    livePages().removeAll(this);
}

bool KelvoPage::anyUsesRenderer(qint64 pid) {
    const QList<KelvoPage*>& pages = livePages();
    return std::any_of(pages.begin(), pages.end(),
                       [pid](KelvoPage* p) { return p->renderProcessPid() == pid; });
}

KelvoPage::KelvoPage(QObject* parent) : QWebEnginePage(sharedProfile(), parent) {
    livePages() << this;
    followRendererStarts(this);
    // The desktop's proxy credentials, once per proxy until a page loads: a
    // refused pair falls to the member's window (or, hidden, to a failed load).
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl&, QAuthenticator* auth, const QString& proxyHost) {
                if (m_proxiesAnswered.contains(proxyHost))
                    return;
                const auto credentials = platform::desktopProxyCredentials(proxyHost);
                if (!credentials)
                    return;
                m_proxiesAnswered << proxyHost;
                auth->setUser(credentials->user);
                auth->setPassword(credentials->password);
                qCInfo(lcEngine) << "the desktop's credentials given to the proxy" << proxyHost;
            });
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (ok)
            m_proxiesAnswered.clear();
    });
}

QWebEnginePage* KelvoPage::createWindow(WebWindowType) {
    if (!inMemberWindow()) {
        // A campaign or survey window every minute, and one that would hold
        // off the renewal: the page gets nothing, as with a popup blocker.
        qCInfo(lcEngine) << "a window asked for by the hidden page was refused:" << url();
        return nullptr;
    }
    auto* page = new KelvoPage;
    auto* window = new BrowserWindow(page);
    window->show();
    return page;
}

// Qt's own answer is an application-modal box that every window, the tray
// and the checks would wait behind: here a box of the member's window only,
// and none at all for the hidden page. confirm() and prompt() want their
// answer before they return: their box waits in a loop of its own, in
// which the program's events go on.
void KelvoPage::javaScriptAlert(const QUrl& securityOrigin, const QString& msg) {
    if (!inMemberWindow()) {
        qCInfo(lcEngine) << "alert() of the hidden page dismissed:" << logged(msg);
        return;
    }
    // Nothing to answer: shown without waiting for it, so that nothing of
    // the program (a command opening this window) waits on the member. One
    // at a time: a page that alerts in a loop does not bury the window.
    if (m_alert) {
        qCInfo(lcEngine) << "alert() while another is shown, dropped:" << logged(msg);
        return;
    }
    auto* box =
        new QMessageBox(QMessageBox::Information, from(securityOrigin), msg, QMessageBox::Ok, m_window);
    m_alert = box;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

bool KelvoPage::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) {
    if (!inMemberWindow()) {
        qCInfo(lcEngine) << "confirm() of the hidden page cancelled:" << logged(msg);
        return false;
    }
    QMessageBox box(QMessageBox::Question, from(securityOrigin), msg, QMessageBox::Ok | QMessageBox::Cancel,
                    m_window);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::WindowModal);
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    return box.exec() == QMessageBox::Ok;
}

bool KelvoPage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                                 QString* result) {
    if (!inMemberWindow()) {
        qCInfo(lcEngine) << "prompt() of the hidden page cancelled:" << logged(msg);
        return false;
    }
    QInputDialog dialog(m_window);
    dialog.setWindowTitle(from(securityOrigin));
    dialog.setLabelText(msg);
    if (auto* label = dialog.findChild<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    dialog.setTextValue(defaultValue);
    dialog.setCancelButtonText(QStringLiteral("キャンセル"));
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *result = dialog.textValue();
    return true;
}

} // namespace engine
