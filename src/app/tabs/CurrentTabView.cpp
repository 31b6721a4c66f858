#include "app/tabs/CurrentTabView.h"

#include "app/tabs/PZSquareTabView.h"

namespace ombrelay {

CurrentTabView& CurrentTabView::instance()
{
    static CurrentTabView* current = new CurrentTabView;  // lives as long as the process
    return *current;
}

void CurrentTabView::newTab()
{
    if (m_content)
        m_content->newTab();
}

void CurrentTabView::newTabWithURL(const QUrl& address, bool shouldSelect)
{
    if (m_content)
        m_content->newTabWithURL(address, shouldSelect);
}

void CurrentTabView::selectNextTab()
{
    if (m_content)
        m_content->selectNextTab();
}

void CurrentTabView::selectPreviousTab()
{
    if (m_content)
        m_content->selectPreviousTab();
}

void CurrentTabView::closeSelectedTab()
{
    if (m_content)
        m_content->closeSelectedTab();
}

bool CurrentTabView::canCloseSelectedTab() const
{
    return validateMenuItem(0) && m_content->canCloseSelectedTab();
}

bool CurrentTabView::validateMenuItem(int tag) const
{
    if (!m_content || !m_content->isVisible())
        return false;
    // The strip's subviews are its tabs and the overflow button: one tab makes more than one subview.
    return tag != kNeedsTabsTag || !m_content->tabs().isEmpty();
}

}  // namespace ombrelay
