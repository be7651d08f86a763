#pragma once

#include <QFrame>
#include <QPointer>

#include <functional>

class QLabel;
class QTimer;
class QWebEnginePage;

namespace engine {

// Tells the member when the window's page stops answering, as browsers do:
// the page is asked a trivial question every pulse, and one that stays
// unanswered for a few pulses shows a bar with 待つ and ページを閉じる. The
// latter ends the page's renderer; the window then shows its page for an
// ended renderer. Pulses are counted, not seconds: a laptop that slept
// does not make a page look hung.
class HangBar : public QFrame {
    Q_OBJECT
public:
    // `watched`: whether the page is to be watched now (a page is shown).
    HangBar(QWebEnginePage* page, QWidget* window, std::function<bool()> watched);
    ~HangBar() override;

    static constexpr int PulseMs = 1500;
    static constexpr int HungAfterPulses = 4;

    // For tests: whether the bar says the page does not answer.
    bool telling() const { return !isHidden(); }
    void wait();
    void closePage();

private:
    void pulse();
    void reset();

    QWebEnginePage* m_page;
    QPointer<QWidget> m_window;
    std::function<bool()> m_watched;
    QTimer* m_pulse;
    int m_generation = 0; // answers of an earlier document do not count
    bool m_asking = false;
    int m_unanswered = 0;
};

} // namespace engine
