#include "search/views/RSSController.h"

#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "search/feeds/Feed.h"
#include "search/feeds/RSSLine.h"
#include "search/views/EditSitesButton.h"
#include "search/views/FlatCheckbox.h"
#include "search/views/MarkAllReadButton.h"
#include "search/views/RSSOutlineView.h"
#include "search/views/WebStatusBarTextField.h"
#include "uikit/DarkBackgroundView.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZRoundTabView.h"
#include "uikit/ToolbarFillerView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace ombrelay {

RSSController::RSSController(const QVariantMap& item, QObject* parent)
    : PZViewController(parent), m_item(item), m_view(new QWidget()), m_tabView(new PZRoundTabView()),
      m_filterField(new FilterSearchField()), m_outlineView(new RSSOutlineView())
{
    m_filterField->setPlaceholderText(tr("Filter"));
    m_filterField->setMaximumWidth(200);
    auto* bar = new ToolbarFillerView();
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, 6, 1);
    barLayout->addWidget(m_tabView, 1);
    barLayout->addWidget(m_filterField);
    auto* layout = new QVBoxLayout(m_view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_outlineView, 1);
    layout->addWidget(makeBottomBar());
    setContentView(m_view);
    // The strip that shows the view may delete it before this controller goes.
    connect(m_view, &QObject::destroyed, this, [this] {
        stopListening(this);
        PerformLater::cancel(this);
    });
    m_outlineView->setUp(m_tabView, m_filterField);
    m_outlineView->bindSortOrder(QStringLiteral("RSSPaneSortDescriptors"),
                                 PZSortDescriptor{QStringLiteral("date"), false, QStringLiteral("compare:")});
    connect(m_outlineView, &RSSOutlineView::countsChanged, this, &RSSController::countsChanged);
    connect(m_outlineView, &RSSOutlineView::countsChanged, this, &RSSController::updateStatus);

    // The one registration: every later look goes through the pointer, which a removal clears.
    m_feed = Feed::feedWithItem(m_item);
    reloadLines();
    listenForNotification(this, QStringLiteral("FeedDataLoadedNotification"), [this](const Notification& n) {
        if (m_feed && n.object == m_feed) {
            m_loadFailed = false;
            reloadLines();
        }
    });
    listenForNotification(this, QStringLiteral("FeedLoadErrorNotification"), [this](const Notification& n) {
        if (m_feed && n.object == m_feed) {
            m_loadFailed = true;
            updateStatus();
        }
    });
    updateProgressIndicator();
}

RSSController::~RSSController()
{
    stopListening(this);
    PerformLater::cancel(this);
    delete m_view;
}

RSSOutlineView* RSSController::outlineView() const
{
    return m_outlineView;
}

Feed* RSSController::feed() const
{
    return m_feed;
}

QWidget* RSSController::makeBottomBar()
{
    auto* bar = new QWidget();
    auto* layout = new QVBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* buttons = new DarkBackgroundView();
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(8);
    m_onlyNew = new FlatCheckbox(tr("Only New"));
    m_editSites = new EditSitesButton();
    m_markAllRead = new MarkAllReadButton(m_outlineView);
    row->addWidget(m_onlyNew);
    row->addStretch(1);
    row->addWidget(m_editSites);
    row->addWidget(m_markAllRead);
    connect(m_onlyNew, &QAbstractButton::toggled, m_outlineView, &RSSOutlineView::setShowsOnlyNew);
    layout->addWidget(buttons);

    m_statusField = WebStatusBarTextField::addStatusBar(*layout);
    return bar;
}

void RSSController::setItem(const QVariantMap& item)
{
    const bool renamed = item.value(QStringLiteral("name")) != m_item.value(QStringLiteral("name"));
    m_item = item;
    if (renamed)
        emit titleChanged(title());
}

int RSSController::numberOfNewItems() const
{
    return m_outlineView ? m_outlineView->numberOfNewItems() : 0;
}

int RSSController::numberOfItems() const
{
    return m_outlineView ? m_outlineView->filteredCount() : 0;
}

void RSSController::reloadLines()
{
    if (!m_outlineView)
        return;
    TorrentLineList lines;
    if (m_feed)
        for (const FeedItemPtr& entry : m_feed->items())
            if (RSSLinePtr line = RSSLine::rssLineForItem(entry))
                lines.append(line);
    m_outlineView->setFeedLines(lines);
    updateStatus();
}

void RSSController::refreshContents()
{
    if (m_feed)
        m_feed->refresh();
    updateProgressIndicator();
    if (m_outlineView)
        for (const TorrentLinePtr& line : m_outlineView->lines())
            line->rescrapeTracker();
}

void RSSController::updateProgressIndicator()
{
    if (!m_outlineView)
        return;
    bool animating = m_feed && m_feed->isLoading();
    for (const TorrentLinePtr& line : m_outlineView->lines()) {
        if (animating)
            break;
        if (auto* entry = qobject_cast<RSSLine*>(line.get()))
            animating = entry->isFetching();
    }
    if (animating != m_isAnimating) {
        m_isAnimating = animating;
        updateStatus();
        emit animatingChanged(animating);
    }
    PerformLater::schedule(this, [this] { updateProgressIndicator(); }, kProgressCheckMs,
                           QStringLiteral("updateProgressIndicator"));
}

QString RSSController::statusText() const
{
    if (!m_feed)
        return tr("This subscription has been removed.");
    if (m_feed->isLoading())
        return tr("Loading %1…").arg(m_feed->address());
    if (m_loadFailed)
        return tr("%1 could not be loaded.").arg(m_feed->address());
    const int count = m_outlineView ? int(m_outlineView->lines().size()) : 0;
    const QString entries = count == 1 ? tr("1 entry") : tr("%1 entries").arg(count);
    const int fresh = numberOfNewItems();
    return fresh > 0 ? tr("%1, %2 new").arg(entries).arg(fresh) : entries;
}

void RSSController::updateStatus()
{
    if (m_statusField)
        m_statusField->setText(statusText());
}

}  // namespace ombrelay
