#pragma once

#include <QPixmap>
#include <QWidget>

namespace ombrelay {

// The overlay box's icon, stretched over the view.
class DragOverlayImageView : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    const QPixmap& image() const { return m_image; }
    void setImage(const QPixmap& image);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_image;
};

}  // namespace ombrelay
