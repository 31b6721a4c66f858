#include "kit/http/HttpCookieStore.h"

#include <QHash>
#include <QList>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace ombrelay {
namespace {

using Cookie = HttpCookieStore::Cookie;

bool isClean(const QByteArray& field)
{
    return std::none_of(field.begin(), field.end(), [](char c) { return uchar(c) < 0x20 || c == 0x7f; });
}

QByteArray pathOf(const QByteArray& path)
{
    return path.isEmpty() ? QByteArray("/") : path;
}

// The host part of a domain, which the cookies are filed under.
QByteArray keyOf(const QByteArray& domain)
{
    return (domain.startsWith('.') ? domain.mid(1) : domain).toLower();
}

QHash<QByteArray, QList<Cookie>>& cookiesByHost()
{
    static QHash<QByteArray, QList<Cookie>> store;
    return store;
}

bool sameCookie(const Cookie& a, const QByteArray& domain, const QByteArray& path, const QByteArray& name)
{
    return a.domain.toLower() == domain.toLower() && pathOf(a.path) == pathOf(path) && a.name == name;
}

// Netscape cookie-file line: domain, subdomains too, path, secure, expiry (0 = session), name, value.
QByteArray lineFor(const Cookie& cookie)
{
    const bool subdomains = cookie.domain.startsWith('.');
    const qint64 expiry = cookie.expires.isValid() ? std::max<qint64>(1, cookie.expires.toSecsSinceEpoch()) : 0;
    return cookie.domain + '\t' + (subdomains ? "TRUE" : "FALSE") + '\t' + pathOf(cookie.path) + '\t'
        + (cookie.secure ? "TRUE" : "FALSE") + '\t' + QByteArray::number(expiry) + '\t' + cookie.name + '\t'
        + cookie.value;
}

struct Filling
{
    bool running = false;
    QList<QPair<QPointer<QObject>, std::function<void()>>> waiting;
};

Filling& filling()
{
    static Filling state;
    return state;
}

}  // namespace

void HttpCookieStore::beginFilling()
{
    filling().running = true;
}

void HttpCookieStore::endFilling()
{
    filling().running = false;
    const auto waiting = std::exchange(filling().waiting, {});
    for (const auto& [context, start] : waiting)
        if (context)
            start();
}

void HttpCookieStore::whenFilled(QObject* context, std::function<void()> start)
{
    if (filling().running)
        filling().waiting.append({context, std::move(start)});
    else
        start();
}

bool HttpCookieStore::setCookie(const Cookie& cookie)
{
    if (cookie.domain.isEmpty() || cookie.name.isEmpty())
        return false;
    for (const QByteArray* field : {&cookie.domain, &cookie.path, &cookie.name, &cookie.value})
        if (!isClean(*field))
            return false;
    removeCookie(cookie.domain, cookie.path, cookie.name);
    cookiesByHost()[keyOf(cookie.domain)].append(cookie);
    return true;
}

void HttpCookieStore::removeCookie(const QByteArray& domain, const QByteArray& path, const QByteArray& name)
{
    auto found = cookiesByHost().find(keyOf(domain));
    if (found == cookiesByHost().end())
        return;
    found->removeIf([&](const Cookie& cookie) { return sameCookie(cookie, domain, path, name); });
    if (found->isEmpty())
        cookiesByHost().erase(found);
}

void HttpCookieStore::clear()
{
    cookiesByHost().clear();
}

void HttpCookieStore::attach(CURL* request, const QString& host)
{
    const QByteArray asked = host.toUtf8().toLower();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    bool any = false;
    // The host itself, then each domain above it: "a.example.org", "example.org", "org".
    for (QByteArray key = asked; !key.isEmpty();) {
        for (const Cookie& cookie : cookiesByHost().value(key)) {
            const bool reaches = cookie.domain.startsWith('.') || key == asked;
            if (!reaches || (cookie.expires.isValid() && cookie.expires <= now))
                continue;
            curl_easy_setopt(request, CURLOPT_COOKIELIST, lineFor(cookie).constData());
            any = true;
        }
        const qsizetype dot = key.indexOf('.');
        key = dot < 0 ? QByteArray() : key.mid(dot + 1);
    }
    if (any)
        curl_easy_setopt(request, CURLOPT_COOKIEFILE, "");  // the jar's cookies go out; no file is read
}

}  // namespace ombrelay
