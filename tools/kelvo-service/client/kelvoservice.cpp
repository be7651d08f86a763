#include "tools/kelvo-service/client/kelvoservice.h"

#include <httplib.h>

#include "engine/engine.h"
#include "engine/webenginebrowser.h"

#include <QApplication>
#include <QJsonDocument>

#include <QJsonObject>
#include <csignal>
#include <cstdio>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

KelvoService::KelvoService(const QStringList& accounts) {
    int out[2];
    if (pipe(out) != 0)
        return;
    std::vector<std::string> args{KELVO_SERVICE_BINARY, "--port", "0"};
    for (const QString& a : accounts) {
        args.push_back("--account");
        args.push_back(a.toStdString());
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        return;
    }
    m_pid = pid;
    // The first line is "PORT <n>"; a service that says nothing in 10 s failed.
    std::string line;
    pollfd pfd{out[0], POLLIN, 0};
    char c;
    while (poll(&pfd, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    // "PORT <n> HTTP <m>"
    if (line.rfind("PORT ", 0) == 0) {
        m_port = std::atoi(line.c_str() + 5);
        if (const auto http = line.find(" HTTP "); http != std::string::npos)
            m_httpPort = std::atoi(line.c_str() + http + 6);
    }
}

KelvoService::~KelvoService() {
    stop();
}

void KelvoService::stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = 0;
                return;
            }
            usleep(100000);
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
}

QStringList KelvoService::engineSwitches() const {
    return engineSwitches(m_port, m_httpPort);
}

QStringList KelvoService::engineSwitches(int port, int httpPort) {
    // The first rule that matches is taken: plain http:// to the service's
    // host goes to the plain listener; OtherHost is the same stand-in.
    const QString host = QStringLiteral(KELVO_SERVICE_HOST);
    const QString to = QStringLiteral(" 127.0.0.1:") + QString::number(port);
    QString rules;
    if (httpPort > 0)
        rules += QStringLiteral("MAP ") + host + QStringLiteral(":80 127.0.0.1:") +
                 QString::number(httpPort) + QStringLiteral(", ");
    rules +=
        QStringLiteral("MAP ") + host + to + QStringLiteral(", MAP ") + QString::fromLatin1(OtherHost) + to;
    return {QStringLiteral("--host-resolver-rules=") + rules, QStringLiteral("--ignore-certificate-errors")};
}

bool KelvoService::control(const std::string& path, const std::map<std::string, std::string>& params) {
    httplib::SSLClient client("127.0.0.1", m_port);
    client.enable_server_certificate_verification(false);
    httplib::Params form(params.begin(), params.end());
    auto res = client.Post(path.c_str(), form);
    return res && res->status == 200;
}

QJsonArray KelvoService::requestLog() {
    httplib::SSLClient client("127.0.0.1", m_port);
    client.enable_server_certificate_verification(false);
    auto res = client.Get("/_control/log");
    if (!res)
        return {};
    return QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).array();
}

QByteArray KelvoService::get(const std::string& path) {
    httplib::SSLClient client("127.0.0.1", m_port);
    client.enable_server_certificate_verification(false);
    auto res = client.Get(path.c_str());
    return res && res->status == 200 ? QByteArray::fromStdString(res->body) : QByteArray();
}

QJsonArray KelvoService::requests(const QString& method, const QString& path) {
    QJsonArray out;
    for (const auto& v : requestLog()) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("method")).toString() == method &&
            o.value(QStringLiteral("path")).toString() == path)
            out.append(o);
    }
    return out;
}

int runWithService(int argc, char* argv[], const QStringList& accounts,
                   const std::function<int(KelvoService&)>& body) {
    KelvoService service(accounts);
    if (!service.isRunning()) {
        std::fprintf(stderr, "kelvo-service did not start\n");
        return 1;
    }
    const QStringList own = engine::argumentList(argc, argv);
    // Benchmarks try engine switches through the environment.
    const QStringList extra =
        qEnvironmentVariable("KELVO_EXTRA_ENGINE_SWITCHES").split(u' ', Qt::SkipEmptyParts);
    engine::ArgumentVector args(engine::prepareEngine(
        QStringList(own.first()) << QStringLiteral("--webEngineArgs") << service.engineSwitches() << extra));
    QApplication app(args.argc(), args.argv());
    engine::install();
    QApplication::setQuitOnLastWindowClosed(false);
    return body(service);
}
