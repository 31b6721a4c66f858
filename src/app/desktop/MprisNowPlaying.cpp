#include "app/desktop/MprisNowPlaying.h"

#include "app/shell/KoURLHandler.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace ombrelay {

namespace {

const QString kPlayerPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
constexpr int kMaxPlayers = 16;
constexpr int kCallTimeoutMs = 2000;

QVariantMap asMap(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>()) {
        QVariantMap map;
        value.value<QDBusArgument>() >> map;
        return map;
    }
    return value.toMap();
}

QString fieldText(const QVariantMap& metadata, MprisNowPlaying::Field field)
{
    if (field == MprisNowPlaying::Field::Title)
        return metadata.value(QStringLiteral("xesam:title")).toString();
    const QVariant artist = metadata.value(QStringLiteral("xesam:artist"));
    QStringList names = artist.toStringList();
    if (names.isEmpty() && artist.canConvert<QDBusArgument>())
        artist.value<QDBusArgument>() >> names;
    return names.join(QStringLiteral(", "));
}

}  // namespace

MprisNowPlaying::MprisNowPlaying(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus) {}

void MprisNowPlaying::query(Field field, Answer answer)
{
    QDBusMessage list = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("/org/freedesktop/DBus"),
                                                       QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("ListNames"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(list, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, field, answer] {
        watcher->deleteLater();
        QDBusPendingReply<QStringList> reply = *watcher;
        QStringList players;
        if (!reply.isError()) {
            for (const QString& name : reply.value())
                if (name.startsWith(kPlayerPrefix) && players.size() < kMaxPlayers)
                    players.append(name);
        }
        players.sort();
        askPlayers(players, field, answer);
    });
}

void MprisNowPlaying::askPlayers(QStringList players, Field field, Answer answer)
{
    if (players.isEmpty())
        return answer({});
    const QString player = players.takeFirst();
    QDBusMessage get = QDBusMessage::createMethodCall(player, QStringLiteral("/org/mpris/MediaPlayer2"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("GetAll"));
    get << QStringLiteral("org.mpris.MediaPlayer2.Player");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, players, field, answer] {
        watcher->deleteLater();
        QDBusPendingReply<QVariantMap> reply = *watcher;
        if (!reply.isError()) {
            const QVariantMap properties = reply.value();
            if (properties.value(QStringLiteral("PlaybackStatus")).toString() == QLatin1String("Playing"))
                return answer(KoURLHandler::cleansedText(
                    fieldText(asMap(properties.value(QStringLiteral("Metadata"))), field)));
        }
        askPlayers(players, field, answer);
    });
}

}  // namespace ombrelay
