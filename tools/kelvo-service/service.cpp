#include "service.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

namespace {

std::string escapeHtml(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string escapeJson(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string cookieValue(const httplib::Request& req, const std::string& name) {
    const std::string header = req.get_header_value("Cookie");
    std::istringstream in(header);
    std::string part;
    while (std::getline(in, part, ';')) {
        const auto start = part.find_first_not_of(' ');
        if (start == std::string::npos)
            continue;
        part = part.substr(start);
        if (part.rfind(name + "=", 0) == 0)
            return part.substr(name.size() + 1);
    }
    return {};
}

bool fromLoopback(const httplib::Request& req) {
    return req.remote_addr == "127.0.0.1" || req.remote_addr == "::1" ||
           req.remote_addr == "::ffff:127.0.0.1";
}

const char* SessionCookie = "kelvo_session";

int portOf(const sockaddr_storage& a) {
    if (a.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
    if (a.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
    return -1;
}

// httplib gives handlers no socket: find the one this request came in on by
// its two ports and shut it, so the client sees the connection go unanswered.
void dropConnection(const httplib::Request& req) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2)
            continue;
        sockaddr_storage peer{}, local{};
        socklen_t peerLen = sizeof peer, localLen = sizeof local;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) != 0)
            continue;
        if (portOf(peer) == req.remote_port && portOf(local) == req.local_port) {
            shutdown(fd, SHUT_RDWR);
            break;
        }
    }
    closedir(dir);
}

} // namespace

void Site::addAccount(const std::string& mail, const std::string& password) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accounts[mail] = password;
}

int Site::addArticle(const std::string& title) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_articles.push_back({m_nextArticle, title});
    return m_nextArticle++;
}

void Site::applyDue() {
    const auto now = std::chrono::steady_clock::now();
    std::stable_sort(m_scheduled.begin(), m_scheduled.end(),
                     [](const Scheduled& a, const Scheduled& b) { return a.due < b.due; });
    while (!m_scheduled.empty() && m_scheduled.front().due <= now) {
        const Scheduled next = m_scheduled.front();
        m_scheduled.erase(m_scheduled.begin());
        if (next.edit == 0) {
            m_articles.push_back({m_nextArticle++, next.title});
            continue;
        }
        for (Article& a : m_articles) {
            if (a.id == next.edit)
                a.title = next.title;
        }
    }
}

bool Site::signedIn(const httplib::Request& req) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sessions.count(cookieValue(req, SessionCookie)) > 0;
}

std::string Site::origin(const httplib::Request& req) {
    return std::string(req.ssl ? "https://" : "http://") + req.get_header_value("Host");
}

void Site::log(const httplib::Request& req) {
    LogEntry entry{req.method, req.path, origin(req), {}};
    for (const auto& p : req.params)
        entry.fields.insert(p);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.push_back(std::move(entry));
}

void Site::delay() {
    int ms;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ms = m_delayMs;
    }
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string Site::page(const std::string& title, const std::string& body, bool signedIn) {
    std::string nav = signedIn ? "<a id=\"logout\" href=\"/account/logout\">ログアウト</a>"
                               : "<a id=\"login\" href=\"/login?code=qzv\">ログイン</a>";
    return "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><link rel=\"icon\" "
           "href=\"/favicon.ico\"><title>" +
           escapeHtml(title) + "</title></head><body><header><h1>Kelvo+</h1><nav>" + nav +
           "</nav></header><main>" + body + "</main></body></html>";
}

std::string Site::loginPage(bool isSignedIn, const std::string& notice) {
    bool single;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        single = m_singleForm;
    }
    std::string body;
    if (!notice.empty())
        body += "<p class=\"error\">" + notice + "</p>";
    if (!single)
        body += "<form id=\"search\" action=\"/search\" method=\"get\"><input name=\"q\"> "
                "<button>検索</button></form>";
    body += "<form id=\"signin\" action=\"/login\" method=\"post\">"
            "<p>メールアドレス <input type=\"text\" id=\"user_email\" name=\"user_email\"></p>"
            "<p>パスワード <input type=\"password\" id=\"user_password\" name=\"user_password\"></p>"
            "<p><input type=\"submit\" name=\"commit\" value=\"ログインする\"></p></form>";
    return page("ログイン | Kelvo+", body, isSignedIn);
}

