// The transfers list's row controls, styles and selection actions, clicked and keyed as a user would.
#include "TransfersFixture.h"

#include "kit/Settings.h"
#include "support/DoubleClick.h"
#include "support/PaintSpy.h"
#include "support/Pictures.h"
#include "support/TestFiles.h"
#include "support/UrlRecorder.h"
#include "support/WaitUntil.h"
#include "transfers/DownloadProgressCell.h"
#include "transfers/DownloadsPaneTransferCell.h"
#include "transfers/PreviewWindow.h"
#include "uikit/PZText.h"

#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <functional>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class RowControls : public TransfersFixture
{
protected:
    void SetUp() override
    {
        TransfersFixture::SetUp();
        view = controller->outlineView();
        controller->mainView()->resize(900, 400);
        controller->mainView()->show();
    }

    QRect cellFrame(PZOutlineObject* row, int column) const
    {
        return view->visualRect(view->indexForObject(row, column));
    }
    void writeContent(const TorrentLinePtr& torrent)
    {
        QFile file(torrent->fullPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("content");
    }
    PZOutlineObject* expandedFileRow(const TorrentLinePtr& torrent, int child)
    {
        PZOutlineObject* row = view->itemFor(torrent.get());
        view->expand(view->indexForObject(row));
        QApplication::processEvents();
        return row->outlineChild(child);
    }

    // The column's cell for the row, drawn once as the list draws it: its styles follow the row.
    PZTrackingCell* drawnCell(PZOutlineObject* row, int column) const
    {
        PZTrackingCell* cell = view->cellFor(column, row);
        QImage canvas(300, 41, QImage::Format_ARGB32);
        QPainter painter(&canvas);
        PZCellState state;
        state.object = row;
        cell->draw(painter, canvas.rect(), state);
        return cell;
    }

    DownloadsOutlineView* view = nullptr;
};

}  // namespace

