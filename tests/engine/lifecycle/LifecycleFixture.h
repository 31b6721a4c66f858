#pragma once

#include "engine/peers/PeersDatabase.h"
#include "engine/storage/DiskSession.h"
#include "engine/storage/TorrentStorage.h"
#include "engine/torrent/TorrentLine.h"
#include "engine/torrent/TorrentFakes.h"
#include "engine/torrent/TorrentFixtures.h"
#include "kit/AppPaths.h"
#include "kit/SerialQueue.h"
#include "platform/VolumeMonitor.h"
#include "support/RandomContent.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <memory>

namespace ombrelay::test {

// A torrent over real random bytes, with the true piece hashes.
struct RealTorrent
{
    QByteArray content;
    QByteArray metainfo;
    qint64 pieceLength = 0;

    static RealTorrent make(const QString& name, const QList<FileSpec>& files, qint64 pieceLength, quint32 seed)
    {
        RealTorrent t;
        t.pieceLength = pieceLength;
        qint64 total = 0;
        for (const FileSpec& f : files)
            total += f.length;
        t.content = seededRandomBytes(total, seed);
        const QByteArray hashes = pieceHashes(t.content, pieceLength);
        BValue info = files.size() == 1 && files.first().path.size() == 1
                          ? singleFileInfo(name, total, pieceLength)
                          : multiFileInfo(name, files, pieceLength);
        info.insert("pieces", hashes);
        t.metainfo = ombrelay::test::metainfo(std::move(info));
        return t;
    }
    qint64 pieceCount() const { return (content.size() + pieceLength - 1) / pieceLength; }
    qint64 pieceBytes(qint64 piece) const { return std::min(pieceLength, content.size() - piece * pieceLength); }
};

// Feeds one piece through the peer wire's entry, block by block.
inline bool feedPiece(TorrentLine& torrent, const RealTorrent& t, quint32 piece, const QString& peer,
                      bool corrupt = false)
{
    QByteArray bytes = t.content.mid(qint64(piece) * t.pieceLength, t.pieceBytes(piece));
    if (corrupt)
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x5a);
    for (qint64 at = 0; at < bytes.size(); at += 16384)
        if (!torrent.storage()->blockArrived(peer, piece, quint32(at), bytes.mid(at, 16384)))
            return false;
    return true;
}

struct RecordingPeers : FakePeers
{
    QStringList banned;
    QList<quint32> verified;
    QList<quint32> failed;
    void pieceVerified(TorrentLine&, quint32 piece) override { verified.append(piece); }
    void pieceFailed(TorrentLine&, quint32 piece) override { failed.append(piece); }
    void banPeer(TorrentLine&, const QString& address) override { banned.append(address); }
};

struct CountingHost : HeadlessEngineHost
{
    QStringList notices;
    void notifyCompletedDownload(const QString& path) override { notices.append(path); }
};

class LifecycleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Settings::useFile(dir.filePath("Ombrelay.conf"));
        registerDefaultSettings(Settings::instance());
        support = dir.filePath("support");
        downloads = dir.filePath("downloads");
        QDir().mkpath(downloads);
        AppPaths::setApplicationSupportPath(support);
        Settings::instance().setValue(QStringLiteral("save_directory"), downloads);
        QDir().mkpath(dir.filePath("xdg"));
        qputenv("XDG_DATA_HOME", dir.filePath("xdg").toUtf8());
        installServices(&host, &trackers, &dht, &peers);
        session = std::make_unique<DiskSession>(VolumeMonitor::instance());
    }
    void TearDown() override
    {
        // Peers files are opened before their session folders go, and closed before the test's folder goes.
        PeersDatabase::fileQueue().drain();
        removeEveryDownload(host);
        SessionLifecycle::cleanupQueue().drain();
        PeersDatabase::fileQueue().drain();
        session.reset();
        installServices(nullptr, nullptr, nullptr, nullptr);
        AppPaths::setApplicationSupportPath({});
    }

    // A session over a mount table of the test's own with these mount points; later calls change the table.
    void useMounts(const QStringList& mountPoints)
    {
        ASSERT_TRUE(writeFile(dir.filePath("mountinfo"), mountInfoText(mountPoints)));
        if (mounts) {
            mounts->reload();
            return;
        }
        mounts = std::make_unique<VolumeMonitor>(dir.filePath("mountinfo"));
        session.reset();
        session = std::make_unique<DiskSession>(*mounts);
    }
    VolumeMonitor& volumes() { return mounts ? *mounts : VolumeMonitor::instance(); }

    TorrentLinePtr add(const QByteArray& metainfo, const QString& folder = {})
    {
        TorrentLinePtr line = TorrentLine::torrentLineForData(metainfo);
        EXPECT_TRUE(line);
        if (line) {
            line->setDownloadPath(folder.isEmpty() ? downloads : folder);
            session->adder().addTorrentLines({line}, false, false, false);
        }
        return line;
    }

    QTemporaryDir dir;
    QString support;
    QString downloads;
    CountingHost host;
    FakeTrackers trackers;
    FakeDht dht;
    RecordingPeers peers;
    std::unique_ptr<VolumeMonitor> mounts;  // outlives the session over it
    std::unique_ptr<DiskSession> session;
};

}  // namespace ombrelay::test
