#pragma once

#include "platform/browser.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariant>

class QWebEngineLoadingInfo;
class QWebEnginePage;
class QWebEngineView;

namespace engine {

class BrowserWindow;
class KelvoPage;

// The browser object on Qt WebEngine. Hidden, its page lives in a view parked
// beyond the screens; visible, in a member window that outlives this object.
// Makes platform::CreateBrowser hand out browsers on Qt WebEngine.
void install();

class WebEngineBrowser : public QObject, public platform::Browser {
    Q_OBJECT
public:
    WebEngineBrowser();
    ~WebEngineBrowser() override;

    void Navigate(const QString& url) override;
    void Refresh() override;
    bool Busy() override;
    QString LoadError() override;
    QString LocationURL() override;
    void Stop() override;
    QString BodyInnerText() override;
    void SetElementValue(const QString& id, const QString& value) override;
    void SubmitForm(short index) override;
    bool Visible() const override { return m_visible; }
    void setVisible(bool visible) override;
    void Quit() override;
    void Rest() override;

    // For tests and benchmarks: the renderer's process id, 0 when unknown,
    // and the page itself.
    qint64 rendererPid() const;
    QWebEnginePage* page() const;

private:
    void ensureAlive() const;
    void startLoad();
    void load(const QUrl& url);
    void makePage();
    void dropPage();
    void abandonPage(const QString& why);
    void wake();
    QVariant runScript(const QString& script);
    void onLoadingChanged(const QWebEngineLoadingInfo& info);

    QPointer<KelvoPage> m_page;
    QPointer<QWebEngineView> m_parkedView;
    QPointer<BrowserWindow> m_window;
    bool m_visible = false;
    // Busy from the call until the loads it started have finished: a call
    // waits for the engine's loadStarted, then for as many loadFinished.
    bool m_awaitingStart = false;
    int m_loadsInFlight = 0;
    qint64 m_loadAskedMs = 0;
    QString m_loadError; // of the last finished load
    bool m_gone = false;
    bool m_resting = false;
    QUrl m_restUrl; // where the page was when it went to rest
};

} // namespace engine
