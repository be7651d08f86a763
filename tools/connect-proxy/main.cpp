// A company proxy as the tests need one: HTTPS through CONNECT only, and
// names that it alone can resolve.
//   connect-proxy --map NAME=127.0.0.1:PORT [--user NAME:PASSWORD]
// Listens on 127.0.0.1, prints "PORT <n>", and logs each tunnel asked for
// ("CONNECT host:port ...") on standard output. Anything else is refused.
// With --user, a tunnel without those Basic credentials gets 407 and is
// logged with "(no credentials)" or "(wrong credentials)".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::map<std::string, std::string> g_names; // host -> 127.0.0.1:port
std::string g_authorization;                // "Basic ..." wanted, or nothing
std::mutex g_out;

std::string base64(const std::string& in) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        const unsigned n = (unsigned char)in[i] << 16 |
                           (i + 1 < in.size() ? (unsigned char)in[i + 1] << 8 : 0) |
                           (i + 2 < in.size() ? (unsigned char)in[i + 2] : 0);
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += i + 1 < in.size() ? digits[n >> 6 & 63] : '=';
        out += i + 2 < in.size() ? digits[n & 63] : '=';
    }
    return out;
}

// The value of a header in a request head, without regard to the name's case.
std::string header(const std::string& head, std::string name) {
    std::string lower = head;
    for (char& c : lower)
        c = char(std::tolower((unsigned char)c));
    for (char& c : name)
        c = char(std::tolower((unsigned char)c));
    const size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos)
        return {};
    size_t from = at + 3 + name.size();
    while (from < head.size() && head[from] == ' ')
        ++from;
    return head.substr(from, head.find("\r\n", from) - from);
}

int connectTo(const std::string& address) {
    const size_t colon = address.rfind(':');
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(std::stoi(address.substr(colon + 1))));
    if (inet_pton(AF_INET, address.substr(0, colon).c_str(), &to.sin_addr) != 1)
        return -1;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void pump(int a, int b) {
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    char buf[16384];
    for (;;) {
        if (poll(fds, 2, 120000) <= 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0 || write(fds[1 - i].fd, buf, size_t(n)) != n)
                return;
        }
    }
}

void serve(int client) {
    std::string head;
    char c;
    while (head.size() < 8192 && head.find("\r\n\r\n") == std::string::npos && read(client, &c, 1) == 1)
        head += c;
    const std::string line = head.substr(0, head.find("\r\n"));
    const std::string given = header(head, "Proxy-Authorization");
    const bool allowed = g_authorization.empty() || given == g_authorization;
    {
        std::lock_guard<std::mutex> lock(g_out);
        std::printf("%s%s\n", line.c_str(),
                    allowed         ? ""
                    : given.empty() ? " (no credentials)"
                                    : " (wrong credentials)");
        std::fflush(stdout);
    }
    if (!allowed) {
        const char* ask = "HTTP/1.1 407 Proxy Authentication Required\r\n"
                          "Proxy-Authenticate: Basic realm=\"company\"\r\nContent-Length: 0\r\n"
                          "Connection: close\r\n\r\n";
        if (write(client, ask, std::strlen(ask)) < 0)
            std::perror("connect-proxy");
        close(client);
        return;
    }
    int upstream = -1;
    if (line.rfind("CONNECT ", 0) == 0) {
        const std::string target = line.substr(8, line.find(' ', 8) - 8);
        const std::string host = target.substr(0, target.rfind(':'));
        if (auto it = g_names.find(host); it != g_names.end())
            upstream = connectTo(it->second);
    }
    const char* answer = upstream >= 0 ? "HTTP/1.1 200 Connection established\r\n\r\n"
                                       : "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n";
    if (write(client, answer, std::strlen(answer)) > 0 && upstream >= 0)
        pump(client, upstream);
    if (upstream >= 0)
        close(upstream);
    close(client);
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string value = argv[i + 1];
        if (std::strcmp(argv[i], "--map") == 0 && value.find('=') != std::string::npos)
            g_names[value.substr(0, value.find('='))] = value.substr(value.find('=') + 1);
        else if (std::strcmp(argv[i], "--user") == 0)
            g_authorization = "Basic " + base64(value);
    }
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    if (server < 0 || bind(server, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        listen(server, 16) != 0 || getsockname(server, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        std::perror("connect-proxy");
        return 1;
    }
    std::printf("PORT %d\n", ntohs(at.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int client = accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0)
            std::thread(serve, client).detach();
    }
}
