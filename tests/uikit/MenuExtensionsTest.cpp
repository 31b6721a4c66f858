#include "uikit/PZMenuExtensions.h"

#include <QComboBox>
#include <gtest/gtest.h>

using namespace ombrelay;

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
