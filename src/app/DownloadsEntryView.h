#pragma once

#include <QWidget>

namespace ombrelay {

// The sidebar's transfers entry until the statistics list takes its place: one "Downloads" row that
// is selected while the transfers view is shown.
class DownloadsEntryView : public QWidget
{
    Q_OBJECT
public:
    explicit DownloadsEntryView(QWidget* parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_selected = false;
};

}  // namespace ombrelay
