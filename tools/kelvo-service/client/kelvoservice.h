#pragma once

#include "engine/engine.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <string>

// Runs kelvo-service on a free loopback port for a test or benchmark.
// Started before the application object exists, so plain POSIX calls.
class KelvoService {
public:
    explicit KelvoService(const QStringList& accounts);
    ~KelvoService();

    bool isRunning() const { return m_port > 0; }
    // Ends the service now (the site goes down).
    void stop();
    int port() const { return m_port; }
    int pid() const { return m_pid; }

    // Engine switches that send the site's host to this service.
    QStringList engineSwitches() const;
    static QStringList engineSwitches(int port, int httpPort = 0);
    // Another site's name that the engine is sent to the stand-in for.
    static constexpr const char* OtherHost = "other.example";
    int httpPort() const { return m_httpPort; }

    bool control(const std::string& path, const std::map<std::string, std::string>& params = {});
    QJsonArray requestLog();
    // The body of a GET (a control endpoint's), empty when it failed.
    QByteArray get(const std::string& path);
    // Requests of the log with this method and path.
    QJsonArray requests(const QString& method, const QString& path);

private:
    int m_pid = 0;
    int m_port = 0;
    int m_httpPort = 0;
};

// Starts the service, makes the application with the engine switches for it
// and runs `body`.
int runWithService(int argc, char* argv[], const QStringList& accounts,
                   const std::function<int(KelvoService&)>& body);
