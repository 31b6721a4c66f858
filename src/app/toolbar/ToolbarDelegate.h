#pragma once

#include <QString>
#include <QStringList>

class QAction;
class QToolBar;

namespace ombrelay {

// What a view offers the window's toolbar while it is shown: its identifier (the key of its stored
// configuration), its items, those the user may arrange, and their validation.
class ToolbarDelegate
{
public:
    virtual ~ToolbarDelegate() = default;

    virtual QString toolbarIdentifier() const = 0;
    virtual QStringList toolbarDefaultItemIdentifiers() const = 0;
    // What the user may arrange in the toolbar; the defaults unless told otherwise.
    virtual QStringList toolbarAllowedItemIdentifiers() const { return toolbarDefaultItemIdentifiers(); }
    // The item for an identifier, kept by the delegate (null: skipped).
    virtual QAction* toolbarItem(const QString& identifier) = 0;
    virtual void validateVisibleItems(QToolBar& toolbar) {}
};

}  // namespace ombrelay
