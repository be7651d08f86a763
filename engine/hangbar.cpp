#include "engine/hangbar.h"

#include "engine/renderers.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace engine {

HangBar::HangBar(QWebEnginePage* page, QWidget* window, std::function<bool()> watched)
    : QFrame(window), m_page(page), m_window(window), m_watched(std::move(watched)),
      m_pulse(new QTimer(this)) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    auto* text =
        new QLabel(QStringLiteral("このページは応答していません。待つか、ページを閉じてください。"), this);
    text->setWordWrap(true);
    auto* waitButton = new QPushButton(QStringLiteral("待つ(&W)"), this);
    auto* closeButton = new QPushButton(QStringLiteral("ページを閉じる(&K)"), this);
    layout->addWidget(text, 1);
    layout->addWidget(waitButton);
    layout->addWidget(closeButton);
    setAccessibleName(text->text());
    connect(waitButton, &QPushButton::clicked, this, &HangBar::wait);
    connect(closeButton, &QPushButton::clicked, this, &HangBar::closePage);
    hide();

    // A new document, or a new renderer, is asked afresh.
    connect(page, &QWebEnginePage::loadStarted, this, &HangBar::reset);
    connect(page, &QWebEnginePage::renderProcessPidChanged, this, &HangBar::reset);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &HangBar::reset);
    connect(m_pulse, &QTimer::timeout, this, &HangBar::pulse);
    m_pulse->start(PulseMs);
}

HangBar::~HangBar() {
    disconnect(m_page, nullptr, this, nullptr);
}

void HangBar::reset() {
    ++m_generation;
    m_asking = false;
    m_unanswered = 0;
    hide();
}

void HangBar::pulse() {
    if (!m_window || !m_window->isVisible() || !m_watched() || m_page->renderProcessPid() <= 0)
        return;
    if (m_asking) {
        if (++m_unanswered == HungAfterPulses) {
            qCInfo(lcEngine).noquote()
                << "the page of" << m_page->url().toString() << "does not answer: told";
            show();
            QAccessibleEvent shown(this, QAccessible::Alert);
            QAccessible::updateAccessibility(&shown);
        }
        return;
    }
    m_asking = true;
    QPointer<HangBar> guard(this);
    const int generation = m_generation;
    // In the program's own world: the page's scripts cannot answer for it.
    m_page->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                          [guard, generation](const QVariant&) {
                              if (!guard || guard->m_generation != generation)
                                  return;
                              guard->m_asking = false;
                              guard->m_unanswered = 0;
                              guard->hide();
                          });
}

void HangBar::wait() {
    // Asked again after as many pulses, if it still does not answer.
    m_unanswered = 0;
    hide();
}

void HangBar::closePage() {
    hide();
    endRenderer(m_page, QStringLiteral("the member closed a page that did not answer"));
}

} // namespace engine
