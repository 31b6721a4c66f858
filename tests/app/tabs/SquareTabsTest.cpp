// The square tab strip: its layout, closing, keys, the spinner's delay and the web tab addresses of sites.
#include "app/tabs/CurrentTabView.h"
#include "app/tabs/DelayedProgressIndicator.h"
#include "app/tabs/MainPaneController.h"
#include "app/tabs/OverflowButton.h"
#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/tabs/TabActionButton.h"
#include "kit/PerformLater.h"
#include "support/WaitUntil.h"
#include "uikit/PZViewController.h"

#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace ombrelay::test {
namespace {

class FakePane : public PZViewController
{
public:
    explicit FakePane(const QString& title)
    {
        setTitle(title);
        setContentView(new QWidget);
    }
    ~FakePane() override { delete contentView(); }
};

// A strip of `count` tabs, the first one not closable like a results tab; tab 0 selected.
void fill(PZSquareTabView& strip, int count)
{
    for (int i = 0; i < count; ++i) {
        PZSquareTabButton* tab = strip.addTabWithController(new FakePane(QStringLiteral("tab %1").arg(i)));
        if (i == 0)
            tab->actionButton()->setStyle(TabActionButton::kHidden);
    }
    strip.selectButtonAtIndex(0);
}

TEST(SquareTabs, LayoutSharesTheWidth)
{
    struct Case { int width, tabs; bool overflow; QList<int> x, widths; };
    const Case cases[] = {
        {500, 3, false, {6, 169, 332}, {163, 163, 162}},
        {500, 5, true, {6, 162, 318}, {156, 156, 155}},
        {1000, 2, false, {6, 206}, {200, 200}},
        {132, 1, false, {6}, {120}},
        {100, 2, true, {}, {}},  // not even one fits: the overflow button lists them all
        {500, 0, false, {}, {}},
        {0, 0, false, {}, {}},
    };
    for (const Case& c : cases) {
        const auto layout = PZSquareTabView::layoutFor(c.width, c.tabs);
        EXPECT_EQ(layout.overflow, c.overflow) << c.width << " " << c.tabs;
        EXPECT_EQ(layout.shown, c.x.size()) << c.width << " " << c.tabs;
        EXPECT_EQ(layout.x, c.x) << c.width << " " << c.tabs;
        EXPECT_EQ(layout.widths, c.widths) << c.width << " " << c.tabs;
    }
}

TEST(SquareTabs, OverflowMenuListsTheHiddenTabs)
{
    PZSquareTabView strip;
    strip.resize(100, PZSquareTabView::kHeight);
    fill(strip, 3);
    EXPECT_TRUE(strip.visibleTabs().isEmpty());
    strip.overflowButton()->rebuildMenu();
    const QList<QAction*> items = strip.overflowButton()->menu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[2]->text(), QStringLiteral("tab 2"));
    EXPECT_TRUE(items[0]->isChecked());
    items[2]->trigger();
    EXPECT_EQ(strip.selectedIndex(), 2);
}

TEST(SquareTabs, ClosingKeepsOrMovesTheSelection)
{
    struct Case { int selected, closed, expectSelected; QString expectTitle; };
    const Case cases[] = {
        {3, 3, 2, "tab 2"},  // the selected last tab: the new last one
        {1, 3, 1, "tab 1"},  // an unselected tab: the selection stays
        {1, 1, 1, "tab 2"},  // the selected middle tab: the same index
    };
    for (const Case& c : cases) {
        PZSquareTabView strip;
        strip.resize(1000, PZSquareTabView::kHeight);
        fill(strip, 4);
        strip.selectButtonAtIndex(c.selected);
        QPointer<PZViewController> closed = strip.tabs()[c.closed]->controller();
        strip.closeTab(strip.tabs()[c.closed]);
        EXPECT_TRUE(closed.isNull()) << "the closed tab's controller ends with it";
        EXPECT_EQ(strip.tabs().size(), 3);
        EXPECT_EQ(strip.selectedIndex(), c.expectSelected);
        EXPECT_EQ(strip.selectedButton()->controller()->title(), c.expectTitle);
    }
    PZSquareTabView strip;
    fill(strip, 2);
    int lastClosed = 0;
    QObject::connect(&strip, &PZSquareTabView::lastTabClosed, [&] { ++lastClosed; });
    strip.closeTab(strip.tabs()[1]);
    EXPECT_EQ(lastClosed, 0);
    strip.closeTab(strip.tabs()[0]);
    EXPECT_EQ(lastClosed, 1);  // the source list drops its selection then
    EXPECT_EQ(strip.selectedButton(), nullptr);
    strip.selectNextTab();  // no tab: nothing divides by zero
    strip.selectPreviousTab();
    EXPECT_EQ(strip.selectedIndex(), -1);
}

