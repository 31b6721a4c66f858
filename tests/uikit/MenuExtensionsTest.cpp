#include "uikit/PZMenuExtensions.h"

#include <QComboBox>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;

TEST(MenuExtensionsTest, PathItemsCarryThePathAndItsIcon)
{
    QTemporaryDir folder;
    QMenu menu;
    QAction* item = PZMenuExtensions::addItemWithTitle(&menu, QStringLiteral("Downloads"), folder.path());
    EXPECT_EQ(item->text(), QStringLiteral("Downloads"));
    EXPECT_EQ(item->data().toString(), folder.path());
    EXPECT_FALSE(item->icon().isNull());
    EXPECT_EQ(menu.actions().size(), 1);
}

TEST(MenuExtensionsTest, PopUpSelectsTheFirstItemWithTheObject)
{
    QComboBox popUp;
    popUp.addItem(QStringLiteral("a"), 1);
    popUp.addItem(QStringLiteral("b"), 2);
    popUp.addItem(QStringLiteral("b again"), 2);
    PZMenuExtensions::selectItemWithRepresentedObject(&popUp, 2);
    EXPECT_EQ(popUp.currentIndex(), 1);
    PZMenuExtensions::selectItemWithRepresentedObject(&popUp, 9);
    EXPECT_EQ(popUp.currentIndex(), -1);
}
