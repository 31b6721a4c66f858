#include "support/PrivateSessionBus.h"
#include "support/WaitUntil.h"

#include <QAtomicInt>
#include <QDBusError>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <memory>
#include <utility>

namespace ombrelay::test {

PrivateSessionBus::PrivateSessionBus()
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateSessionBus::~PrivateSessionBus()
{
    for (const QString& name : m_connections)
        QDBusConnection::disconnectFromBus(name);
    m_daemon.kill();
    m_daemon.waitForFinished(5000);
}

QDBusConnection PrivateSessionBus::connect(const QString& name)
{
    static QAtomicInt serial;
    const QString unique = QStringLiteral("%1-%2").arg(name).arg(serial.fetchAndAddRelaxed(1));
    m_connections.append(unique);
    return QDBusConnection::connectToBus(m_address, unique);
}

void PrivateSessionBus::closeConnections()
{
    QStringList owners;
    for (const QString& name : std::exchange(m_connections, {})) {
        owners.append(QDBusConnection(name).baseService());
        QDBusConnection::disconnectFromBus(name);
    }
    owners.removeAll(QString());
    if (owners.isEmpty())
        return;
    // The daemon drops a closed connection's names in its own time; a later claim of one must not lose.
    const QDBusConnection control = connect(QStringLiteral("control"));
    waitUntil([&] {
        for (const QString& owner : owners)
            if (control.interface()->isServiceRegistered(owner))
                return false;
        return true;
    });
    QDBusConnection::disconnectFromBus(m_connections.takeLast());
}

namespace {

std::unique_ptr<PrivateSessionBus>& sharedBus()
{
    static std::unique_ptr<PrivateSessionBus> bus;
    return bus;
}

}  // namespace

PrivateSessionBus& SharedSessionBus::bus()
{
    Q_ASSERT(sharedBus());
    return *sharedBus();
}

void SharedSessionBus::SetUp()
{
    const QString handed = qEnvironmentVariable("OMBRELAY_TEST_SESSION_BUS");
    sharedBus() = handed.isEmpty() ? std::make_unique<PrivateSessionBus>() : std::make_unique<PrivateSessionBus>(handed);
    qputenv("DBUS_SESSION_BUS_ADDRESS", sharedBus()->address().toUtf8());
}

void SharedSessionBus::TearDown()
{
    sharedBus().reset();
}

FakeNotificationServer::FakeNotificationServer(QDBusConnection bus, QStringList capabilities, bool answers)
    : m_capabilities(std::move(capabilities)), m_answers(answers)
{
    bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots);
}

QStringList FakeNotificationServer::GetCapabilities()
{
    ++capabilityQuestions;
    if (!m_answers)
        setDelayedReply(true);  // and never reply
    return m_capabilities;
}

uint FakeNotificationServer::Notify(const QString& appName, uint, const QString& appIcon, const QString& summary,
                                    const QString& body, const QStringList&, const QVariantMap& hints, int)
{
    notices.append({appName, appIcon, summary, body, hints});
    if (!m_answers)
        setDelayedReply(true);
    return uint(notices.size());
}

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(QDBusConnection bus)
{
    bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service)
{
    // An item may give its object path instead of its name: the caller's name is the item then.
    m_items.append(service.startsWith(QLatin1Char('/')) ? message().service() : service);
}

FakeFileManager::FakeFileManager(QDBusConnection bus, bool shows) : m_shows(shows)
{
    bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), this, QDBusConnection::ExportAllSlots);
    bus.registerService(QStringLiteral("org.freedesktop.FileManager1"));
}

void FakeFileManager::ShowItems(const QStringList& uris, const QString&)
{
    asked.append(uris);
    if (!m_shows)
        sendErrorReply(QDBusError::Failed, QStringLiteral("cannot show these items"));
}

bool LauncherEntryListener::listen(QDBusConnection bus)
{
    if (!bus.connect({}, {}, QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"), this,
                     SLOT(update(QString, QVariantMap))))
        return false;
    // A round trip: the daemon has the match rule before any update is sent.
    bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                            "GetId"));
    return true;
}

void LauncherEntryListener::update(const QString&, const QVariantMap& properties)
{
    counts.append(properties.value(QStringLiteral("count")).toLongLong());
    urgency.append(properties.value(QStringLiteral("urgent")).toBool());
}

FakeMediaPlayer::FakeMediaPlayer(QDBusConnection bus, const QString& name, bool hasTrackList)
    : m_bus(bus), m_service(QStringLiteral("org.mpris.MediaPlayer2.") + name)
{
    new FakeRootAdaptor(this);
    new FakePlayerAdaptor(this);
    if (hasTrackList)
        new FakeTrackListAdaptor(this);
    bus.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), this, QDBusConnection::ExportAdaptors);
    bus.registerService(m_service);
}

FakeMediaPlayer::~FakeMediaPlayer()
{
    m_bus.unregisterService(m_service);
    m_bus.unregisterObject(QStringLiteral("/org/mpris/MediaPlayer2"));
}

void FakeMediaPlayer::addTrack(const QString& uri, const QString& afterTrack)
{
    const qsizetype at = m_trackIds.indexOf(afterTrack) + 1;  // NoTrack, or a track not listed: the start
    queued.insert(at, uri);
    m_trackIds.insert(at, QStringLiteral("/org/mpris/MediaPlayer2/TrackList/%1").arg(m_trackIds.size() + 1));
}

}  // namespace ombrelay::test
