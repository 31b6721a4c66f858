// The transfers list in the running application's window, under a private X server: its place in the
// keyboard loop, the Transfers menu's enabled items, a double click on a row control and pictures of
// its file rows. Keys and clicks come from xdotool, through the X server, to where the focus is. Each
// outer test runs one inner test of this program on its own display (the inner tests skip elsewhere).
#include "app/shell/menubar/LoopbackHomeApp.h"

#include "app/frame/KoContentView.h"
#include "app/frame/MainSplitView.h"
#include "app/frame/SideStatusView.h"
#include "app/shell/KoMainMenu.h"
#include "app/toolbar/MainToolbar.h"
#include "app/toolbar/ToolbarCustomizePanel.h"
#include "support/OnScreen.h"
#include "support/Pictures.h"
#include "support/UrlRecorder.h"
#include "transfers/DownloadProgressCell.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/PZIconView.h"
#include "transfers/PreviewWindow.h"
#include "transfers/StatsView.h"
#include "transfers/TransferItem.h"
#include "transfers/TransfersInfoArea.h"
#include "uikit/FilterSearchField.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QWidgetAction>

namespace ombrelay::test {
namespace {

const char* kChild = "OMBRELAY_TRANSFERS_WINDOW_CHILD";
using C = KoMainMenu::Command;

#define RUN_UNDER_XVFB(test) RUN_ON_PRIVATE_DISPLAY(TransfersInWindow, test, "TransfersInWindowInner." #test, kChild)
RUN_UNDER_XVFB(TabAndShiftTabLeaveTheListForTheFieldAndTheRow)
RUN_UNDER_XVFB(TheTransfersMenuFollowsTheSelection)
RUN_UNDER_XVFB(ADoubleClickOnAGetFileButtonTakesTheFileAndOpensNothing)
RUN_UNDER_XVFB(PicturesOfCompleteAndIncompleteFileRowsSelectedAndNot)
RUN_UNDER_XVFB(TheArrowKeysGoOnFromTheSelectionAndHomeOnlyScrolls)
RUN_UNDER_XVFB(QuickLookOnTextFilesClosesWithSpaceAndStepsWithTheArrows)
RUN_UNDER_XVFB(PicturesOfTheSortArrowAndTheEmptyIconOutline)
RUN_UNDER_XVFB(ToolbarLabelsFollowTheirItemsAndIconOnlyWidensTheSearchFieldAtOnce)

class TransfersInWindowInner : public LoopbackHomeApp
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "runs under TransfersInWindow's private display";
        DesktopApp::SetUp();
        Settings::instance().setValue("kDisplayPercentages", false);
        ASSERT_NO_FATAL_FAILURE(launchWindow());
    }

