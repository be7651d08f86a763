#include "platform/browser.h"

namespace platform {
namespace {
BrowserFactory g_factory = nullptr;
}

BrowserPtr CreateBrowser() {
    if (!g_factory)
        throw BrowserError(ErrCannotCreate, QStringLiteral("No browser engine"));
    return g_factory();
}

void setBrowserFactory(BrowserFactory factory) {
    g_factory = factory;
}

MemberWindows* MemberWindows::instance() {
    static MemberWindows windows;
    return &windows;
}

void MemberWindows::closed() {
    if (m_open > 0 && --m_open == 0)
        Q_EMIT allClosed();
}

} // namespace platform
