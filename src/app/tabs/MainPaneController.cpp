#include "app/tabs/MainPaneController.h"

#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/tabs/TabActionButton.h"
#include "app/tabs/ToolbarLine.h"
#include "app/web/WebController.h"
#include "app/web/WebText.h"
#include "kit/NotificationCenter.h"
#include "kit/TextHelpers.h"
#include "search/QueryController.h"
#include "search/SearchSites.h"
#include "search/views/QueryOutlineView.h"
#include "search/views/QueryPaneController.h"
#include "search/views/RSSController.h"
#include "search/views/ResultsPane.h"

#include <QStackedWidget>
#include <QVBoxLayout>
#include <cctype>

namespace ombrelay {

namespace {

constexpr int kWebPageSiteType = 1;

MainPaneController::ControllerMaker& queryMaker()
{
    static MainPaneController::ControllerMaker maker = [](const QVariantMap& item) { return new QueryPaneController(item); };
    return maker;
}

MainPaneController::ControllerMaker& feedMaker()
{
    static MainPaneController::ControllerMaker maker;
    return maker;
}

}  // namespace

void MainPaneController::setQueryControllerMaker(ControllerMaker maker)
{
    queryMaker() = std::move(maker);
}

void MainPaneController::setFeedControllerMaker(ControllerMaker maker)
{
    feedMaker() = std::move(maker);
}

MainPaneController::MainPaneController(const QVariantMap& item, QObject* parent)
    : QObject(parent), m_item(item), m_mainPaneView(new QWidget)
{
    auto* layout = new QVBoxLayout(m_mainPaneView);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabView = new PZSquareTabView(m_mainPaneView);
    m_contentView = new QStackedWidget(m_mainPaneView);
    layout->addWidget(new ToolbarLine(m_mainPaneView));
    layout->addWidget(m_tabView);
    layout->addWidget(m_contentView, 1);
    m_contentView->addWidget(new QWidget(m_contentView));  // shown while no tab is selected
    listenForNotification(this, QStringLiteral("PZSquareTabViewSelectionDidChange"),
                          [this](const Notification&) { tabViewSelectionDidChange(); }, m_tabView);
    connect(m_tabView, &PZSquareTabView::lastTabClosed, this, &MainPaneController::lastTabClosed);
    populateTabView();
}

// Closing the pane ends its tabs' pages at once.
MainPaneController::~MainPaneController()
{
    stopListening(this);
    delete m_mainPaneView;
}

QString MainPaneController::urlQueryString() const
{
    return escapedString(m_item.value(QStringLiteral("name")).toString().trimmed());
}

// A results or feed tab: its spinner turns while it loads, and its list drives the sidebar row and the
// window's toolbar.
void MainPaneController::addListTab(PZViewController* controller) const
{
    PZSquareTabButton* tab = m_tabView->addTabWithController(controller);
    tab->actionButton()->setStyle(TabActionButton::kHidden);
    auto* self = const_cast<MainPaneController*>(this);  // the strip is refilled from the const pane view
    if (auto* query = qobject_cast<QueryController*>(controller))
        connect(query, &QueryController::activityChanged, tab, &PZSquareTabButton::setIsAnimating);
    if (auto* entries = qobject_cast<RSSController*>(controller)) {
        connect(entries, &RSSController::animatingChanged, tab, &PZSquareTabButton::setIsAnimating);
        tab->setIsAnimating(entries->isAnimating());
        connect(entries, &RSSController::titleChanged, m_tabView, [this] { m_tabView->update(); });
        connect(entries, &RSSController::countsChanged, self, &MainPaneController::itemNeedsDisplay);
    }
    if (auto* results = dynamic_cast<ResultsPane*>(controller); results && results->outlineView()) {
        connect(results->outlineView(), &QueryOutlineView::countsChanged, self, &MainPaneController::itemNeedsDisplay);
        connect(results->outlineView(), &QueryOutlineView::shown, self, &MainPaneController::resultsListShown);
    }
}

void MainPaneController::populateTabView() const
{
    const QString type = m_item.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("Query")) {
        if (PZViewController* results = queryMaker()(m_item))
            addListTab(results);
        const QString terms = m_item.value(QStringLiteral("name")).toString();
        for (const QVariantMap& site : SearchSites::instance().userModulesOfType(kWebPageSiteType)) {
            const QUrl address = webTabAddress(site, terms);
            if (!address.isValid())
                continue;
            auto* web = new WebController(address);
            web->setFirstPageTitle(SearchSites::nameForSearchSite(site));
            m_tabView->addTabWithController(web);
        }
    } else if (type == QLatin1String("RSS") && feedMaker()) {
        if (PZViewController* feed = feedMaker()(m_item))
            addListTab(feed);
    }
    m_tabView->selectButtonAtIndex(0);
}

