#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// What the member windows remember between windows and starts: the zoom of
// each site and the place the member last left a window at. They live in a
// file of their own ("browser.ini" in the member's folder), so the member's
// settings file is never rewritten for them.
namespace engine {

QString browserPrefsPath();

// The zoom kept for the page's site (its host), 1.0 when none is kept.
qreal siteZoom(const QUrl& url);
// Keeps it; 1.0 forgets the site. False when it could not be stored.
bool setSiteZoom(const QUrl& url, qreal factor);

// The next zoom step up (+1) or down (-1) from `current`, as Chromium steps.
qreal nextZoom(qreal current, int direction);

QByteArray lastWindowGeometry();
void setLastWindowGeometry(const QByteArray& geometry);

} // namespace engine
