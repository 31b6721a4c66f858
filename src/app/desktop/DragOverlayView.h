#pragma once

#include "engine/torrent/TorrentLine.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

class QGraphicsOpacityEffect;
class QLabel;
class QMimeData;

namespace ombrelay {

class DragOverlayFrame;
class DragOverlayImageView;
class OverlayFadeInAnimation;
class OverlayFadeOutAnimation;

// What a drag of torrent files over the window would add: the covered area darkens and a box in its middle
// shows the torrent (icon, name, files and size) or the number of torrents and their totals. Laid over
// the area it covers (in the application, the window's whole content), as a child of that area when it
// is a window and as its sibling otherwise (a client cannot place a window of its own over another on
// every desktop); the window hands it the drag's events.
class DragOverlayView : public QWidget
{
    Q_OBJECT
public:
    // The torrents to add when dropped; torrents already listed or named twice are left to it.
    using DropHandler = std::function<void(const TorrentLineList& torrents)>;

    explicit DragOverlayView(QWidget* covered);
    ~DragOverlayView() override;
    static DragOverlayView* instance();

    void setDropHandler(DropHandler handler) { m_dropHandler = std::move(handler); }
    const TorrentLineList& torrents() const { return m_torrents; }
    // The current opacity: the fade-in's when there is one, else the fade-out's; 0 when hidden.
    double currentValue() const;

    // A drag entered with these files (local ".torrent" and ".tstream" files are read).
    void shouldAnimateIn(const QMimeData* data);
    void shouldAnimateOut();
    bool prepareForDragOperation() const { return !m_torrents.isEmpty(); }
    // Fades out and hands the torrents on; false when there is none.
    bool performDragOperation();

    QString primaryString() const;
    QString secondaryString() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void animateIn();
    void animateOut();
    void animationDidEnd();
    void setOpacity(double opacity);
    void buildContentAndAttachWindow();
    void layoutBox();
    QRect coveredArea() const;  // in the parent's coordinates

    QWidget* m_covered;
    DragOverlayFrame* m_frame;
    DragOverlayImageView* m_iconView;
    QLabel* m_primary;
    QLabel* m_secondary;
    QGraphicsOpacityEffect* m_opacity;
    QPointer<OverlayFadeInAnimation> m_fadeInAnimation;
    QPointer<OverlayFadeOutAnimation> m_fadeOutAnimation;
    QTimer m_pendingIn;
    QTimer m_pendingOut;
    TorrentLineList m_torrents;
    DropHandler m_dropHandler;
};

}  // namespace ombrelay
