#pragma once

#include "search/SearchSites.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ombrelay {

// The sheet in which a user site is added or edited: its name, its address template with "%@" where the
// search text goes, and whether the site's own results page also opens as a tab. A site that cannot be
// searched is not taken: the sheet says why and stays open.
class SearchSiteSheet : public QDialog
{
    Q_OBJECT
public:
    SearchSiteSheet(const QString& title, const QString& doneTitle, QWidget* parent);

    // Fills the fields and opens the sheet, window-modal, with the focus in the name field.
    void openWith(const QString& name, const QString& pattern, bool opensTab);
    QString name() const;
    QString pattern() const;
    bool opensTab() const;
    // Shows why the fields cannot be saved; false when they can.
    bool showFault();
    static QString describe(SearchSites::UserSiteFault fault);

    QLineEdit* nameField() const { return m_name; }
    QLineEdit* addressField() const { return m_address; }
    QCheckBox* tabBox() const { return m_tab; }
    QPushButton* doneButton() const { return m_done; }
    QLabel* faultLabel() const { return m_fault; }

signals:
    // The done button was pressed; the owner checks the fields and closes the sheet.
    void confirmed();

private:
    QLineEdit* m_name;
    QLineEdit* m_address;
    QCheckBox* m_tab;
    QPushButton* m_done;
    QLabel* m_fault;
};

}  // namespace ombrelay
