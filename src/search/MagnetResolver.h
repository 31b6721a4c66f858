#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

namespace ombrelay {

class HashScraper;
class PZHTTPLoader;

// Finds the torrent file of a magnet link: looks its info hash up (HashScraper), fetches each distinct
// candidate into memory (at most 8 at a time, 100 in all) and takes the first whose info hash matches. Ends with `resolved` or
// `unresolved`, once.
class MagnetResolver : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxRunningFetches = 8;
    static constexpr int kMaxCandidates = 100;

    explicit MagnetResolver(QObject* parent = nullptr);
    ~MagnetResolver() override;

    void start(const QString& magnetAddress);
    QByteArray infoHash() const { return m_infoHash; }
    int candidatesFetched() const { return int(m_candidates.size()); }

signals:
    void resolved(const QString& address, const QByteArray& torrentData);
    void unresolved();

private:
    void fetch(const QString& address);
    void startWaitingFetches();
    void candidateLoaded(PZHTTPLoader* loader, bool failed);
    void checkCandidate(const QString& address, const QByteArray& data, const QByteArray& infoHash);
    void finishIfExhausted();
    void stop();

    QByteArray m_infoHash;
    QPointer<HashScraper> m_lookup;
    bool m_lookupDone = false;
    QSet<QString> m_candidates;
    QSet<PZHTTPLoader*> m_loaders;
    QStringList m_waiting;  // candidates beyond the running limit, in the order found
    int m_pendingChecks = 0;
    bool m_finished = false;
};

}  // namespace ombrelay
