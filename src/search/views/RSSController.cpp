#include "search/views/RSSController.h"

#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "search/feeds/Feed.h"
#include "search/feeds/RSSLine.h"
#include "search/views/RSSOutlineView.h"
#include "uikit/FilterBackground.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZRoundTabView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace ombrelay {

RSSController::RSSController(const QVariantMap& item, QObject* parent)
    : QObject(parent), m_item(item), m_mainView(new QWidget()), m_tabView(new PZRoundTabView()),
      m_filterField(new FilterSearchField()), m_outlineView(new RSSOutlineView())
{
    m_filterField->setPlaceholderText(tr("Filter"));
    m_filterField->setMaximumWidth(200);
    auto* bar = new FilterBackground();
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, 6, 0);
    barLayout->addWidget(m_tabView, 1);
    barLayout->addWidget(m_filterField);
    auto* layout = new QVBoxLayout(m_mainView);
    layout->setContentsMargins(0, 1, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_outlineView, 1);
    m_outlineView->setUp(m_tabView, m_filterField);
    m_outlineView->bindSortOrder(QStringLiteral("RSSPaneSortDescriptors"),
                                 PZSortDescriptor{QStringLiteral("date"), false, QStringLiteral("compare:")});

    reloadLines();
    listenForNotification(this, QStringLiteral("FeedDataLoadedNotification"), [this](const Notification& n) {
        if (n.object == feed())
            reloadLines();
    });
    updateProgressIndicator();
}

RSSController::~RSSController()
{
    stopListening(this);
    PerformLater::cancel(this);
    delete m_mainView;
}

Feed* RSSController::feed() const
{
    return Feed::feedWithItem(m_item);
}

void RSSController::setItem(const QVariantMap& item)
{
    const bool renamed = item.value(QStringLiteral("name")) != m_item.value(QStringLiteral("name"));
    m_item = item;
    if (renamed)
        emit titleChanged(title());
}

void RSSController::reloadLines()
{
    TorrentLineList lines;
    if (Feed* model = feed())
        for (const FeedItemPtr& entry : model->items())
            if (RSSLinePtr line = RSSLine::rssLineForItem(entry))
                lines.append(line);
    m_outlineView->setFeedLines(lines);
}

void RSSController::refreshContents()
{
    if (Feed* model = feed())
        model->refresh();
    updateProgressIndicator();
    for (const TorrentLinePtr& line : m_outlineView->lines())
        line->rescrapeTracker();
}

void RSSController::updateProgressIndicator()
{
    Feed* model = feed();
    bool animating = model && model->isLoading();
    for (const TorrentLinePtr& line : m_outlineView->lines()) {
        if (animating)
            break;
        if (auto* entry = qobject_cast<RSSLine*>(line.get()))
            animating = entry->isFetching();
    }
    if (animating != m_isAnimating) {
        m_isAnimating = animating;
        emit animatingChanged(animating);
    }
    PerformLater::schedule(this, [this] { updateProgressIndicator(); }, kProgressCheckMs,
                               QStringLiteral("updateProgressIndicator"));
}

}  // namespace ombrelay
