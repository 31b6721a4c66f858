#include "app/web/WebProfile.h"

#include "app/web/WebPage.h"
#include "app/web/WebProxy.h"
#include "app/web/WebText.h"
#include "kit/AppPaths.h"
#include "kit/OBDefaults.h"
#include "kit/http/HttpCookieStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <atomic>
#include <unistd.h>

namespace ombrelay {

namespace {

constexpr qint64 kDiskCacheBytes = 50 * 1024 * 1024;

// Read by the cookie filter on Chromium's IO thread, written on the main thread at each request.
std::atomic<bool> cookiesDisabled{false};

QWebEngineProfile* sharedProfile = nullptr;

}  // namespace

WebProfile::WebProfile(QObject* parent) : QWebEngineUrlRequestInterceptor(parent) {}

bool WebProfile::canShowPages()
{
    static const bool can = [] {
        if (::geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
            return true;
        fprintf(stderr, "*** Web pages are not shown: running as root with the web sandbox on\n");
        return false;
    }();
    return can;
}

QString WebProfile::storageFolder()
{
    return QDir(AppPaths::applicationSupportPath()).filePath(QStringLiteral("WebEngine"));
}

QWebEngineProfile* WebProfile::shared()
{
    if (sharedProfile)
        return sharedProfile;
    sharedProfile = [] {
        WebProxy::apply();
        cookiesDisabled = OBDefaults::kDisableCookies();
        auto* made = new QWebEngineProfile(QStringLiteral("WebEngine"));
        const QString folder = storageFolder();
        made->setPersistentStoragePath(folder);
        made->setCachePath(folder + QStringLiteral("/Cache"));
        made->setHttpCacheMaximumSize(int(kDiskCacheBytes));
        made->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
        made->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        made->settings()->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
        made->settings()->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
        made->settings()->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
        made->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        made->setUrlRequestInterceptor(new WebProfile(made));
        made->cookieStore()->setCookieFilter([](const QWebEngineCookieStore::FilterRequest&) { return !cookiesDisabled; });
        QObject::connect(made->cookieStore(), &QWebEngineCookieStore::cookieAdded, made,
                         [](const QNetworkCookie& cookie) { copyCookie(cookie); });
        QObject::connect(made->cookieStore(), &QWebEngineCookieStore::cookieRemoved, made, [](const QNetworkCookie& cookie) {
            HttpCookieStore::removeCookie(cookie.domain().toUtf8(), cookie.path().toUtf8(), cookie.name());
        });
        QObject::connect(made, &QWebEngineProfile::downloadRequested, made, &WebProfile::divert);
        made->cookieStore()->loadAllCookies();
        return made;
    }();
    return sharedProfile;
}

void WebProfile::release()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // pages closed just before
    delete sharedProfile;
    sharedProfile = nullptr;
}

void WebProfile::interceptRequest(QWebEngineUrlRequestInfo&)
{
    cookiesDisabled = OBDefaults::kDisableCookies();
}

bool WebProfile::isTorrent(const QString& mimeType, const QString& suggestedFileName)
{
    return WebText::mimeEssence(mimeType) == QLatin1String("application/x-bittorrent")
        || suggestedFileName.endsWith(QLatin1String(".torrent"), Qt::CaseInsensitive);
}

bool WebProfile::copyCookie(const QNetworkCookie& cookie)
{
    if (OBDefaults::kDisableCookies())
        return false;
    HttpCookieStore::Cookie copy;
    copy.domain = cookie.domain().toUtf8();  // a leading "." only on domain cookies: host-only stays so
    copy.path = cookie.path().isEmpty() ? QByteArray("/") : cookie.path().toUtf8();
    copy.name = cookie.name();
    copy.value = cookie.value();
    copy.secure = cookie.isSecure();
    if (!cookie.isSessionCookie())
        copy.expires = cookie.expirationDate();
    return HttpCookieStore::setCookie(copy);
}

void WebProfile::divert(QWebEngineDownloadRequest* download)
{
    const bool torrent = isTorrent(download->mimeType(), download->suggestedFileName());
    const QUrl address = download->url();
    auto* page = qobject_cast<WebPage*>(download->page());
    download->cancel();  // nothing is written: a torrent is fetched again by the open-by-address panel
    if (!page)
        return;
    if (torrent)
        page->divertTorrent(address);
    else if (WebText::mimeEssence(download->mimeType()) == QLatin1String("application/rss+xml"))
        page->divertFeed(address);
}

}  // namespace ombrelay
