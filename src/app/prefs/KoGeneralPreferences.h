#pragma once

#include <QWidget>

class QPushButton;

namespace ombrelay {

class SearchSitesTableView;

// The general pane: the search sites at the top, then the confirmations, the tray's notices, search
// suggestions, cookies, the web panes' home page and a button to join the short-message service.
class KoGeneralPreferences : public QWidget
{
    Q_OBJECT
public:
    explicit KoGeneralPreferences(QWidget* parent = nullptr);

    SearchSitesTableView* sitesTable() const { return m_sitesTable; }
    QPushButton* addSiteButton() const { return m_addSite; }
    QPushButton* removeSiteButton() const { return m_removeSite; }
    QPushButton* resetSitesButton() const { return m_resetSites; }
    // Opens the short-message service's sign-up page in the desktop's browser.
    static void joinTwitter();

private:
    QWidget* makeSitesBox();

    SearchSitesTableView* m_sitesTable = nullptr;
    QPushButton* m_addSite = nullptr;
    QPushButton* m_removeSite = nullptr;
    QPushButton* m_resetSites = nullptr;
};

}  // namespace ombrelay