TEST_F(RowControls, ADoubleClickOnRemoveRemovesOneTransfer)
{
    Settings::instance().setBool(QStringLiteral("kKoWarnDownloads"), false);
    for (const char* name : {"a", "b", "c"})
        addTorrent(name, TorrentLine::Complete);
    view->setSortDescriptors({{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")}});
    view->rearrangeObjects();
    QApplication::processEvents();
    PZOutlineObject* first = view->itemFor(controller->objects().first().get());
    const QRect frame = cellFrame(first, DownloadsOutlineView::ProgressColumn);
    const QRect remove = view->cellFor(DownloadsOutlineView::ProgressColumn, first)->controlRects(frame, first).first();

    doubleClick(view->viewport(), remove.center());
    QApplication::processEvents();
    EXPECT_EQ(controller->objects().size(), 2);
}

TEST_F(RowControls, OnlyAnIncompleteTorrentsAmountTextSwitchesPercentages)
{
    Settings& settings = Settings::instance();
    settings.setBool(QStringLiteral("kDisplayPercentages"), false);
    TorrentLinePtr complete = addTorrent("complete", TorrentLine::Complete);
    TorrentLinePtr downloading = addTorrent("downloading", TorrentLine::Downloading);
    QApplication::processEvents();
    struct Case
    {
        const char* name;
        TorrentLinePtr torrent;
        QString stored;  // the setting after a click on the amount text
    };
    const QList<Case> cases{
        {"complete: no control", complete, QStringLiteral("0")},
        {"downloading: on", downloading, QStringLiteral("1")},
        {"downloading: off again", downloading, QStringLiteral("0")},
    };
    for (const Case& test : cases) {
        PZOutlineObject* row = view->itemFor(test.torrent.get());
        const QRect frame = cellFrame(row, DownloadsOutlineView::ProgressColumn);
        const QPoint amount = frame.topLeft() + QPoint(30, 20);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, amount);
        EXPECT_EQ(settings.value(QStringLiteral("kDisplayPercentages")).toString(), test.stored) << test.name;
    }
    EXPECT_EQ(controller->objects().size(), 2);
}

TEST_F(RowControls, ACompleteRowIsDrawnAgainWhenTheSeedingSettingsChange)
{
    Settings& settings = Settings::instance();
    settings.setBool(QStringLiteral("kSeedingEnabled"), true);
    settings.setBool(QStringLiteral("kStopSeedingAtRatio"), false);
    const TorrentLinePtr complete = addTorrent("complete", TorrentLine::Complete);
    QApplication::processEvents();
    PaintSpy spy;
    view->viewport()->installEventFilter(&spy);
    const struct
    {
        const char* key;
        QVariant value;
        QString rate;  // what the row's rate column reads
    } changes[] = {{"kSeedingEnabled", false, "Complete"},
                   {"kSeedingEnabled", true, "Sharing"},
                   {"kStopSeedingAtRatio", true, "Sharing"},
                   {"kStopSeedingRatio", -1, "Complete"}};
    for (const auto& change : changes) {
        SCOPED_TRACE(change.key);
        const int before = spy.paints;
        settings.setValue(QLatin1String(change.key), change.value);
        EXPECT_TRUE(waitUntil([&] { return spy.paints > before; }, 2000)) << "the row was not drawn again";
        EXPECT_EQ(DownloadsPaneTransferCell::stateText(*complete), change.rate);
    }
}

TEST_F(RowControls, TheTimeColumnOfAFileRowHoldsNoCheckbox)
{
    TorrentLinePtr torrent = addTorrent("folder", TorrentLine::Downloading, 3);
    PZOutlineObject* file = expandedFileRow(torrent, 0);
    const QRect time = cellFrame(file, DownloadsOutlineView::TimeColumn);
    const QRect name = cellFrame(file, DownloadsOutlineView::NameColumn);
    // Where the name column draws its checkbox, at the same place in the time column.
    const QPoint checkbox = QPoint(time.x() + 8, time.y() + 8);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, checkbox);
    EXPECT_EQ(torrent->files().at(0)->checkboxState(), OBLine::Wanted);

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(name.x() + 8, name.y() + 8));
    EXPECT_EQ(torrent->files().at(0)->checkboxState(), OBLine::Skipped) << "the name column's checkbox works";
}

