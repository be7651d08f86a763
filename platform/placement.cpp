#include "platform/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace basWin32API {

QPoint bottomRightPosition(const QRect& area, const QSize& outerSize) {
    return QPoint(area.x() + area.width() - outerSize.width(), area.y() + area.height() - outerSize.height());
}

QRect workArea() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QRect();
    const QRect available = screen->availableGeometry();
    return available.isValid() ? available : screen->geometry();
}

void MoveToBottomRight(QWidget& form) {
    // Frameless small windows have no decoration, so the frame is the widget.
    form.move(bottomRightPosition(workArea(), form.frameGeometry().size()));
}

void SetTopMost(QWidget& form) {
    form.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

} // namespace basWin32API
