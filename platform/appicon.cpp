#include "platform/appicon.h"

namespace platform {

QIcon appIcon() {
    return QIcon(QStringLiteral(":/kelvo/kelvo-64.png"));
}

QPixmap appLogo() {
    return QPixmap(QStringLiteral(":/kelvo/kelvo-32.png"));
}

} // namespace platform
