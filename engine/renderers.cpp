#include "engine/renderers.h"

#include "engine/kelvopage.h"
#include "platform/engineprocess.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>
#include <QWebEnginePage>
#include <QWidget> // for KelvoPage

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace engine {

bool endRenderer(QWebEnginePage* page, const QString& why) {
    const qint64 pid = page ? page->renderProcessPid() : 0;
    if (!platform::endEngineProcess(pid))
        return false;
    qCWarning(lcEngine).noquote() << "renderer" << pid << "of" << page->url().toString() << "ended:" << why;
    return true;
}

void endRendererLeftBy(QWebEnginePage* page) {
    const qint64 pid = page ? page->renderProcessPid() : 0;
    if (pid <= 0 || !QCoreApplication::instance())
        return;
    const QString url = page->url().toString();
    QTimer::singleShot(LeftRendererGraceMs, QCoreApplication::instance(), [pid, url] {
        // A later page of the same site may have been given the same process.
        if (KelvoPage::anyUsesRenderer(pid) || !platform::endEngineProcess(pid))
            return;
        qCWarning(lcEngine).noquote() << "renderer" << pid << "of" << url << "outlived its page by"
                                      << LeftRendererGraceMs << "ms: ended";
    });
}

void followRendererStarts(QWebEnginePage* page) {
    // The engine does not always say when a renderer comes up: one that has
    // a process id by the time a load moves on has.
    auto started = std::make_shared<bool>(false);
    auto look = [page, started] {
        if (!*started && page->renderProcessPid() > 0) {
            *started = true;
            platform::RendererStarts::instance()->started();
        }
    };
    QObject::connect(page, &QWebEnginePage::renderProcessPidChanged, page, look);
    QObject::connect(page, &QWebEnginePage::loadingChanged, page, look);
    QObject::connect(page, &QWebEnginePage::loadProgress, page, look);
    QObject::connect(page, &QWebEnginePage::renderProcessTerminated, page,
                     [page, started](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                         // Ended before it was ever there: it never came up.
                         if (!std::exchange(*started, false) && page->renderProcessPid() <= 0)
                             platform::RendererStarts::instance()->failed(
                                 QStringLiteral("the engine could not start it (status %1, code %2)")
                                     .arg(int(status))
                                     .arg(code));
                     });
}

} // namespace engine
