#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace basWin32API {

// Top-left position that puts a window's outer bottom-right corner on the
// area's bottom-right corner.
QPoint bottomRightPosition(const QRect& area, const QSize& outerSize);

// The primary screen's work area (the screen less docked bars; on X11 with
// several monitors, the primary monitor less the docks on it); the whole
// screen when the window system knows no work area.
QRect workArea();
// `free`, a part of `monitor` in device pixels (X's), in Qt's logical pixels
// at `ratio` device pixels to one; `monitor` is in logical pixels.
QRect logicalFreeArea(const QRect& monitor, qreal ratio, const QRect& free);

void MoveToBottomRight(QWidget& form);
// Keeps the window above every window that is not topmost. Call before showing.
void SetTopMost(QWidget& form);

} // namespace basWin32API
