#pragma once

#include "engine/core/DhtService.h"
#include "engine/core/EngineHost.h"
#include "engine/core/HeadlessEngineHost.h"
#include "engine/core/PeerService.h"
#include "engine/core/TorrentLifecycle.h"
#include "engine/core/TrackerService.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"

#include <QHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utility>

namespace ombrelay::test {

struct FakeTrackers : TrackerService
{
    QList<std::pair<const TorrentLine*, TrackerEvent>> events;
    int scrapes = 0;
    void announce(TorrentLine& t, TrackerEvent e) override { events.append({&t, e}); }
    void scrape(TorrentLine&) override { ++scrapes; }
    void forget(TorrentLine&) override {}
    QList<TrackerEvent> eventsFor(const TorrentLine* t) const
    {
        QList<TrackerEvent> list;
        for (const auto& [torrent, event] : events)
            if (torrent == t)
                list.append(event);
        return list;
    }
};

struct FakeDht : DhtService
{
    int finds = 0;
    QList<DhtNodeAddress> nodes;
    void findPeersForTorrent(TorrentLine&) override { ++finds; }
    void addNodes(const QList<DhtNodeAddress>& n) override { nodes += n; }
};

struct FakePeers : PeerService
{
    QHash<const TorrentLine*, Counts> counts;
    QHash<const TorrentLine*, quint64> pending;
    int connects = 0;
    int disconnects = 0;
    int optimizations = 0;
    Counts peerCounts(const TorrentLine& t) const override { return counts.value(&t); }
    quint64 pendingPieceSize(const TorrentLine& t) const override { return pending.value(&t); }
    void connectToPeers() override { ++connects; }
    void disconnectFromPeers(TorrentLine& t) override
    {
        ++disconnects;
        counts.remove(&t);
    }
    void optimizePeerConnections(TorrentLine&) override { ++optimizations; }
    void cancelUnneededPieces(TorrentLine&) override {}
};

struct FakeLifecycle : TorrentLifecycle
{
    bool detached = false;
    int stateWrites = 0;
    int purges = 0;
    QList<bool> removals;  // wasComplete of each removal
    TorrentLineList downloaded;
    void downloadTorrentLines(const TorrentLineList& lines, bool) override { downloaded += lines; }
    void writeStatePlist(TorrentLine&) override { ++stateWrites; }
    void purgeCachedDescriptors(TorrentLine&) override { ++purges; }
    void relocateOnCompletion(TorrentLine&, std::function<void()> done) override
    {
        if (done)
            done();
    }
    void torrentRemoved(TorrentLine&, bool wasComplete) override { removals.append(wasComplete); }
    bool isPathOnUnattachedVolume(const QString&) const override { return detached; }
    QString volumeName(const QString&) const override { return QStringLiteral("Backup"); }
};

// Makes `host` and the fakes the engine's services; nulls undo it.
inline void installServices(EngineHost* host, TrackerService* trackers, DhtService* dht, PeerService* peers)
{
    EngineHost::install(host);
    TrackerService::install(trackers);
    DhtService::install(dht);
    PeerService::install(peers);
}

// Every block of the file stored, as once downloaded: the file is complete.
inline void completeFile(TorrentLine& torrent, const FileLine& file)
{
    const PZRange blocks = file.blockRange();
    for (quint64 block = blocks.location; block < blocks.location + blocks.length; ++block)
        torrent.recordedStoredBlocks().addIndex(block);
}

inline void removeEveryDownload(HeadlessEngineHost& host)
{
    for (const TorrentLinePtr& line : host.objects())
        host.removeDownloads({line});
}

// Installs fakes for every service and a fresh headless host with the registered settings; undoes it.
class EngineFakes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        Settings::useFile(settingsDir.filePath("Ombrelay.conf"));
        registerDefaultSettings(Settings::instance());
        installServices(&host, &trackers, &dht, &peers);
    }
    void TearDown() override
    {
        removeEveryDownload(host);
        installServices(nullptr, nullptr, nullptr, nullptr);
        TorrentLifecycle::install(nullptr);
    }
    void useFakeLifecycle() { TorrentLifecycle::install(&lifecycle); }

    QTemporaryDir settingsDir;
    HeadlessEngineHost host;
    FakeTrackers trackers;
    FakeDht dht;
    FakePeers peers;
    FakeLifecycle lifecycle;
};

}  // namespace ombrelay::test
