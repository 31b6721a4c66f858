#include "LifecycleFixture.h"
#include "TmpfsMount.h"
#include "engine/peers/PeerTestSupport.h"

#include "engine/peers/EnginePeerService.h"
#include "engine/peers/TorrentSwarm.h"
#include "engine/storage/PieceStore.h"
#include "engine/storage/SessionFolder.h"
#include "support/OpenDescriptors.h"

#include <QDirIterator>
#include <algorithm>
#include <arpa/inet.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

constexpr int kTorrents = 10'000;
// The process's own descriptors (libraries, the event loop, queues, sockets) and a margin, never a
// number that grows with the torrents.
constexpr int kMaxDescriptors = 300;

QByteArray smallTorrent(int index)
{
    BValue info = singleFileInfo(QStringLiteral("small-%1").arg(index), 1000 + index % 1000);
    return metainfo(std::move(info));
}

}  // namespace

TEST_F(LifecycleTest, TenThousandTorrentsHoldAFewDescriptorsAndTheRunningOnesKeepTheirPeers)
{
    // Session folders on memory: each write syncs, which a disk would make the whole test's time.
    TmpfsMount memory(support, "size=1g,nr_inodes=200k");
    if (!memory.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs a privilege this run lacks";
    EnginePeerService service([] { return quint16(0); });

    TorrentLineList lines;
    for (int i = 0; i < kTorrents; ++i) {
        const TorrentLinePtr line = TorrentLine::torrentLineForData(smallTorrent(i));
        ASSERT_TRUE(line);
        line->setDownloadPath(downloads);
        lines.append(line);
    }
    session->adder().addTorrentLines(lines, false, false, false);  // the queue is on, as by default
    ASSERT_EQ(host.objects().size(), kTorrents);

    TorrentLineList running;
    for (const TorrentLinePtr& torrent : host.objects()) {
        EXPECT_TRUE(torrent->errorText().isEmpty()) << torrent->errorText().toStdString();
        if (torrent->downloadState() == TorrentLine::Downloading)
            running.append(torrent);
        else
            EXPECT_TRUE(torrent->isWaiting());
    }
    ASSERT_EQ(running.size(), Settings::instance().integer(QStringLiteral("kDownloadQueueLimit")));

    // The dialler asks each running torrent for peers, and each learns one of its own (not dialled here).
    const auto peerOf = [](int i) { return PeerAddress{htonl(0x7f000100u + quint32(i)), quint16(6881 + i)}; };
    service.connectToPeers();
    for (int i = 0; i < running.size(); ++i) {
        TorrentSwarm* swarm = service.swarmFor(*running[i]);
        ASSERT_TRUE(swarm);
        EXPECT_EQ(swarm->peers().addCompactPeers(compactEntry(peerOf(i))), 1);
    }
    PeersDatabase::fileQueue().drain();
    service.tick();  // reports a peers file that failed to open
    EXPECT_LE(openDescriptors(), kMaxDescriptors);
    int peersFiles = 0;
    for (QDirIterator it(SessionFolder::storageDirectory(), {QStringLiteral("peers.db")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        ++peersFiles;
    EXPECT_EQ(peersFiles, running.size()) << "a waiting torrent makes no peers file";

    // Stopped and started again, each reads its peer back from its file. The file work waits until
    // every one has started, so that none of them dials the peers read back.
    for (const TorrentLinePtr& torrent : running) {
        EXPECT_TRUE(torrent->errorText().isEmpty()) << torrent->errorText().toStdString();
        torrent->pauseDownload();
    }
    {
        QueueGate gate(PeersDatabase::fileQueue());
        for (const TorrentLinePtr& torrent : running) {
            torrent->retryDownload();
            service.swarmFor(*torrent)->peers().database();
        }
    }
    PeersDatabase::fileQueue().drain();
    for (int i = 0; i < running.size(); ++i) {
        PeersDatabase& database = service.swarmFor(*running[i])->peers().database();
        EXPECT_TRUE(database.openError().isEmpty()) << database.openError().toStdString();
        EXPECT_EQ(database.peersToDial(), (QList<PeersDatabase::Row>{{peerOf(i), 0}}));
    }
    EXPECT_LE(openDescriptors(), kMaxDescriptors);

    // Gone before the memory folder is.
    host.removeDownloads(host.objects());
    PeersDatabase::fileQueue().drain();
    SessionLifecycle::cleanupQueue().drain();
}

TEST_F(LifecycleTest, ManyTorrentsWritingAtOnceKeepTheirDataFilesWithinTheCaches)
{
    // Sixteen for writing, sixteen for reading, and one each that a running write, read or check may
    // still hold after its cache let it go (a descriptor is never closed under its user).
    constexpr int kCached = 16 + 16;
    constexpr int kInUse = 4;
    Settings::instance().setValue(QStringLiteral("kDownloadQueueEnabled"), false);
    QList<RealTorrent> contents;
    TorrentLineList torrents;
    for (int i = 0; i < 60; ++i) {
        contents.append(RealTorrent::make(QStringLiteral("busy-%1").arg(i), {{{"b.bin"}, 3 * 16384}}, 16384, quint32(100 + i)));
        torrents.append(add(contents.last().metainfo));
        ASSERT_TRUE(torrents.last() && torrents.last()->storage());
    }
    int most = 0;
    for (quint32 piece = 0; piece < 3; ++piece) {
        for (int i = 0; i < torrents.size(); ++i)
            ASSERT_TRUE(feedPiece(*torrents[i], contents[i], piece, QStringLiteral("10.0.0.1:1")));
        most = std::max(most, openDescriptors(downloads));
    }
    EXPECT_TRUE(waitUntil([&] {
        most = std::max(most, openDescriptors(downloads));
        return std::all_of(torrents.begin(), torrents.end(), [](const TorrentLinePtr& t) { return t->isComplete(); });
    }, 30000));
    PieceStore::drainQueues();
    EXPECT_LE(openDescriptors(downloads), kCached);
    EXPECT_LE(most, kCached + kInUse);
}
