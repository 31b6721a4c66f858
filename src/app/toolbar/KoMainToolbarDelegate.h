#pragma once

#include "app/toolbar/KoToolbarDelegate.h"

#include <QMetaObject>

class QToolButton;

namespace ombrelay {

class BackForwardButton;
class LocationField;
class MainWebView;
class RSSToolbarButton;

// The toolbar of web panes: back and forward, stop or reload, home, the location and Subscribe, all
// acting on the page in front.
class KoMainToolbarDelegate : public KoToolbarDelegate
{
    Q_OBJECT
public:
    static KoMainToolbarDelegate& instance();

    QString toolbarIdentifier() const override { return QStringLiteral("MainToolbarDelegateA"); }
    QStringList toolbarDefaultItemIdentifiers() const override;
    QStringList toolbarAllowedItemIdentifiers() const override;
    void validateVisibleItems(QToolBar& toolbar) override;

    BackForwardButton* backForwardView() const { return m_backForwardView; }
    QToolButton* reloadButton() const { return m_reloadButton; }
    LocationField* locationView() const { return m_locationView; }
    RSSToolbarButton* rssButton() const { return m_rssButton; }

private:
    KoMainToolbarDelegate();
    void follow(MainWebView* view);
    void refresh();

    BackForwardButton* m_backForwardView;
    QToolButton* m_reloadButton;
    QToolButton* m_homeButton;
    LocationField* m_locationView;
    RSSToolbarButton* m_rssButton;
    QList<QMetaObject::Connection> m_viewConnections;
};

}  // namespace ombrelay
