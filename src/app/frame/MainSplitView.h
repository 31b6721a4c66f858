#pragma once

#include <QSplitter>

namespace ombrelay {

class Settings;

// The main window's split view: the sidebar (left) and the content area. The sidebar keeps its width
// when the window is resized; its width is stored under "kSplitHeight" (the key names a width) when a
// drag of the divider or of the sidebar's resize handle ends.
class MainSplitView : public QSplitter
{
    Q_OBJECT
public:
    static constexpr int kMinimumSidebarWidth = 120;
    static constexpr int kMinimumContentWidth = 510;
    static constexpr qreal kDefaultSidebarWidth = 200;

    explicit MainSplitView(Settings& settings, QWidget* parent = nullptr);
    // The sidebar and the content area, once; then the stored width is applied.
    void setSubviews(QWidget* sidebar, QWidget* content);

    // The sidebar width a drag to `proposed` gives in a split view `width` wide: at least 120, and
    // leaving the content 510 where the width allows.
    static int constrainSplitPosition(qreal proposed, int width);

    void loadSplitViewDefaults();
    // The stored width; a value that is not a finite number reads as 200.
    qreal storedWidth() const;
    void setFramePositionDefault(qreal width);

    int sidebarWidth() const;
    void setSidebarWidth(int width);
    // A drag of the divider or the resize handle: moves it now; the width is stored when the drag ends.
    void dragDividerTo(qreal proposed);
    void dragEnded();

signals:
    void sidebarWidthChanged(int width);

protected:
    QSplitterHandle* createHandle() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void reportWidth();

    Settings& m_settings;
    int m_reportedWidth = -1;
    qreal m_pendingWidth = -1;  // applied once the split view has its width
};

}  // namespace ombrelay
