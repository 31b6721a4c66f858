#include "search/feeds/FeedDocument.h"

#include "kit/FeedDateReader.h"
#include "kit/HtmlText.h"
#include "kit/XmlDocument.h"

namespace ombrelay {
namespace {

const QString kRSS = QStringLiteral("rss");
const QString kRDF = QStringLiteral("rdf:RDF");
const QString kAtom = QStringLiteral("feed");

void setText(QVariantMap& item, const QString& key, const QString& text)
{
    if (!text.isEmpty())
        item.insert(key, text);
}

// A byte-order mark or whitespace before the XML declaration makes the document unreadable to a strict
// parser; servers send both.
QByteArray withoutLeadingNoise(const QByteArray& data)
{
    qsizetype start = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < data.size() && (data[start] == ' ' || data[start] == '\t' || data[start] == '\r'
                                   || data[start] == '\n'))
        ++start;
    return start ? data.mid(start) : data;
}

QString plainTitle(const QString& title)
{
    return stringByRemovingHTMLTags(title).trimmed();
}

// The first "link" whose "rel" is the type; a link without "rel" is an "alternate" one.
XmlElement atomLink(const XmlElement& entry, const QString& type)
{
    for (const XmlElement& link : entry.elementsForName(QStringLiteral("link"))) {
        QString rel = link.stringForAttribute(QStringLiteral("rel"));
        if (rel.isEmpty())
            rel = QStringLiteral("alternate");
        if (rel == type)
            return link;
    }
    return {};
}

}  // namespace

FeedDocument FeedDocument::parse(const QByteArray& data, const QUrl& base, const QDateTime& now)
{
    FeedDocument feed;
    feed.m_base = base;
    feed.m_now = now;
    const XmlDocument document =
        XmlDocument::parse(withoutLeadingNoise(data), XmlDocument::Syntax::XmlWithHtmlEntities, kMaxBytes);
    if (!document.isValid()) {
        feed.m_error = document.errorString();
        return feed;
    }
    const XmlElement root = document.rootElement();
    const QString name = root.name();
    if (name == kRSS || name == kRDF) {
        feed.m_format = name;
        feed.parseRSS(root);
    } else if (name == kAtom) {
        feed.m_format = name;
        feed.parseAtom(root);
    } else {
        feed.m_error = QStringLiteral("Unsupported Document Type: %1").arg(name);
    }
    return feed;
}

bool FeedDocument::isValidFeed() const
{
    return m_format == kRSS || m_format == kRDF || m_format == kAtom;
}

void FeedDocument::parseRSS(const XmlElement& root)
{
    const XmlElement channel = root.elementForName(QStringLiteral("channel"));
    m_name = plainTitle(channel.stringForElement(QStringLiteral("title")));
    m_rssVersion = root.stringForAttribute(QStringLiteral("version"));
    const QString channelDate = channel.stringForElement(QStringLiteral("pubDate"));
    const XmlElement holder = m_format == kRDF ? root : channel;
    for (const XmlElement& entry : holder.elementsForName(QStringLiteral("item"))) {
        if (m_items.size() >= kMaxItems)
            break;
        QVariantMap item;
        item.insert(QStringLiteral("title"), plainTitle(entry.stringForElement(QStringLiteral("title"))));
        QString link = entry.stringForElement(QStringLiteral("link"));
        const XmlElement guid = entry.elementForName(QStringLiteral("guid"));
        const QString guidText = entry.stringForElement(QStringLiteral("guid"));
        if (link.isEmpty() && guid.stringForAttribute(QStringLiteral("isPermaLink")) == QLatin1String("true"))
            link = guidText;
        setText(item, QStringLiteral("link"), resolved(link));
        setText(item, QStringLiteral("description"),
                entry.stringForElement(QStringLiteral("content:encoded"), QStringLiteral("description")));
        setText(item, QStringLiteral("commentsLink"), resolved(entry.stringForElement(QStringLiteral("comments"))));
        setText(item, QStringLiteral("authorName"),
                entry.stringForElement(QStringLiteral("author"), QStringLiteral("dc:creator")));
        setText(item, QStringLiteral("guid"), guidText);
        const XmlElement enclosure = entry.elementForName(QStringLiteral("enclosure"));
        setText(item, QStringLiteral("enclosureURL"),
                enclosureAddress(enclosure.stringForAttribute(QStringLiteral("url"))));
        setText(item, QStringLiteral("enclosureType"), enclosure.stringForAttribute(QStringLiteral("type")));
        setText(item, QStringLiteral("enclosureLength"), enclosure.stringForAttribute(QStringLiteral("length")));
        QString date = entry.stringForElement(QStringLiteral("pubDate"), QStringLiteral("dc:date"));
        finishItem(std::move(item), date.isEmpty() ? channelDate : date);
    }
}

