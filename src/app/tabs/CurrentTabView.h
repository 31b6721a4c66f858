#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

namespace ombrelay {

class PZSquareTabView;

// The tab strip now shown in a window: the menus' tab commands go to it. The content is weak.
class CurrentTabView : public QObject
{
    Q_OBJECT
public:
    // The menu item tag enabled only while the strip has a tab.
    static constexpr int kNeedsTabsTag = 1;

    static CurrentTabView& instance();

    PZSquareTabView* content() const { return m_content; }
    void setContent(PZSquareTabView* strip) { m_content = strip; }

    void newTab();
    void newTabWithURL(const QUrl& address, bool shouldSelect);
    void selectNextTab();
    void selectPreviousTab();
    void closeSelectedTab();
    bool validateMenuItem(int tag) const;
    bool canCloseSelectedTab() const;

private:
    CurrentTabView() = default;
    QPointer<PZSquareTabView> m_content;
};

}  // namespace ombrelay
