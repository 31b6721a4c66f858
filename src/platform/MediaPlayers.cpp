#include "platform/MediaPlayers.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMimeDatabase>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <algorithm>

namespace ombrelay {
namespace {

const QString kPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kTrackList = QStringLiteral("org.mpris.MediaPlayer2.TrackList");

QVariantMap asMap(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("a{sv}"))
            return qdbus_cast<QVariantMap>(argument);
        return {};
    }
    return value.metaType() == QMetaType::fromType<QVariantMap>() ? value.toMap() : QVariantMap();
}

QStringList asList(const QVariant& value)
{
    return value.metaType() == QMetaType::fromType<QStringList>() ? value.toStringList() : QStringList();
}

QString asText(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QString>())
        return value.toString();
    if (value.metaType() == QMetaType::fromType<QStringList>())
        return value.toStringList().join(QStringLiteral(", "));
    return {};
}

}  // namespace

MediaPlayers::MediaPlayers(const QDBusConnection& bus) : m_bus(bus) {}

QString MediaPlayers::runningPlayer() const
{
    return runningPlayers().value(0);
}

QStringList MediaPlayers::runningPlayers() const
{
    const QDBusMessage reply = m_bus.call(
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames")),
        QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    QStringList players;
    for (const QString& name : reply.arguments().constFirst().toStringList())
        if (name.startsWith(kPrefix))
            players.append(name);
    players.sort();
    return players;
}

QStringList MediaPlayers::playersFor(const QString& uri) const
{
    const QUrl url(uri);
    const QMimeType type = url.isLocalFile() ? QMimeDatabase().mimeTypeForFile(url.toLocalFile()) : QMimeType();
    QStringList naming, others;
    for (const QString& player : runningPlayers()) {
        const QStringList schemes = asList(property(player, kRoot, QStringLiteral("SupportedUriSchemes")));
        const QStringList types = asList(property(player, kRoot, QStringLiteral("SupportedMimeTypes")));
        const bool namesType = type.isValid() && std::any_of(types.begin(), types.end(), [&](const QString& name) {
            return type.inherits(name);
        });
        if (schemes.contains(url.scheme(), Qt::CaseInsensitive) || namesType)
            naming.append(player);
        else if (!schemes.isEmpty() || !types.isEmpty())
            others.append(player);
    }
    return naming + others;
}

QVariant MediaPlayers::property(const QString& player, const QString& interface, const QString& name) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(player, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

bool MediaPlayers::isPlaying() const
{
    return value(Query::PlaybackStatus) == QLatin1String("Playing");
}

bool MediaPlayers::openUri(const QString& uri) const
{
    for (const QString& player : playersFor(uri)) {
        QDBusMessage call = QDBusMessage::createMethodCall(player, kPath, kPlayer, QStringLiteral("OpenUri"));
        call << uri;
        if (m_bus.call(call, QDBus::Block, kTimeoutMs).type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return false;
}

bool MediaPlayers::addTracks(const QStringList& uris) const
{
    if (uris.isEmpty())
        return true;
    for (const QString& player : playersFor(uris.constFirst())) {
        const QVariant canEdit = property(player, kTrackList, QStringLiteral("CanEditTracks"));
        if (canEdit.metaType() != QMetaType::fromType<bool>() || !canEdit.toBool())
            continue;
        const QVariant current = asMap(property(player, kPlayer, QStringLiteral("Metadata"))).value(QStringLiteral("mpris:trackid"));
        QDBusObjectPath after(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
        if (current.metaType() == QMetaType::fromType<QDBusObjectPath>())
            after = current.value<QDBusObjectPath>();
        // Each goes right after the current track, the last first, so that they end up in their order.
        qsizetype added = 0;
        for (auto uri = uris.crbegin(); uri != uris.crend() && addTrack(player, *uri, after); ++uri)
            ++added;
        if (added == uris.size())
            return true;
        if (added > 0)
            return false;  // some are queued there: no other player gets them
    }
    return false;
}

bool MediaPlayers::addTrack(const QString& player, const QString& uri, const QDBusObjectPath& after) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(player, kPath, kTrackList, QStringLiteral("AddTrack"));
    call << uri << QVariant::fromValue(after) << false;
    return m_bus.call(call, QDBus::Block, kTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

QString MediaPlayers::value(Query query) const
{
    const QString player = runningPlayer();
    if (player.isEmpty() || query == Query::Running)
        return player;
    if (query == Query::PlaybackStatus)
        return cleanValue(asText(property(player, kPlayer, QStringLiteral("PlaybackStatus"))));
    const QVariantMap metadata = asMap(property(player, kPlayer, QStringLiteral("Metadata")));
    switch (query) {
    case Query::Artist:
        return cleanValue(asText(metadata.value(QStringLiteral("xesam:artist"))));
    case Query::Title:
        return cleanValue(asText(metadata.value(QStringLiteral("xesam:title"))));
    case Query::StreamTitle: {
        // A stream's title is the title of what plays from an address that is not a local file.
        const QUrl url(asText(metadata.value(QStringLiteral("xesam:url"))));
        if (!url.isValid() || url.isEmpty() || url.isLocalFile())
            return {};
        return cleanValue(asText(metadata.value(QStringLiteral("xesam:title"))));
    }
    case Query::PlaybackStatus:
    case Query::Running:
        break;
    }
    return {};
}

void MediaPlayers::query(Query query, QObject* context, std::function<void(const QString&)> done) const
{
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([players = *this, query, guard, done = std::move(done)] {
        const QString answer = players.value(query);
        // Delivered through the application object, which outlives the context; the guard is read on
        // the main thread, where the context lives.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, done, answer] {
            if (guard)
                done(answer);
        }, Qt::QueuedConnection);
    });
}

QString MediaPlayers::cleanValue(const QString& text)
{
    QString clean;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            continue;
        clean.append(c);
        if (clean.size() >= kMaxValueLength)
            break;
    }
    if (clean.size() == kMaxValueLength && clean.back().isHighSurrogate())
        clean.chop(1);
    return clean;
}

}  // namespace ombrelay
