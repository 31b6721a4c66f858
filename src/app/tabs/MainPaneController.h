#pragma once

#include "app/frame/SourcePane.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>
#include <functional>

class QStackedWidget;

namespace ombrelay {

class PZSquareTabView;
class PZViewController;
class QueryController;
class ResultsPane;
class RSSController;

// The pane of one source-list item: a strip of square tabs over the selected tab's content. A search
// gets its results tab and one web tab per enabled user site shown as a web page; a feed gets its feed
// tab. Tabs closed to the last are built again the next time the pane is shown.
class MainPaneController : public QObject, public SourcePane
{
    Q_OBJECT
public:
    using ControllerMaker = std::function<PZViewController*(const QVariantMap& item)>;

    // How the results and feed tabs' controllers are made (a QueryPaneController, no feed tab by default).
    static void setQueryControllerMaker(ControllerMaker maker);
    static void setFeedControllerMaker(ControllerMaker maker);

    explicit MainPaneController(const QVariantMap& item, QObject* parent = nullptr);
    ~MainPaneController() override;

    QVariantMap item() const { return m_item; }
    PZSquareTabView* tabView() const { return m_tabView; }
    QStackedWidget* contentView() const { return m_contentView; }
    QWidget* mainPaneView() const override;
    void performSearch() override;
    int numberOfItems() const override;
    int numberOfNewItems() const override;
    void itemChanged(const QVariantMap& item) override;
    QueryController* queryController() const;
    // The feed tab's controller of a feed pane; null in any other pane.
    RSSController* feedController() const;
    PZViewController* outlineController() const;
    // The results or feed tab's controller, whose list the results toolbar acts on.
    ResultsPane* resultsPane() const;
    QString urlQueryString() const;
    // A user site's web tab address for the search terms; invalid unless http(s).
    static QUrl webTabAddress(const QVariantMap& site, const QString& terms);

    // Const as the pane view is: a pane whose tabs were all closed fills its strip again when shown.
    void populateTabView() const;

signals:
    // The item's row should redraw (its pane changed tab).
    void itemNeedsDisplay();
    // The last tab closed: the source list should drop its selection.
    void lastTabClosed();
    // A results or feed list came into view: the window shows the results toolbar.
    void resultsListShown();

private:
    void addListTab(PZViewController* controller) const;
    void tabViewSelectionDidChange();

    QVariantMap m_item;
    QPointer<QWidget> m_mainPaneView;
    PZSquareTabView* m_tabView;
    QStackedWidget* m_contentView;
};

}  // namespace ombrelay