    DownloadsOutlineView* list() { return downloads().outlineView(); }
    QAction* action(C command) const { return controller->mainMenu()->action(command); }
    TransferItem* row(const TorrentLinePtr& torrent) { return list()->itemFor(torrent.get()); }
    PZOutlineObject* fileRow(const TorrentLinePtr& torrent, int index)
    {
        list()->expand(list()->indexForObject(row(torrent)));
        return row(torrent)->outlineChild(index);
    }
    QRect cellOnScreen(PZOutlineObject* object, int column)
    {
        const QRect cell = list()->visualRect(list()->indexForObject(object, column));
        return QRect(list()->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }

    void showTransfers()
    {
        ASSERT_TRUE(key(QStringLiteral("ctrl+2")));
        ASSERT_TRUE(focusIs(downloads().statsView()));
        ASSERT_TRUE(waitUntil([&] { return list()->isVisible(); }));
    }
    QImage screen() const { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

};

TEST_F(TransfersInWindowInner, TabAndShiftTabLeaveTheListForTheFieldAndTheRow)
{
    listTorrent(QStringLiteral("listed.bin"));
    showTransfers();
    QWidget* field = KoToolbarDelegate::searchView();
    ASSERT_TRUE(waitUntil([&] { return field->isVisible(); })) << "the transfers toolbar holds the field";
    const struct
    {
        const char* keys;
        QWidget* to;
    } steps[] = {
        {"Tab", list()},
        {"shift+Tab", downloads().statsView()}, // not the pane's filter field
        {"Tab", list()},
        {"Tab", field},
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(key(QString::fromLatin1(step.keys)));
        EXPECT_TRUE(focusIs(step.to))
            << step.keys << " reached "
            << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                            : "nothing");
    }
    EXPECT_NE(QApplication::focusWidget(), downloads().filterField());
}

TEST_F(TransfersInWindowInner, TheTransfersMenuFollowsTheSelection)
{
    const TorrentLinePtr absent = listTorrent(QStringLiteral("absent.bin"));
    const TorrentLinePtr present = listTorrent(QStringLiteral("present.bin"));
    const TorrentLinePtr album = listTorrent(QStringLiteral("album"), {{{QStringLiteral("one.mp3")}, 20000},
                                                                       {{QStringLiteral("two.mp3")}, 20000}});
    ASSERT_TRUE(writeFile(present->fullPath(), "bytes"));
    ASSERT_TRUE(writeFile(album->files().at(0)->fullPath(), "bytes"));
    showTransfers();
    const QList<C> items{C::OpenTransfer, C::RevealTransfer, C::QuickLook, C::RemoveTransfer};
    const struct
    {
        const char* state;
        QList<PZOutlineObject*> selected;
        QList<C> enabled;
    } states[] = {
        {"nothing selected", {}, {}},
        {"a torrent not on disk yet", {row(absent)}, {C::QuickLook, C::RemoveTransfer}},
        {"a torrent on disk", {row(present)}, items},
        {"a file on disk", {fileRow(album, 0)}, {C::OpenTransfer, C::RevealTransfer, C::QuickLook}},
        {"a file not on disk", {fileRow(album, 1)}, {C::QuickLook}},
        {"two torrents on disk",
         {row(present), row(album)},
         {C::RevealTransfer, C::QuickLook, C::RemoveTransfer}},
        {"nothing again", {}, {}},
    };
    for (const auto& state : states) {
        list()->selectObjects(state.selected);
        // The items follow once the application revalidated; a wrong rule shows after the wait.
        waitUntil(
            [&] {
                return std::all_of(items.begin(), items.end(), [&](C item) {
                    return action(item)->isEnabled() == state.enabled.contains(item);
                });
            },
            3000);
        for (C item : items)
            EXPECT_EQ(action(item)->isEnabled(), state.enabled.contains(item))
                << state.state << ": " << action(item)->text().toStdString();
    }
}

// With the torrent's row selected, a double click on a skipped file's get-file button: the first click
// takes the file, the button goes, and the second click opens nothing.
TEST_F(TransfersInWindowInner, ADoubleClickOnAGetFileButtonTakesTheFileAndOpensNothing)
{
    UrlRecorder recorder({QStringLiteral("file")});
    const TorrentLinePtr album = listTorrent(QStringLiteral("album"), {{{QStringLiteral("one.mp3")}, 20000},
                                                                       {{QStringLiteral("two.mp3")}, 20000}});
    ASSERT_TRUE(writeFile(album->files().at(0)->fullPath(), "bytes")); // the folder is there to open
    ASSERT_TRUE(album->files().at(1)->setCheckboxState(OBLine::Skipped, true));
    showTransfers();
    list()->selectObjects({row(album)});
    PZOutlineObject* skipped = fileRow(album, 1);
    ASSERT_TRUE(waitUntil([&] { return list()->visualRect(list()->indexForObject(skipped)).isValid(); }));
    const QRect frame =
        list()->visualRect(list()->indexForObject(skipped, DownloadsOutlineView::ProgressColumn));
    const QList<QRect> controls =
        list()->cellFor(DownloadsOutlineView::ProgressColumn, skipped)->controlRects(frame, skipped);
    ASSERT_EQ(controls.size(), 1);
    const QPoint button = list()->viewport()->mapToGlobal(controls.first().center());

    ASSERT_TRUE(
        xdotool({QStringLiteral("mousemove"), QString::number(button.x()), QString::number(button.y()),
                 QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                 QStringLiteral("--delay"), QStringLiteral("60"), QStringLiteral("1")}));
    ASSERT_TRUE(waitUntil([&] { return album->files().at(1)->checkboxState() == OBLine::Wanted; }));
    spinFor(300); // the second click's events are in
    EXPECT_EQ(recorder.opened, QList<QUrl>());
    EXPECT_EQ(list()->selectedObjects(), QList<PZOutlineObject*>({row(album)}));
}

// Pixels of the area that differ from the colour at its top-left corner (the row's background).
int inkIn(const QImage& image, const QRect& area)
{
    const QColor background = image.pixelColor(area.topLeft());
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ink += nearColor(image.pixelColor(x, y), background, 24) ? 0 : 1;
    return ink;
}

// Pictures of a transfer whose first file is complete, second skipped and third under way, beside a
// transfer with nothing in yet: once with the complete file and that transfer selected, once with the two
// others. Each row's size text, mark and button are checked in each.
TEST_F(TransfersInWindowInner, PicturesOfCompleteAndIncompleteFileRowsSelectedAndNot)
{
    const TorrentLinePtr album =
        listTorrent(QStringLiteral("album"), {{{QStringLiteral("one.mp3")}, 40000},
                                              {{QStringLiteral("two.mp3")}, 40000},
                                              {{QStringLiteral("three.mp3")}, 40000}});
    const TorrentLinePtr fresh = listTorrent(QStringLiteral("fresh.iso"));
    for (const TorrentLinePtr& torrent : {album, fresh})
        torrent->updateNeededPieces();
    completeFile(*album, *album->files().at(0));
    ASSERT_TRUE(album->files().at(1)->setCheckboxState(OBLine::Skipped, true));
    album->setDownloaded(40000);
    for (const TorrentLinePtr& torrent : {album, fresh})
        torrent->invalidateValues();
    showTransfers();
    ASSERT_TRUE(key(QStringLiteral("Tab")));
    ASSERT_TRUE(focusIs(list()));
    list()->setSortDescriptors({{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")}});
    list()->rearrangeObjects();
    PZOutlineObject* complete = fileRow(album, 0);
    PZOutlineObject* skipped = fileRow(album, 1);
    PZOutlineObject* under = fileRow(album, 2);
    ASSERT_TRUE(album->files().at(0)->isComplete());
    ASSERT_FALSE(album->files().at(2)->isComplete());
    constexpr int kProgress = DownloadsOutlineView::ProgressColumn;
    // Where a row's size text, bar and marks are drawn, on the screen.
    const auto text = [&](PZOutlineObject* object) {
        const QRect cell = cellOnScreen(object, kProgress);
        return QRect(cell.left() + 2, cell.top() + 1, 74, cell.height() - 2);
    };
    const auto bar = [&](PZOutlineObject* object) {
        return DownloadProgressCell::progressRectInCell(cellOnScreen(object, kProgress));
    };
    const auto centred = [&](PZOutlineObject* object, int width) {
        return QRect(bar(object).center().x() - width / 2, cellOnScreen(object, kProgress).top() + 2, width,
                     13);
    };
    const auto atBarStart = [&](PZOutlineObject* object) {
        return QRect(bar(object).left(), cellOnScreen(object, kProgress).top() + 2, 14, 13);
    };

    const struct
    {
        const char* picture;
        QList<PZOutlineObject*> selected;
    } pictures[] = {
        {"transfers-file-rows-complete-selected.png", {complete, row(fresh)}},
        {"transfers-file-rows-incomplete-selected.png", {skipped, under}},
    };
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.picture);
        list()->selectObjects(picture.selected);
        ASSERT_TRUE(focusIs(list()));
        // Shot once the screen shows every selected row highlighted, and only those, at the name column's end.
        const auto highlighted = [&](const QImage& image, PZOutlineObject* object) {
            const QRect name = cellOnScreen(object, DownloadsOutlineView::NameColumn);
            const QColor ink = image.pixelColor(name.right() - 4, name.center().y());
            return ink.blue() > ink.red() + 60;
        };
        QImage shot;
        ASSERT_TRUE(waitUntil([&] {
            shot = screen();
            return std::all_of(pictures[0].selected.begin(), pictures[0].selected.end(), [&](PZOutlineObject* o) {
                       return highlighted(shot, o) == picture.selected.contains(o);
                   })
                && std::all_of(pictures[1].selected.begin(), pictures[1].selected.end(), [&](PZOutlineObject* o) {
                       return highlighted(shot, o) == picture.selected.contains(o);
                   });
        }, 5000));
        ASSERT_TRUE(shot.save(
            picturePath("OMBRELAY_TRANSFERS_FILE_ROWS_PICTURE", QString::fromLatin1(picture.picture))));
        const auto selected = [&](PZOutlineObject* object) { return picture.selected.contains(object); };

        // Sizes: a complete file's black (white when selected), an incomplete one's grey (blended).
        for (PZOutlineObject* file : {complete, skipped, under}) {
            const bool done = file == complete;
            const auto [darkest, brightest] = greyRange(shot, text(file));
            if (!selected(file))
                EXPECT_TRUE(done ? darkest < 80 : darkest > 110 && darkest < 200)
                    << "plain, darkest " << darkest;
            else
                EXPECT_TRUE(done ? brightest > 240 : brightest > 150 && brightest < 235)
                    << "selected, brightest " << brightest;
        }
        // The check mark and the get-file button stand over the bar's middle, not at its start.
        for (PZOutlineObject* file : {complete, skipped}) {
            EXPECT_GT(inkIn(shot, centred(file, file == complete ? 12 : 52)), 10);
            EXPECT_EQ(inkIn(shot, atBarStart(file)), 0);
        }
        EXPECT_EQ(inkIn(shot, centred(under, 52)), 0) << "a wanted file under way has neither";
        // The total size of the transfer with nothing in stays right-aligned, selected or not.
        const QRect total = text(row(fresh));
        EXPECT_EQ(inkIn(shot, total.adjusted(0, 0, -total.width() / 2, 0)), 0);
        EXPECT_GT(inkIn(shot, total.adjusted(total.width() / 2, 0, 0, 0)), 10);
    }
}

// After the application selects a row itself (an add, a restored selection), Down goes to the row below
// it, not below the row the keyboard was on. With every transfer selected (Ctrl+A), End and Home only
// scroll: the next Delete removes all of them.
TEST_F(TransfersInWindowInner, TheArrowKeysGoOnFromTheSelectionAndHomeOnlyScrolls)
{
    TorrentLineList torrents;
    for (int n = 0; n < 60; ++n)
        torrents.append(listTorrent(QStringLiteral("listed %1.bin").arg(n, 2, 10, QLatin1Char('0'))));
    showTransfers();
    list()->setSortDescriptors({{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")}});
    ASSERT_TRUE(key(QStringLiteral("Tab")));
    ASSERT_TRUE(focusIs(list()));
    ASSERT_TRUE(waitUntil([&] { return list()->selectedObjects() == QList<PZOutlineObject*>{row(torrents[0])}; }));
    downloads().selectObjects({torrents[2]});
    ASSERT_TRUE(key(QStringLiteral("Down")));
    EXPECT_TRUE(waitUntil([&] { return list()->selectedObjects() == QList<PZOutlineObject*>{row(torrents[3])}; }));
    for (const char* keys : {"ctrl+a", "End", "Home"}) {
        ASSERT_TRUE(key(QString::fromLatin1(keys)));
        EXPECT_TRUE(waitUntil([&] { return list()->selectedTorrents().size() == 60; })) << keys;
    }
    EXPECT_EQ(list()->verticalScrollBar()->value(), 0);
    ASSERT_TRUE(key(QStringLiteral("Delete")));
    EXPECT_TRUE(waitUntil([&] { return downloads().objects().isEmpty(); })) << downloads().objects().size() << " left";
}

// The preview of two text files: the text box leaves Space (close) and Left and Right (step) to it.
TEST_F(TransfersInWindowInner, QuickLookOnTextFilesClosesWithSpaceAndStepsWithTheArrows)
{
    const TorrentLinePtr notes = listTorrent(QStringLiteral("notes"), {{{QStringLiteral("one.txt")}, 400},
                                                                       {{QStringLiteral("two.txt")}, 400}});
    for (const FileLine* file : notes->files())
        ASSERT_TRUE(writeFile(file->fullPath(), QByteArray(400, 'x')));
    showTransfers();
    ASSERT_TRUE(key(QStringLiteral("Tab")));
    ASSERT_TRUE(focusIs(list()));
    list()->selectObjects({fileRow(notes, 0), fileRow(notes, 1)});
    ASSERT_TRUE(key(QStringLiteral("space")));
    PreviewWindow* preview = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        preview = window()->findChild<PreviewWindow*>();
        return preview && preview->isVisible() && QApplication::focusWidget()
            && preview->isAncestorOf(QApplication::focusWidget());
    }));
    const struct
    {
        const char* key;
        int index;
        bool visible;
    } steps[] = {{"Right", 1, true}, {"Left", 0, true}, {"Left", 1, true}, {"space", 1, false}};
    for (const auto& step : steps) {
        ASSERT_TRUE(key(QString::fromLatin1(step.key)));
        EXPECT_TRUE(waitUntil([&] { return preview->currentIndex() == step.index && preview->isVisible() == step.visible; }))
            << step.key << ": item " << preview->currentIndex() << (preview->isVisible() ? ", shown" : ", closed");
    }
}

// A click on the Name header sorts ascending, and its arrow points up (widest at its foot); with nothing
// selected, the info area's empty icon outline is dashed (its top edge in several strokes).
TEST_F(TransfersInWindowInner, PicturesOfTheSortArrowAndTheEmptyIconOutline)
{
    listTorrent(QStringLiteral("b.bin"));
    listTorrent(QStringLiteral("a.bin"));
    showTransfers();
    list()->setSortDescriptors({});
    QHeaderView* header = list()->header();
    const int name = DownloadsOutlineView::NameColumn;
    const QPoint click = header->mapToGlobal(QPoint(header->sectionViewportPosition(name) + 30, header->height() / 2));
    ASSERT_TRUE(clickHeld(click, 120));
    ASSERT_TRUE(waitUntil([&] { return !list()->sortDescriptors().isEmpty(); }));
    ASSERT_TRUE(list()->sortDescriptors().first().ascending);
    const QRect section(header->mapToGlobal(QPoint(header->sectionViewportPosition(name), 0)),
                        QSize(header->sectionSize(name), header->height()));
    const QRect arrowArea = section.adjusted(section.width() - 24, 2, -2, -3);
    // The ink of each row in the section's right end: an arrow pointing up is widest at its foot.
    QList<int> arrow;
    QImage shot;
    ASSERT_TRUE(waitUntil([&] {
        shot = screen();
        arrow.clear();
        for (int y = arrowArea.top(); y <= arrowArea.bottom(); ++y)
            if (const int ink = inkIn(shot, QRect(arrowArea.left(), y, arrowArea.width(), 1)))
                arrow.append(ink);
        return arrow.size() >= 3;
    }, 5000));
    ASSERT_TRUE(shot.copy(section).save(picturePath("OMBRELAY_SORT_ARROW_PICTURE", QStringLiteral("transfers-sort-arrow.png"))));
    EXPECT_LT(arrow.first(), arrow.last()) << "ascending: the arrow points up";

    list()->clearSelection();
    PZIconView* icon = downloads().infoArea()->iconView();
    ASSERT_TRUE(waitUntil([&] { return icon->isVisible() && icon->image().isNull(); }));
    const QRect outline(icon->mapToGlobal(QPoint()), icon->size());
    // The top edge between the rounded corners: a column is inked where any pixel of the stroke's band
    // (its shadow above it included) stands out of the background.
    int strokes = 0;
    ASSERT_TRUE(waitUntil([&] {
        shot = screen();
        const QColor background = shot.pixelColor(outline.center());
        strokes = 0;
        bool inStroke = false;
        for (int x = outline.left() + 16; x <= outline.right() - 16; ++x) {
            bool ink = false;
            for (int y = outline.top() + 1; y <= outline.top() + 8; ++y)
                ink = ink || !nearColor(shot.pixelColor(x, y), background, 16);
            strokes += ink && !inStroke ? 1 : 0;
            inStroke = ink;
        }
        return strokes > 0;
    }, 5000));
    ASSERT_TRUE(shot.copy(outline).save(picturePath("OMBRELAY_ICON_OUTLINE_PICTURE", QStringLiteral("transfers-empty-icon.png"))));
    EXPECT_GE(strokes, 2) << "9 on, 4 off along " << outline.width() - 32 << " pixels";
}

// Each label under the transfers toolbar's items is drawn in its item's state and under its item: after a
// click selects a paused transfer (Remove turns on, Pause off) and after the sidebar's divider is dragged
// from 340 to 420 pixels. Then "Icon Only" chosen in Customize Toolbar widens the search field at once,
// from the sidebar's strip less 21 pixels to less 19.
TEST_F(TransfersInWindowInner, ToolbarLabelsFollowTheirItemsAndIconOnlyWidensTheSearchFieldAtOnce)
{
    const TorrentLinePtr paused = listTorrent(QStringLiteral("paused.bin"));
    paused->restoreDownloadState(TorrentLine::Paused);
    listTorrent(QStringLiteral("running.bin"));
    window()->splitView()->setSidebarWidth(340);
    showTransfers();
    auto* const toolbar = qobject_cast<MainToolbar*>(window()->contentView()->currentToolbar());
    ASSERT_TRUE(toolbar && toolbar->toolButtonStyle() == Qt::ToolButtonTextUnderIcon);
    ToolbarDelegate* const items = window()->contentView()->toolbarDelegate();
    QAction* const remove = items->toolbarItem(QStringLiteral("item_cancel"));
    QAction* const pause = items->toolbarItem(QStringLiteral("item_pause"));
    const QRect bar(toolbar->mapToGlobal(QPoint()), toolbar->size());
    const auto black = [&](QAction* item) {  // the screen shows its label black (enabled), not grey
        const QImage shown = screenArea(toolbar->labelRect(item).translated(bar.topLeft()));
        return darkestGrey(shown, shown.rect()) < 90;
    };
    ASSERT_TRUE(waitUntil([&] { return black(pause) && !black(remove); }));
    ASSERT_TRUE(clickHeld(cellOnScreen(row(paused), 0).center(), 60));
    EXPECT_TRUE(waitUntil([&] { return black(remove) && !black(pause); }));
    ASSERT_TRUE(screenArea(bar).save(picturePath(QStringLiteral("toolbar-labels-selected.png"))));

    QWidget* const divider = window()->splitView()->handle(1);
    const QPoint from = divider->mapToGlobal(divider->rect().center());
    const int pauseBefore = toolbar->labelRect(pause).left();
    ASSERT_TRUE(clickHeld(from, 400, from + QPoint(80, 0), 8));
    ASSERT_TRUE(waitUntil([&] { return toolbar->labelRect(pause).left() > pauseBefore + 60; }));
    EXPECT_TRUE(waitUntil([&] { return black(remove) && !black(pause); }));
    ASSERT_TRUE(screenArea(bar).save(picturePath(QStringLiteral("toolbar-labels-dragged.png"))));

    QWidget* const strip = window()->statusView();
    QWidget* const field = KoToolbarDelegate::searchItem()->defaultWidget();
    ASSERT_TRUE(waitUntil([&] { return field->width() == strip->width() - 21; }));
    const QPoint space = bar.center() + QPoint(150, 0);  // the flexible space
    ASSERT_TRUE(xdotool({"mousemove", QString::number(space.x()), QString::number(space.y()), "click", "3"}));
    ASSERT_TRUE(waitUntil([&] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }));
    ASSERT_TRUE(key("Down") && key("Return"));  // Customize Toolbar…
    ToolbarCustomizePanel* panel = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        return (panel = window()->findChild<ToolbarCustomizePanel*>()) && panel->isActiveWindow();
    }));
    QComboBox* const mode = panel->displayModeBox();
    ASSERT_TRUE(clickHeld(mode->mapToGlobal(mode->rect().center()), 60));
    ASSERT_TRUE(waitUntil([&] { return mode->view()->isVisible(); }));
    ASSERT_TRUE(key("Down") && key("Return"));  // Icon Only
    ASSERT_TRUE(waitUntil([&] { return toolbar->toolButtonStyle() == Qt::ToolButtonIconOnly; }));
    EXPECT_TRUE(waitUntil([&] { return field->width() == strip->width() - 19; })) << field->width();
    panel->close();
}

} // namespace
} // namespace ombrelay::test