TEST_F(RowControls, NamesTakeTheirRowsSizeAndSkippedFilesTurnGrey)
{
    // The torrent's folder is named as its first file, so both rows write the same text.
    TorrentLinePtr torrent = addTorrent("file0.bin", TorrentLine::Downloading, 3);
    PZOutlineObject* wanted = expandedFileRow(torrent, 0);
    PZOutlineObject* skipped = view->itemFor(torrent.get())->outlineChild(1);
    ASSERT_TRUE(torrent->files().at(1)->setCheckboxState(OBLine::Skipped, true));
    const QColor background(56, 117, 215);
    struct Case
    {
        const char* name;
        PZOutlineObject* row;
        int nameBand; // the name's line: above the torrent's second line
        QColor plain;
        std::function<bool(const QColor&)> selected;
    };
    const auto white = [](const QColor& ink) { return nearColor(ink, Qt::white, 40); };
    const QList<Case> cases{
        {"torrent", view->itemFor(torrent.get()), 22, Qt::black, white},
        {"wanted file", wanted, 17, Qt::black, white},
        {"skipped file", skipped, 17, QColor(166, 166, 166),
         [&](const QColor& ink) { return !white(ink) && ink.lightness() > background.lightness() + 40; }},
    };
    QList<int> nameWidths;
    for (const Case& test : cases) {
        const QRect frame(QPoint(), cellFrame(test.row, DownloadsOutlineView::NameColumn).size());
        const auto drawn = [&](bool selected) {
            QImage canvas(frame.size(), QImage::Format_RGB32);
            canvas.fill(background);
            QPainter painter(&canvas);
            PZCellState state;
            state.object = test.row;
            state.highlighted = state.hostIsFirstResponder = state.windowIsActive = selected;
            view->cellFor(DownloadsOutlineView::NameColumn, test.row)->draw(painter, frame, state);
            return canvas;
        };
        const QImage plain = drawn(false);
        const QImage selected = drawn(true);
        // The name is what a selection redraws in another colour, the checkbox and its edge aside; its ink is
        // the colour farthest from the background.
        const QList<QRect> controls =
            view->cellFor(DownloadsOutlineView::NameColumn, test.row)->controlRects(frame, test.row);
        QRect name;
        QColor plainInk = background;
        QColor selectedInk = background;
        const auto distance = [&](const QColor& c) {
            return std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) +
                   std::abs(c.blue() - background.blue());
        };
        for (int y = 0; y < std::min(test.nameBand, frame.height()); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                if (plain.pixel(x, y) == selected.pixel(x, y) ||
                    std::any_of(controls.begin(), controls.end(),
                                [&](const QRect& c) { return c.adjusted(-4, -4, 4, 4).contains(x, y); }))
                    continue;
                name |= QRect(x, y, 1, 1);
                if (distance(plain.pixelColor(x, y)) > distance(plainInk))
                    plainInk = plain.pixelColor(x, y);
                if (distance(selected.pixelColor(x, y)) > distance(selectedInk))
                    selectedInk = selected.pixelColor(x, y);
            }
        ASSERT_FALSE(name.isEmpty()) << test.name;
        nameWidths.append(name.width());
        EXPECT_TRUE(nearColor(plainInk, test.plain, 40))
            << test.name << ": " << plainInk.name().toStdString();
        EXPECT_TRUE(test.selected(selectedInk)) << test.name << ": " << selectedInk.name().toStdString();
    }
    EXPECT_GT(nameWidths[0], nameWidths[1]) << "a torrent's name is larger than its files'";
    EXPECT_EQ(nameWidths[1], nameWidths[2]) << "every file's name has one size";
}

