#include "engine/engine.h"

#include "platform/desktopproxy.h"
#include "platform/memory.h"

#include <QCoreApplication>
#include <QWebEngineProfile>

#include <unistd.h>

namespace engine {
namespace {

void setDefaultEnv(const char* name, const char* value) {
    if (qEnvironmentVariableIsEmpty(name))
        qputenv(name, value);
}

} // namespace

QStringList prepareEngine(const QStringList& arguments) {
    if (geteuid() == 0)
        setDefaultEnv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // A Wayland session cannot park the hidden browser beyond the screens.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // Software compositing halves the engine's memory, and a tray program runs all day.
    setDefaultEnv("QT_XCB_GL_INTEGRATION", "none");
    setDefaultEnv("QT_QUICK_BACKEND", "software");
    // This engine puts page content on the desktop's accessibility bus only
    // when asked to before it starts; a screen reader needs it there.
    setDefaultEnv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
    platform::returnLargeBlocksWhenFreed();

    QStringList args = arguments;
    if (!args.contains(QStringLiteral("--webEngineArgs")))
        args << QStringLiteral("--webEngineArgs");
    // Not --no-unsandboxed-zygote: it saves 8 MiB but makes every check's
    // renderer cost 0.1 s more CPU.
    const QStringList own =
        QStringList{QStringLiteral("--disable-gpu")} + platform::desktopProxySwitches(args);
    for (const QString& sw : own) {
        if (!args.contains(sw))
            args << sw;
    }
    return args;
}

ArgumentVector::ArgumentVector(const QStringList& arguments) {
    for (const QString& arg : arguments)
        m_storage.push_back(arg.toLocal8Bit());
    for (QByteArray& arg : m_storage)
        m_pointers.push_back(arg.data());
    m_pointers.push_back(nullptr);
    m_argc = static_cast<int>(m_storage.size());
}

QStringList argumentList(int argc, char* argv[]) {
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

QWebEngineProfile* sharedProfile() {
    // Parented to the application: destroyed after every page, which the
    // windows and browser objects delete before the application goes.
    static QWebEngineProfile* profile = new QWebEngineProfile(QCoreApplication::instance());
    return profile;
}

} // namespace engine
