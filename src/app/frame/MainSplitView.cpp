#include "app/frame/MainSplitView.h"

#include "app/frame/MainSplitHandle.h"
#include "kit/Settings.h"

#include <QResizeEvent>
#include <cmath>

namespace ombrelay {

namespace {
const QString kWidthKey = QStringLiteral("kSplitHeight");
}

MainSplitView::MainSplitView(Settings& settings, QWidget* parent) : QSplitter(Qt::Horizontal, parent), m_settings(settings)
{
    setHandleWidth(1);
    setChildrenCollapsible(false);
    setOpaqueResize(true);
}

void MainSplitView::setSubviews(QWidget* sidebar, QWidget* content)
{
    addWidget(sidebar);
    addWidget(content);
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
    sidebar->setMinimumWidth(0);
    content->setMinimumWidth(0);
    loadSplitViewDefaults();
}

QSplitterHandle* MainSplitView::createHandle()
{
    return new MainSplitHandle(this);
}

int MainSplitView::constrainSplitPosition(qreal proposed, int width)
{
    if (!std::isfinite(proposed))
        proposed = kDefaultSidebarWidth;
    qreal position = std::max<qreal>(proposed, kMinimumSidebarWidth);
    if (position + kMinimumContentWidth > width)
        position = width - kMinimumContentWidth;
    return int(std::max<qreal>(position, kMinimumSidebarWidth));
}

qreal MainSplitView::storedWidth() const
{
    bool ok = false;
    const double stored = m_settings.string(kWidthKey).trimmed().toDouble(&ok);
    return ok && std::isfinite(stored) ? stored : kDefaultSidebarWidth;
}

void MainSplitView::loadSplitViewDefaults()
{
    m_settings.registerDefault(kWidthKey, QStringLiteral("200"));
    m_pendingWidth = storedWidth();
    if (width() > 0 && isVisible()) {
        setSidebarWidth(constrainSplitPosition(m_pendingWidth, width()));
        m_pendingWidth = -1;
    } else {
        setSizes({int(std::clamp<qreal>(m_pendingWidth, kMinimumSidebarWidth, 100000)), kMinimumContentWidth});
    }
}

void MainSplitView::setFramePositionDefault(qreal width)
{
    m_settings.setValue(kWidthKey, QString::number(width));
}

int MainSplitView::sidebarWidth() const
{
    const QList<int> widths = sizes();
    return widths.isEmpty() ? 0 : widths.first();
}

void MainSplitView::setSidebarWidth(int sidebar)
{
    setSizes({sidebar, std::max(0, width() - sidebar - handleWidth())});
    reportWidth();
}

void MainSplitView::reportWidth()
{
    if (sidebarWidth() != m_reportedWidth) {
        m_reportedWidth = sidebarWidth();
        emit sidebarWidthChanged(m_reportedWidth);
    }
}

void MainSplitView::dragDividerTo(qreal proposed)
{
    setSidebarWidth(constrainSplitPosition(proposed, width()));
}

void MainSplitView::dragEnded()
{
    setFramePositionDefault(sidebarWidth());
}

void MainSplitView::resizeEvent(QResizeEvent* event)
{
    const int sidebar = sidebarWidth();
    QSplitter::resizeEvent(event);
    if (m_pendingWidth >= 0 && width() > 0) {
        setSidebarWidth(constrainSplitPosition(m_pendingWidth, width()));
        m_pendingWidth = -1;
    } else if (sidebar > 0 && sidebarWidth() != sidebar) {
        // The sidebar keeps its width: the whole change goes to the content.
        setSidebarWidth(sidebar);
    }
    reportWidth();
}

}  // namespace ombrelay
