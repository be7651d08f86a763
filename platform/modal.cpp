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
        if (event->type() == QEvent::Hide)
            m_loop->quit();
        return false;
    }

private:
    QEventLoop* m_loop;
};

int g_waits = 0;

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
