#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <functional>

namespace ombrelay {

// The running media players over MPRIS (org.mpris.MediaPlayer2.* names on the bus): play and queue in the
// first that can open the file and takes it, and read what the first plays. The calls block for at most
// the time-out and belong on a worker queue; `query` answers on the main thread without blocking it.
// Values from the player are type-checked, stripped of control characters and cut to 256 characters.
class MediaPlayers
{
public:
    // Running answers the player's bus name.
    enum class Query { Artist, Title, StreamTitle, PlaybackStatus, Running };
    static constexpr int kTimeoutMs = 2000;
    static constexpr int kMaxValueLength = 256;

    explicit MediaPlayers(const QDBusConnection& bus);

    // The bus name of the running player, empty when none runs.
    QString runningPlayer() const;
    bool isRunning() const { return !runningPlayer().isEmpty(); }
    bool isPlaying() const;
    // The players that may open this address, in the order to ask them: those that name its scheme or its
    // file's type, then those that name any (a browser or a phone bridge names none and opens nothing).
    QStringList playersFor(const QString& uri) const;
    // OpenUri on the first of those players that takes it; false when none does.
    bool openUri(const QString& uri) const;
    // TrackList.AddTrack of the addresses, in their order, after the current track of the first of those
    // players that can edit its track list and takes them; false when none does.
    bool addTracks(const QStringList& uris) const;
    // The value as text; empty when no player runs or it has none.
    QString value(Query query) const;

    // value() off the calling thread; done runs on the context's thread.
    void query(Query query, QObject* context, std::function<void(const QString& value)> done) const;

    static QString cleanValue(const QString& text);

private:
    QStringList runningPlayers() const;
    QVariant property(const QString& player, const QString& interface, const QString& name) const;
    bool addTrack(const QString& player, const QString& uri, const QDBusObjectPath& after) const;

    QDBusConnection m_bus;
};

}  // namespace ombrelay
