#pragma once

#include <QIcon>
#include <QPixmap>

namespace platform {

QIcon appIcon();   // 64 x 64
QPixmap appLogo(); // the same artwork at 32 x 32

} // namespace platform
