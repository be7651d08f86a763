#include "platform/modal.h"

#include "platform/smallwindow.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QWidget>

namespace platform {
namespace {

class HideWatcher : public QObject {
public:
    explicit HideWatcher(QEventLoop* loop) : m_loop(loop) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        // Only our own hide() is an answer: the desktop hides a window too
        // (minimized, another workspace), and the member has said nothing.
        if (event->type() == QEvent::Hide && !event->spontaneous())
            m_loop->quit();
        return false;
    }

private:
    QEventLoop* m_loop;
};

int g_waits = 0;
QList<QPointer<QWidget>> g_waiting;

} // namespace

bool waitingForMember() {
    return g_waits > 0;
}

MemberWaits* MemberWaits::instance() {
    static MemberWaits waits;
    return &waits;
}

void showAndWait(QWidget* window) {
    ++g_waits;
    const auto ended = qScopeGuard([] {
        if (--g_waits == 0)
            Q_EMIT MemberWaits::instance()->allEnded();
    });
    QPointer<QWidget> guard(window);
    g_waiting << guard;
    const auto forget = qScopeGuard([guard] { g_waiting.removeAll(guard); });
    QEventLoop loop;
    HideWatcher watcher(&loop);
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

void showWaitingWindows() {
    for (const QPointer<QWidget>& w : std::as_const(g_waiting)) {
        if (!w)
            continue;
        if (w->isMinimized())
            w->showNormal();
        w->raise();
        w->activateWindow();
    }
}

void endAllWaits() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        if (auto* small = qobject_cast<SmallWindow*>(w))
            small->reject();
        else if (qobject_cast<QMessageBox*>(w))
            w->hide();
    }
}

} // namespace platform
