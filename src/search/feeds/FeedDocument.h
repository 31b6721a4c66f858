#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVariantMap>

namespace ombrelay {

class XmlElement;

// A downloaded feed read into feed items: RSS 0.9x/2.0, RDF and Atom. Pure and thread-safe, so fetches
// parse off the main thread. Bounded: at most kMaxBytes of input and kMaxItems entries (the first ones of
// the document); entity declarations, external entities and over-deep nesting are refused by the parser.
class FeedDocument
{
public:
    static constexpr qsizetype kMaxBytes = qsizetype(8) << 20;
    static constexpr int kMaxItems = 10000;

    // `base` resolves relative links and enclosures; `now` stands for missing or unreadable dates and is
    // every item's "dateAdded".
    static FeedDocument parse(const QByteArray& data, const QUrl& base, const QDateTime& now);

    // The document's root was "rss", "rdf:RDF" or "feed".
    bool isValidFeed() const;
    QString feedFormat() const { return m_format; }
    QString name() const { return m_name; }
    QString rssVersion() const { return m_rssVersion; }
    QString errorString() const { return m_error; }
    // In document order.
    const QList<QVariantMap>& items() const { return m_items; }

private:
    void parseRSS(const XmlElement& root);
    void parseAtom(const XmlElement& root);
    void finishItem(QVariantMap item, const QString& dateText);
    QString resolved(const QString& address) const;
    QString enclosureAddress(const QString& address) const;

    QUrl m_base;
    QDateTime m_now;
    QString m_format;
    QString m_name;
    QString m_rssVersion;
    QString m_error;
    QList<QVariantMap> m_items;
};

}  // namespace ombrelay
