#include "TorrentFakes.h"
#include "TorrentFixtures.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class TorrentState : public EngineFakes
{
protected:
    // A live torrent of `length` bytes in 16 KiB pieces, in the downloads list, not started.
    TorrentLinePtr liveTorrent(qint64 length = 100, const QString& name = "T")
    {
        TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(singleFileInfo(name, length)));
        EXPECT_TRUE(torrent);
        torrent->setDownloadPath(downloads.path());
        host.addDownload(torrent);
        return torrent;
    }
    void verifyEverything(TorrentLine& torrent)
    {
        for (quint64 p = 0; p < torrent.totalNumberOfPieces(); ++p)
            torrent.recordedDownloadedPieces().addIndex(p);
        for (quint64 b = 0; b < torrent.totalNumberOfBlocks(); ++b) {
            torrent.downloadedBlocks().addIndex(b);
            torrent.recordedStoredBlocks().addIndex(b);
        }
    }
    // The download meter's rate, for a meter that starts now.
    static void setDownloadRate(TorrentLine& torrent, quint32 bytesPerSecond)
    {
        torrent.downloadBandwidth().recordBytes(bytesPerSecond);
        torrent.invalidateValues();
    }
    QTemporaryDir downloads;
};

}  // namespace

TEST_F(TorrentState, BeginDownloadStartsTrackersDhtAndTheTimer)
{
    const BValue top = BValue::Dict{{"announce", "http://127.0.0.1:1/announce"},
                                    {"nodes", BValue::List{pathList({"1.2.3.4"}), BValue::List{"1.2.3.4", 6881}}},
                                    {"info", singleFileInfo("T", 100)}};
    TorrentLinePtr torrent = TorrentLine::torrentLineForData(Bencoder::bencodingForObject(top));
    ASSERT_TRUE(torrent);
    EXPECT_TRUE(dht.nodes.isEmpty()) << "reading a metainfo contacts no node";
    torrent->setDownloadPath(downloads.path());
    host.addDownload(torrent);
    EXPECT_EQ(torrent->downloadState(), TorrentLine::None);

    torrent->beginDownloadWithState(TorrentLine::Downloading);
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(trackers.eventsFor(torrent.get()), QList<TrackerEvent>{TrackerEvent::Started});
    EXPECT_EQ(dht.finds, 1);
    ASSERT_EQ(dht.nodes.size(), 1);
    EXPECT_TRUE(torrent->isTimerRunning());
    EXPECT_EQ(torrent->amountRequested().value(), 100u);
    EXPECT_EQ(torrent->amountDownloaded().description(), "0kB");
    EXPECT_TRUE(torrent->isDownloading());
    EXPECT_EQ(torrent->btDownload(), torrent);
}

TEST_F(TorrentState, DetachedFolderHaltsWithoutTrackerEvents)
{
    useFakeLifecycle();
    lifecycle.detached = true;
    TorrentLinePtr torrent = liveTorrent();
    torrent->beginDownloadWithState(TorrentLine::Downloading);
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Halted);
    EXPECT_EQ(torrent->resumeState(), TorrentLine::Downloading);
    EXPECT_TRUE(trackers.eventsFor(torrent.get()).isEmpty());
    EXPECT_EQ(torrent->stateDescription(), "External disk \"Backup\" is not attached");
    EXPECT_TRUE(torrent->isTimerRunning()) << "the timer runs in every state";

    // A halted torrent whose pieces are all there stays halted and completes when its disk comes back.
    TorrentLinePtr complete = liveTorrent(100, "U");
    verifyEverything(*complete);
    complete->beginDownloadWithState(TorrentLine::Paused);
    EXPECT_EQ(complete->downloadState(), TorrentLine::Halted);
    EXPECT_EQ(complete->resumeState(), TorrentLine::Complete);
    EXPECT_TRUE(trackers.eventsFor(complete.get()).isEmpty());
}

