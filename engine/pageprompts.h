#pragma once

#include <QFrame>
#include <QHash>
#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>

#include <deque>

class QAuthenticator;
#include <QDialog>
class QLabel;

namespace engine {

// What a page asks of the member in its window: a name and password for the
// site or for a proxy, a permission (notifications, camera, microphone,
// location...). Each question names who asks; none blocks anything but
// itself, and a question left unanswered is a no. Shown as a bar above the
// page (permissions) and a dialog of the window (credentials).
class PagePrompts : public QFrame {
    Q_OBJECT
public:
    PagePrompts(QWebEnginePage* page, QWidget* window);
    ~PagePrompts() override;

    // For tests: the question the bar shows, and the open credentials dialog.
    QString question() const;
    QDialog* credentialsDialog() const { return m_dialog; }
    void answerPermission(bool grant);

    static QString featureText(QWebEnginePage::Feature feature);

private:
    struct Permission {
        QUrl origin;
        QWebEnginePage::Feature feature;
    };
    struct Credentials {
        QString user;
        QString password;
    };
    void askPermission(const QUrl& origin, QWebEnginePage::Feature feature);
    void permissionCancelled(const QUrl& origin, QWebEnginePage::Feature feature);
    void showNextPermission();
    void refuseAll();
    void authenticate(const QUrl& url, QAuthenticator* auth, const QString& proxyHost);

    QWebEnginePage* m_page;
    QWidget* m_window;
    QLabel* m_question;
    std::deque<Permission> m_permissions;
    // Answers given in the dialog, each used once, for the load that follows;
    // the engine keeps them for the session from there, nothing goes to disk.
    QHash<QString, Credentials> m_answers;
    QPointer<QDialog> m_dialog;
};

} // namespace engine
