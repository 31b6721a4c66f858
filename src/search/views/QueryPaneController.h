#pragma once

#include "search/QueryController.h"
#include "search/views/ResultsPane.h"
#include "uikit/PZAlert.h"

#include <QPointer>

namespace ombrelay {

class FilterSearchField;
class PZRoundTabView;

// The results tab of a search pane: the search and its list under type tabs and a filter field. With no
// search site enabled it asks, on the list's window, to manage the search sites.
class QueryPaneController : public QueryController, public ResultsPane
{
    Q_OBJECT
public:
    explicit QueryPaneController(const QVariantMap& item, QObject* parent = nullptr);
    ~QueryPaneController() override;

    static PZAlert noSearchSitesAlert();

    QueryOutlineView* outlineView() const override { return m_outlineView; }
    void refreshContents() override { QueryController::refreshContents(); }
    PZRoundTabView* tabView() const { return m_tabView; }
    FilterSearchField* filterField() const { return m_filterField; }

private:
    void showNoSearchSitesAlert();

    QPointer<QWidget> m_view;
    PZRoundTabView* m_tabView;
    FilterSearchField* m_filterField;
    QueryOutlineView* m_outlineView;
};

}  // namespace ombrelay