std::string Site::topPage(bool isSignedIn) {
    std::string body = "<h2>新着記事</h2><ul id=\"articles\">";
    int padKb;
    int wanderMs;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wanderMs = m_wanderMs;
        applyDue();
        for (auto it = m_articles.rbegin(); it != m_articles.rend(); ++it)
            body += "<li><a href=\"/article/" + std::to_string(it->id) + "\">" + escapeHtml(it->title) +
                    "</a></li>";
        padKb = m_padKb;
    }
    body += "</ul>";
    // Drawn in an animation frame, as the real site draws parts of its page.
    body += "<p id=\"drawn\"></p><script>requestAnimationFrame(function(){"
            "document.getElementById('drawn').textContent='表示完了';});</script>";
    if (padKb > 0) {
        body += "<div id=\"archive\">";
        std::string line = "<p>過去の記事の一覧です。Archive of earlier articles, kept for members.</p>";
        for (size_t size = 0; size < static_cast<size_t>(padKb) * 1024; size += line.size())
            body += line;
        body += "</div>";
    }
    std::string talk;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        talk = m_topScript;
    }
    if (talk == "alert")
        body += "<script>alert('セッションの有効期限が切れました');</script>";
    else if (talk == "confirm")
        body += "<script>document.title=confirm('このページを離れますか?')?'confirmed':'declined';</script>";
    else if (talk == "prompt")
        body += "<script>document.title=prompt('お名前','')===null?'declined':'answered';</script>";
    else if (talk == "open")
        body += "<script>window.open('/campaign','campaign');</script>";
    else if (talk == "spin") // a broken script: once the list is drawn it never returns
        body += "<script>requestAnimationFrame(function(){setTimeout(function(){for(;;){}},0);});</script>";
    else if (talk == "spin-member") // only where a member reads it: at the first key, click or pointer move
        body += "<script>['keydown','mousedown','mousemove'].forEach(function(e){"
                "addEventListener(e,function(){for(;;){}});});</script>";
    if (wanderMs >= 0) // as sites do that send the reader on by script
        body += "<script>setTimeout(function(){location.href='/search';}," + std::to_string(wanderMs) +
                ");</script>";
    return page("Kelvo+", body, isSignedIn);
}

// What sites show once a session has ended: a notice that refreshes to the
// sign-in page, or a single-page app whose script finds no session and sends
// the browser there.
std::string Site::movingOnPage(const std::string& how, int afterMs) {
    const std::string target = "/login?code=qzv";
    if (how == "refresh")
        return "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" "
               "content=\"" +
               std::to_string(afterMs / 1000) + ";url=" + target +
               "\"><title>Kelvo+</title></"
               "head><body><p>セッションの有効期限が切れました。ログインページへ移動します。"
               "</p></body></html>";
    return "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Kelvo+</title></head>"
           "<body><div id=\"app\">読み込み中…</div><script>setTimeout(function(){location.href='" +
           target + "';}," + std::to_string(afterMs) + ");</script></body></html>";
}

std::string Site::publicPage() {
    return page("Kelvo+", "<h2>Kelvo+ は会員制のサイトです</h2><p>記事を読むにはログインしてください。</p>",
                false);
}

httplib::Server::HandlerResponse Site::misbehave(const httplib::Request& req, httplib::Response& res) {
    if (req.path.rfind("/_control/", 0) == 0)
        return httplib::Server::HandlerResponse::Unhandled;
    // Every request is counted, whatever its path (an icon, a prefetch), once.
    // A POST's form fields are read after this point: its handler logs it.
    if (req.method != "POST")
        log(req);
    bool unavailable, drop;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        unavailable = m_unavailable;
        drop = m_dropConnections;
    }
    if (!unavailable && !drop)
        return httplib::Server::HandlerResponse::Unhandled;
    if (req.method == "POST")
        log(req);
    if (drop) {
        dropConnection(req);
    } else {
        res.status = 503;
        res.set_header("Retry-After", "60");
        res.set_content("<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>メンテナンス中"
                        "</title></head><body><h1>Service Unavailable</h1><p>ただいまメンテナンス中です。</p>"
                        "</body></html>",
                        "text/html; charset=utf-8");
    }
    return httplib::Server::HandlerResponse::Handled;
}

