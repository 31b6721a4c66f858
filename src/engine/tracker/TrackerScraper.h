#pragma once

#include "engine/tracker/ScrapeExchange.h"
#include "kit/http/PZHTTPLoaderQueued.h"

namespace ombrelay {

// One scrape of one torrent at one tracker, through the queue with a 5 s time-out. Completes with the
// counts of our torrent's entry; a reply without that entry is an error (UnreadableReply).
class TrackerScraper : public PZHTTPLoaderQueued
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 5000;

    explicit TrackerScraper(const QByteArray& infoHash, QObject* parent = nullptr);

    int seeds() const { return m_counts.seeds; }
    int leeches() const { return m_counts.leeches; }

protected:
    bool shouldAutoRedirect() const override { return true; }
    void handleCompletion() override;

private:
    QByteArray m_infoHash;
    ScrapeExchange::Counts m_counts;
};

}  // namespace ombrelay
