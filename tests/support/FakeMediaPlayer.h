#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace ombrelay::test {

// An MPRIS player on a private bus ("org.mpris.MediaPlayer2.<name>"), with or without a track list:
// records what it is asked to open and queue, and reports the status and metadata it is given.
class FakeMediaPlayer : public QObject
{
    Q_OBJECT
public:
    FakeMediaPlayer(QDBusConnection bus, const QString& name, bool hasTrackList);
    ~FakeMediaPlayer() override;

    QString playbackStatus = QStringLiteral("Stopped");
    QVariantMap metadata;
    QStringList opened;
    QStringList queued;

private:
    QDBusConnection m_bus;
    QString m_service;
};

class FakePlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
public:
    explicit FakePlayerAdaptor(FakeMediaPlayer* player) : QDBusAbstractAdaptor(player), m_player(player) {}
    QString playbackStatus() const { return m_player->playbackStatus; }
    QVariantMap metadata() const { return m_player->metadata; }
public slots:
    void OpenUri(const QString& uri) { m_player->opened.append(uri); }

private:
    FakeMediaPlayer* m_player;
};

class FakeTrackListAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.TrackList")
    Q_PROPERTY(bool CanEditTracks READ canEditTracks)
public:
    explicit FakeTrackListAdaptor(FakeMediaPlayer* player) : QDBusAbstractAdaptor(player), m_player(player) {}
    bool canEditTracks() const { return true; }
public slots:
    void AddTrack(const QString& uri, const QDBusObjectPath&, bool) { m_player->queued.append(uri); }

private:
    FakeMediaPlayer* m_player;
};

}  // namespace ombrelay::test
