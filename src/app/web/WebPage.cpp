#include "app/web/WebPage.h"

#include "app/web/WebHooks.h"
#include "app/web/WebProfile.h"
#include "app/web/WebText.h"
#include "app/web/WindowRequestPage.h"

#include <QDataStream>
#include <QIODevice>
#include <QPointer>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineSettings>

namespace ombrelay {

namespace {

constexpr int kDiversionIntervalMs = 1000;

// The document's type, and with text the start of it: Chromium shows an RSS answer as plain text.
const QString kDocumentType = QStringLiteral(
    "[String(document.contentType), document.contentType === 'text/plain' && document.body"
    " ? String(document.body.textContent).slice(0, 1024) : '']");

bool isHandedScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("magnet") || scheme == QLatin1String("ombrelaysearch");
}

void call(const std::function<void(const QUrl&)>& hook, const QUrl& url)
{
    if (hook)
        hook(url);
}

// The history without its last entry, the current one: the entry before it becomes current and shows
// again from the cache. The engine's saved history starts with its format's version, the number of
// entries and the current index, and a restore reads only as many entries as that number says. False,
// with the history unchanged, when the current entry is not the last or the history cannot be so read.
bool dropLastEntry(QWebEngineHistory& history)
{
    const int count = history.count();
    if (count < 2 || history.currentItemIndex() != count - 1)
        return false;
    QByteArray saved;
    QDataStream save(&saved, QIODevice::WriteOnly);
    save << history;
    QDataStream header(saved);
    qint32 version = 0, savedCount = 0, current = 0;
    header >> version >> savedCount >> current;
    if (header.status() != QDataStream::Ok || savedCount != count || current != count - 1)
        return false;
    QByteArray shortened;
    QDataStream shorten(&shortened, QIODevice::WriteOnly);
    shorten << version << qint32(count - 1) << qint32(count - 2);
    const qsizetype entries = qsizetype(header.device()->pos());
    shorten.writeRawData(saved.constData() + entries, int(saved.size() - entries));
    QDataStream restored(shortened);
    restored >> history;
    return history.count() == count - 1;
}

}  // namespace

WebPage::WebPage(QObject* parent) : QWebEnginePage(WebProfile::shared(), parent)
{
    connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl& origin, Feature feature) {
        setFeaturePermission(origin, feature, PermissionDeniedByUser);
    });
    connect(this, &QWebEnginePage::fullScreenRequested, this, [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::loadFinished, this, &WebPage::checkForFeed);
    connect(this, &QWebEnginePage::loadingChanged, this, &WebPage::noteLoading);
    m_clock.start();
    m_foreignCheck.setSingleShot(true);
    m_foreignCheck.setInterval(int(ForeignSchemeLoop::kLoopMs));
    connect(&m_foreignCheck, &QTimer::timeout, this, &WebPage::checkForeignLoop);
}

bool WebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (isHandedScheme(url)) {
        if (type == NavigationTypeLinkClicked && isMainFrame)
            call(WebHooks::instance().handleURLEvent, url);
        return false;
    }
    if (!WebText::isWebAddress(url))
        return url == QUrl(QStringLiteral("about:blank"));
    if (isMainFrame)
        leaveStoppedPage(type);
    return true;
}

QWebEnginePage* WebPage::createWindow(WebWindowType type)
{
    QPointer<QWebEnginePage> page(this);
    return new WindowRequestPage(profile(), [page, type](const QUrl& url) {
        auto* self = qobject_cast<WebPage*>(page.data());
        if (!self || !WebText::isWebAddress(url))
            return;
        if (type == WebBrowserBackgroundTab)
            emit self->backgroundTabRequested(url);
        else
            self->load(url);
    }, this);
}

