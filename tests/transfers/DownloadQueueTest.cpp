#include "TransfersFixture.h"

#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class DownloadQueue : public TransfersFixture
{
protected:
    void SetUp() override
    {
        TransfersFixture::SetUp();
        Settings::instance().setValue(QStringLiteral("kDownloadQueueEnabled"), true);
        Settings::instance().setValue(QStringLiteral("kDownloadQueueLimit"), 2);
    }
    // Added the way the engine adds a torrent: listed, then started or queued.
    TorrentLinePtr download(const QString& name)
    {
        TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(singleFileInfo(name, 50000)));
        torrent->setDownloadPath(folder.path());
        TorrentLifecycle::instance().downloadTorrentLines({torrent});
        return torrent;
    }
};

}  // namespace

TEST_F(DownloadQueue, ANewTorrentWaitsAndOneCompletionStartsExactlyOneWaitingTorrent)
{
    TorrentLinePtr a = download("a");
    TorrentLinePtr b = download("b");
    TorrentLinePtr c = download("c");
    TorrentLinePtr d = download("d");
    EXPECT_EQ(a->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(b->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(c->downloadState(), TorrentLine::Waiting);
    EXPECT_EQ(d->downloadState(), TorrentLine::Waiting);
    EXPECT_EQ(controller->numberOfDownloadingTorrents(), 2);

    a->enterCompletedState();
    QTRY_COMPARE_WITH_TIMEOUT(c->downloadState(), int(TorrentLine::Downloading), 2000);
    QApplication::processEvents();
    EXPECT_EQ(d->downloadState(), TorrentLine::Waiting) << "only one place was freed";
    EXPECT_EQ(controller->numberOfDownloadingTorrents(), 2);

    controller->removeDownloads({b});
    EXPECT_EQ(d->downloadState(), TorrentLine::Downloading) << "a removal frees a place at once";
}

TEST_F(DownloadQueue, LimitsAndStatesThatCountAsDownloading)
{
    struct Case
    {
        const char* name;
        int limit;
        QList<int> states;  // of the listed torrents, in list order
        int started;        // waiting torrents updateQueueState starts
    };
    const QList<Case> cases{
        {"limit 2, one halted, three waiting", 2, {5, 3, 3, 3}, 1},
        {"limit 0 reads as 1", 0, {3, 3}, 1},
        {"negative limit reads as 1", -4, {3, 3}, 1},
        {"paused and complete do not count", 2, {2, 4, 3, 3, 3}, 2},
        {"full queue starts none", 2, {1, 1, 3}, 0},
        {"lowering the limit stops nobody", 1, {1, 1, 1, 3}, 0},
    };
    for (const Case& test : cases) {
        controller->removeDownloads(controller->objects());
        Settings::instance().setValue(QStringLiteral("kDownloadQueueLimit"), test.limit);
        QList<TorrentLinePtr> torrents;
        for (int i = 0; i < test.states.size(); ++i)
            torrents.append(addTorrent(QStringLiteral("%1-%2").arg(test.name).arg(i), test.states[i]));
        controller->updateQueueState();
        int started = 0;
        for (int i = 0; i < torrents.size(); ++i) {
            if (test.states[i] == TorrentLine::Waiting && torrents[i]->downloadState() == TorrentLine::Downloading)
                ++started;
            if (test.states[i] != TorrentLine::Waiting) {
                EXPECT_EQ(torrents[i]->downloadState(), test.states[i]) << test.name;
            }
        }
        EXPECT_EQ(started, test.started) << test.name;
        // Started in list order.
        for (int i = 0, seen = 0; i < torrents.size(); ++i) {
            if (test.states[i] != TorrentLine::Waiting)
                continue;
            EXPECT_EQ(torrents[i]->downloadState() == TorrentLine::Downloading, seen++ < test.started) << test.name;
        }
    }
}

TEST_F(DownloadQueue, SwitchingTheQueueOffStartsEveryWaitingTorrentAndOnStopsNone)
{
    TorrentLinePtr running = addTorrent("running", TorrentLine::Downloading);
    TorrentLinePtr first = addTorrent("first", TorrentLine::Waiting);
    TorrentLinePtr second = addTorrent("second", TorrentLine::Waiting);
    Settings::instance().setValue(QStringLiteral("kDownloadQueueEnabled"), false);
    EXPECT_EQ(first->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(second->downloadState(), TorrentLine::Downloading);
    Settings::instance().setValue(QStringLiteral("kDownloadQueueEnabled"), true);
    EXPECT_EQ(controller->numberOfDownloadingTorrents(), 3);
}
