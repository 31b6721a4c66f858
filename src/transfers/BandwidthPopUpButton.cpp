#include "transfers/BandwidthPopUpButton.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/NotificationCenter.h"
#include "transfers/CurrentDownload.h"
#include "transfers/InfoArtwork.h"
#include "transfers/KoDownloadsController.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace ombrelay {

BandwidthPopUpButton::BandwidthPopUpButton(const CurrentDownload& currentDownload, QWidget* parent)
    : QAbstractButton(parent), m_currentDownload(currentDownload)
{
    InfoArtwork::registerImages();
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::NoFocus);
    listenForNotification(this, QString::fromLatin1(KoDownloadsController::kSelectionDidChangeNotification),
                          [this](const Notification&) { update(); });
}

BandwidthPopUpButton::~BandwidthPopUpButton() = default;

int BandwidthPopUpButton::limitValue(const TorrentLine& torrent, const QString& key)
{
    if (key == QLatin1String("customDownloadLimit"))
        return torrent.customDownloadLimit();
    if (key == QLatin1String("customUploadLimit"))
        return torrent.customUploadLimit();
    return 0;
}

void BandwidthPopUpButton::setLimitValue(TorrentLine& torrent, const QString& key, int value)
{
    if (key == QLatin1String("customDownloadLimit"))
        torrent.setCustomDownloadLimit(value);
    else if (key == QLatin1String("customUploadLimit"))
        torrent.setCustomUploadLimit(value);
}

int BandwidthPopUpButton::currentValue() const
{
    const TorrentLinePtr torrent = m_currentDownload.content();
    return torrent ? limitValue(*torrent, limitKey()) : 0;
}

QMenu* BandwidthPopUpButton::buildMenu()
{
    if (m_menu)
        m_menu->deleteLater();
    const TorrentLinePtr torrent = m_currentDownload.content();
    m_menuTorrent = torrent;
    if (!torrent)
        return nullptr;
    m_menu = new QMenu(this);
    const int current = limitValue(*torrent, limitKey());
    const auto add = [&](const QString& title, int tag, bool enabled) {
        QAction* item = m_menu->addAction(title);
        item->setData(tag);
        item->setEnabled(enabled);
        if (enabled) {
            item->setCheckable(true);
            item->setChecked(tag == current);
        }
    };
    add(limitText(), kNoTag, false);
    add(tr("Use Global Bandwidth Limit"), 0, true);
    m_menu->addSeparator();
    add(tr("Use Custom Limit:"), kNoTag, false);
    for (int limit : {5, 10, 20, 30, 40, 50})
        add(tr("Limit to %1kb/s").arg(limit), limit, true);
    add(tr("No Limit"), -1, true);
    connect(m_menu, &QMenu::triggered, this, &BandwidthPopUpButton::action);
    connect(m_menu, &QMenu::aboutToHide, this, [this] { setDown(false); });
    return m_menu;
}

void BandwidthPopUpButton::action(QAction* item)
{
    const TorrentLinePtr torrent = m_menuTorrent.lock();
    const int tag = item->data().toInt();
    if (!torrent || tag == kNoTag || !m_currentDownload.isListed(*torrent))
        return;
    setLimitValue(*torrent, limitKey(), tag);
    update();
}

void BandwidthPopUpButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    QMenu* menu = buildMenu();
    if (!menu)
        return;
    setDown(true);
    menu->popup(mapToGlobal(QPoint(0, height())));
}

void BandwidthPopUpButton::enterEvent(QEnterEvent*)
{
    m_isMouseOver = true;
    update();
}

void BandwidthPopUpButton::leaveEvent(QEvent*)
{
    m_isMouseOver = false;
    update();
}

void BandwidthPopUpButton::hideEvent(QHideEvent*)
{
    m_isMouseOver = false;
}

void BandwidthPopUpButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_isMouseOver || isDown()) {
        const QPixmap back = PZImage::imageNamed(isDown() ? QStringLiteral("RoundButtonActive")
                                                          : QStringLiteral("RoundButtonHover"));
        PZImageDrawing::drawInRect(painter, back, QRectF(rect()), 7);
    }
    const bool lit = currentValue() != 0;
    painter.drawPixmap(QPoint(width() - 17, 0),
                       PZImage::imageNamed(lit ? QStringLiteral("DownArrowHighlighted") : QStringLiteral("DownArrow")));
}

}  // namespace ombrelay