// "METHOD PATH COUNT" a line, for each path that the log holds.
std::string Site::logCounts() {
    std::map<std::string, int> counts;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const LogEntry& e : m_log)
            ++counts[e.method + " " + e.path];
    }
    std::string out;
    for (const auto& [request, n] : counts)
        out += request + " " + std::to_string(n) + "\n";
    return out;
}

std::string Site::logJson() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string out = "[";
    for (size_t i = 0; i < m_log.size(); ++i) {
        const LogEntry& e = m_log[i];
        out += i ? ",\n" : "\n";
        out += "{\"method\":\"" + escapeJson(e.method) + "\",\"path\":\"" + escapeJson(e.path) +
               "\",\"fields\":{";
        bool first = true;
        for (const auto& f : e.fields) {
            out += first ? "" : ",";
            first = false;
            out += "\"" + escapeJson(f.first) + "\":\"" + escapeJson(f.second) + "\"";
        }
        out += "},\"origin\":\"" + escapeJson(e.origin) + "\"}";
    }
    return out + "\n]\n";
}

void Site::install(httplib::Server& server) {
    const char* html = "text/html; charset=utf-8";

    server.Get("/login", [this, html](const httplib::Request& req, httplib::Response& res) {
        delay();
        // Like most sites, a member already signed in is sent on to the top page;
        // some show the sign-in page all the same.
        const bool in = signedIn(req);
        bool showAnyway;
        std::string elsewhere;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            showAnyway = m_loginPageWhenSignedIn;
            elsewhere = m_loginElsewhere;
        }
        if (!elsewhere.empty() && elsewhere != origin(req)) {
            res.set_redirect(elsewhere + "/login?code=qzv");
            return;
        }
        if (in && !showAnyway) {
            res.set_redirect("/");
            return;
        }
        res.set_content(loginPage(in, ""), html);
    });
    server.Post("/login", [this, html](const httplib::Request& req, httplib::Response& res) {
        log(req);
        delay();
        const std::string mail = req.get_param_value("user_email");
        const std::string password = req.get_param_value("user_password");
        std::string token;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_challenge) {
                // After unusual sign-ins real sites ask for more: neither
                // a refusal nor a session.
                res.set_content(page("確認", "<p>画像に表示されている文字を入力してください。</p>", false),
                                html);
                return;
            }
            auto it = m_accounts.find(mail);
            if (it != m_accounts.end() && it->second == password) {
                std::random_device rd;
                token = std::to_string(m_nextSession++) + "-" + std::to_string(rd());
                m_sessions[token] = mail;
            }
        }
        if (token.empty()) {
            res.set_content(
                loginPage(false, "ログインに失敗しました。メールアドレスかパスワードが違います。"), html);
            return;
        }
        res.set_header("Set-Cookie", std::string(SessionCookie) + "=" + token + "; Path=/; Secure; HttpOnly");
        res.set_redirect("/");
    });
    server.Get("/", [this, html](const httplib::Request& req, httplib::Response& res) {
        delay();
        const bool in = signedIn(req);
        std::string signedOutTop, cache;
        int afterMs;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            signedOutTop = m_signedOutTop;
            afterMs = m_signedOutAfterMs;
            cache = m_topCache;
        }
        if (!in && signedOutTop == "redirect") {
            res.set_redirect("/login?code=qzv");
            return;
        }
        std::string body;
        if (!in && (signedOutTop == "refresh" || signedOutTop == "script"))
            body = movingOnPage(signedOutTop, afterMs);
        else if (!in && signedOutTop == "public")
            body = publicPage();
        else
            body = topPage(in);
        // Headers that let a browser answer from its cache, as sites send them.
        if (cache == "no-cache") {
            res.set_header("Cache-Control", "private, no-cache");
            res.set_header("ETag", "\"" + std::to_string(std::hash<std::string>{}(body)) + "\"");
        } else if (cache == "max-age") {
            res.set_header("Cache-Control", "private, max-age=600");
        } else if (cache == "last-modified") {
            res.set_header("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT");
        }
        res.set_content(body, html);
    });
    server.Get(R"(/article/(\d+))", [this, html](const httplib::Request& req, httplib::Response& res) {
        delay();
        const int id = std::stoi(req.matches[1]);
        std::string title;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto& a : m_articles)
                if (a.id == id)
                    title = a.title;
        }
        if (title.empty()) {
            res.status = 404;
            res.set_content(page("見つかりません", "<p>記事が見つかりません。</p>", signedIn(req)), html);
            return;
        }
        res.set_content(page(title, "<h2>" + escapeHtml(title) + "</h2><p>本文です。</p>", signedIn(req)),
                        html);
    });
    server.Get("/campaign", [this, html](const httplib::Request& req, httplib::Response& res) {
        res.set_content(page("キャンペーン", "<p>アンケートにご協力ください。</p>", signedIn(req)), html);
    });
    server.Get("/search", [this, html](const httplib::Request& req, httplib::Response& res) {
        res.set_content(page("検索", "<p>検索結果はありません。</p>", signedIn(req)), html);
    });
    server.Get("/mypage/favorites", [this, html](const httplib::Request& req, httplib::Response& res) {
        delay();
        const bool in = signedIn(req);
        res.set_content(page("お気に入り | Kelvo+",
                             in ? "<h2>お気に入りの記事</h2>" : "<p>ログインしてください。</p>", in),
                        html);
    });
    server.Get("/account/logout", [this, html](const httplib::Request& req, httplib::Response& res) {
        delay();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sessions.erase(cookieValue(req, SessionCookie));
        }
        res.set_header("Set-Cookie", std::string(SessionCookie) + "=; Path=/; Max-Age=0; Secure; HttpOnly");
        res.set_content(page("Kelvo+", "<p>サインアウトが完了しました。</p>", false), html);
    });

    installMemberPages(server);
    server.set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return misbehave(req, res); });

    // Control endpoints for tests, loopback only.
    auto control = [this](const std::string& path, auto handler) {
        auto guarded = [handler](const httplib::Request& req, httplib::Response& res) {
            if (!fromLoopback(req)) {
                res.status = 403;
                return;
            }
            handler(req, res);
        };
        return std::make_pair(path, guarded);
    };
    auto post = [&server, control](const std::string& path, auto handler) {
        auto [p, h] = control(path, handler);
        server.Post(p, h);
    };
    // POST path?on=1 switches a misbehaviour on, anything else off.
    auto toggle = [this, post](const std::string& path, bool Site::*flag) {
        post(path, [this, flag](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            this->*flag = req.get_param_value("on") == "1";
            res.set_content("ok\n", "text/plain");
        });
    };
    // POST path?PARAM=VALUE sets a mode to one of `values`, anything else is refused.
    auto choice = [this, post](const std::string& path, const std::string& param,
                               std::vector<std::string> values, std::string Site::*mode) {
        post(path, [this, param, values, mode](const httplib::Request& req, httplib::Response& res) {
            const std::string value = req.get_param_value(param);
            if (std::find(values.begin(), values.end(), value) == values.end()) {
                std::string all;
                for (const std::string& v : values)
                    all += (all.empty() ? "" : ", ") + (v.empty() ? std::string("nothing") : v);
                res.status = 400;
                res.set_content(param + ": " + all + "\n", "text/plain");
                return;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            this->*mode = value;
            res.set_content("ok\n", "text/plain");
        });
    };
    post("/_control/article", [this](const httplib::Request& req, httplib::Response& res) {
        std::string title = req.get_param_value("title");
        if (title.empty())
            title = "新しい記事";
        res.set_content(std::to_string(addArticle(title)) + "\n", "text/plain");
    });
    post("/_control/article/remove", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int id = req.has_param("id") ? std::stoi(req.get_param_value("id"))
                                           : (m_articles.empty() ? 0 : m_articles.back().id);
        for (auto it = m_articles.begin(); it != m_articles.end(); ++it) {
            if (it->id == id) {
                m_articles.erase(it);
                break;
            }
        }
        res.set_content("ok\n", "text/plain");
    });
    // ?id=N (the newest when none)&title=T: the article's title changes.
    post("/_control/article/edit", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int id = req.has_param("id") ? std::stoi(req.get_param_value("id"))
                                           : (m_articles.empty() ? 0 : m_articles.back().id);
        for (Article& a : m_articles) {
            if (a.id == id)
                a.title = req.get_param_value("title");
        }
        res.set_content("ok\n", "text/plain");
    });
    // ?after-ms=MS&title=T[&edit=ID]: publishes T (or retitles article ID) MS
    // from now, so that changes come while nobody drives the site.
    post("/_control/schedule", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string after = req.get_param_value("after-ms"), title = req.get_param_value("title");
        if (after.empty() || title.empty()) {
            res.status = 400;
            res.set_content("after-ms and title, and edit=ID to retitle an article\n", "text/plain");
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_scheduled.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(std::stoi(after)),
                               req.has_param("edit") ? std::stoi(req.get_param_value("edit")) : 0, title});
        res.set_content("ok\n", "text/plain");
    });
    post("/_control/slow", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_delayMs = std::stoi(req.get_param_value("ms").empty() ? "0" : req.get_param_value("ms"));
        res.set_content("ok\n", "text/plain");
    });
    toggle("/_control/single-form", &Site::m_singleForm);
    post("/_control/top-size", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_padKb = std::stoi(req.get_param_value("kb").empty() ? "0" : req.get_param_value("kb"));
        res.set_content("ok\n", "text/plain");
    });
    toggle("/_control/unavailable", &Site::m_unavailable);
    toggle("/_control/drop", &Site::m_dropConnections);
    post("/_control/signed-out-top", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string mode = req.get_param_value("mode");
        if (mode != "articles" && mode != "public" && mode != "redirect" && mode != "refresh" &&
            mode != "script") {
            res.status = 400;
            res.set_content("mode: articles, public, redirect, refresh or script\n", "text/plain");
            return;
        }
        const std::string after = req.get_param_value("after");
        std::lock_guard<std::mutex> lock(m_mutex);
        m_signedOutTop = mode;
        m_signedOutAfterMs = after.empty() ? 0 : std::stoi(after);
        res.set_content("ok\n", "text/plain");
    });
    toggle("/_control/login-page-when-signed-in", &Site::m_loginPageWhenSignedIn);
    toggle("/_control/login-challenge", &Site::m_challenge);
    choice("/_control/top-script", "kind", {"", "alert", "confirm", "prompt", "open", "spin", "spin-member"},
           &Site::m_topScript);
    // ?to=ORIGIN (scheme://host[:port]); nothing: the sign-in page stays here.
    post("/_control/login-elsewhere", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_loginElsewhere = req.get_param_value("to");
        res.set_content("ok\n", "text/plain");
    });
    choice("/_control/top-cache", "mode", {"none", "no-cache", "max-age", "last-modified"},
           &Site::m_topCache);
    post("/_control/top-wanders", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string ms = req.get_param_value("ms");
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wanderMs = ms.empty() ? -1 : std::stoi(ms);
        res.set_content("ok\n", "text/plain");
    });
    // Every switch back to a well-behaved site, sessions ended, the log emptied.
    post("/_control/reset", [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_delayMs = 0;
        m_singleForm = false;
        m_padKb = 0;
        m_unavailable = false;
        m_dropConnections = false;
        m_signedOutTop = "articles";
        m_signedOutAfterMs = 0;
        m_topCache = "none";
        m_wanderMs = -1;
        m_loginPageWhenSignedIn = false;
        m_challenge = false;
        m_topScript.clear();
        m_loginElsewhere.clear();
        m_scheduled.clear();
        m_sessions.clear();
        m_log.clear();
        res.set_content("ok\n", "text/plain");
    });
    post("/_control/expire-sessions", [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sessions.clear();
        res.set_content("ok\n", "text/plain");
    });
    // The member changed the password on the site: sessions stay signed in.
    post("/_control/password", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_accounts[req.get_param_value("mail")] = req.get_param_value("to");
        res.set_content("ok\n", "text/plain");
    });
    post("/_control/log/clear", [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.clear();
        res.set_content("ok\n", "text/plain");
    });
    auto [logPath, logHandler] =
        control("/_control/log", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(logJson(), "application/json");
        });
    server.Get(logPath, logHandler);
    auto [countsPath, countsHandler] =
        control("/_control/log/counts", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(logCounts(), "text/plain");
        });
    server.Get(countsPath, countsHandler);
    // What a download of the members' attachment must bring, byte for byte.
    auto [attachmentPath, attachmentHandler] =
        control("/_control/attachment", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(memberAttachment(), "application/octet-stream");
        });
    server.Get(attachmentPath, attachmentHandler);
    // Last, so that it takes only what no route above takes: logged and refused.
    server.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
        if (req.path.rfind("/_control/", 0) != 0)
            log(req);
        res.status = 404;
    });
}
