#pragma once

#include "engine/core/TrackerService.h"
#include "kit/http/PZHTTPLoader.h"

#include <QTimer>

namespace ombrelay {

class AnnounceSubject;

// Announces one torrent to its HTTP trackers and hands the peers they name to the torrent. Re-announces
// on its own timer. A failed announce (network, HTTP status, "failure reason", unreadable reply) moves
// to the next tracker and retries after a back-off of 60 s doubling to 30 min; no tracker is dropped.
class TrackerWire : public PZHTTPLoader
{
    Q_OBJECT
public:
    static constexpr int kFirstRetrySeconds = 60;
    static constexpr int kMaxRetrySeconds = 30 * 60;

    explicit TrackerWire(AnnounceSubject& subject, QObject* parent = nullptr);

    void sendTrackerEvent(TrackerEvent event);
    // A plain announce, unless the torrent is paused.
    void resyncWithTracker();

    QByteArray trackerKey() const { return m_trackerKey; }
    QByteArray trackerId() const { return m_trackerId; }
    QString currentTracker() const;  // empty when the torrent has no HTTP tracker
    int seeds() const { return m_seeds; }
    int leeches() const { return m_leeches; }
    qint64 interval() const { return m_interval; }
    qint64 minInterval() const { return m_minInterval; }
    // The pending re-announce or retry, in ms; -1 when none is scheduled.
    int nextAnnounceInMs() const;

signals:
    void announced();           // an answer was taken in
    void announceFailed(const QString& why);

protected:
    QByteArray userAgent() const override;
    bool shouldSendCookies() const override;
    bool shouldAutoRedirect() const override { return true; }
    void handleCompletion() override;
    void handleError() override;

private:
    void failed(const QString& why);
    void schedule(int seconds, TrackerEvent event);

    AnnounceSubject& m_subject;
    QByteArray m_trackerKey;
    QByteArray m_trackerId;
    int m_trackerIndex = 0;
    TrackerEvent m_lastEvent = TrackerEvent::None;
    TrackerEvent m_retryEvent = TrackerEvent::None;  // what the timer sends
    quint64 m_initialUploaded = 0;
    quint64 m_initialDownloaded = 0;
    int m_seeds = 0;
    int m_leeches = 0;
    qint64 m_interval = 0;
    qint64 m_minInterval = 0;
    int m_retrySeconds = kFirstRetrySeconds;
    QTimer m_timer;
};

}  // namespace ombrelay
