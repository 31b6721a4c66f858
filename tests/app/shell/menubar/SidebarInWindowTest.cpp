// The sidebar in the running application, under a private X server: clicks held as a hand holds them on a
// folder's name, the rename editor's selection, and a search dragged onto a collapsed folder. Clicks come
// from xdotool, through the X server. Each outer test runs one inner test of this program on its own
// display (the inner tests skip elsewhere).
#include "app/shell/menubar/LoopbackHomeApp.h"

#include "app/frame/KoContentView.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SourceItem.h"
#include "app/frame/SourcePane.h"
#include "search/SearchSites.h"
#include "support/OnScreen.h"

namespace ombrelay::test {
namespace {

const char* kChild = "OMBRELAY_SIDEBAR_WINDOW_CHILD";

#define RUN_UNDER_XVFB(test) RUN_ON_PRIVATE_DISPLAY(SidebarInWindow, test, "SidebarInWindowInner." #test, kChild)
RUN_UNDER_XVFB(AClickThatOnlyFocusesTheListRenamesNothingAndTheEditorShowsItsSelection)
RUN_UNDER_XVFB(ASearchDraggedOntoACollapsedFolderStaysSelectedAndShown)
RUN_UNDER_XVFB(CollapsingAroundTheSelectedSearchSelectsTheFolderAndDeleteAsksForIt)

class SidebarInWindowInner : public LoopbackHomeApp
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "runs under SidebarInWindow's private display";
        DesktopApp::SetUp();
        SearchSites::instance().setUserModules({});  // a search pane holds its results tab alone
        Settings::instance().setValue("kEnabledSystemModules", QStringList());
        ASSERT_NO_FATAL_FAILURE(launchWindow());
    }

    // Where a row's name is on the screen.
    QPoint nameOnScreen(SourceItem* item) const
    {
        const QRect row = sources()->visualRect(sources()->indexForObject(item));
        return sources()->viewport()->mapToGlobal(QPoint(row.x() + 40, row.center().y()));
    }
    SourceItem* folder(const QString& name)
    {
        sources()->addNewFolder();
        SourceItem* made = sources()->selectedItem();
        sources()->endEditing(false);
        made->setName(name);
        return made;
    }
    QWidget* shownPane(SourceItem* item) const
    {
        return window()->selectionController()->controllerForItem(item)->mainPaneView();
    }
};

// With a folder selected and the focus in the search field, a click held 120 ms on its name only focuses
// the list; a second such click renames, and the editor shows its whole name selected, in the
// selection's colours.
TEST_F(SidebarInWindowInner, AClickThatOnlyFocusesTheListRenamesNothingAndTheEditorShowsItsSelection)
{
    SourceItem* box = folder(QStringLiteral("Television"));
    sources()->selectItem(box);
    searchField()->setFocus();
    ASSERT_TRUE(focusIs(searchField()));
    ASSERT_TRUE(clickHeld(nameOnScreen(box), 120));
    ASSERT_TRUE(focusIs(sources()));
    spinFor(800);  // well past the rename's delay
    EXPECT_EQ(sources()->editor(), nullptr) << "the click only focused the list";

    ASSERT_TRUE(clickHeld(nameOnScreen(box), 120));
    ASSERT_TRUE(waitUntil([&] { return sources()->editor() && sources()->editor()->hasFocus(); }));
    QLineEdit* editor = sources()->editor();
    ASSERT_EQ(editor->selectedText(), QStringLiteral("Television"));
    const QRect field(editor->mapToGlobal(QPoint()), editor->size());
    const QColor highlight = editor->palette().color(QPalette::Active, QPalette::Highlight);
    ASSERT_FALSE(nearColor(highlight, Qt::white, 60)) << "a selection colour that shows on white";
    // The selected name: a band in the selection colour, with the letters in another colour over it.
    int band = 0, letters = 0;
    QImage shot;
    ASSERT_TRUE(waitUntil([&] {
        shot = screenArea(field);
        band = letters = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width() / 2; ++x) {
                const QColor pixel = shot.pixelColor(x, y);
                band += nearColor(pixel, highlight, 24) ? 1 : 0;
                letters += !nearColor(pixel, highlight, 60) && !nearColor(pixel, Qt::white, 60) ? 1 : 0;
            }
        return band > 100;
    }, 5000));
    ASSERT_TRUE(shot.save(picturePath("OMBRELAY_RENAME_PICTURE", QStringLiteral("sidebar-rename-selected.png"))));
    EXPECT_GT(letters, 20);
    sources()->endEditing(false);
}

