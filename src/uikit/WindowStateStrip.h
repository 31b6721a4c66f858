#pragma once

#include <QString>
#include <QWidget>

namespace ombrelay {

// A bar drawn with one of two pane-bar images across its full width, from the top at the image's own
// height: the first while its window is the active one (or a menu pops up over it), the second otherwise.
class WindowStateStrip : public QWidget
{
    Q_OBJECT
public:
    WindowStateStrip(QString activeImage, QString inactiveImage, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_activeImage;
    QString m_inactiveImage;
};

}  // namespace ombrelay