// A "%" that is neither the placeholder nor an escape is a literal one: escaped before the address is read,
// so that reading it does not escape the terms' escapes a second time.
QUrl MainPaneController::webTabAddress(const QVariantMap& site, const QString& terms)
{
    const QString pattern = site.value(QStringLiteral("url")).toString();
    QString literal;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QStringView next = QStringView(pattern).mid(i + 1, 2);
        const bool kept = next.startsWith(u'@') || (next.size() == 2 && isxdigit(next[0].toLatin1()) && isxdigit(next[1].toLatin1()));
        literal += pattern[i] == u'%' && !kept ? QStringLiteral("%25") : QString(pattern[i]);
    }
    const QUrl address = SearchSites::addressFromText(SearchSites::filledTemplate(literal, terms.trimmed()));
    return WebText::isWebAddress(address) ? address : QUrl();
}

QWidget* MainPaneController::mainPaneView() const
{
    if (m_tabView->tabs().isEmpty())
        populateTabView();
    return m_mainPaneView;
}

void MainPaneController::performSearch()
{
    if (QueryController* query = queryController())
        query->performSearch();
}

int MainPaneController::numberOfItems() const
{
    if (RSSController* feed = feedController())
        return feed->numberOfItems();
    ResultsPane* results = resultsPane();
    return results && results->outlineView() ? results->outlineView()->filteredCount() : 0;
}

int MainPaneController::numberOfNewItems() const
{
    RSSController* feed = feedController();
    return feed ? feed->numberOfNewItems() : 0;
}

void MainPaneController::itemChanged(const QVariantMap& item)
{
    m_item = item;
    if (RSSController* feed = feedController())
        feed->setItem(item);
}

RSSController* MainPaneController::feedController() const
{
    for (PZSquareTabButton* tab : m_tabView->tabs()) {
        if (auto* feed = qobject_cast<RSSController*>(tab->controller()))
            return feed;
    }
    return nullptr;
}

QueryController* MainPaneController::queryController() const
{
    // A feed tab's controller is a kind of search controller too: only a search pane has a results tab.
    if (m_item.value(QStringLiteral("type")).toString() != QLatin1String("Query"))
        return nullptr;
    for (PZSquareTabButton* tab : m_tabView->tabs()) {
        if (auto* query = qobject_cast<QueryController*>(tab->controller()))
            return query;
    }
    return nullptr;
}

PZViewController* MainPaneController::outlineController() const
{
    for (PZSquareTabButton* tab : m_tabView->tabs()) {
        if (tab->controller() && !qobject_cast<WebController*>(tab->controller()))
            return tab->controller();
    }
    return nullptr;
}

ResultsPane* MainPaneController::resultsPane() const
{
    return dynamic_cast<ResultsPane*>(outlineController());
}

void MainPaneController::tabViewSelectionDidChange()
{
    PZSquareTabButton* selected = m_tabView->selectedButton();
    QWidget* content = selected && selected->controller() ? selected->controller()->contentView() : nullptr;
    if (content) {
        if (m_contentView->indexOf(content) < 0)
            m_contentView->addWidget(content);
        m_contentView->setCurrentWidget(content);
    } else {
        m_contentView->setCurrentIndex(0);  // the box stays, empty, so the strip keeps its place at the top
    }
    emit itemNeedsDisplay();
}

}  // namespace ombrelay
