#include "app/web/WebText.h"

#include <QObject>
#include <QRegularExpression>

namespace ombrelay::WebText {

namespace {

bool isHidden(QChar c)
{
    const auto category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format;  // Format holds the bidi marks
}

// Chromium titles a page that has none with its address as shown to users (no "http://", no slash
// after a bare host, no user name, unescaped).
bool isOnlyTheAddress(const QString& title, const QUrl& address)
{
    if (title.isEmpty())
        return false;
    const auto shown = [](QUrl url) {
        if (url.path().isEmpty())
            url.setPath(QStringLiteral("/"));
        return url.adjusted(QUrl::RemoveUserInfo | QUrl::StripTrailingSlash | QUrl::NormalizePathSegments);
    };
    const QUrl titleAddress = QUrl::fromUserInput(title);
    return titleAddress.isValid() && shown(titleAddress) == shown(address);
}

}  // namespace

bool isWebAddress(const QUrl& address)
{
    const QString scheme = address.scheme().toLower();
    return address.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !address.host().isEmpty();
}

QUrl loadableAddress(const QUrl& address)
{
    return isWebAddress(address) ? address : QUrl(QStringLiteral("about:blank"));
}

QUrl completedLocation(const QString& typed)
{
    QString text = typed.trimmed();
    if (text.isEmpty())
        return {};
    const bool hasScheme = text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    if (!hasScheme && !text.contains(QLatin1Char('.')))
        text = QStringLiteral("www.%1.com").arg(text);
    if (!hasScheme)
        text.prepend(QLatin1String("http://"));
    const QUrl address(text, QUrl::StrictMode);
    return isWebAddress(address) ? address : QUrl();
}

QString shownText(const QString& text)
{
    QString shown;
    shown.reserve(std::min<qsizetype>(text.size(), kMaxShownLength + 1));
    for (const QChar c : text) {
        if (shown.size() > kMaxShownLength)
            break;
        if (!isHidden(c))
            shown.append(c.isSpace() ? QChar(u' ') : c);
    }
    shown = shown.simplified();
    if (shown.size() > kMaxShownLength) {
        shown.truncate(kMaxShownLength - 1);
        if (shown.back().isHighSurrogate())
            shown.chop(1);
        shown.append(QChar(0x2026));
    }
    return shown;
}

QString mimeEssence(const QString& mimeType)
{
    return mimeType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
}

bool isRssDocument(const QString& contentType, const QString& textStart)
{
    static const QRegularExpression rssRoot(QStringLiteral(R"(^\s*(<\?xml[^>]*\?>\s*)?(<!--.*?-->\s*)*<rss[\s>])"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QString essence = mimeEssence(contentType);
    return essence == QLatin1String("application/rss+xml")
        || (essence == QLatin1String("text/plain") && rssRoot.match(textStart).hasMatch());
}

QString title(const QString& firstPageTitle, bool canGoBack, const QString& pageTitle, const QUrl& address)
{
    if (!canGoBack && !firstPageTitle.isEmpty())
        return shownText(firstPageTitle);
    const QString page = isOnlyTheAddress(pageTitle.trimmed(), address) ? QString() : shownText(pageTitle);
    if (!page.isEmpty())
        return page;
    QString host = address.host();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    const QString fallback = shownText(host.isEmpty() ? address.toString() : host);
    return fallback.isEmpty() || fallback == QLatin1String("about:blank") ? QObject::tr("Untitled") : fallback;
}

QString statusText(const QString& link, bool browserKey, bool newTabKey, const QString& browserName)
{
    if (link.isEmpty() || link.startsWith(QLatin1String("javascript"), Qt::CaseInsensitive))
        return {};
    const QString shown = shownText(link);
    if (browserKey)
        return QObject::tr("Open in %1: %2").arg(browserName, shown);
    if (newTabKey)
        return QObject::tr("Open in new tab: %1").arg(shown);
    return shown;
}

}  // namespace ombrelay::WebText