// Watches the page's attempts at other schemes (refused, they start and then stop or fail as loads), ends
// the user's load away from a stopped page, and loads again a page that came while scripts were off.
void WebPage::noteLoading(const QWebEngineLoadingInfo& loading)
{
    const bool started = loading.status() == QWebEngineLoadingInfo::LoadStartedStatus;
    if (WebText::isWebAddress(loading.url())) {
        if (started)
            return;
        m_leaving = false;
        m_foreignLoop.reset();  // a new page: the old one's attempts no longer count
        m_foreignCheck.stop();
        if (std::exchange(m_reloadOnArrival, false)) {
            resumeScripts();
            if (loading.status() == QWebEngineLoadingInfo::LoadSucceededStatus)
                triggerAction(Reload);
        }
        return;
    }
    const bool attempt = started || loading.status() == QWebEngineLoadingInfo::LoadStoppedStatus
        || loading.status() == QWebEngineLoadingInfo::LoadFailedStatus;
    if (!attempt || m_leaving || m_scriptsStopped || loading.url() == QUrl(QStringLiteral("about:blank")))
        return;
    if (m_foreignLoop.note(started, m_clock.elapsed()))
        stopScripts();
    else if (m_foreignLoop.isUnderWay() && !m_foreignCheck.isActive())
        m_foreignCheck.start();
}

// A busy engine may say nothing more until its own limit holds the page: the time tells.
void WebPage::checkForeignLoop()
{
    if (m_leaving || m_scriptsStopped)
        return;
    if (m_foreignLoop.loopsAt(m_clock.elapsed()))
        stopScripts();
    else if (m_foreignLoop.isUnderWay())
        m_foreignCheck.start();
}

void WebPage::stopScripts()
{
    m_scriptsStopped = true;
    m_foreignCheck.stop();
    settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
}

// The user leaves a stopped page. A link clicked on it loads with scripts still off, since the page,
// running again, would cancel it; the page it brings is loaded again with them. Any other load runs
// with them at once, and the old page's attempts no longer count.
void WebPage::leaveStoppedPage(NavigationType type)
{
    if (!m_scriptsStopped || m_reloadOnArrival)
        return;
    if (type == NavigationTypeLinkClicked) {
        m_reloadOnArrival = true;
        return;
    }
    resumeScripts();
    m_leaving = true;
}

void WebPage::resumeScripts()
{
    m_scriptsStopped = false;
    m_foreignLoop.reset();
    settings()->resetAttribute(QWebEngineSettings::JavascriptEnabled);
}

bool WebPage::mayDivert()
{
    if (m_lastDiversion.isValid() && m_lastDiversion.elapsed() < kDiversionIntervalMs)
        return false;
    m_lastDiversion.start();
    return true;
}

void WebPage::divertTorrent(const QUrl& address)
{
    if (WebText::isWebAddress(address) && mayDivert())
        call(WebHooks::instance().openTorrentAddress, address);
}

void WebPage::divertFeed(const QUrl& address)
{
    if (WebText::isWebAddress(address) && mayDivert())
        call(WebHooks::instance().addFeed, address);
}

// Chromium shows some feeds as pages: the loaded document tells.
void WebPage::checkForFeed(bool ok)
{
    const QUrl address = url();
    if (std::exchange(m_clearHistoryOnBlank, false) && address == QUrl(QStringLiteral("about:blank")))
        history()->clear();
    if (!ok || !WebText::isWebAddress(address))
        return;
    // Pending answers are delivered while a page is destroyed: only a whole WebPage is used.
    QPointer<QWebEnginePage> page(this);
    runJavaScript(kDocumentType, QWebEngineScript::ApplicationWorld,
                  [page, address](const QVariant& result) {
        auto* self = qobject_cast<WebPage*>(page.data());
        if (!self || self->url() != address)
            return;
        const QStringList answer = result.toStringList();
        if (!WebText::isRssDocument(answer.value(0), answer.value(1)))
            return;
        self->divertFeed(address);
        self->forgetShownFeed();
    });
}

// A feed is handed over, never shown: the tab's history is left as it was before it, and a tab that had
// nothing before it is empty again.
void WebPage::forgetShownFeed()
{
    if (history()->count() < 2) {
        m_clearHistoryOnBlank = true;
        setUrl(QUrl(QStringLiteral("about:blank")));
    } else if (!dropLastEntry(*history())) {
        triggerAction(Back);
    }
}

}  // namespace ombrelay
