#pragma once

#include "app/toolbar/ToolbarDelegate.h"

#include <QHash>
#include <QObject>
#include <QSize>

class QLineEdit;
class QWidgetAction;

namespace ombrelay {

// The base of the window's toolbar delegates: the process-wide search item and the delegate's own items
// (the toolbar makes the separators and spaces). Items live as long as the delegate: a switch removes them from
// the toolbar and never deletes them, so the search field keeps its text and focus.
class KoToolbarDelegate : public QObject, public ToolbarDelegate
{
    Q_OBJECT
public:
    static const QString kSeparator;
    static const QString kFlexibleSpace;
    static const QString kSpace;
    static constexpr QSize kSearchItemSize{200, 32};

    // One item for the whole process; its view holds the search field.
    static QWidgetAction* searchItem();
    static QLineEdit* searchView();
    // The item's width follows the sidebar's; its height stays.
    static void setSearchItemWidth(int width);
    // The search field takes the keyboard focus with its text selected, so typing replaces it.
    static void selectSearchField();
    QAction* toolbarItem(const QString& identifier) override;

protected:
    explicit KoToolbarDelegate(QObject* parent = nullptr);
    // Registers the stored configuration of this delegate's toolbar where absent (each delegate's
    // constructor calls it once its identifier and items are known).
    void registerDefaults();
    // An item showing `view`, sized between `minimum` and `maximum`.
    QWidgetAction* addItem(const QString& identifier, QWidget* view, const QString& label, QSize minimum, QSize maximum);

private:
    QHash<QString, QAction*> m_items;
};

}  // namespace ombrelay
