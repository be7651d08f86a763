#pragma once

#include "app/singlecopy.h"
#include "platform/messagebox.h"
#include "platform/modal.h"
#include "platform/traywatcher.h"
#include "testfiles.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

inline QString warning(const QString& text) {
    return text + QStringLiteral("|warning");
}
inline QString info(const QString& text) {
    return text + QStringLiteral("|info");
}
// Message boxes are recorded as "text|warning" or "text|info" instead of shown.
inline void recordMessages(QStringList* messages) {
    platform::setMessageHandler([messages](const QString& text, platform::MessageIcon icon) {
        *messages << (icon == platform::MessageIcon::Warning ? warning(text) : info(text));
    });
}

// Runs `act` once on the first visible window of type T. Polling stops when
// the returned handle goes out of scope, so a window that never came cannot
// be acted on by a later test; it also gives up after ~10 s. A check that
// fails inside `act` still closes the window, so the code waiting for it
// returns and the failure is reported instead of a hang.
// A later start's claim in `folder`, made on a thread of its own while this
// thread's event loop turns: the copy under test answers it meanwhile.
inline basMain::SingleCopy::Claim laterStart(const QString& folder, basMain::Command command) {
    auto claim = basMain::SingleCopy::Claim::NotReached;
    std::unique_ptr<QThread> thread(
        QThread::create([&] { claim = basMain::SingleCopy(folder).claim(command); }));
    thread->start();
    while (!thread->wait(5))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return claim;
}

template <class T> std::unique_ptr<QTimer> whenShown(std::function<void(T*)> act) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(10);
    QTimer* t = timer.get();
    auto tries = std::make_shared<int>(1000);
    QObject::connect(t, &QTimer::timeout, t, [t, act, tries] {
        if (T* w = platform::visibleWindow<T>()) {
            t->stop();
            act(w);
            if (QTest::currentTestFailed() && w->isVisible())
                w->close();
        } else if (--*tries <= 0) {
            t->stop();
        }
    });
    t->start();
    return timer;
}

// The session's trays as the test switches them: every tray icon made from
// now on watches a fake whose StatusNotifierItem host is there (or not) at
// first; `last` is the newest, to switch later.
class FakeTrayWatcher : public platform::TrayWatcher {
public:
    using TrayWatcher::setStatusNotifierHost;
    using TrayWatcher::setXembedTray;
    using TrayWatcher::TrayWatcher;
    static inline QPointer<FakeTrayWatcher> last;
    static void install(bool hostAtStart, bool xembedAtStart = false) {
        platform::setTrayWatcherFactory([hostAtStart, xembedAtStart](QObject* parent) {
            auto* watcher = new FakeTrayWatcher(parent);
            watcher->setStatusNotifierHost(hostAtStart);
            watcher->setXembedTray(xembedAtStart);
            last = watcher;
            return watcher;
        });
    }
};

} // namespace testsupport
