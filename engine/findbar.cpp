#include "engine/findbar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace engine {

FindBar::FindBar(QWidget* parent) : QFrame(parent), m_field(new QLineEdit(this)), m_count(new QLabel(this)) {
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    auto* label = new QLabel(QStringLiteral("ページ内検索:"), this);
    label->setBuddy(m_field);
    m_field->setAccessibleName(QStringLiteral("ページ内検索"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    m_count->setMinimumWidth(80);
    auto button = [this](const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        b->setAutoRaise(true);
        return b;
    };
    QToolButton* previous = button(QStringLiteral("▲"), QStringLiteral("前を検索 (Shift+Enter)"));
    QToolButton* next = button(QStringLiteral("▼"), QStringLiteral("次を検索 (Enter)"));
    QToolButton* shut = button(QStringLiteral("✕"), QStringLiteral("検索バーを閉じる (Esc)"));
    layout->addWidget(label);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_count);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(shut);
    connect(previous, &QToolButton::clicked, this, [this] { find(true); });
    connect(next, &QToolButton::clicked, this, [this] { find(false); });
    connect(shut, &QToolButton::clicked, this, &FindBar::dismiss);
    // As in browsers, the page is searched while the word is typed.
    connect(m_field, &QLineEdit::textChanged, this, [this] { find(false); });
    hide();
}

void FindBar::setPage(QWebEnginePage* page) {
    m_page = page;
    connect(page, &QWebEnginePage::findTextFinished, this, &FindBar::showResult);
}

void FindBar::open() {
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
    if (!m_field->text().isEmpty())
        find(false);
}

void FindBar::dismiss() {
    if (m_page)
        m_page->findText(QString()); // takes the highlights away
    m_count->clear();
    hide();
    Q_EMIT closed();
}

void FindBar::findNext(bool backward) {
    if (!isVisible() || m_field->text().isEmpty()) {
        open();
        return;
    }
    find(backward);
}

QString FindBar::matches() const {
    return m_count->text();
}

void FindBar::find(bool backward) {
    if (!m_page)
        return;
    const QString text = m_field->text();
    if (text.isEmpty()) {
        m_page->findText(QString());
        m_count->clear();
        return;
    }
    m_page->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags());
}

void FindBar::showResult(const QWebEngineFindTextResult& result) {
    if (m_field->text().isEmpty())
        return;
    m_count->setText(QStringLiteral("%1 / %2 件").arg(result.activeMatch()).arg(result.numberOfMatches()));
    qCDebug(lcEngine) << "find" << m_count->text();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_field)
        return QFrame::eventFilter(watched, event);
    // Esc and Enter belong to the bar while it has the keyboard, not to the
    // window's shortcuts (Esc would stop the page's load instead).
    if (event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            dismiss();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            find(key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace engine
