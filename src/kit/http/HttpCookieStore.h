#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

class QObject;

namespace ombrelay {

// The process-wide cookie store that loaders send from (when they send cookies) and that the web panes
// fill and empty. Held in memory; main thread only. Loaders only read it: what a response sets is never
// kept.
class HttpCookieStore
{
public:
    struct Cookie
    {
        QByteArray domain;         // "example.org", or ".example.org" for the domain and its subdomains
        QByteArray path = "/";
        QByteArray name;
        QByteArray value;
        bool secure = false;
        QDateTime expires;         // invalid: a session cookie
    };

    // Refuses (false) a cookie without domain or name, or with control characters in any field. Replaces
    // the cookie of the same domain, path and name.
    static bool setCookie(const Cookie& cookie);
    static void removeCookie(const QByteArray& domain, const QByteArray& path, const QByteArray& name);
    static void clear();

    // Gives a request the cookies that may go to `host` in a jar of its own: curl sends those that match
    // each address of the load (redirects too), and what responses set ends with the request.
    static void attach(CURL* request, const QString& host);

    // The cookies of earlier sessions are being read in: loaders that send cookies start after
    // endFilling, so a launch's first fetches carry them too.
    static void beginFilling();
    static void endFilling();
    // Runs `start` now, or once filling ends if `context` is still there.
    static void whenFilled(QObject* context, std::function<void()> start);
};

}  // namespace ombrelay
