#include "platform/desktopproxy.h"

#include <QLoggingCategory>

#include <memory>

// GIO names a struct member "signals", a word Qt keeps for itself.
#undef signals
#include <gio/gio.h>

Q_LOGGING_CATEGORY(lcProxy, "kelvo.proxy", QtWarningMsg)

namespace platform {
namespace {

using Settings = std::unique_ptr<GSettings, decltype(&g_object_unref)>;

QString text(GSettings* settings, const char* key) {
    gchar* value = g_settings_get_string(settings, key);
    const QString out = QString::fromUtf8(value);
    g_free(value);
    return out;
}

bool hasSchema(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
    if (schema)
        g_settings_schema_unref(schema);
    return schema != nullptr;
}

// "host:port" of one of GNOME's manual proxies, if set.
QString manualProxy(GSettings* proxy, const char* child) {
    Settings settings(g_settings_get_child(proxy, child), &g_object_unref);
    const QString host = text(settings.get(), "host");
    const int port = g_settings_get_int(settings.get(), "port");
    if (host.isEmpty() || port <= 0)
        return {};
    return host + u':' + QString::number(port);
}

std::optional<Settings> gnomeProxy() {
    if (!hasSchema("org.gnome.system.proxy"))
        return std::nullopt;
    return Settings(g_settings_new("org.gnome.system.proxy"), &g_object_unref);
}

} // namespace

QStringList desktopProxySwitches(const QStringList& arguments) {
    for (const char* variable : {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY"})
        if (!qEnvironmentVariableIsEmpty(variable))
            return {}; // the environment wins, as for every other program
    for (const QString& arg : arguments)
        if (arg.startsWith(QLatin1String("--proxy-")) || arg == QLatin1String("--no-proxy-server"))
            return {};
    const std::optional<Settings> proxy = gnomeProxy();
    if (!proxy)
        return {};
    const QString mode = text(proxy->get(), "mode");
    QStringList switches;
    if (mode == QLatin1String("manual")) {
        const QString http = manualProxy(proxy->get(), "http");
        const QString https = manualProxy(proxy->get(), "https");
        const QString socks = manualProxy(proxy->get(), "socks");
        QStringList rules;
        if (!http.isEmpty() && g_settings_get_boolean(proxy->get(), "use-same-proxy")) {
            // GNOME's default: the HTTP proxy for every protocol.
            rules << QStringLiteral("http://") + http;
        } else {
            if (!http.isEmpty())
                rules << QStringLiteral("http=") + http;
            if (!https.isEmpty())
                rules << QStringLiteral("https=") + https;
            if (!socks.isEmpty()) // for whatever has no proxy of its own
                rules << QStringLiteral("socks=socks5://") + socks;
        }
        if (rules.isEmpty())
            return {};
        switches << QStringLiteral("--proxy-server=") + rules.join(u';');
        gchar** ignore = g_settings_get_strv(proxy->get(), "ignore-hosts");
        QStringList bypass;
        for (gchar** host = ignore; host && *host; ++host)
            bypass << QString::fromUtf8(*host);
        g_strfreev(ignore);
        if (!bypass.isEmpty())
            switches << QStringLiteral("--proxy-bypass-list=") + bypass.join(u';');
    } else if (mode == QLatin1String("auto")) {
        const QString url = text(proxy->get(), "autoconfig-url");
        if (url.isEmpty())
            return {};
        switches << QStringLiteral("--proxy-pac-url=") + url;
    }
    if (!switches.isEmpty())
        qCInfo(lcProxy) << "the desktop's proxy:" << switches;
    return switches;
}

std::optional<ProxyCredentials> desktopProxyCredentials(const QString& proxyHost) {
    const std::optional<Settings> proxy = gnomeProxy();
    if (!proxy || text(proxy->get(), "mode") != QLatin1String("manual"))
        return std::nullopt;
    Settings http(g_settings_get_child(proxy->get(), "http"), &g_object_unref);
    if (!g_settings_get_boolean(http.get(), "use-authentication") ||
        text(http.get(), "host").compare(proxyHost, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return ProxyCredentials{text(http.get(), "authentication-user"),
                            text(http.get(), "authentication-password")};
}

} // namespace platform