// A press on a selected search, moved onto a collapsed folder and let go there: the search lies in the
// folder, which opens, and it stays selected with its pane shown.
TEST_F(SidebarInWindowInner, ASearchDraggedOntoACollapsedFolderStaysSelectedAndShown)
{
    SourceItem* box = folder(QStringLiteral("Box"));
    sources()->addNewQueryForString(QStringLiteral("inside"));  // into the selected folder
    sources()->collapse(sources()->indexForObject(box));
    sources()->clearSelection();
    sources()->addNewQueryForString(QStringLiteral("alpha"));
    SourceItem* alpha = sources()->findExistingQuery(QStringLiteral("alpha"));
    ASSERT_TRUE(alpha && alpha->parent() == &sources()->root());
    ASSERT_TRUE(waitUntil([&] { return window()->contentView()->currentView() == shownPane(alpha); }));
    ASSERT_FALSE(sources()->isExpanded(sources()->indexForObject(box)));

    ASSERT_TRUE(clickHeld(nameOnScreen(alpha), 400, nameOnScreen(box), 6));
    ASSERT_TRUE(waitUntil([&] { return alpha->parent() == box; })) << "the drop did not land in the folder";
    spinFor(200);
    EXPECT_EQ(sources()->selectedItem(), alpha);
    EXPECT_TRUE(sources()->isExpanded(sources()->indexForObject(box)));
    EXPECT_EQ(window()->contentView()->currentView(), shownPane(alpha));
}

// A click on a folder's triangle that hides the selected search selects the folder, whose start view
// shows, and Delete then asks about the folder instead of removing the hidden search.
TEST_F(SidebarInWindowInner, CollapsingAroundTheSelectedSearchSelectsTheFolderAndDeleteAsksForIt)
{
    QStringList asked;
    PZAlert::setPresenter([&](const PZAlert& alert, PZAlert::Answer answer) {
        asked << alert.message;
        answer(1, false);  // Cancel
    });
    SourceItem* box = folder(QStringLiteral("My Folder"));
    sources()->addNewQueryForString(QStringLiteral("debian"));  // into the selected folder, and selected
    SourceItem* debian = sources()->findExistingQuery(QStringLiteral("debian"));
    KoContentView* const content = window()->contentView();
    ASSERT_TRUE(waitUntil([&] { return content->currentView() == shownPane(debian); }));
    const QRect row = sources()->visualRect(sources()->indexForObject(box));
    const QPoint triangle(row.x() - sources()->indentation() / 2, row.center().y());
    ASSERT_TRUE(clickHeld(sources()->viewport()->mapToGlobal(triangle), 60));
    ASSERT_TRUE(waitUntil([&] { return !sources()->isExpanded(sources()->indexForObject(box)); }));
    EXPECT_EQ(sources()->selectedItems(), QList<SourceItem*>{box});
    EXPECT_TRUE(waitUntil([&] { return content->currentView() == content->anonymousView(); }));
    ASSERT_TRUE(focusIs(sources()));
    asked.clear();
    ASSERT_TRUE(key(QStringLiteral("Delete")));
    ASSERT_TRUE(waitUntil([&] { return !asked.isEmpty(); }));
    EXPECT_EQ(asked.first(), "Are you sure you want to remove the folder named \"My Folder\"?");
    EXPECT_EQ(sources()->findExistingQuery(QStringLiteral("debian")), debian);
}

} // namespace
} // namespace ombrelay::test
