#pragma once

#include "platform/browser.h"
#include "platform/clock.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>

#include <functional>
#include <memory>

// A browser double that plays a script: what each load leads to, and which
// member fails with which number. Every call is recorded.
class ScriptedBrowser : public platform::Browser {
public:
    struct Page {
        Page(const QString& t = {}, const QString& u = {}, const QString& e = {})
            : text(t), url(u), loadError(e) {}
        static Page failed(const QString& why) {
            return {QStringLiteral("このサイトにアクセスできません"), {}, why};
        }
        QString text;
        QString url;       // where the load ended, when not where it went (a redirect)
        QString loadError; // the load brought no page
        // Where the page goes by itself once it has been read (a timed
        // refresh, a script), as a new load.
        std::shared_ptr<Page> movesOn;
    };

    // What a Navigate, Submit ("submit") or Refresh ("refresh") leads to;
    // unless told otherwise, blank pages and a sign-in that lands.
    std::function<Page(const QString& what)> onLoad = [](const QString& what) {
        return what == QStringLiteral("submit") ? Page(QStringLiteral("ログアウト")) : Page();
    };
    bool neverFinish = false; // Busy stays true
    // Member name -> failure number to throw on the next call of it.
    QMap<QString, int> failures;
    bool gone = false;

    QStringList calls;
    QMap<QString, QString> values;
    Page current;
    QString location;
    bool visible = false;

    void Navigate(const QString& url) override {
        enter(QStringLiteral("Navigate"), url);
        location = url;
        load(url);
    }
    void Refresh() override {
        enter(QStringLiteral("Refresh"));
        load(QStringLiteral("refresh"));
    }
    QString LoadError() override {
        enter(QStringLiteral("LoadError"));
        return current.loadError;
    }
    QString LocationURL() override {
        enter(QStringLiteral("LocationURL"));
        return location;
    }
    bool Busy() override {
        enter(QStringLiteral("Busy"));
        const bool busy = m_busy;
        m_busy = m_busy && neverFinish; // one reading, or for ever
        return busy;
    }
    void Stop() override {
        enter(QStringLiteral("Stop"));
        m_busy = false;
    }
    QString BodyInnerText() override {
        enter(QStringLiteral("BodyInnerText"));
        const QString text = current.text;
        if (current.movesOn) {
            current = Page(*current.movesOn);
            location = current.url;
            m_busy = true;
        }
        return text;
    }
    void SetElementValue(const QString& id, const QString& value) override {
        enter(QStringLiteral("SetElementValue"), id + QStringLiteral("=") + value);
        values[id] = value;
    }
    void SubmitForm(short index) override {
        enter(QStringLiteral("SubmitForm"), QString::number(index));
        load(QStringLiteral("submit"));
    }
    bool Visible() const override { return visible; }
    void setVisible(bool v) override {
        enter(QStringLiteral("setVisible"), v ? QStringLiteral("true") : QStringLiteral("false"));
        visible = v;
    }
    void Rest() override { enter(QStringLiteral("Rest")); }
    void Quit() override {
        enter(QStringLiteral("Quit"));
        gone = true;
    }

    // Calls that drive the browser (no readings of its state, no rests).
    QStringList steps() const {
        return calls.filter(QRegularExpression(QStringLiteral("^(?!(Busy|Rest|LoadError|LocationURL)$)")));
    }

    // Browsers handed out by platform::CreateBrowser while installed, made by
    // `make` when set.
    static inline std::function<std::shared_ptr<ScriptedBrowser>()> make;
    static inline std::vector<std::shared_ptr<ScriptedBrowser>> created;
    static inline bool failCreation = false;
    static platform::BrowserPtr create() {
        if (failCreation)
            throw platform::BrowserError(platform::ErrCannotCreate, QStringLiteral("cannot create"));
        created.push_back(make ? make() : std::make_shared<ScriptedBrowser>());
        return created.back();
    }
    static void install() {
        make = nullptr;
        created.clear();
        failCreation = false;
        platform::setBrowserFactory(&ScriptedBrowser::create);
    }

private:
    void enter(const QString& member, const QString& arg = QString()) {
        calls << (arg.isNull() ? member : member + QStringLiteral(" ") + arg);
        if (gone)
            throw platform::BrowserError(platform::ErrProcessGone, QStringLiteral("gone"));
        if (failures.contains(member))
            throw platform::BrowserError(failures.take(member), QStringLiteral("scripted failure"));
    }
    void load(const QString& what) {
        current = onLoad(what);
        if (!current.url.isEmpty())
            location = current.url;
        m_busy = true;
    }
    bool m_busy = false;
};

// Virtual time: sleeping advances it at once.
class FakeClock : public platform::Clock {
public:
    void sleep(int ms) override {
        sleeps << ms;
        m_now += ms;
    }
    qint64 elapsedMs() const override { return m_now; }

    QList<int> sleeps;

private:
    qint64 m_now = 0;
};
