#pragma once

#include <QWidget>

class QVBoxLayout;

namespace ombrelay {

// The general pane: the confirmations, the tray's notices, search suggestions, cookies and the web panes'
// home page, with room at the top for the search-sites table.
class KoGeneralPreferences : public QWidget
{
    Q_OBJECT
public:
    explicit KoGeneralPreferences(QWidget* parent = nullptr);

    // The search-sites table takes the top of the pane.
    void setSitesTable(QWidget* table);

private:
    QVBoxLayout* m_layout;
};

}  // namespace ombrelay
