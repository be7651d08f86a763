#pragma once

#include <QStringList>

class QWebEngineProfile;

namespace platform {

// Arguments for the application object, with the engine switches of the
// program added after "--webEngineArgs" (this Qt ignores switches given any
// other way while QTWEBENGINE_CHROMIUM_FLAGS is unset). Also chooses the light
// rendering path and turns the sandbox off when running as root. Call before
// the application object is made.
QStringList prepareEngine(const QStringList& arguments);

// The one off-the-record profile that every browser object of the run shares,
// so a window opened for the member sees the hidden browser's sign-in.
QWebEngineProfile* sharedProfile();

} // namespace platform
