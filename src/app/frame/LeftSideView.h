#pragma once

#include <QWidget>

namespace ombrelay {

// The sidebar: the source list above the transfers entry, a divider line and the status strip, one
// above the other at the sidebar's full width.
class LeftSideView : public QWidget
{
    Q_OBJECT
public:
    LeftSideView(QWidget* sourceList, QWidget* transfersEntry, QWidget* statusStrip, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ombrelay