TEST_F(TorrentState, StartsCompleteWhenEveryWantedPieceIsVerified)
{
    useFakeLifecycle();
    for (const int start : {TorrentLine::Paused, TorrentLine::Downloading, TorrentLine::Waiting}) {
        TorrentLinePtr torrent = liveTorrent(40000, QString("T%1").arg(start));
        verifyEverything(*torrent);
        torrent->beginDownloadWithState(start);
        EXPECT_EQ(torrent->downloadState(), TorrentLine::Complete) << start;
        EXPECT_TRUE(torrent->isComplete());
        EXPECT_FLOAT_EQ(torrent->fractionLoaded(), 1.0f);
        EXPECT_FALSE(trackers.eventsFor(torrent.get()).contains(TrackerEvent::Completed))
            << "a torrent that starts complete sends no completed event";
    }
}

TEST_F(TorrentState, PauseRetryAndRemove)
{
    useFakeLifecycle();
    TorrentLinePtr torrent = liveTorrent();
    torrent->beginDownloadWithState(TorrentLine::Downloading);
    const int writesAfterStart = lifecycle.stateWrites;
    EXPECT_TRUE(torrent->canPause());
    EXPECT_FALSE(torrent->canResume());

    torrent->pauseDownload();
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Paused);
    EXPECT_FALSE(torrent->canPause());
    EXPECT_TRUE(torrent->canResume());
    EXPECT_EQ(peers.disconnects, 1);
    EXPECT_EQ(lifecycle.purges, 1);
    EXPECT_EQ(lifecycle.stateWrites, writesAfterStart + 1);
    EXPECT_FALSE(trackers.eventsFor(torrent.get()).contains(TrackerEvent::Stopped)) << "sent on the next pass";
    QTRY_VERIFY_WITH_TIMEOUT(trackers.eventsFor(torrent.get()).contains(TrackerEvent::Stopped), 2000);

    torrent->retryDownload();
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(peers.connects, 1);
    EXPECT_EQ(trackers.eventsFor(torrent.get()).last(), TrackerEvent::Started);

    host.removeDownloads({torrent});
    EXPECT_EQ(torrent->downloadState(), TorrentLine::None);
    EXPECT_EQ(trackers.eventsFor(torrent.get()).last(), TrackerEvent::Stopped);
    EXPECT_EQ(lifecycle.removals, QList<bool>{false});
    EXPECT_FALSE(torrent->isTimerRunning());
    EXPECT_TRUE(torrent->downloadPath().isEmpty());
    EXPECT_FALSE(torrent->isDownloading());
    EXPECT_EQ(lifecycle.stateWrites, writesAfterStart + 2) << "state 0 is not written";
}

TEST_F(TorrentState, CompleteTorrentResumesWhenItNeedsPiecesAgain)
{
    useFakeLifecycle();
    TorrentLinePtr torrent = TorrentLine::torrentLineForData(
        metainfo(multiFileInfo("T", {{{"a"}, 16384}, {{"b"}, 16384}})));
    ASSERT_TRUE(torrent);
    torrent->setDownloadPath(downloads.path());
    host.addDownload(torrent);
    torrent->files().at(1)->setCheckboxState(OBLine::Skipped, false);
    torrent->recordedDownloadedPieces().addIndex(0);
    torrent->recordedStoredBlocks().addIndex(0);
    torrent->downloadedBlocks().addIndex(0);
    torrent->beginDownloadWithState(TorrentLine::Downloading);
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Complete);
    EXPECT_FALSE(trackers.eventsFor(torrent.get()).contains(TrackerEvent::Completed))
        << "a torrent with skipped files sends no completed event";
    EXPECT_EQ(torrent->amountRequested().value(), 16384u);

    ASSERT_TRUE(torrent->files().at(1)->setCheckboxState(OBLine::Wanted, true));
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(torrent->amountRequested().value(), 32768u);
    EXPECT_FLOAT_EQ(torrent->fractionLoaded(), 0.5f);
    EXPECT_GE(peers.connects, 1);
}

