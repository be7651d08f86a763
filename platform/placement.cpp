#include "platform/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <qpa/qplatformscreen.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include <xcb/xcb.h>

namespace basWin32API {

namespace {

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(qstrlen(name)), name), nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A property of 32-bit values; empty when missing.
std::vector<uint32_t> cardinals(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                xcb_atom_t type, uint32_t count) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, count), nullptr),
        &std::free);
    if (!reply || reply->format != 32)
        return {};
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

// Where `window` lies, in root coordinates.
QRect rootGeometry(xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
    Reply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr),
                                         &std::free);
    Reply<xcb_translate_coordinates_reply_t> place(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr),
        &std::free);
    return size && place ? QRect(place->dst_x, place->dst_y, size->width, size->height) : QRect();
}

// The part of `monitor` (root coordinates) that no dock reserves. With
// several monitors X11 has one work area for the whole desktop, which Qt
// 6.4 then ignores, so the popup would sit over the tray: the docks'
// struts (_NET_WM_STRUT_PARTIAL, else _NET_WM_STRUT) are read instead,
// and the dock's own place beside them, since many panels (trayer among
// them) give a strut from their monitor's edge, not the desktop's.
std::optional<QRect> x11FreeArea(const QRect& monitor) {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::nullopt;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t partial = atom(c, "_NET_WM_STRUT_PARTIAL");
    const xcb_atom_t plain = atom(c, "_NET_WM_STRUT");
    // Docks the window manager lists, and windows it does not manage.
    std::vector<uint32_t> windows =
        cardinals(c, screen->root, atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 4096);
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, screen->root), nullptr),
                                       &std::free);
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        windows.insert(windows.end(), children, children + xcb_query_tree_children_length(tree.get()));
    }
    const int rootW = screen->width_in_pixels;
    const int rootH = screen->height_in_pixels;
    QRect area = monitor;
    for (uint32_t window : windows) {
        std::vector<uint32_t> s = cardinals(c, window, partial, XCB_ATOM_CARDINAL, 12);
        if (s.size() < 12) {
            s = cardinals(c, window, plain, XCB_ATOM_CARDINAL, 4);
            if (s.size() < 4)
                continue;
            s.insert(s.end(),
                     {0, uint32_t(rootH), 0, uint32_t(rootH), 0, uint32_t(rootW), 0, uint32_t(rootW)});
        }
        const int w = int(s[0]), e = int(s[1]), n = int(s[2]), b = int(s[3]);
        // What each side reserves, in root coordinates (ends inclusive).
        const QRect left(0, int(s[4]), w, int(s[5]) - int(s[4]) + 1);
        const QRect right(rootW - e, int(s[6]), e, int(s[7]) - int(s[6]) + 1);
        const QRect top(int(s[8]), 0, int(s[9]) - int(s[8]) + 1, n);
        const QRect bottom(int(s[10]), rootH - b, int(s[11]) - int(s[10]) + 1, b);
        const QRect dock = rootGeometry(c, screen->root, window);
        auto keepClearOf = [&](int reserved, const QRect& side, auto shrink) {
            for (const QRect& r : {side, dock})
                if (reserved > 0 && r.intersects(area))
                    shrink(r);
        };
        keepClearOf(w, left, [&](const QRect& r) { area.setLeft(qMax(area.left(), r.right() + 1)); });
        keepClearOf(e, right, [&](const QRect& r) { area.setRight(qMin(area.right(), r.left() - 1)); });
        keepClearOf(n, top, [&](const QRect& r) { area.setTop(qMax(area.top(), r.bottom() + 1)); });
        keepClearOf(b, bottom, [&](const QRect& r) { area.setBottom(qMin(area.bottom(), r.top() - 1)); });
    }
    return area.isValid() ? std::optional<QRect>(area) : std::nullopt;
}

} // namespace

QPoint bottomRightPosition(const QRect& area, const QSize& outerSize) {
    return QPoint(area.x() + area.width() - outerSize.width(), area.y() + area.height() - outerSize.height());
}

QRect logicalFreeArea(const QRect& monitor, qreal ratio, const QRect& free) {
    // Qt keeps a screen's corner where X has it and scales from there; a
    // part pixel at an edge is left to the dock.
    const QPoint o = monitor.topLeft();
    const int left = o.x() + int(std::ceil((free.left() - o.x()) / ratio));
    const int top = o.y() + int(std::ceil((free.top() - o.y()) / ratio));
    const int right = o.x() + int(std::floor((free.right() + 1 - o.x()) / ratio)) - 1;
    const int bottom = o.y() + int(std::floor((free.bottom() + 1 - o.y()) / ratio)) - 1;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect workArea() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QRect();
    // X reserves in device pixels, from the screen's corner on: the monitor
    // in those, and what is free back in Qt's logical pixels.
    if (QGuiApplication::screens().size() > 1) {
        const QRect monitor = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        // As X has it: the logical size times the ratio may be a pixel off.
        const QRect device = screen->handle()->geometry();
        if (const auto free = x11FreeArea(device))
            return logicalFreeArea(monitor, ratio, *free);
    }
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
