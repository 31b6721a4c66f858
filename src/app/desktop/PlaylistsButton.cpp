#include "app/desktop/PlaylistsButton.h"

#include "kit/PerformLater.h"
#include "platform/MediaLibrary.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

namespace ombrelay {

QString PlaylistsButton::iTunesLibraryPath()
{
    const QString music = MediaLibrary::userFolders().music;
    const QString folder = music + QStringLiteral("/Playlists");
    return !music.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void PlaylistsButton::traverseiTunesLibrary()
{
    QPointer<PlaylistsButton> self(this);
    QThreadPool::globalInstance()->start([self, folders = MediaLibrary::userFolders()] {
        const QStringList names = MediaLibrary(folders).playlistNames();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, names] {
            if (self)
                emit self->playlistsRead(names);
        }, Qt::QueuedConnection);
    });
}

void PlaylistsButton::showEvent(QShowEvent* event)
{
    QComboBox::showEvent(event);
    if (m_hasTraversed)
        return;
    m_hasTraversed = true;
    PerformLater::schedule(this, [this] { traverseiTunesLibrary(); }, 1000);
}

}  // namespace ombrelay
