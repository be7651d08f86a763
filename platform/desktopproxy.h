#pragma once

#include <QStringList>

#include <optional>

namespace platform {

// The engine's switches for the proxy that the desktop's settings name
// (GNOME's org.gnome.system.proxy: manual hosts and the hosts to bypass,
// or an automatic configuration URL), for a session whose environment names
// none: Debian's Qt WebEngine does not read GNOME's settings by itself.
// Empty where the environment or `arguments` name a proxy already, or the
// desktop names none.
QStringList desktopProxySwitches(const QStringList& arguments);

// The credentials GNOME keeps for its manual HTTP proxy (use-authentication),
// when `proxyHost` is that proxy: for the engine's proxy-authentication
// request, never for a command line. Nothing where the desktop has none.
struct ProxyCredentials {
    QString user;
    QString password;
};
std::optional<ProxyCredentials> desktopProxyCredentials(const QString& proxyHost);

} // namespace platform
