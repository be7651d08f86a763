#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

template <class T> T* findVisible() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    }
    return nullptr;
}

// Runs `act` once on the first visible window of type T. Polling stops when
// the returned handle goes out of scope, so a window that never came cannot
// be acted on by a later test; it also gives up after ~10 s.
template <class T> std::unique_ptr<QTimer> whenShown(std::function<void(T*)> act) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(10);
    QTimer* t = timer.get();
    auto tries = std::make_shared<int>(1000);
    QObject::connect(t, &QTimer::timeout, t, [t, act, tries] {
        if (T* w = findVisible<T>()) {
            t->stop();
            act(w);
        } else if (--*tries <= 0) {
            t->stop();
        }
    });
    t->start();
    return timer;
}

} // namespace testsupport
