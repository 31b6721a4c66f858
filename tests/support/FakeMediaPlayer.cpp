#include "support/FakeMediaPlayer.h"

namespace ombrelay::test {

FakeMediaPlayer::FakeMediaPlayer(QDBusConnection bus, const QString& name, bool hasTrackList)
    : m_bus(bus), m_service(QStringLiteral("org.mpris.MediaPlayer2.") + name)
{
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

}  // namespace ombrelay::test
