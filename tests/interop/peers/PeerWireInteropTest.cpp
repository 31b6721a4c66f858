// The peer wire against libtorrent and aria2 peers on loopback: download a torrent from a seeder into a
// piece store, and seed it to a downloader; the bytes must match. Peers that require encryption get it
// both ways; a seeder with encryption disabled is reached by the plain retry.
#include "engine/storage/PieceStore.h"
#include "engine/torrent/Metainfo.h"
#include "engine/wire/PeerWireTestSupport.h"
#include "interop/support/Aria2Peer.h"
#include "interop/support/LibtorrentPeer.h"
#include "support/TestFiles.h"
#include "support/LoopbackPorts.h"
#include "support/OpentrackerProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// A torrent whose pieces live in a real piece store; verdicts reach the wire.
class StoredTorrent : public PeerTorrent
{
public:
    StoredTorrent(const Metainfo& metainfo, const QString& path)
        : m_metainfo(metainfo),
          m_geometry(metainfo.pieceLength, metainfo.totalLength),
          store(m_geometry, {StorageFile{path, 0, metainfo.totalLength, true}}, metainfo.pieces)
    {
        QObject::connect(&store, &PieceStore::pieceVerified, [this](quint32 piece) {
            if (wire)
                wire->pieceVerified(piece);
        });
    }

    QByteArray infoHash() const override { return m_metainfo.infoHash; }
    QByteArray peerId() const override { return PeerWire::localPeerId(); }
    quint16 publicPort() const override { return 6881; }
    quint32 pieceCount() const override { return m_geometry.pieceCount(); }
    quint32 pieceLength() const override { return quint32(m_geometry.pieceLength()); }
    quint64 totalLength() const override { return quint64(m_geometry.totalLength()); }
    bool isPieceVerified(quint32 piece) const override { return store.verifiedPieces().containsIndex(piece); }
    bool isPieceNeeded(quint32 piece) const override { return !isPieceVerified(piece); }
    bool hasBlock(quint32 piece, quint32 offset) const override
    {
        return store.storedBlocks().containsIndex(m_geometry.blockIndex(piece, offset));
    }
    bool isSeeding() const override { return store.verifiedPieces().count() == qint64(pieceCount()); }
    bool uploadLimitIsZero() const override { return false; }
    bool isPeerIdConnected(const QByteArray&, const PeerWire*) const override { return false; }
    void blockArrived(PeerWire&, quint32 piece, quint32 offset, const QByteArray& data) override
    {
        store.storeBlock(piece, offset, data);
    }
    void readBlock(quint32 piece, quint32 offset, quint32 length, ReadCallback done) override
    {
        store.readSpan(piece, offset, length, std::move(done));
    }
    void peersExchanged(PeerWire&, const QByteArray&) override {}
    BandwidthProvision* downloadProvision() override { return nullptr; }
    BandwidthProvision* uploadProvision() override { return nullptr; }

    PeerWire* wire = nullptr;

private:
    Metainfo m_metainfo;
    PieceGeometry m_geometry;

public:
    PieceStore store;
};

class PeerWireInteropTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetGlobalBudgets();
        ASSERT_TRUE(folder.isValid());
        ASSERT_EQ(makePayload(folder.path(), {QStringLiteral("--size"), QStringLiteral("700001"),
                                              QStringLiteral("--announce"), QStringLiteral("http://127.0.0.1:9/announce")})
                      .size(),
                  40);
        auto read = Metainfo::read(readFile(torrentPath()));
        ASSERT_TRUE(read.has_value());
        metainfo = *read;
        expected = readFile(folder.filePath(QStringLiteral("payload.bin")));
    }

    QString torrentPath() const { return folder.filePath(QStringLiteral("payload.torrent")); }

    std::unique_ptr<HelperProcess> libtorrent(const char* role, const char* encryption, const QString& save,
                                              quint16 connect = 0)
    {
        QStringList extra;
        if (connect)
            extra << QStringLiteral("--connect") << QStringLiteral("127.0.0.1:%1").arg(connect);
        return libtorrentPeer(role, torrentPath(), save, encryption, 40, nullptr, extra);
    }

    // Dials the seeder at `port` until our copy is complete, again when a connection ends first (the
    // seeder may not listen yet); the last connection.
    std::unique_ptr<PeerWire> downloadFrom(quint16 port, StoredTorrent& torrent)
    {
        std::unique_ptr<PeerWire> wire;
        QElapsedTimer timer;
        timer.start();
        while (!torrent.isSeeding() && timer.elapsed() < 30000) {
            if (!wire || wire->hasEnded()) {
                pumpUntil([] { return false; }, 200);
                wire = PeerWire::connectTo(torrent, INADDR_LOOPBACK, port, timer.elapsed());
                if (!wire)
                    break;
                torrent.wire = wire.get();
            }
            pumpUntil([&] { return torrent.isSeeding() || wire->hasEnded(); }, 1000);
            wire->tick(timer.elapsed());
        }
        return wire;
    }

    // Our complete copy in the test folder, checked.
    void prepareSeed(StoredTorrent& torrent)
    {
        bool checked = false;
        QObject::connect(&torrent.store, &PieceStore::existingDataChecked, [&](const PZIndexSet&) { checked = true; });
        torrent.store.checkExistingData();
        ASSERT_TRUE(pumpUntil([&] { return checked; }, 20000));
        ASSERT_TRUE(torrent.isSeeding());
    }

    // Accepts on `listener` until the downloader's copy in `save` matches; the connections it took.
    std::vector<std::unique_ptr<PeerWire>> seedTo(int listener, StoredTorrent& torrent, const QString& save)
    {
        std::vector<std::unique_ptr<PeerWire>> wires;
        bool complete = false;
        QElapsedTimer timer;
        timer.start();
        while (!complete && timer.elapsed() < 30000) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0)
                wires.push_back(PeerWire::adoptIncoming(fd, INADDR_LOOPBACK, 0, [&](const QByteArray& hash, PeerWire::TorrentKey key) {
                    return namesTorrent(hash, key, torrent.infoHash()) ? &torrent : nullptr;
                }, 0));
            pumpUntil([] { return false; }, 20);
            complete = readFile(save + QStringLiteral("/payload.bin")) == expected;
        }
        EXPECT_TRUE(complete);
        return wires;
    }

    // Downloads from the seeder at `port` into a fresh piece store; the bytes must match, and the
    // connection that finished must have started and be encrypted as expected.
    void expectDownloadFrom(quint16 port, PeerWire::HandshakeMode mode, bool encrypted)
    {
        QTemporaryDir ours;
        StoredTorrent torrent(metainfo, ours.filePath(QStringLiteral("payload.bin")));
        const auto wire = downloadFrom(port, torrent);
        ASSERT_NE(wire, nullptr);
        EXPECT_TRUE(torrent.isSeeding());
        EXPECT_EQ(wire->handshakeMode(), mode);
        EXPECT_EQ(wire->isEncrypted(), encrypted);
        EXPECT_EQ(readFile(ours.filePath(QStringLiteral("payload.bin"))), expected);
    }

    // The connection that did the work: encrypted or not as `encrypted` says, and it carried the whole payload.
    void expectServedBy(const std::vector<std::unique_ptr<PeerWire>>& wires, bool encrypted)
    {
        const auto it = std::max_element(wires.begin(), wires.end(), [](const auto& a, const auto& b) {
            return a->bytesUploaded() < b->bytesUploaded();
        });
        ASSERT_NE(it, wires.end());
        EXPECT_GE((*it)->bytesUploaded(), quint64(expected.size()));
        EXPECT_EQ((*it)->isEncrypted(), encrypted);
    }

    QTemporaryDir folder;
    Metainfo metainfo;
    QByteArray expected;
};

}  // namespace

// A seeder with encryption disabled closes on our encrypted start: the plain retry reaches it.
TEST_F(PeerWireInteropTest, DownloadsFromLibtorrentSeedersWithAndWithoutEncryption)
{
    struct Case
    {
        const char* encryption;
        PeerWire::HandshakeMode mode;
        bool encrypted;
    };
    const Case cases[] = {
        {"required", PeerWire::HandshakeMode::Encrypted, true},
        {"disabled", PeerWire::HandshakeMode::Plain, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encryption);
        auto seeder = libtorrent("seed", c.encryption, folder.path());
        const quint16 port = quint16(seeder->waitForLine("ready", 20000).toUInt());
        ASSERT_NE(port, 0);
        expectDownloadFrom(port, c.mode, c.encrypted);
    }
}

TEST_F(PeerWireInteropTest, SeedsToLibtorrentDownloadersWithAndWithoutEncryption)
{
    StoredTorrent torrent(metainfo, folder.filePath(QStringLiteral("payload.bin")));
    prepareSeed(torrent);
    for (const char* encryption : {"required", "disabled"}) {
        SCOPED_TRACE(encryption);
        quint16 port = 0;
        const int listener = loopbackListener(port);
        ASSERT_GE(listener, 0);
        const QString save = folder.filePath(QStringLiteral("fetch-%1").arg(QLatin1String(encryption)));
        QDir().mkpath(save);
        auto fetcher = libtorrent("fetch", encryption, save, port);
        const auto wires = seedTo(listener, torrent, save);
        ::close(listener);
        expectServedBy(wires, QByteArray(encryption) == "required");
    }
}

TEST_F(PeerWireInteropTest, Aria2RequiringEncryptionDownloadsFromUsAndSeedsToUs)
{
    StoredTorrent seed(metainfo, folder.filePath(QStringLiteral("payload.bin")));
    prepareSeed(seed);
    {
        // aria2 finds us through a tracker on loopback.
        test::OpentrackerProcess tracker;
        ASSERT_TRUE(tracker.start({metainfo.infoHash}));
        quint16 port = 0;
        const int listener = loopbackListener(port);
        ASSERT_GE(listener, 0);
        ASSERT_TRUE(tracker.announceSeed(metainfo.infoHash, port));
        const QString save = folder.filePath(QStringLiteral("aria2-fetch"));
        auto fetcher =
            test::aria2RequiringEncryption(torrentPath(), save, tracker.announceAddress());
        const auto wires = seedTo(listener, seed, save);
        ::close(listener);
        expectServedBy(wires, true);
    }
    {
        auto seeder = test::aria2RequiringEncryption(torrentPath(), folder.path());
        const quint16 port = listeningPortOf(seeder->processId(), 30000);
        ASSERT_NE(port, 0);
        expectDownloadFrom(port, PeerWire::HandshakeMode::Encrypted, true);
    }
}
