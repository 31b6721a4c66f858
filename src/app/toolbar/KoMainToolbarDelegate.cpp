#include "app/toolbar/KoMainToolbarDelegate.h"

#include "app/toolbar/BackForwardButton.h"
#include "app/toolbar/LocationField.h"
#include "app/toolbar/RSSToolbarButton.h"
#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"

#include <QStyle>
#include <QToolButton>

namespace ombrelay {

KoMainToolbarDelegate& KoMainToolbarDelegate::instance()
{
    static KoMainToolbarDelegate* delegate = new KoMainToolbarDelegate;  // lives as long as the process
    return *delegate;
}

KoMainToolbarDelegate::KoMainToolbarDelegate()
    : m_backForwardView(new BackForwardButton),
      m_reloadButton(new QToolButton),
      m_homeButton(new QToolButton),
      m_locationView(new LocationField),
      m_rssButton(new RSSToolbarButton)
{
    m_homeButton->setIcon(m_homeButton->style()->standardIcon(QStyle::SP_DirHomeIcon));
    m_homeButton->setToolTip(tr("Home"));
    connect(m_homeButton, &QToolButton::clicked, this, [] { CurrentWebView::instance().goHome(); });
    connect(m_reloadButton, &QToolButton::clicked, this, [] {
        MainWebView* view = CurrentWebView::instance().content();
        if (view && view->isLoading())
            CurrentWebView::instance().stopLoading();
        else
            CurrentWebView::instance().reload();
    });
    addItem(QStringLiteral("item_backforward"), m_backForwardView, tr("Back/Forward"), {53, 25}, {53, 25});
    addItem(QStringLiteral("item_reload"), m_reloadButton, tr("Stop/Reload"), {28, 25}, {28, 25});
    addItem(QStringLiteral("item_home"), m_homeButton, tr("Home"), {28, 25}, {28, 25});
    addItem(QStringLiteral("item_location"), m_locationView, tr("Location"), {100, 22}, {10000, 22});
    addItem(QStringLiteral("item_rss"), m_rssButton, tr("Subscribe"), {38, 25}, {38, 25});
    connect(&CurrentWebView::instance(), &CurrentWebView::contentChanged, this, &KoMainToolbarDelegate::follow);
    follow(CurrentWebView::instance().content());
    registerDefaults();
}

QStringList KoMainToolbarDelegate::toolbarDefaultItemIdentifiers() const
{
    return {QStringLiteral("item_search"), kSeparator, QStringLiteral("item_backforward"), QStringLiteral("item_reload"),
            QStringLiteral("item_home"), QStringLiteral("item_location"), QStringLiteral("item_rss")};
}

QStringList KoMainToolbarDelegate::toolbarAllowedItemIdentifiers() const
{
    return {QStringLiteral("item_search"), QStringLiteral("item_backforward"), QStringLiteral("item_reload"),
            QStringLiteral("item_home"), QStringLiteral("item_location"), QStringLiteral("item_rss"),
            kSeparator, kFlexibleSpace, kSpace};
}

void KoMainToolbarDelegate::validateVisibleItems(QToolBar&)
{
    refresh();
}

void KoMainToolbarDelegate::follow(MainWebView* view)
{
    for (const QMetaObject::Connection& connection : std::as_const(m_viewConnections))
        disconnect(connection);
    m_viewConnections.clear();
    if (view) {
        m_viewConnections << connect(view, &MainWebView::loadingChanged, this, &KoMainToolbarDelegate::refresh)
                          << connect(view, &QWebEngineView::urlChanged, this, &KoMainToolbarDelegate::refresh);
    }
    refresh();
}

void KoMainToolbarDelegate::refresh()
{
    const MainWebView* view = CurrentWebView::instance().content();
    const bool loading = view && view->isLoading();
    m_backForwardView->refresh(view);
    m_locationView->refresh(view);
    m_reloadButton->setIcon(m_reloadButton->style()->standardIcon(loading ? QStyle::SP_BrowserStop : QStyle::SP_BrowserReload));
    m_reloadButton->setToolTip(loading ? tr("Stop") : tr("Reload"));
    m_reloadButton->setEnabled(view != nullptr);
    m_homeButton->setEnabled(view != nullptr);
}

}  // namespace ombrelay
