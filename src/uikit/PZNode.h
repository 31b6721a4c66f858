#pragma once

#include <QPixmap>
#include <QPoint>
#include <QString>

#include "uikit/PZTextAttributes.h"
#include "uikit/PZTrackingCell.h"

namespace ombrelay {

class PZAttributedString;

// The standard row cell: an image at the left and up to three lines of text at fixed offsets, with room
// for decorations at both ends. Subclasses fill the texts and images from cellObject() in drawInterior
// and then draw as the base does; they change the look through the small hooks below.
class PZNode : public PZTrackingCell
{
public:
    const QString& primary() const { return m_primary; }
    void setPrimary(const QString& text) { m_primary = text; }
    const QString& secondary() const { return m_secondary; }
    void setSecondary(const QString& text) { m_secondary = text; }
    const QString& tertiary() const { return m_tertiary; }
    void setTertiary(const QString& text) { m_tertiary = text; }
    const QPixmap& image() const { return m_image; }
    void setImage(const QPixmap& image) { m_image = image; }
    const QPixmap& alternateImage() const { return m_alternateImage; }
    void setAlternateImage(const QPixmap& image) { m_alternateImage = image; }

    // Meaningful during a draw only.
    bool isAlternate() const { return m_isAlternate; }
    qreal leftMargin() const { return m_leftMargin; }
    qreal rightMargin() const { return m_rightMargin; }

    // Null attributes: the line's plain attributes (alternate ones), else textAttributes12.
    virtual const PZTextAttributes* primaryAttributes() const;
    virtual const PZTextAttributes* primaryAttributesAlternate() const { return nullptr; }
    virtual const PZTextAttributes* secondaryAttributes() const { return nullptr; }
    virtual const PZTextAttributes* secondaryAttributesAlternate() const { return nullptr; }
    virtual const PZTextAttributes* tertiaryAttributes() const { return nullptr; }
    virtual const PZTextAttributes* tertiaryAttributesAlternate() const { return nullptr; }
    virtual QPoint imageOffset() const { return {1, 1}; }
    virtual QPoint primaryOffset() const { return {0, 4}; }
    virtual QPoint secondaryOffset() const { return {0, 17}; }
    virtual QPoint tertiaryOffset() const { return {0, 0}; }
    virtual qreal imageOpacity() const { return 1.0; }
    virtual bool drawsWithGradientBackground() const { return false; }

    // The rectangle a line drawn at `offset` takes: frame x + dx, frame y + dy, frame width less
    // (right margin + dx), one line high, moved up as far as needed to stay inside the frame.
    QRect lineRect(const QRect& frame, const QPoint& offset, const QFont& font) const;
    void drawString(QPainter& painter, const QString& text, const QRect& frame, const QPoint& offset,
                    const PZTextAttributes& attributes) const;
    void drawAttributedString(QPainter& painter, const PZAttributedString& text, const QRect& frame,
                              const QPoint& offset, const PZTextAttributes& attributes) const;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    virtual qreal drawLeftDecoration(QPainter& painter, const QRect& frame);
    virtual qreal drawRightDecoration(QPainter& painter, const QRect& frame) { return 0; }
    virtual void drawPrimary(QPainter& painter, const QRect& frame);
    void drawSecondary(QPainter& painter, const QRect& frame);
    void drawTertiary(QPainter& painter, const QRect& frame);
    // Whether the row is drawn in the active selected style.
    virtual bool computeIsAlternate() const;
    // The image drawn at the left for the current row look; null when none.
    const QPixmap& chosenImage() const;
    // The x offset of a text line once the left decoration took its width.
    QPoint shiftedOffset(QPoint offset) const;
    const PZTextAttributes& lineAttributes(const PZTextAttributes* plain, const PZTextAttributes* alternate) const;

    bool m_isAlternate = false;

private:
    void drawLine(QPainter& painter, const QRect& frame, const QString& text, const QPoint& offset,
                  const PZTextAttributes* plain, const PZTextAttributes* alternate);

    QString m_primary;
    QString m_secondary;
    QString m_tertiary;
    QPixmap m_image;
    QPixmap m_alternateImage;
    qreal m_leftMargin = 0;
    qreal m_rightMargin = 0;
};

}  // namespace ombrelay
