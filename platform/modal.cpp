#include "platform/modal.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

namespace platform {
namespace {

class HideWatcher : public QObject {
public:
    HideWatcher(QWidget* window, QEventLoop* loop) : m_window(window), m_loop(loop) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        // A window that hides itself before handing over to another holds the wait.
        if (event->type() == QEvent::Hide && !m_window->property("kelvoHoldWait").toBool())
            m_loop->quit();
        return false;
    }

private:
    QWidget* m_window;
    QEventLoop* m_loop;
};

} // namespace

void showAndWait(QWidget* window) {
    QPointer<QWidget> guard(window);
    QEventLoop loop;
    HideWatcher watcher(window, &loop);
    if (auto* dialog = qobject_cast<QDialog*>(window))
        QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    window->installEventFilter(&watcher);
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->setWindowModality(Qt::NonModal);
    window->show();
    window->raise();
    window->activateWindow();
    if (guard && guard->isVisible())
        loop.exec();
    if (guard)
        guard->removeEventFilter(&watcher);
}

} // namespace platform
