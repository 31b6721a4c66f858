#pragma once

#include <QString>
#include <QVariant>

class QAction;
class QComboBox;
class QMenu;

namespace ombrelay {

// Menu and pop-up helpers the panes share.
class PZMenuExtensions
{
public:
    // An item whose data is the path, with the path's 16-pixel icon.
    static QAction* addItemWithTitle(QMenu* menu, const QString& title, const QString& representedPath);
    // Selects the first item whose data equals the object; none when no item does.
    static void selectItemWithRepresentedObject(QComboBox* popUp, const QVariant& object);
};

}  // namespace ombrelay
