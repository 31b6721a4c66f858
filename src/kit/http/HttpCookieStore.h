#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QDateTime>

namespace ombrelay {

// The process-wide cookie store that loaders send from (when they send cookies) and that the web panes
// fill. Held in memory in a curl share handle; main thread only.
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

    // Refuses (false) a cookie without domain or name, or with control characters in any field.
    static bool setCookie(const Cookie& cookie);
    static void clear();

    // The share handle a request attaches to send the store's cookies.
    static CURLSH* share();
};

}  // namespace ombrelay
