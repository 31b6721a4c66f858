#include "app/desktop/DragOverlayView.h"

#include "app/desktop/DragOverlayFrame.h"
#include "app/desktop/DragOverlayImageView.h"
#include "app/desktop/OverlayFadeInAnimation.h"
#include "app/desktop/OverlayFadeOutAnimation.h"
#include "kit/PZFileSize.h"
#include "uikit/PZIconCache.h"
#include "uikit/PZImage.h"

#include <QEvent>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QSet>
#include <QUrl>

namespace ombrelay {
namespace {

QPointer<DragOverlayView>& shared()
{
    static QPointer<DragOverlayView> view;
    return view;
}

QLabel* makeLine(QWidget* parent, int pixelSize, bool bold)
{
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    return label;
}

}  // namespace

DragOverlayView::DragOverlayView(QWidget* covered)
    : QWidget(covered->isWindow() ? covered : covered->parentWidget()),
      m_covered(covered),
      m_frame(new DragOverlayFrame(this)),
      m_iconView(new DragOverlayImageView(m_frame)),
      m_primary(makeLine(m_frame, 17, true)),
      m_secondary(makeLine(m_frame, 13, false)),
      m_opacity(new QGraphicsOpacityEffect(this))
{
    shared() = this;
    static const bool registered = [] {
        PZImage::registerDrawing(QStringLiteral("Torrent"), [] {
            return PZIconCache::instance128().iconForExtension(QStringLiteral("torrent")).toImage();
        });
        return true;
    }();
    Q_UNUSED(registered);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAcceptDrops(false);  // the window hands the drag on
    m_opacity->setOpacity(0);
    setGraphicsEffect(m_opacity);
    m_pendingIn.setSingleShot(true);
    m_pendingOut.setSingleShot(true);
    m_pendingIn.setInterval(0);
    m_pendingOut.setInterval(100);  // a drag that comes back within 0.1 s keeps the overlay steady
    connect(&m_pendingIn, &QTimer::timeout, this, &DragOverlayView::animateIn);
    connect(&m_pendingOut, &QTimer::timeout, this, &DragOverlayView::animateOut);
    covered->installEventFilter(this);
    hide();
}

DragOverlayView::~DragOverlayView()
{
    delete m_fadeInAnimation;
    delete m_fadeOutAnimation;
}

DragOverlayView* DragOverlayView::instance()
{
    return shared();
}

double DragOverlayView::currentValue() const
{
    if (m_fadeInAnimation)
        return m_fadeInAnimation->currentValue();
    return m_fadeOutAnimation ? m_fadeOutAnimation->currentValue() : 0.0;
}

void DragOverlayView::shouldAnimateIn(const QMimeData* data)
{
    m_torrents.clear();
    QSet<QByteArray> infoHashes;
    for (const QUrl& url : data ? data->urls() : QList<QUrl>()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const QString extension = QFileInfo(path).suffix();
        if (extension != QLatin1String("torrent") && extension != QLatin1String("tstream"))
            continue;
        const TorrentLinePtr line = TorrentLine::torrentLineForPath(path);
        if (line && !infoHashes.contains(line->infoHash())) {
            infoHashes.insert(line->infoHash());
            m_torrents.append(line);
        }
    }
    m_pendingIn.stop();
    m_pendingOut.stop();
    if (m_torrents.isEmpty() || m_fadeInAnimation)
        return;
    m_pendingIn.start();
}

void DragOverlayView::shouldAnimateOut()
{
    m_pendingIn.stop();
    m_pendingOut.stop();
    if (!m_fadeOutAnimation)
        m_pendingOut.start();
}

bool DragOverlayView::performDragOperation()
{
    shouldAnimateOut();
    if (m_torrents.isEmpty())
        return false;
    if (m_dropHandler)
        m_dropHandler(m_torrents);
    return true;
}

void DragOverlayView::animateIn()
{
    delete m_fadeInAnimation;
    const double from = currentValue();
    auto* fadeIn = new OverlayFadeInAnimation(this);
    connect(fadeIn, &OverlayFadeAnimation::valueChanged, this, &DragOverlayView::setOpacity);
    if (m_fadeOutAnimation)
        m_fadeOutAnimation->stop();
    fadeIn->continueFrom(from);
    delete m_fadeOutAnimation;
    m_fadeInAnimation = fadeIn;
    fadeIn->start();
    buildContentAndAttachWindow();
}

void DragOverlayView::animateOut()
{
    delete m_fadeOutAnimation;
    const double from = currentValue();
    auto* fadeOut = new OverlayFadeOutAnimation(this);
    connect(fadeOut, &OverlayFadeAnimation::valueChanged, this, &DragOverlayView::setOpacity);
    connect(fadeOut, &QAbstractAnimation::finished, this, &DragOverlayView::animationDidEnd);
    if (m_fadeInAnimation)
        m_fadeInAnimation->stop();
    fadeOut->continueFrom(from);
    delete m_fadeInAnimation;
    m_fadeOutAnimation = fadeOut;
    fadeOut->start();
}

void DragOverlayView::animationDidEnd()
{
    hide();
    if (m_fadeOutAnimation)
        m_fadeOutAnimation->deleteLater();
    m_fadeOutAnimation = nullptr;
}

void DragOverlayView::setOpacity(double opacity)
{
    m_opacity->setOpacity(opacity);
    update();
}

QString DragOverlayView::primaryString() const
{
    if (m_torrents.size() == 1)
        return m_torrents.constFirst()->path();
    return tr("%1 torrents").arg(m_torrents.size());
}

QString DragOverlayView::secondaryString() const
{
    qint64 files = 0;
    quint64 bytes = 0;
    for (const TorrentLinePtr& torrent : m_torrents) {
        files += torrent->fileCount();
        bytes += torrent->fileLength();
    }
    const QString size = PZFileSize::sizeWithValue(bytes).description();
    if (files < 2)
        return size;
    return QStringLiteral("%1, %2").arg(tr("%1 files").arg(files), size);
}

void DragOverlayView::buildContentAndAttachWindow()
{
    if (m_torrents.size() == 1) {
        const TorrentLinePtr& torrent = m_torrents.constFirst();
        m_iconView->setImage(torrent->children().empty()
                                 ? PZIconCache::instance128().iconForExtension(QFileInfo(torrent->path()).suffix())
                                 : PZIconCache::instance128().folderIcon());
    } else {
        m_iconView->setImage(PZImage::imageNamed(QStringLiteral("Torrent")));
    }
    m_primary->setText(primaryString());
    m_secondary->setText(secondaryString());
    setGeometry(coveredArea());
    layoutBox();
    raise();
    show();
}

void DragOverlayView::layoutBox()
{
    const QSize box(360, 230);
    m_frame->setGeometry(QRect(QPoint((width() - box.width()) / 2, (height() - box.height()) / 2), box));
    m_iconView->setGeometry((box.width() - 128) / 2, 18, 128, 128);
    m_primary->setGeometry(12, 154, box.width() - 24, 26);
    m_secondary->setGeometry(12, 184, box.width() - 24, 22);
    m_primary->setText(m_primary->fontMetrics().elidedText(primaryString(), Qt::ElideMiddle, m_primary->width()));
}

void DragOverlayView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 77));  // the dimmed window
}

QRect DragOverlayView::coveredArea() const
{
    return m_covered == parentWidget() ? m_covered->rect() : m_covered->geometry();
}

bool DragOverlayView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_covered && (event->type() == QEvent::Resize || event->type() == QEvent::Move) && isVisible()) {
        setGeometry(coveredArea());
        layoutBox();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace ombrelay
