// kelvo-service: a local HTTPS stand-in for the members' site, for tests and
// the demo. Usage:
//   kelvo-service [--port N] [--host NAME] [--account mail:password]... [--publish-every SECONDS]
// --port 0 picks a free port; the chosen port is printed as "PORT <n> HTTP <m>",
// m a port of its own where the same site answers in plain HTTP (the site
// as reached over http://).
#include "certificate.h"
#include "service.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

namespace {
httplib::Server* g_server = nullptr;
httplib::Server* g_plain = nullptr;
void stop(int) {
    if (g_server)
        g_server->stop();
    if (g_plain)
        g_plain->stop();
}
} // namespace

int main(int argc, char* argv[]) {
    int port = 8443;
    int publishEvery = 0;
    std::string host = "kelvo.example";
    Site site;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "missing value for " << arg << "\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--port") {
            port = std::stoi(next());
        } else if (arg == "--host") {
            host = next();
        } else if (arg == "--account") {
            const std::string value = next();
            const auto colon = value.find(':');
            if (colon == std::string::npos) {
                std::cerr << "--account wants mail:password\n";
                return 2;
            }
            site.addAccount(value.substr(0, colon), value.substr(colon + 1));
        } else if (arg == "--publish-every") {
            publishEvery = std::stoi(next());
        } else {
            std::cerr << "unknown argument " << arg << "\n";
            return 2;
        }
    }
    site.addArticle("Kelvo+ へようこそ");
    site.addArticle("今月のおすすめ記事");

    Certificate cert = makeSelfSigned(host);
    httplib::SSLServer server(cert.cert, cert.key);
    if (!server.is_valid()) {
        std::cerr << "cannot start the TLS server\n";
        return 1;
    }
    site.install(server);
    g_server = &server;
    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);

    if (port == 0) {
        port = server.bind_to_any_port("127.0.0.1");
    } else if (!server.bind_to_port("127.0.0.1", port)) {
        port = -1;
    }
    if (port <= 0) {
        std::cerr << "cannot listen on 127.0.0.1\n";
        return 1;
    }
    httplib::Server plain;
    site.install(plain);
    const int plainPort = plain.bind_to_any_port("127.0.0.1");
    if (plainPort <= 0) {
        std::cerr << "cannot listen on 127.0.0.1 for plain HTTP\n";
        return 1;
    }
    g_plain = &plain;
    std::thread plainThread([&] { plain.listen_after_bind(); });
    std::cout << "PORT " << port << " HTTP " << plainPort << std::endl;

    std::atomic<bool> running{true};
    std::thread publisher([&] {
        int n = 1;
        while (running && publishEvery > 0) {
            for (int s = 0; s < publishEvery * 10 && running; ++s)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (running)
                site.addArticle("定期更新の記事 その" + std::to_string(n++));
        }
    });
    server.listen_after_bind();
    plain.stop();
    plainThread.join();
    running = false;
    publisher.join();
    X509_free(cert.cert);
    EVP_PKEY_free(cert.key);
    return 0;
}
