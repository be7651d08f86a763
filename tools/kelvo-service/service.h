#pragma once

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The bytes of the members' attachment (/members/report.pdf).
std::string memberAttachment();

// The members' site as the program sees it: a sign-in page with two forms, a
// top page listing articles ("ログアウト" while signed in), sign-out, and
// control endpoints under /_control/ for tests.
class Site {
public:
    void addAccount(const std::string& mail, const std::string& password);
    int addArticle(const std::string& title);
    void install(httplib::Server& server);
    // Pages a member reads in a browser window: an attachment, an inline PDF, a
    // long article, HTTP authentication, a permission, print, full screen.
    void installMemberPages(httplib::Server& server);

private:
    struct Article {
        int id;
        std::string title;
    };
    // A publish (edit 0) or an edit of article `edit`, once `due` has come.
    struct Scheduled {
        std::chrono::steady_clock::time_point due;
        int edit;
        std::string title;
    };
    // Carries out what is due; m_mutex held.
    void applyDue();
    struct LogEntry {
        std::string method;
        std::string path;
        std::string origin; // scheme://host as the browser asked for it
        std::multimap<std::string, std::string> fields;
    };

    bool signedIn(const httplib::Request& req);
    static std::string origin(const httplib::Request& req);
    void log(const httplib::Request& req);
    void delay();
    std::string page(const std::string& title, const std::string& body, bool signedIn);
    std::string loginPage(bool signedIn, const std::string& notice);
    std::string topPage(bool signedIn);
    std::string publicPage();
    std::string movingOnPage(const std::string& how, int afterMs);
    httplib::Server::HandlerResponse misbehave(const httplib::Request& req, httplib::Response& res);
    std::string logJson();
    std::string logCounts();

    std::mutex m_mutex;
    std::map<std::string, std::string> m_accounts;
    std::map<std::string, std::string> m_sessions; // token -> mail
    std::vector<Article> m_articles;
    std::vector<Scheduled> m_scheduled;
    std::vector<LogEntry> m_log;
    int m_nextArticle = 1;
    int m_nextSession = 1;
    int m_delayMs = 0;
    bool m_singleForm = false;
    int m_padKb = 0;
    // How the site misbehaves, switched by the control endpoints.
    bool m_unavailable = false;     // every page answers 503
    bool m_dropConnections = false; // every request loses its connection unanswered
    // Top page when signed out: articles, public, redirect, or a page that
    // moves on to the sign-in page after m_signedOutAfterMs: by a timed
    // refresh ("refresh") or by its script ("script").
    std::string m_signedOutTop = "articles";
    int m_signedOutAfterMs = 0;
    int m_wanderMs = -1;             // the top page leaves for /search after this many ms
    std::string m_topCache = "none"; // the top page's cache headers: none, no-cache, max-age, last-modified
    bool m_loginPageWhenSignedIn = false; // sign-in page (with "ログアウト") instead of a redirect
    std::string m_topScript;              // the top page talks back on load: alert, confirm, prompt or open
    std::string m_loginElsewhere; // an origin GET /login sends the browser to, as a hijacked site would
    bool m_challenge = false;     // every sign-in is answered with a picture challenge, no session
};
