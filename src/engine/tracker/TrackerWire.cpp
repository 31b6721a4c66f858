#include "engine/tracker/TrackerWire.h"

#include "engine/tracker/AnnounceRequest.h"
#include "engine/tracker/AnnounceSubject.h"

#include <cstdio>

namespace ombrelay {
namespace {

quint64 since(quint64 now, quint64 initial)
{
    return now > initial ? now - initial : 0;
}

}  // namespace

TrackerWire::TrackerWire(AnnounceSubject& subject, QObject* parent)
    : PZHTTPLoader(parent), m_subject(subject), m_trackerKey(AnnounceRequest::makeKey())
{
    setMaxBodySize(kTrackerBodyCap);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!m_subject.isPaused())
            sendTrackerEvent(m_retryEvent);
    });
}

QByteArray TrackerWire::userAgent() const
{
    return applicationUserAgent();
}

bool TrackerWire::shouldSendCookies() const
{
    return userAllowsCookies();
}

QString TrackerWire::currentTracker() const
{
    const QStringList trackers = m_subject.httpTrackers();
    return trackers.isEmpty() ? QString() : trackers.at(m_trackerIndex % trackers.size());
}

int TrackerWire::nextAnnounceInMs() const
{
    return m_timer.isActive() ? m_timer.interval() : -1;
}

void TrackerWire::resyncWithTracker()
{
    if (!m_subject.isPaused())
        sendTrackerEvent(TrackerEvent::None);
}

void TrackerWire::sendTrackerEvent(TrackerEvent event)
{
    m_lastEvent = event;
    if (event == TrackerEvent::Started) {
        m_initialUploaded = m_subject.bytesUploaded();
        m_initialDownloaded = m_subject.bytesDownloaded();
    }
    m_timer.stop();  // this announce replaces the pending one; "stopped" ends them
    const QString tracker = currentTracker();
    if (tracker.isEmpty())
        return;
    AnnounceRequest request;
    request.infoHash = m_subject.infoHash();
    request.peerId = m_subject.peerId();
    request.port = m_subject.listeningPort();
    request.uploaded = since(m_subject.bytesUploaded(), m_initialUploaded);
    request.downloaded = since(m_subject.bytesDownloaded(), m_initialDownloaded);
    request.left = m_subject.bytesLeft();
    request.key = m_trackerKey;
    request.event = event;
    request.trackerId = m_trackerId;
    loadEncodedURL(request.addressFor(QUrl(tracker).toEncoded()));
}

void TrackerWire::handleCompletion()
{
    const std::optional<AnnounceReply> reply = AnnounceReply::parse(data());
    if (!reply)
        return failed(QStringLiteral("unreadable reply (HTTP status %1)").arg(statusCode()));
    if (reply->failed())
        return failed(reply->failureReason);
    if (statusCode() < 200 || statusCode() > 299)
        return failed(QStringLiteral("HTTP status %1").arg(statusCode()));
    if (reply->seeds)
        m_seeds = *reply->seeds;
    if (reply->leeches)
        m_leeches = *reply->leeches;
    m_interval = reply->interval;
    m_minInterval = reply->minInterval;
    if (!reply->peers.isEmpty() && m_lastEvent != TrackerEvent::Stopped)
        m_subject.addPeers(reply->peers);
    if (!reply->trackerId.isEmpty())
        m_trackerId = reply->trackerId;
    m_retrySeconds = kFirstRetrySeconds;
    if (m_lastEvent != TrackerEvent::Stopped)
        schedule(reply->reannounceDelaySeconds(), TrackerEvent::None);
    emit announced();
}

void TrackerWire::handleError()
{
    failed(error().message);
}

void TrackerWire::failed(const QString& why)
{
    fprintf(stderr, "*** announce to %s failed: %s\n", qPrintable(currentTracker()), qPrintable(why));
    if (m_lastEvent != TrackerEvent::Stopped) {
        // The next tracker gets the same event; its id for us is not the last one's.
        const int count = int(m_subject.httpTrackers().size());
        m_trackerIndex = count > 0 ? (m_trackerIndex + 1) % count : 0;
        m_trackerId.clear();
        schedule(m_retrySeconds, m_lastEvent);
        m_retrySeconds = std::min(m_retrySeconds * 2, kMaxRetrySeconds);
    }
    emit announceFailed(why);
}

void TrackerWire::schedule(int seconds, TrackerEvent event)
{
    m_retryEvent = event;
    m_timer.start(seconds * 1000);
}

}  // namespace ombrelay