TEST_F(RowControls, SelectingScrollsTheHighestSelectedRowIntoView)
{
    TorrentLineList torrents;
    for (int i = 0; i < 40; ++i)
        torrents.append(addTorrent(QStringLiteral("t%1").arg(i, 2, 10, QLatin1Char('0')), TorrentLine::Paused));
    view->setSortDescriptors({{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")}});
    view->rearrangeObjects();
    QApplication::processEvents();
    ASSERT_EQ(view->verticalScrollBar()->value(), 0);

    controller->selectObjects({torrents[35], torrents[30]});
    QApplication::processEvents();
    const QRect highest = cellFrame(view->itemFor(torrents[30].get()), 0);
    EXPECT_TRUE(view->viewport()->rect().contains(highest)) << "row 30 is shown";
    EXPECT_EQ(view->selectedObjects().size(), 2);

    const int scrolled = view->verticalScrollBar()->value();
    controller->selectObjects({});
    EXPECT_EQ(view->verticalScrollBar()->value(), scrolled) << "nothing found, nothing scrolled";
}

TEST_F(RowControls, QuickLookShowsEverySelectedItemAndFollowsTheSelection)
{
    TorrentLinePtr a = addTorrent("a.txt", TorrentLine::Complete);
    TorrentLinePtr b = addTorrent("b.txt", TorrentLine::Complete);
    TorrentLinePtr absent = addTorrent("absent.txt", TorrentLine::Downloading);
    writeContent(a);
    writeContent(b);
    view->setSortDescriptors({{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")}});
    view->rearrangeObjects();
    QApplication::processEvents();

    view->selectObjects({view->itemFor(b.get()), view->itemFor(absent.get()), view->itemFor(a.get())});
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Space);
    auto* preview = view->window()->findChild<PreviewWindow*>();
    ASSERT_TRUE(preview);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->paths(), QStringList({a->fullPath(), b->fullPath()})) << "row order, only what is on disk";

    QTest::keyClick(preview, Qt::Key_Right);
    EXPECT_EQ(preview->currentIndex(), 1);

    view->selectObjects({view->itemFor(b.get())});
    EXPECT_EQ(preview->paths(), QStringList({b->fullPath()})) << "the open preview follows the selection";
    view->selectObjects({view->itemFor(absent.get())});
    EXPECT_FALSE(preview->isVisible()) << "nothing left to show";
}

// A song still downloading is previewed from a copy of what has arrived; other rows show their file. Play
// (a click or Return) hands what the preview shows to the default application; Space still closes it.
TEST_F(RowControls, QuickLookOnASongStillDownloadingShowsWhatHasArrived)
{
    UrlRecorder recorder({QStringLiteral("file")});
    const struct
    {
        const char* name;
        TorrentLine::DownloadState state;
        bool copied;
    } cases[] = {{"song.mp3", TorrentLine::Downloading, true},
                 {"clip.mkv", TorrentLine::Downloading, false},
                 {"done.mp3", TorrentLine::Complete, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TorrentLinePtr torrent = addTorrent(c.name, c.state);
        writeContent(torrent);
        view->selectObjects({view->itemFor(torrent.get())});
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Space);
        PreviewWindow* preview = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            preview = view->window()->findChild<PreviewWindow*>();
            return preview && preview->isVisible();
        }));
        ASSERT_EQ(preview->paths().size(), 1);
        const QString shown = preview->paths().first();
        EXPECT_EQ(shown != torrent->fullPath(), c.copied);
        EXPECT_EQ(readFile(shown), readFile(torrent->fullPath()));
        ASSERT_TRUE(preview->playButton()->isVisible());
        ASSERT_TRUE(QTest::qWaitForWindowActive(preview));
        const auto focused = [&] { return QApplication::focusWidget() ? QApplication::focusWidget() : preview; };
        if (c.copied)
            QTest::keyClick(focused(), Qt::Key_Return);
        else
            QTest::mouseClick(preview->playButton(), Qt::LeftButton);
        EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(shown)});
        recorder.opened.clear();
        QTest::keyClick(focused(), Qt::Key_Space);
        ASSERT_FALSE(preview->isVisible());
        EXPECT_TRUE(recorder.opened.isEmpty());
    }
}

TEST_F(RowControls, ReturnOpensTheSelectedRowAmongSeveral)
{
    UrlRecorder recorder({QStringLiteral("file")});
    TorrentLinePtr a = addTorrent("a.txt", TorrentLine::Complete);
    TorrentLinePtr b = addTorrent("b.txt", TorrentLine::Complete);
    writeContent(a);
    writeContent(b);
    QApplication::processEvents();
    const QRect rowA = cellFrame(view->itemFor(a.get()), DownloadsOutlineView::TimeColumn);
    const QRect rowB = cellFrame(view->itemFor(b.get()), DownloadsOutlineView::TimeColumn);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowA.center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rowB.center());
    ASSERT_EQ(view->selectedObjects().size(), 2);

    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(recorder.opened, QList<QUrl>({QUrl::fromLocalFile(b->fullPath())})) << "the row selected last";
}

