#include "DesktopAppFixture.h"

#include "app/desktop/DragOverlayView.h"
#include "app/desktop/OverlayFadeInAnimation.h"
#include "app/desktop/OverlayFadeOutAnimation.h"
#include "app/frame/KoMainWindow.h"
#include "transfers/DownloadsOutlineView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>
#include <sys/stat.h>

namespace ombrelay::test {
namespace {

class DroppedFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(writeFile(path("movie.torrent"), metainfo(singleFileInfo("movie.mkv", 12300000))));
        ASSERT_TRUE(writeFile(path("album.torrent"),
                              metainfo(multiFileInfo("Album", {{{"1.mp3"}, 40000}, {{"2.mp3"}, 40000}, {{"3.mp3"}, 40000}}))));
        ASSERT_TRUE(writeFile(path("notes.tstream"), metainfo(singleFileInfo("notes.txt", 700000))));
        ASSERT_TRUE(writeFile(path("LOUD.TORRENT"), metainfo(singleFileInfo("loud.bin", 10))));
        ASSERT_TRUE(writeFile(path("broken.torrent"), "d4:infoe"));
        ASSERT_TRUE(writeFile(path("readme.txt"), "text"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.torrent")).constData(), 0600), 0);
        covered.resize(640, 420);
        covered.show();
    }
    QString path(const QString& name) const { return folder.filePath(name); }
    std::unique_ptr<QMimeData> drag(const QStringList& names) const
    {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString& name : names)
            urls.append(name.contains(':') ? QUrl(name) : QUrl::fromLocalFile(path(name)));
        data->setUrls(urls);
        return data;
    }

    QTemporaryDir folder;
    QWidget covered;
    DragOverlayView overlay{&covered};
};

TEST_F(DroppedFiles, TheBoxShowsWhatADropWouldAdd)
{
    // Files, torrents, box texts.
    const std::tuple<QStringList, int, QString, QString> cases[] = {
        {{"movie.torrent"}, 1, "movie.mkv", "12.3 MB"},
        {{"album.torrent"}, 1, "Album", "3 files, 120 kB"},
        {{"movie.torrent", "album.torrent", "notes.tstream"}, 3, "3 torrents", "5 files, 13.1 MB"},
        {{"movie.torrent", "movie.torrent"}, 1, "movie.mkv", "12.3 MB"},
        {{"fifo.torrent", "LOUD.TORRENT", "broken.torrent", "readme.txt", "http://127.0.0.1/a.torrent"}, 0, "", ""},
    };
    for (const auto& [files, torrents, primary, secondary] : cases) {
        overlay.shouldAnimateIn(drag(files).get());
        EXPECT_EQ(overlay.torrents().size(), torrents) << qPrintable(files.join(','));
        EXPECT_EQ(overlay.prepareForDragOperation(), torrents > 0);
        if (torrents > 0) {
            EXPECT_EQ(overlay.primaryString(), primary);
            EXPECT_EQ(overlay.secondaryString(), secondary);
        }
    }
    // The last drag held no torrent: nothing shows and nothing can be dropped.
    spinFor(300);
    EXPECT_FALSE(overlay.isVisible());
    EXPECT_FALSE(overlay.performDragOperation());
}

TEST_F(DroppedFiles, LeavingAndComingBackWithinATenthKeepsTheOverlaySteady)
{
    auto data = drag({"movie.torrent"});
    overlay.shouldAnimateIn(data.get());
    ASSERT_TRUE(waitUntil([&] { return overlay.currentValue() == 1.0; }, 2000));
    EXPECT_TRUE(overlay.isVisible());
    EXPECT_EQ(overlay.geometry(), covered.rect());
    overlay.shouldAnimateOut();
    spinFor(20);
    overlay.shouldAnimateIn(data.get());
    double lowest = 1.0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 400) {
        spinFor(5);
        lowest = std::min(lowest, overlay.currentValue());
    }
    EXPECT_EQ(lowest, 1.0);
    overlay.shouldAnimateOut();
    ASSERT_TRUE(waitUntil([&] { return !overlay.isVisible(); }, 2000));
    EXPECT_EQ(overlay.currentValue(), 0.0);
}

// A fade that replaces another starts where the overlay is, on the eased curve.
TEST(OverlayFadeTest, AReplacingFadeStartsAtTheCurrentOpacity)
{
    for (double opacity : {0.0, 0.1, 0.25, 0.5, 0.9, 1.0}) {
        OverlayFadeInAnimation fadeIn;
        OverlayFadeOutAnimation fadeOut;
        fadeIn.continueFrom(opacity);
        fadeOut.continueFrom(opacity);
        EXPECT_NEAR(fadeIn.currentValue(), opacity, 0.02) << opacity;
        EXPECT_NEAR(fadeOut.currentValue(), opacity, 0.02) << opacity;
    }
    OverlayFadeOutAnimation fadeOut;
    fadeOut.setCurrentProgress(0.5);
    EXPECT_NEAR(fadeOut.currentValue(), 0.75, 0.01);  // ease-in: 1 - 0.5²
}

TEST_F(DesktopApp, ADropAddsSelectsAndShowsEachTorrentOnce)
{
    launch();
    ASSERT_TRUE(writeFile(home.filePath("one.torrent"), metainfo(singleFileInfo("one.bin", 5000))));
    ASSERT_TRUE(writeFile(home.filePath("two.torrent"), metainfo(singleFileInfo("two.bin", 5000))));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(home.filePath("one.torrent")), QUrl::fromLocalFile(home.filePath("two.torrent")),
                  QUrl::fromLocalFile(home.filePath("one.torrent"))});
    DragOverlayView* overlay = controller->mainWindow()->dragOverlay();
    QSignalSpy shown(&downloads(), &KoDownloadsController::showPaneRequested);
    for (int drop = 0; drop < 2; ++drop) {
        overlay->shouldAnimateIn(&data);
        // The overlay lies over the window's whole content, the sidebar too.
        ASSERT_TRUE(waitUntil([&] { return overlay->isVisible(); }));
        const QWidget* content = controller->mainWindow()->centralWidget();
        EXPECT_EQ(QRect(overlay->mapToGlobal(QPoint()), overlay->size()),
                  QRect(content->mapToGlobal(QPoint()), content->size()));
        ASSERT_TRUE(overlay->performDragOperation());
        ASSERT_TRUE(waitUntil([&] {
            return downloads().objects().size() == 2 && downloads().outlineView()->selectedTorrents().size() == 2;
        })) << drop;
        spinFor(100);  // nothing more is added or selected
        EXPECT_EQ(downloads().objects().size(), 2) << drop;
        EXPECT_EQ(downloads().outlineView()->selectedTorrents().size(), 2) << drop;
        EXPECT_GE(shown.count(), drop + 1);
        EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == downloads().outlineView(); }))
            << drop << ": the list takes the keys";
    }
}

}  // namespace
}  // namespace ombrelay::test
