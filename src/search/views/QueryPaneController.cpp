#include "search/views/QueryPaneController.h"

#include "search/SearchSitesEditor.h"
#include "search/views/QueryOutlineView.h"
#include "uikit/FilterBackground.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZRoundTabView.h"

#include <QVBoxLayout>

namespace ombrelay {

QueryPaneController::QueryPaneController(const QVariantMap& item, QObject* parent)
    : QueryController(item, parent),
      m_view(new QWidget()),
      m_tabView(new PZRoundTabView()),
      m_filterField(new FilterSearchField()),
      m_outlineView(new QueryOutlineView())
{
    auto* layout = new QVBoxLayout(m_view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FilterBackground::barWith(m_tabView, m_filterField));
    layout->addWidget(m_outlineView, 1);
    m_outlineView->setUp(m_tabView, m_filterField);
    m_outlineView->bindSortOrder(QStringLiteral("QueryPaneSortDescriptors"),
                                 PZSortDescriptor{QStringLiteral("swarmSize"), false, QStringLiteral("compare:")});
    m_outlineView->setQueryController(this);
    setContentView(m_view);
    connect(this, &QueryController::noSearchSites, this, &QueryPaneController::showNoSearchSitesAlert);
}

QueryPaneController::~QueryPaneController()
{
    close();  // no load reports into a list being destroyed
    if (m_view)
        delete m_outlineView;  // before the filter bar it counts into
    delete m_view;
}

PZAlert QueryPaneController::noSearchSitesAlert()
{
    PZAlert alert{tr("No search sites selected."),
                  tr("You have not selected any search sites. Ombrelay will be unable to search until you select at "
                     "least one."),
                  {tr("Manage Search Sites..."), tr("Cancel")}};
    alert.critical = true;
    return alert;
}

void QueryPaneController::showNoSearchSitesAlert()
{
    if (!m_view || !m_outlineView->isVisible())
        return;
    PZAlert::run(noSearchSitesAlert(), m_outlineView->window(), [](int button) {
        if (button == 0)
            SearchSitesEditor::open();
    });
}

}  // namespace ombrelay
