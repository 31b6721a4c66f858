#pragma once

#include <QWidget>

namespace ombrelay {

// A thin divider in the sidebar: the source list's background with a grey line across it.
class SideLineView : public QWidget
{
    Q_OBJECT
public:
    explicit SideLineView(QWidget* parent = nullptr);

    // The source list's background for the window's look.
    static QColor sourceListBackground(bool blueTint);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ombrelay
