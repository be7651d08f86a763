#include "platform/appicon.h"

#include <QtGlobal>

// Resources linked from a static library are registered only on request.
static void initResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(kelvo);
        return true;
    }();
    Q_UNUSED(done);
}

namespace platform {

QIcon appIcon() {
    initResources();
    return QIcon(QStringLiteral(":/kelvo/kelvo-64.png"));
}

QPixmap appLogo() {
    initResources();
    return QPixmap(QStringLiteral(":/kelvo/kelvo-32.png"));
}

} // namespace platform
