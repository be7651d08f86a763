#pragma once

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace platform {

// Shows the window and returns once it has been hidden or destroyed (or, for
// a dialog, finished). Unlike Qt's application modality this leaves the
// member's browser windows usable while the caller waits, as another
// program's windows would be.
void showAndWait(QWidget* window);

// Brings back every window that is waited for, minimized or behind others:
// the member has come back to the program (its menu, a later start).
void showWaitingWindows();

// Lets every wait of ours unwind (at the close): small windows as if
// cancelled, so nothing half-typed is taken for an answer; message boxes closed.
void endAllWaits();

// The first visible top-level window of type T, if any.
template <class T> T* visibleWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    }
    return nullptr;
}

// Whether some code waits in showAndWait now (a popup, a dialog, a message).
bool waitingForMember();
// Tells when the last such wait has ended.
class MemberWaits : public QObject {
    Q_OBJECT
public:
    static MemberWaits* instance();
Q_SIGNALS:
    void allEnded();
};

// Shows a window made with new and waits for it as above; returns what
// `answer` reads from it, or `otherwise` when it was destroyed meanwhile.
// The window is deleted either way.
template <class Window, class Result, class Answer>
Result askWindow(Window* window, Result otherwise, Answer answer) {
    QPointer<Window> shown(window);
    showAndWait(shown);
    const Result result = shown ? answer(*shown) : otherwise;
    delete shown;
    return result;
}

} // namespace platform
