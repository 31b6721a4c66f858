#include "uikit/PZMenuExtensions.h"

#include "uikit/PZIconCache.h"

#include <QComboBox>
#include <QMenu>

namespace ombrelay {

QAction* PZMenuExtensions::addItemWithTitle(QMenu* menu, const QString& title, const QString& representedPath)
{
    QAction* item = menu->addAction(title);
    item->setData(representedPath);
    item->setIcon(QIcon(PZIconCache::instance16().iconForFilePath(representedPath)));
    return item;
}

void PZMenuExtensions::selectItemWithRepresentedObject(QComboBox* popUp, const QVariant& object)
{
    for (int index = 0; index < popUp->count(); ++index) {
        if (popUp->itemData(index) == object) {
            popUp->setCurrentIndex(index);
            return;
        }
    }
    popUp->setCurrentIndex(-1);
}

}  // namespace ombrelay
