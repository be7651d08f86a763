#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <stdexcept>

namespace platform {

// Failure numbers of the browser object. 462 is the one callers tell apart:
// the browser's process is gone.
enum BrowserErrorNumber {
    ErrCannotCreate = 429,    // the engine could not make a browser object
    ErrNoObject = 91,         // a missing body, element or form
    ErrProcessGone = 462,     // renderer ended, or the object was quit or closed
    ErrScriptFailed = 10001,  // the page threw while we ran our script in it
    ErrBusyTimeout = 10002,   // a load did not finish within the wait bound
    ErrScriptTimeout = 10003, // a script call did not answer within its bound
    ErrLoadFailed = 10004,    // the load brought no page: no connection, TLS, HTTP 400 and up
    ErrPageLeft = 10005,      // the page went elsewhere by itself while it was read
    ErrCertificate = 10006    // the site's certificate is not trusted: nothing was sent to it
};

// LoadError() of a load that the site's certificate stopped begins with this.
inline const QString CertificateFailurePrefix = QStringLiteral("CertificateErrorDomain");

class BrowserError : public std::runtime_error {
public:
    BrowserError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description) {}
    int number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// The browser automation object. Every member may throw BrowserError; once
// the object's process has gone every member throws number 462.
class Browser {
public:
    virtual ~Browser() = default;

    // Starts loading; Busy() reads true from the moment this returns.
    virtual void Navigate(const QString& url) = 0;
    virtual void Refresh() = 0;
    virtual bool Busy() = 0;
    // Why the last finished load brought no page (the engine's error page or
    // an HTTP error status), or an empty string when it brought one.
    virtual QString LoadError() = 0;
    // The address of the page shown (or being loaded).
    virtual QString LocationURL() = 0;
    // Gives up the load in progress (after a wait has run out).
    virtual void Stop() = 0;

    // Document.Body.InnerText, with CR LF line breaks.
    virtual QString BodyInnerText() = 0;
    // Document.getElementById(id).Value = value
    virtual void SetElementValue(const QString& id, const QString& value) = 0;
    // Document.Forms(index).Submit(), counting from 0
    virtual void SubmitForm(short index) = 0;

    // The object will not be used for a while (between two checks): it may
    // give up its page's memory. The next Navigate or Refresh loads the page
    // again, so only call this where the next step is one of those.
    virtual void Rest() {}

    virtual bool Visible() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void Quit() = 0;
};

using BrowserPtr = std::shared_ptr<Browser>;

// Makes a new browser object (hidden until made visible) with the factory
// installed: the engine's (engine::install()) or a test's. Throws
// BrowserError 429 when none can be made or no factory is installed.
BrowserPtr CreateBrowser();
using BrowserFactory = BrowserPtr (*)();
void setBrowserFactory(BrowserFactory factory);

// The member's browser windows: they outlive the browser objects that opened
// them, and the program ends only once the last is closed.
class MemberWindows : public QObject {
    Q_OBJECT
public:
    static MemberWindows* instance();
    int openCount() const { return m_open; }
    void opened() { ++m_open; }
    void closed();
Q_SIGNALS:
    void allClosed();

private:
    int m_open = 0;
};

} // namespace platform
