#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QWebEngineFindTextResult;
class QWebEnginePage;

namespace engine {

// Find in the page, as browsers have it: typing finds, Enter (or F3) goes to
// the next match, Shift+Enter (or Shift+F3) to the one before, the count is
// shown, Esc closes the bar and gives the keyboard back to the page.
class FindBar : public QFrame {
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    void setPage(QWebEnginePage* page);
    // Shows the bar with its text selected, ready for a new word.
    void open();
    void dismiss();
    void findNext(bool backward);

    QString matches() const; // what the count reads, for tests
    QLineEdit* field() const { return m_field; }

Q_SIGNALS:
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void find(bool backward);
    void showResult(const QWebEngineFindTextResult& result);

    QWebEnginePage* m_page = nullptr;
    QLineEdit* m_field;
    QLabel* m_count;
};

} // namespace engine