void FeedDocument::parseAtom(const XmlElement& root)
{
    m_name = plainTitle(root.stringForElement(QStringLiteral("title")));
    m_rssVersion = root.stringForAttribute(QStringLiteral("version"));
    const QString feedDate = root.stringForElement(QStringLiteral("updated"), QStringLiteral("modified"));
    static const QStringList dateNames{QStringLiteral("published"), QStringLiteral("issued"),
                                       QStringLiteral("updated"), QStringLiteral("modified"),
                                       QStringLiteral("created")};
    for (const XmlElement& entry : root.elementsForName(QStringLiteral("entry"))) {
        if (m_items.size() >= kMaxItems)
            break;
        QVariantMap item;
        item.insert(QStringLiteral("title"), plainTitle(entry.stringForElement(QStringLiteral("title"))));
        const QString id = entry.stringForElement(QStringLiteral("id"));
        QString link = atomLink(entry, QStringLiteral("alternate")).stringForAttribute(QStringLiteral("href"));
        if (link.isEmpty() && id.startsWith(QLatin1String("http")))
            link = id;
        setText(item, QStringLiteral("link"), resolved(link));
        setText(item, QStringLiteral("description"),
                entry.stringForElement(QStringLiteral("content"), QStringLiteral("summary")));
        const XmlElement author = entry.elementForName(QStringLiteral("author"));
        setText(item, QStringLiteral("authorName"), author.stringForElement(QStringLiteral("name")));
        setText(item, QStringLiteral("authorURI"),
                author.stringForElement(QStringLiteral("uri"), QStringLiteral("url")));
        setText(item, QStringLiteral("authorEmail"), author.stringForElement(QStringLiteral("email")));
        setText(item, QStringLiteral("guid"), id);
        const XmlElement enclosure = atomLink(entry, QStringLiteral("enclosure"));
        setText(item, QStringLiteral("enclosureURL"),
                enclosureAddress(enclosure.stringForAttribute(QStringLiteral("href"))));
        setText(item, QStringLiteral("enclosureType"), enclosure.stringForAttribute(QStringLiteral("type")));
        setText(item, QStringLiteral("enclosureLength"), enclosure.stringForAttribute(QStringLiteral("length")));
        QString date;
        for (const QString& dateName : dateNames)
            if (date.isEmpty())
                date = entry.stringForElement(dateName);
        finishItem(std::move(item), date.isEmpty() ? feedDate : date);
    }
}

void FeedDocument::finishItem(QVariantMap item, const QString& dateText)
{
    const QDateTime date = FeedDateReader::dateFromString(dateText);
    item.insert(QStringLiteral("date"), date.isValid() ? date : m_now);
    item.insert(QStringLiteral("dateAdded"), m_now);
    for (const char* key : {"title", "description"})
        item.insert(QLatin1String(key), stringByRemovingHTMLEntities(item.value(QLatin1String(key)).toString()));
    item.insert(QStringLiteral("isNew"), QStringLiteral("1"));
    m_items.append(std::move(item));
}

QString FeedDocument::resolved(const QString& address) const
{
    if (address.isEmpty())
        return {};
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isRelative() || !m_base.isValid() || m_base.isRelative())
        return address;
    return m_base.resolved(url).toString(QUrl::FullyEncoded);
}

// Read as an address, so spaces and other characters outside URLs are escaped, not the address itself.
QString FeedDocument::enclosureAddress(const QString& address) const
{
    if (address.isEmpty())
        return {};
    QUrl url(address, QUrl::TolerantMode);
    if (url.isRelative() && m_base.isValid() && !m_base.isRelative())
        url = m_base.resolved(url);
    return url.isValid() ? url.toString(QUrl::FullyEncoded) : QString();
}

}  // namespace ombrelay
