#pragma once

#include "kit/http/PZHTTPLoaderQueued.h"

#include <QStringList>

namespace ombrelay {

// Fetches one result page (queued, redirects followed) and scans it for torrent links on the thread
// pool. `finished` comes once per load, also after an error or time-out (then without links).
class PageScraper : public PZHTTPLoaderQueued
{
    Q_OBJECT
public:
    // Starts loading at once: a GET, or a POST of `body`.
    explicit PageScraper(const QUrl& address, const QByteArray& body = {}, QObject* parent = nullptr);

    QStringList torrentLinks() const { return m_torrentLinks; }
    bool isSERPScraper() const { return m_isSERPScraper; }
    void setIsSERPScraper(bool serp) { m_isSERPScraper = serp; }
    // Loading or scanning.
    bool isLoading() const override;

signals:
    void finished(ombrelay::PageScraper* scraper);

protected:
    bool shouldAutoRedirect() const override { return true; }
    void handleCompletion() override;
    void handleError() override;

private:
    QStringList m_torrentLinks;
    bool m_isSERPScraper = false;
    bool m_scanning = false;
};

}  // namespace ombrelay