TEST_F(TorrentState, ShouldSeedFollowsTheRatioSettings)
{
    struct Case { bool enabled; bool atRatio; int ratio; quint64 uploaded; bool seed; };
    const Case cases[] = {
        {true, true, 2, 200, true}, {true, true, 2, 201, false}, {true, false, 2, 100000, true},
        {false, false, 2, 0, false}, {true, true, 0, 0, true},   {true, true, 0, 1, false},
    };
    TorrentLinePtr torrent = liveTorrent(100);
    for (const Case& c : cases) {
        Settings::instance().setBool("kSeedingEnabled", c.enabled);
        Settings::instance().setBool("kStopSeedingAtRatio", c.atRatio);
        Settings::instance().setInteger("kStopSeedingRatio", c.ratio);
        torrent->setBytesUploaded(c.uploaded);
        EXPECT_EQ(torrent->shouldSeed(), c.seed) << c.uploaded << " ratio " << c.ratio;
    }
}

TEST_F(TorrentState, StateDescriptionTexts)
{
    useFakeLifecycle();
    TorrentLinePtr torrent = liveTorrent();
    torrent->beginDownloadWithState(TorrentLine::Downloading);
    struct Case { PeerService::Counts counts; const char* text; };
    const Case cases[] = {
        {{5, 2, 0}, "2 seeds, 3 peers"}, {{1, 1, 0}, "1 seed"}, {{3, 0, 4}, "3 peers"},
        {{1, 0, 0}, "1 peer"},           {{0, 0, 1}, "1 peer connecting..."},
        {{0, 0, 4}, "4 peers connecting..."}, {{0, 0, 0}, ""},
    };
    for (const Case& c : cases) {
        peers.counts[torrent.get()] = c.counts;
        EXPECT_EQ(torrent->stateDescription(), c.text);
    }
    QSignalSpy spy(torrent.get(), &TorrentLine::bindingTextChanged);
    peers.counts[torrent.get()] = {5, 2, 0};
    torrent->invalidateBindingsText();
    EXPECT_EQ(torrent->activityText(), "2 seeds, 3 peers");
    EXPECT_TRUE(spy.contains(QVariantList{QStringLiteral("activityText")}));

    peers.counts[torrent.get()] = {2, 0, 3};
    torrent->pauseDownload();
    EXPECT_EQ(torrent->stateDescription(), "");
    torrent->retryDownload();
    peers.counts[torrent.get()] = {0, 0, 0};

    Settings::instance().setBool("kSeedingEnabled", false);
    verifyEverything(*torrent);
    torrent->updateNeededPieces();
    ASSERT_TRUE(torrent->isComplete());
    peers.counts[torrent.get()] = {0, 0, 2};
    EXPECT_EQ(torrent->stateDescription(), "") << "complete without seeding";
    EXPECT_TRUE(torrent->hasStoppedSeeding());
}

TEST_F(TorrentState, DownloadTextsAndNoZeroOverZero)
{
    useFakeLifecycle();
    TorrentLine unstarted;
    EXPECT_FLOAT_EQ(unstarted.fractionLoaded(), 0.0f) << "nothing requested is not 0/0";

    TorrentLinePtr torrent = liveTorrent(50000);  // 4 pieces, 4 blocks
    torrent->beginDownloadWithState(TorrentLine::Downloading);
    torrent->setDownloaded(20000);
    torrent->invalidateValues();
    torrent->invalidateBindingsText();
    EXPECT_EQ(torrent->downloadsText(), "20 kB of 50 kB");
    EXPECT_FLOAT_EQ(torrent->fractionLoaded(), 0.4f);

    peers.pending[torrent.get()] = 100000;  // capped at the requested amount
    torrent->invalidateValues();
    torrent->invalidateBindingsText();
    EXPECT_EQ(torrent->downloadsText(), "50 kB");
    EXPECT_EQ(torrent->uploadsText(), "-");
    EXPECT_EQ(torrent->downloadsRateText(), "");
    setDownloadRate(*torrent, 1500);
    torrent->uploadBandwidth().recordBytes(2500);
    torrent->invalidateValues();
    torrent->invalidateBindingsText();
    EXPECT_EQ(torrent->downloadsRateText(), "1.5 kB/s");
    EXPECT_EQ(torrent->uploadsRateText(), "2.5 kB/s");
    torrent->pauseDownload();
    EXPECT_EQ(torrent->downloadsRateText(), "") << "the download rate shows only while downloading";
}

