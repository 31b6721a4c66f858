#pragma once

#include "kit/XmlElement.h"
#include "kit/http/PZHTTPLoader.h"

#include <QList>
#include <QSet>
#include <QStringList>

namespace ombrelay {

class PageScraper;

// Looks for torrent files of an info hash: asks the web-search engine for the hash in hexadecimal, hands
// on every link of the answer that is a torrent file, and scans the answer's other pages once more for
// torrent links (the answer is parsed on the thread pool). Each candidate is handed on once; `didComplete` comes exactly once, also when the
// engine's page fails or no valid hash was given (then at once, without a request).
class HashScraper : public PZHTTPLoader
{
    Q_OBJECT
public:
    static constexpr int kMaxPages = 50;

    explicit HashScraper(const QByteArray& infoHash, QObject* parent = nullptr);

    QByteArray infoHash() const { return m_infoHash; }
    int runningPages() const { return int(m_siteScrapers.size()); }

    // The valid link addresses of the element and its descendants, depth first in document order,
    // resolved against `base`. Walks without recursion.
    static QStringList linksFromElement(const XmlElement& element, const QUrl& base);
    static bool isValidAddress(const QString& address);
    static QUrl lookupAddress(const QByteArray& infoHash);

signals:
    void potentialResult(const QString& address);
    void didComplete();

protected:
    bool shouldAutoRedirect() const override { return true; }
    void handleCompletion() override;
    void handleError() override;

private:
    // The answer's links, parsed off the main thread.
    void followLinks(const QStringList& links);
    void handOn(const QString& address);
    void handlePageScraperCompletion(PageScraper* page);
    void complete();

    QByteArray m_infoHash;
    QList<PageScraper*> m_siteScrapers;
    QSet<QString> m_handedOn;
    bool m_completed = false;
};

}  // namespace ombrelay
