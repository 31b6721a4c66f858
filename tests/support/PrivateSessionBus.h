#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace ombrelay::test {

// A dbus-daemon of the test's own: nothing reaches the user's session bus. Connections made through it
// are closed, and the daemon stopped, when it goes away.
class PrivateSessionBus
{
public:
    PrivateSessionBus();
    // A bus that another process runs (a test's parent), reached the same way.
    explicit PrivateSessionBus(const QString& address) : m_address(address) {}
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A new connection to the bus under a name unique to this bus.
    QDBusConnection connect(const QString& name);
    // Closes the connections made through connect(); returns once the daemon has let go of their names.
    void closeConnections();

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

// The test program's session bus. Qt keeps the first session bus a process connects to for the rest of
// its life, so code that finds the bus through the environment can only ever be given one: this daemon,
// started and exported before the first test and stopped after the last, or the bus a parent test handed
// down ("OMBRELAY_TEST_SESSION_BUS"). A suite declares it with
//   inline ::testing::Environment* const kSessionBus = ::testing::AddGlobalTestEnvironment(new SharedSessionBus);
// and each of its tests closes the connections it made through bus() when it ends.
class SharedSessionBus : public ::testing::Environment
{
public:
    static PrivateSessionBus& bus();

    void SetUp() override;
    void TearDown() override;
};

// Desktop services as a session answers them, on such a bus.

// org.freedesktop.Notifications: records every notice, answers the capabilities it is
// given, and can keep every caller waiting for a reply that never comes.
class FakeNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice
    {
        QString appName;
        QString appIcon;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    FakeNotificationServer(QDBusConnection bus, QStringList capabilities, bool answers = true);

    QList<Notice> notices;
    int capabilityQuestions = 0;

public slots:
    QStringList GetCapabilities();
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);

private:
    QStringList m_capabilities;
    bool m_answers;
};

// org.kde.StatusNotifierWatcher with a host registered: tray icons register with it,
// and it records the bus names of their items.
class FakeStatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    explicit FakeStatusNotifierWatcher(QDBusConnection bus);

    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QStringList m_items;
};

// org.freedesktop.FileManager1: records the items it is asked to show, and shows them or answers with an
// error. It answers from the thread it lives on, so a caller blocked on that thread waits in vain.
class FakeFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    FakeFileManager(QDBusConnection bus, bool shows = true);

    QList<QStringList> asked;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId);

private:
    bool m_shows;
};

// Records the launcher-entry updates sent on a bus, as a desktop's launcher would receive them.
class LauncherEntryListener : public QObject
{
    Q_OBJECT
public:
    // False when the match could not be set up; the match is in place once this returns.
    bool listen(QDBusConnection bus);

    QList<qint64> counts;
    QList<bool> urgency;

public slots:
    void update(const QString& application, const QVariantMap& properties);
};

// An MPRIS player ("org.mpris.MediaPlayer2.<name>"), with or without a track list:
// records what it is asked to open, keeps its track list as the tracks added put it (each after the track
// it names, at the start after NoTrack), and reports the status and metadata it is given. It names
// the schemes and types it opens (a browser or a phone bridge names none), and may refuse every address.
class FakeMediaPlayer : public QObject, public QDBusContext  // the context of its adaptors' calls
{
    Q_OBJECT
public:
    FakeMediaPlayer(QDBusConnection bus, const QString& name, bool hasTrackList);
    ~FakeMediaPlayer() override;

    QString playbackStatus = QStringLiteral("Stopped");
    QVariantMap metadata;
    QStringList uriSchemes{QStringLiteral("file")};
    QStringList mimeTypes;
    bool refuses = false;
    QStringList opened;
    QStringList queued;  // the track list's addresses

    void addTrack(const QString& uri, const QString& afterTrack);

private:
    QDBusConnection m_bus;
    QString m_service;
    QStringList m_trackIds;  // beside `queued`
};

class FakeRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QStringList SupportedUriSchemes READ uriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)
public:
    explicit FakeRootAdaptor(FakeMediaPlayer* player) : QDBusAbstractAdaptor(player), m_player(player) {}
    QStringList uriSchemes() const { return m_player->uriSchemes; }
    QStringList mimeTypes() const { return m_player->mimeTypes; }

private:
    FakeMediaPlayer* m_player;
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
    void OpenUri(const QString& uri)
    {
        if (m_player->refuses)
            m_player->sendErrorReply(QDBusError::NotSupported, QStringLiteral("cannot open %1").arg(uri));
        else
            m_player->opened.append(uri);
    }

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
    void AddTrack(const QString& uri, const QDBusObjectPath& after, bool) { m_player->addTrack(uri, after.path()); }

private:
    FakeMediaPlayer* m_player;
};

}  // namespace ombrelay::test