TEST_F(TorrentState, TimeRemainingAndTheTimeColumn)
{
    useFakeLifecycle();
    TorrentLinePtr torrent = liveTorrent(100000);
    torrent->beginDownloadWithState(TorrentLine::Downloading);
    torrent->invalidateValues();
    EXPECT_EQ(torrent->timeRemaining(), -1) << "no active peer";
    peers.counts[torrent.get()] = {1, 0, 0};
    torrent->invalidateValues();
    EXPECT_EQ(torrent->timeRemaining(), -1) << "rate 0";
    setDownloadRate(*torrent, 1000);
    EXPECT_DOUBLE_EQ(torrent->timeRemaining(), 100.0);
    torrent->pauseDownload();
    torrent->invalidateValues();
    EXPECT_EQ(torrent->timeRemaining(), -1) << "paused";

    // Unknown times sort after every known positive time.
    QList<TorrentLinePtr> lines;
    const quint32 rates[] = {0, 2000, 0, 500, 100000};
    for (int i = 0; i < 5; ++i) {
        TorrentLinePtr line = liveTorrent(100000, QString("L%1").arg(i));
        line->beginDownloadWithState(TorrentLine::Downloading);
        peers.counts[line.get()] = {1, 0, 0};
        setDownloadRate(*line, rates[i]);
        lines.append(line);
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const TorrentLinePtr& a, const TorrentLinePtr& b) { return a->compareTimeColumn(*b) < 0; });
    QStringList order;
    for (const TorrentLinePtr& line : lines)
        order.append(line->path());
    EXPECT_EQ(order, (QStringList{"L4", "L1", "L3", "L0", "L2"}));
}

