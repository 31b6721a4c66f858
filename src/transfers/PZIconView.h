#pragma once

#include <QPixmap>
#include <QWidget>

namespace ombrelay {

// The selected transfer's icon, smoothly scaled; with no icon a dashed drop-zone outline. A double
// click asks for the selection to be opened.
class PZIconView : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    QPixmap image() const { return m_image; }
    void setImage(const QPixmap& image);

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPixmap m_image;
};

}  // namespace ombrelay
