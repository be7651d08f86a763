#pragma once

#include <QByteArray>
#include <QStringList>

#include <vector>

class QWebEngineProfile;

namespace engine {

// Arguments for the application object, with the engine switches of the
// program added after "--webEngineArgs" (this Qt ignores switches given any
// other way while QTWEBENGINE_CHROMIUM_FLAGS is unset). Also chooses the light
// rendering path and turns the sandbox off when running as root. Call before
// the application object is made.
QStringList prepareEngine(const QStringList& arguments);

// Keeps a string list alive as the argc/argv pair that QApplication wants.
class ArgumentVector {
public:
    explicit ArgumentVector(const QStringList& arguments);
    int& argc() { return m_argc; }
    char** argv() { return m_pointers.data(); }

private:
    std::vector<QByteArray> m_storage;
    std::vector<char*> m_pointers;
    int m_argc = 0;
};

QStringList argumentList(int argc, char* argv[]);

// The one off-the-record profile that every browser object of the run shares,
// so a window opened for the member sees the hidden browser's sign-in.
QWebEngineProfile* sharedProfile();

} // namespace engine
