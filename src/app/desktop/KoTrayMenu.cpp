#include "app/desktop/KoTrayMenu.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "transfers/DesktopFiles.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"

#include <QFontMetrics>
#include <QMenu>

namespace ombrelay {

KoTrayMenu::KoTrayMenu(KoDownloadsController& downloads, QObject* parent)
    : QObject(parent), m_downloads(downloads), m_reveal(&DesktopFiles::reveal)
{
}

void KoTrayMenu::attach(QMenu* menu)
{
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { fill(menu); });
}

void KoTrayMenu::fill(QMenu* menu)
{
    menu->clear();
    fillCompleted(menu);
    if (!m_show || !m_quit)
        return;
    if (!menu->isEmpty())
        menu->addSeparator();
    menu->addAction(tr("Show Ombrelay"), this, [this] { m_show(); });
    menu->addAction(tr("Quit"), this, [this] { m_quit(); });
}

void KoTrayMenu::fillCompleted(QMenu* menu)
{
    if (m_downloads.numberOfComplete() == 0)
        return;
    menu->addAction(tr("Completed Downloads:"))->setEnabled(false);
    const QFontMetrics metrics(menu->font());
    for (const TorrentLinePtr& torrent : m_downloads.objects()) {
        if (!torrent->isComplete())
            continue;
        // A name from the metainfo is shown as it is: "&" would otherwise mark a shortcut.
        QString title = metrics.elidedText(torrent->path(), Qt::ElideMiddle, kTitleWidth);
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        const std::weak_ptr<TorrentLine> weak = torrent;
        menu->addAction(title, this, [this, weak] {
            const TorrentLinePtr line = weak.lock();
            if (!line || !m_downloads.objects().contains(line))
                return;  // removed since the menu was built
            m_reveal(AppPaths::expandTilde(line->fullPath()));
        });
    }
    menu->addSeparator();
    menu->addAction(tr("Clear All Completed"), m_downloads.outlineView(), &DownloadsOutlineView::clearAllComplete);
}

}  // namespace ombrelay