TEST_F(RowControls, ProgressTextsAreElevenPointRightAlignedAndGreyUntilTheirLineIsComplete)
{
    TorrentLinePtr folder = addTorrent("folder", TorrentLine::Downloading, 3);
    folder->updateNeededPieces();
    completeFile(*folder, *folder->files().at(0));
    ASSERT_TRUE(folder->files().at(1)->setCheckboxState(OBLine::Skipped, true));
    folder->setDownloaded(40000);
    TorrentLinePtr fresh = addTorrent("fresh", TorrentLine::Downloading);
    TorrentLinePtr done = addTorrent("done", TorrentLine::Complete);
    PZOutlineObject* torrentRow = view->itemFor(folder.get());
    PZOutlineObject* completeFileRow = expandedFileRow(folder, 0);
    PZOutlineObject* skippedFileRow = torrentRow->outlineChild(1);
    PZOutlineObject* wantedFileRow = torrentRow->outlineChild(2);
    const QColor black = PZText::textAttributes11().color;
    const QColor grey = PZText::textAttributesGray11().color;
    const QColor white = PZText::textAttributesWhite11().color;
    const QColor blended = PZText::textAttributesBlended11().color;
    using Line = const PZTextAttributes* (DownloadsPaneCell::*)() const;
    const Line primary = &DownloadsPaneCell::primaryAttributes;
    const Line primarySelected = &DownloadsPaneCell::primaryAttributesAlternate;
    struct Case
    {
        const char* name;
        PZOutlineObject* row;
        Line line;
        QColor color;
    };
    const QList<Case> cases{
        {"complete file", completeFileRow, primary, black},
        {"complete file selected", completeFileRow, primarySelected, white},
        {"skipped file", skippedFileRow, primary, grey},
        {"skipped file selected", skippedFileRow, primarySelected, blended},
        {"wanted file in progress", wantedFileRow, primary, grey},
        {"torrent amount", torrentRow, primary, black},
        {"torrent amount selected", torrentRow, primarySelected, white},
        {"torrent total", torrentRow, &DownloadsPaneCell::secondaryAttributes, grey},
        {"torrent total selected", torrentRow, &DownloadsPaneCell::secondaryAttributesAlternate, blended},
        {"nothing in yet", view->itemFor(fresh.get()), &DownloadsPaneCell::tertiaryAttributes, grey},
        {"nothing in yet selected", view->itemFor(fresh.get()), &DownloadsPaneCell::tertiaryAttributesAlternate, blended},
        {"complete total", view->itemFor(done.get()), &DownloadsPaneCell::tertiaryAttributes, black},
        {"complete total selected", view->itemFor(done.get()), &DownloadsPaneCell::tertiaryAttributesAlternate, white},
    };
    for (const Case& test : cases) {
        ASSERT_TRUE(test.row) << test.name;
        auto* cell = static_cast<DownloadsPaneCell*>(drawnCell(test.row, DownloadsOutlineView::ProgressColumn));
        const PZTextAttributes* attributes = (cell->*test.line)();
        ASSERT_TRUE(attributes) << test.name;
        EXPECT_EQ(attributes->font, PZText::textAttributes11().font) << test.name;
        EXPECT_EQ(attributes->paragraph.alignment & Qt::AlignHorizontal_Mask, Qt::AlignRight) << test.name;
        EXPECT_EQ(attributes->color, test.color) << test.name;
    }
}

TEST_F(RowControls, TheGetFileButtonAndTheCheckMarkSitCentredOverTheBar)
{
    TorrentLinePtr folder = addTorrent("folder", TorrentLine::Downloading, 3);
    folder->updateNeededPieces();
    ASSERT_TRUE(folder->files().at(1)->setCheckboxState(OBLine::Skipped, true));
    PZOutlineObject* skipped = expandedFileRow(folder, 1);
    const QRect frame = cellFrame(skipped, DownloadsOutlineView::ProgressColumn);
    const QRect bar = DownloadProgressCell::progressRectInCell(frame);
    const QList<QRect> controls = view->cellFor(DownloadsOutlineView::ProgressColumn, skipped)->controlRects(frame, skipped);
    ASSERT_EQ(controls.size(), 1);
    EXPECT_EQ(controls.first().size(), QSize(52, 13));
    EXPECT_LE(std::abs(controls.first().center().x() - bar.center().x()), 1);
    EXPECT_EQ(controls.first().top(), frame.top() + 2);
    // A click at the bar's middle takes the file back.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(bar.center().x(), controls.first().center().y()));
    EXPECT_EQ(folder->files().at(1)->checkboxState(), OBLine::Wanted);
}
