#include "engine/pageprompts.h"

#include <QAuthenticator>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QVBoxLayout>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace engine {
namespace {

QString who(const QUrl& url) {
    return url.port() > 0 ? url.host() + u':' + QString::number(url.port()) : url.host();
}

} // namespace

QString PagePrompts::featureText(QWebEnginePage::Feature feature) {
    switch (feature) {
    case QWebEnginePage::Notifications:
        return QStringLiteral("通知の表示");
    case QWebEnginePage::Geolocation:
        return QStringLiteral("現在地の使用");
    case QWebEnginePage::MediaAudioCapture:
        return QStringLiteral("マイクの使用");
    case QWebEnginePage::MediaVideoCapture:
        return QStringLiteral("カメラの使用");
    case QWebEnginePage::MediaAudioVideoCapture:
        return QStringLiteral("カメラとマイクの使用");
    case QWebEnginePage::MouseLock:
        return QStringLiteral("マウス ポインタの固定");
    case QWebEnginePage::DesktopVideoCapture:
        return QStringLiteral("画面の共有");
    case QWebEnginePage::DesktopAudioVideoCapture:
        return QStringLiteral("画面と音声の共有");
    }
    return QStringLiteral("特別な許可");
}

PagePrompts::PagePrompts(QWebEnginePage* page, QWidget* window)
    : QFrame(window), m_page(page), m_window(window), m_question(new QLabel(this)) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    m_question->setWordWrap(true);
    auto* allow = new QPushButton(QStringLiteral("許可する(&A)"), this);
    auto* block = new QPushButton(QStringLiteral("ブロック(&N)"), this);
    layout->addWidget(m_question, 1);
    layout->addWidget(allow);
    layout->addWidget(block);
    connect(allow, &QPushButton::clicked, this, [this] { answerPermission(true); });
    connect(block, &QPushButton::clicked, this, [this] { answerPermission(false); });
    hide();

    connect(page, &QWebEnginePage::featurePermissionRequested, this, &PagePrompts::askPermission);
    connect(page, &QWebEnginePage::featurePermissionRequestCanceled, this, &PagePrompts::permissionCancelled);
    // A question belongs to the page that asked it: one left behind is a no.
    connect(page, &QWebEnginePage::loadStarted, this, &PagePrompts::refuseAll);
    connect(page, &QWebEnginePage::authenticationRequired, this,
            [this](const QUrl& url, QAuthenticator* auth) { authenticate(url, auth, QString()); });
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, this, &PagePrompts::authenticate);
}

PagePrompts::~PagePrompts() {
    disconnect(m_page, nullptr, this, nullptr);
}

QString PagePrompts::question() const {
    return isVisible() || !m_permissions.empty() ? m_question->text() : QString();
}

void PagePrompts::askPermission(const QUrl& origin, QWebEnginePage::Feature feature) {
    m_permissions.push_back({origin, feature});
    if (m_permissions.size() == 1)
        showNextPermission();
}

void PagePrompts::permissionCancelled(const QUrl& origin, QWebEnginePage::Feature feature) {
    for (auto it = m_permissions.begin(); it != m_permissions.end(); ++it) {
        if (it->origin == origin && it->feature == feature) {
            const bool shown = it == m_permissions.begin();
            m_permissions.erase(it);
            if (shown)
                showNextPermission();
            return;
        }
    }
}

void PagePrompts::showNextPermission() {
    if (m_permissions.empty()) {
        hide();
        return;
    }
    const Permission& p = m_permissions.front();
    m_question->setText(who(p.origin) + QStringLiteral(" が") + featureText(p.feature) +
                        QStringLiteral("を求めています。"));
    setAccessibleName(m_question->text());
    show();
}

void PagePrompts::answerPermission(bool grant) {
    if (m_permissions.empty())
        return;
    const Permission p = m_permissions.front();
    m_permissions.pop_front();
    qCInfo(lcEngine) << (grant ? "granted" : "refused") << p.feature << "to" << p.origin;
    m_page->setFeaturePermission(p.origin, p.feature,
                                 grant ? QWebEnginePage::PermissionGrantedByUser
                                       : QWebEnginePage::PermissionDeniedByUser);
    showNextPermission();
}

void PagePrompts::refuseAll() {
    while (!m_permissions.empty())
        answerPermission(false);
}

void PagePrompts::authenticate(const QUrl& url, QAuthenticator* auth, const QString& proxyHost) {
    const QString asker = proxyHost.isEmpty() ? url.scheme() + QStringLiteral("://") + who(url) : proxyHost;
    if (!auth->user().isEmpty())
        return; // answered already, with the desktop's proxy credentials
    const QString realm = auth->realm();
    const QString key =
        (proxyHost.isEmpty() ? QStringLiteral("site ") : QStringLiteral("proxy ")) + asker + u'\n' + realm;
    if (auto it = m_answers.find(key); it != m_answers.end()) {
        auth->setUser(it->user);
        auth->setPassword(it->password);
        m_answers.erase(it);
        return;
    }
    // The engine wants the answer before this returns, and waiting for the
    // member here would stop every other window and the checks. So this
    // request is cancelled (a null authenticator: the site's own page for it
    // shows), and the member's answer reloads the page, answered at once.
    *auth = QAuthenticator();
    if (m_dialog)
        return;
    auto* dialog = new QDialog(m_window);
    m_dialog = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("認証が必要です"));
    dialog->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(dialog);
    auto* text = new QLabel(dialog);
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText); // the realm is the site's text
    text->setText((proxyHost.isEmpty() ? asker : QStringLiteral("プロキシ ") + asker) +
                  QStringLiteral(" がユーザー名とパスワードを求めています。") +
                  (realm.isEmpty() ? QString() : QStringLiteral("\n領域: ") + realm));
    layout->addWidget(text);
    auto* form = new QFormLayout;
    auto* user = new QLineEdit(dialog);
    auto* password = new QLineEdit(dialog);
    password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("ユーザー名(&U):"), user);
    form->addRow(QStringLiteral("パスワード(&P):"), password);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton(QStringLiteral("ログイン"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    const QUrl requested = url;
    connect(dialog, &QDialog::accepted, this, [this, key, user, password, requested] {
        m_answers.insert(key, {user->text(), password->text()});
        if (requested.adjusted(QUrl::RemoveFragment) == m_page->requestedUrl().adjusted(QUrl::RemoveFragment))
            m_page->load(requested);
        else
            m_page->triggerAction(QWebEnginePage::Reload);
    });
    dialog->open();
    user->setFocus();
}

} // namespace engine