TEST(SquareTabs, KeysCycleAndCloseUnlessATextFieldTakesThem)
{
    struct Case { int selected; int key; Qt::KeyboardModifiers modifiers; bool inField; int expectSelected; int expectTabs; };
    const Case cases[] = {
        {2, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier, false, 0, 3},  // wraps to the first
        {0, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier, false, 2, 3},
        {1, Qt::Key_Right, Qt::ControlModifier, false, 1, 3},                     // Shift missing
        {2, Qt::Key_W, Qt::ControlModifier, false, 1, 2},
        {0, Qt::Key_W, Qt::ControlModifier, false, 0, 3},                         // the results tab stays
        {1, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier, true, 1, 3},  // the field selects a word
    };
    for (const Case& c : cases) {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* strip = new PZSquareTabView;
        auto* field = new QLineEdit(QStringLiteral("some words"));
        auto* other = new QWidget;
        other->setFocusPolicy(Qt::StrongFocus);
        layout->addWidget(strip);
        layout->addWidget(field);
        layout->addWidget(other);
        window.resize(600, 200);
        fill(*strip, 3);
        strip->selectButtonAtIndex(c.selected);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QWidget* target = c.inField ? static_cast<QWidget*>(field) : other;
        target->setFocus();
        QTest::keyClick(target, Qt::Key(c.key), c.modifiers);
        EXPECT_EQ(strip->selectedIndex(), c.expectSelected) << c.key << " " << c.inField;
        EXPECT_EQ(strip->tabs().size(), c.expectTabs) << c.key;
    }
}

// A results tab's search, stopped as its tab closes, tells the tab it stopped: the tab, already gone
// but for its last base part, hears nothing.
TEST(SquareTabs, AClosingTabHearsNothingFromItsGoingController)
{
    PZSquareTabView strip;
    fill(strip, 2);
    PZSquareTabButton* tab = strip.tabs()[1];
    int heard = 0;
    QObject::connect(tab->controller(), &QObject::destroyed, tab, [tab, &heard] {
        ++heard;
        tab->setIsAnimating(false);
    });
    strip.closeTab(tab);
    EXPECT_EQ(strip.tabs().size(), 1);
    EXPECT_EQ(heard, 0);
}

TEST(SquareTabs, SpinnerHidesOnlyAfterItsDelay)
{
    QWidget tab;
    auto* spinner = new DelayedProgressIndicator(&tab);
    tab.show();
    spinner->setIsAnimating(true);
    ASSERT_TRUE(waitUntil([&] { return spinner->isVisible(); }, 1000));
    spinner->setIsAnimating(false);
    EXPECT_TRUE(spinner->isVisible()) << "not before its delay";
    spinner->setIsAnimating(true);  // back within the delay: it never disappears
    PerformLater::runPending(spinner);  // the delay passes
    EXPECT_TRUE(spinner->isVisible());
    EXPECT_TRUE(spinner->isAnimating());
    spinner->setIsAnimating(false);
    EXPECT_TRUE(spinner->isVisible());
    EXPECT_EQ(PerformLater::runPending(spinner), 1);
    EXPECT_FALSE(spinner->isVisible());
    EXPECT_FALSE(spinner->isAnimating());
}

TEST(SquareTabs, SiteTemplatesGiveWebTabAddresses)
{
    struct Case { QString pattern, terms, expect; };
    const Case cases[] = {
        {"http://s.test/?q=%@&p=100%", " two words ", "http://s.test/?q=two%20words&p=100%25"},
        {"https://s.test/%@/more/%@", "a&b", "https://s.test/a%26b/more/a%26b"},
        {"HTTP://S.test/find?%@", "x", "http://s.test/find?x"},
        {"ftp://s.test/%@", "x", ""},
        {"javascript:alert('%@')", "x", ""},
        {"file:///etc/%@", "passwd", ""},
        {"%@", "http://elsewhere.test/", ""},
    };
    for (const Case& c : cases) {
        const QUrl address = MainPaneController::webTabAddress({{"url", c.pattern}}, c.terms);
        EXPECT_EQ(address.toString(QUrl::FullyEncoded), c.expect) << c.pattern.toStdString();
    }
}

}  // namespace
}  // namespace ombrelay::test

namespace ombrelay::test {
namespace {

// The menu's tab commands follow the strip in the window; the tagged one needs a tab, not two.
TEST(SquareTabs, TabMenuItemsFollowTheShownStrip)
{
    QWidget window;
    auto* strip = new PZSquareTabView(&window);
    new QVBoxLayout(&window);
    window.layout()->addWidget(strip);
    CurrentTabView& current = CurrentTabView::instance();
    struct Case { int tabs; bool shown; bool plain, tagged; };
    const Case cases[] = {
        {1, false, false, false},
        {0, true, true, false},
        {1, true, true, true},
        {3, true, true, true},
    };
    for (const Case& c : cases) {
        while (!strip->tabs().isEmpty())
            strip->closeTab(strip->tabs().constLast());
        fill(*strip, c.tabs);
        window.setVisible(c.shown);
        EXPECT_TRUE(waitUntil([&] { return (current.content() == strip) == c.shown; })) << c.tabs;
        EXPECT_EQ(current.validateMenuItem(0), c.plain) << c.tabs << " tabs, shown " << c.shown;
        EXPECT_EQ(current.validateMenuItem(CurrentTabView::kNeedsTabsTag), c.tagged) << c.tabs << " tabs, shown " << c.shown;
    }
}

}  // namespace
}  // namespace ombrelay::test
