#pragma once

#include <QPointer>
#include <QWebEnginePage>

class QWidget;

namespace engine {

// A page in the shared profile. In a member window it opens new windows
// and shows the page's script dialogs as dialogs of that window. Without
// one (the hidden browser's page) nobody could answer: its script dialogs
// are answered at once (dismissed, cancelled) and it opens no window.
class KelvoPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit KelvoPage(QObject* parent = nullptr);
    ~KelvoPage() override;

    // Whether a page of ours is served by the renderer with this process id.
    static bool anyUsesRenderer(qint64 pid);

    void setMemberWindow(QWidget* window) { m_window = window; }
    bool inMemberWindow() const { return !m_window.isNull(); }

protected:
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;

private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_alert;
    QStringList m_proxiesAnswered;
};

} // namespace engine
