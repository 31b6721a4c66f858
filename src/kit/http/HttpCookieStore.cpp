#include "kit/http/HttpCookieStore.h"

#include "kit/http/CurlMultiDriver.h"

#include <algorithm>

namespace ombrelay {
namespace {

bool isClean(const QByteArray& field)
{
    return std::none_of(field.begin(), field.end(), [](char c) { return uchar(c) < 0x20 || c == 0x7f; });
}

// Hands one line to curl's cookie engine through a throw-away handle on the share.
void tellCurl(const QByteArray& line)
{
    CURL* easy = curl_easy_init();
    if (!easy)
        return;
    curl_easy_setopt(easy, CURLOPT_SHARE, HttpCookieStore::share());
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.constData());
    curl_easy_cleanup(easy);
}

}  // namespace

CURLSH* HttpCookieStore::share()
{
    CurlMultiDriver::instance();  // curl's global set-up
    static CURLSH* handle = [] {
        CURLSH* s = curl_share_init();
        curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        return s;
    }();
    return handle;
}

bool HttpCookieStore::setCookie(const Cookie& cookie)
{
    if (cookie.domain.isEmpty() || cookie.name.isEmpty())
        return false;
    for (const QByteArray* field : {&cookie.domain, &cookie.path, &cookie.name, &cookie.value})
        if (!isClean(*field))
            return false;
    // Netscape cookie-file line: domain, subdomains too, path, secure, expiry (0 = session), name, value.
    const bool subdomains = cookie.domain.startsWith('.');
    const qint64 expiry = cookie.expires.isValid() ? std::max<qint64>(1, cookie.expires.toSecsSinceEpoch()) : 0;
    const QByteArray line = cookie.domain + '\t' + (subdomains ? "TRUE" : "FALSE") + '\t'
        + (cookie.path.isEmpty() ? QByteArray("/") : cookie.path) + '\t' + (cookie.secure ? "TRUE" : "FALSE")
        + '\t' + QByteArray::number(expiry) + '\t' + cookie.name + '\t' + cookie.value;
    tellCurl(line);
    return true;
}

void HttpCookieStore::clear()
{
    tellCurl("ALL");
}

}  // namespace ombrelay