TEST_F(TorrentState, TransferAndProgressColumns)
{
    useFakeLifecycle();
    Settings::instance().setBool("kDownloadQueueEnabled", false);
    TorrentLinePtr waiting = liveTorrent(100, "waiting");
    waiting->beginDownloadWithState(TorrentLine::Waiting);
    TorrentLinePtr paused = liveTorrent(100, "paused");
    paused->beginDownloadWithState(TorrentLine::Paused);
    TorrentLinePtr slow = liveTorrent(100, "slow");
    slow->beginDownloadWithState(TorrentLine::Downloading);
    setDownloadRate(*slow, 10);
    TorrentLinePtr fast = liveTorrent(100, "fast");
    fast->beginDownloadWithState(TorrentLine::Downloading);
    setDownloadRate(*fast, 1000);
    TorrentLinePtr small = liveTorrent(50, "small");
    small->beginDownloadWithState(TorrentLine::Downloading);
    TorrentLinePtr big = liveTorrent(500, "big");
    big->beginDownloadWithState(TorrentLine::Downloading);

    struct Case { TorrentLinePtr a, b; int sign; };
    const Case cases[] = {
        {waiting, paused, -1}, {paused, waiting, 1}, {paused, slow, -1}, {slow, fast, -1},
        {fast, slow, 1},       {small, big, -1},     {big, small, 1},    {small, small, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::clamp(c.a->compareTransferColumn(*c.b), -1, 1), c.sign)
            << qPrintable(c.a->path()) << " vs " << qPrintable(c.b->path());

    TorrentLinePtr done = liveTorrent(100, "done");
    verifyEverything(*done);
    done->beginDownloadWithState(TorrentLine::Downloading);
    peers.counts[fast.get()] = {1, 0, 0};
    EXPECT_GT(done->compareProgressColumn(*fast), 0) << "complete after incomplete";
    EXPECT_GT(fast->compareProgressColumn(*slow), 0) << "active after inactive";
    slow->setDownloaded(50);
    slow->invalidateValues();
    EXPECT_GT(slow->compareProgressColumn(*small), 0) << "by fraction";
}

TEST_F(TorrentState, DownloadQueueStartsWaitingTorrents)
{
    useFakeLifecycle();
    Settings::instance().setBool("kDownloadQueueEnabled", true);
    Settings::instance().setInteger("kDownloadQueueLimit", 1);
    TorrentLinePtr first = liveTorrent(100, "first");
    first->beginDownloadWithState(TorrentLine::Downloading);
    TorrentLinePtr second = liveTorrent(100, "second");
    second->beginDownloadWithState(TorrentLine::Waiting);
    host.updateQueueState();
    EXPECT_TRUE(second->isWaiting());
    EXPECT_EQ(host.numberOfDownloadingTorrents(), 1);
    host.removeDownloads({first});
    EXPECT_EQ(second->downloadState(), TorrentLine::Downloading);
}

TEST_F(TorrentState, LimitsAreKeptAndWrittenOnce)
{
    useFakeLifecycle();
    TorrentLinePtr torrent = liveTorrent();
    // Both budgets exist from creation, so a new torrent uploads under the global limit at once.
    const auto& budgets = BandwidthProvision::allObjects();
    EXPECT_NE(std::find(budgets.begin(), budgets.end(), &torrent->uploadProvision()), budgets.end());
    EXPECT_NE(std::find(budgets.begin(), budgets.end(), &torrent->downloadProvision()), budgets.end());
    EXPECT_FALSE(torrent->uploadProvision().isEnabled());

    const int before = lifecycle.stateWrites;
    torrent->setCustomDownloadLimit(50);
    torrent->setCustomUploadLimit(-1);
    EXPECT_EQ(torrent->customDownloadLimit(), 50);
    EXPECT_EQ(torrent->customUploadLimit(), -1);
    EXPECT_TRUE(torrent->downloadProvision().isEnabled());
    EXPECT_EQ(torrent->downloadProvision().bytesAvailableForConsumption(), 5000);
    EXPECT_FALSE(torrent->uploadProvision().isEnabled());
    EXPECT_TRUE(torrent->uploadProvision().isExempt());
    QTRY_COMPARE_WITH_TIMEOUT(lifecycle.stateWrites, before + 1, 2000);
    QTest::qWait(20);
    EXPECT_EQ(lifecycle.stateWrites, before + 1) << "coalesced into one write";

    torrent->setIsDeserializing(true);
    torrent->setCustomDownloadLimit(7);
    torrent->setIsDeserializing(false);
    QTest::qWait(20);
    EXPECT_EQ(lifecycle.stateWrites, before + 1) << "no write while the session folder is read";
}

TEST_F(TorrentState, TheOneMinuteTimerAsksThePeerManager)
{
    TorrentLinePtr torrent = liveTorrent();
    torrent->beginDownloadWithState(TorrentLine::Paused);
    EXPECT_TRUE(torrent->isTimerRunning());
    QTest::qWait(20);
    EXPECT_EQ(peers.optimizations, 0) << "not before its 65 s";
    TorrentLine::setOneMinuteTimerInterval(5);  // fire soon instead of in 65 s
    torrent->beginDownloadWithState(TorrentLine::Paused);
    TorrentLine::setOneMinuteTimerInterval(TorrentLine::kOneMinuteTimerInterval);
    QTRY_VERIFY_WITH_TIMEOUT(peers.optimizations >= 2, 2000);  // and again, repeating
}

TEST_F(TorrentState, PathListString)
{
    const TorrentLinePtr torrent =
        TorrentLine::torrentLineForData(metainfo(multiFileInfo("T", {{{"a", "b.txt"}, 1}, {{"c.txt"}, 2}})));
    ASSERT_TRUE(torrent);
    EXPECT_EQ(torrent->pathListString(), "T\na\nb.txt\nc.txt");
}

TEST_F(TorrentState, RowActionAddsOrRemoves)
{
    useFakeLifecycle();
    TorrentLinePtr result = TorrentLine::torrentLineForData(metainfo(singleFileInfo("R", 100)));
    result->performAction();
    ASSERT_EQ(lifecycle.downloaded.size(), 1);
    EXPECT_EQ(lifecycle.downloaded.first(), result);

    TorrentLinePtr live = liveTorrent(100, "R");  // same info hash, already downloading
    live->beginDownloadWithState(TorrentLine::Downloading);
    result->performAction();
    EXPECT_TRUE(host.objects().isEmpty());
    EXPECT_EQ(live->downloadState(), TorrentLine::None);
}
