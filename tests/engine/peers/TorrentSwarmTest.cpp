#include "PeerTestSupport.h"
#include "engine/peers/IncomingPeers.h"
#include "engine/peers/TorrentSwarm.h"
#include "engine/storage/PieceStore.h"
#include "engine/wire/PeerWireTestSupport.h"
#include "kit/SerialQueue.h"
#include "kit/SteadyClock.h"
#include "support/RandomContent.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <gtest/gtest.h>
#include <set>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QByteArray kInfoHash("swarm-info-hash-0001");

// A multi-file torrent of random bytes, and a piece store over its files in a folder of its own.
struct Payload
{
    QByteArray content;
    PieceGeometry geometry;
    QByteArray hashes;
    QVector<qint64> lengths{70'000, 1, 0, 150'000, 33'333};

    explicit Payload(qint64 pieceLength)
    {
        qint64 total = 0;
        for (qint64 length : lengths)
            total += length;
        content = seededRandomBytes(total, 11);
        geometry = PieceGeometry(pieceLength, total);
        hashes = pieceHashes(content, pieceLength);
    }
    QVector<StorageFile> files(const QString& folder) const
    {
        QVector<StorageFile> out;
        qint64 offset = 0;
        for (qint64 length : lengths) {
            out.append({QDir(folder).filePath(QStringLiteral("Payload/f%1.bin").arg(out.size())), offset, length, true});
            offset += length;
        }
        return out;
    }
    // Every piece stored and verified but the `missing` ones, whose blocks are not there either.
    std::unique_ptr<PieceStore> seederStore(const QString& folder, const QVector<quint32>& missing = {}) const
    {
        auto store = std::make_unique<PieceStore>(geometry, files(folder), hashes);
        for (const StorageFile& file : store->files())
            EXPECT_TRUE(writeFile(file.path, content.mid(file.offset, file.length)));
        PZIndexSet blocks = PZIndexSet::filledSetWithLength(geometry.blockCount());
        PZIndexSet pieces = PZIndexSet::filledSetWithLength(geometry.pieceCount());
        for (quint32 piece : missing) {
            pieces.removeIndex(piece);
            for (quint32 i = 0; i < geometry.blocksInPiece(piece); ++i)
                blocks.removeIndex(geometry.firstBlockOfPiece(piece) + i);
        }
        store->restore(blocks, pieces);
        PieceStore::drainQueues();
        return store;
    }
    QByteArray bytesOnDisk(const PieceStore& store) const
    {
        QByteArray out;
        for (const StorageFile& file : store.files())
            out += readFile(file.path);
        return out;
    }
};

// A listener on loopback, stored as the swarm's only known peer and dialled; -1 when none could be made.
int dialLoopbackListener(TorrentSwarm& swarm)
{
    quint16 port = 0;
    const int listener = loopbackListener(port);
    if (listener < 0)
        return -1;
    QByteArray compact = QByteArray::fromHex("7F000001");
    compact += char(port >> 8);
    compact += char(port & 0xFF);
    if (swarm.peers().addCompactPeers(compact) != 1 || !swarm.peers().connectToOnePeer()) {
        ::close(listener);
        return -1;
    }
    return listener;
}

// A scripted peer with the id "PPP...<id>", dialled by the swarm, that announces `pieces` (a piece list
// message) and unchokes; null when it never came. The dialled connection starts encrypted; closed before
// our key, it comes again in plain.
std::unique_ptr<ScriptedPeer> dialScriptedPeer(TorrentSwarm& swarm, char id, const QByteArray& pieces,
                                               char reserved7 = 0x05)
{
    const int listener = dialLoopbackListener(swarm);
    if (listener < 0)
        return nullptr;
    acceptScripted(listener).reset();
    std::unique_ptr<ScriptedPeer> remote = acceptScripted(listener);
    ::close(listener);
    if (remote) {
        remote->take(PeerHandshake::kSize);
        remote->write(remoteHandshake(reserved7, kInfoHash, QByteArray(19, 'P') + id));
        remote->write(pieces + PeerMessage::simple(PeerMessage::Unchoke));
    }
    return remote;
}

// The blocks of `piece` that `messages` ask for (or cancel, as `id` says).
std::set<quint32> offsetsIn(const QList<QByteArray>& messages, quint8 id, quint32 piece)
{
    std::set<quint32> offsets;
    for (const QByteArray& m : messages)
        if (m.size() == 17 && quint8(m[4]) == id && qFromBigEndian<quint32>(m.constData() + 5) == piece)
            offsets.insert(qFromBigEndian<quint32>(m.constData() + 9));
    return offsets;
}

// Both swarms live in this process: the leecher takes a peer id of its own.
TorrentSwarm::Torrent torrentNamed(const QByteArray& infoHash, const QByteArray& peerId = {})
{
    TorrentSwarm::Torrent torrent;
    torrent.infoHash = infoHash;
    torrent.peerId = peerId;
    return torrent;
}

TEST(TorrentSwarmTest, LeecherDownloadsAMultiFileTorrentFromASeederSwarm)
{
    resetGlobalBudgets();
    QTemporaryDir seedFolder, leechFolder;
    DrainsPeersFiles fileWork;
    const Payload payload(32768);
    const auto seedStore = payload.seederStore(seedFolder.path());
    PieceStore leechStore(payload.geometry, payload.files(leechFolder.path()), payload.hashes);
    leechStore.createEmptyFiles();

    TorrentSwarm seeder(torrentNamed(kInfoHash), *seedStore, seedFolder.filePath("peers.db"));
    TorrentSwarm leecher(torrentNamed(kInfoHash, "-OC2168-000000000042"), leechStore, QString());
    int verified = 0;
    QObject::connect(&leecher, &TorrentSwarm::pieceVerified, [&] { ++verified; });
    IncomingPeers incoming(
        [&](const QByteArray& hash, PeerWire::TorrentKey key) {
            return namesTorrent(hash, key, kInfoHash) && seeder.peers().canAcceptIncomingPeer() ? &seeder : nullptr;
        },
        [](quint32) { return false; });

    const int listener = dialLoopbackListener(leecher);
    ASSERT_GE(listener, 0);
    EXPECT_EQ(leecher.counts().connecting, 1);

    PeerService::Counts leechCounts, seedCounts;
    const bool done = pumpUntil(
        [&] {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0 && !incoming.accept(fd, from.sin_addr.s_addr, from.sin_port, steadyMilliseconds()))
                ::close(fd);
            incoming.tick(steadyMilliseconds());
            seeder.tick();
            leecher.tick();
            leechCounts.active = std::max(leechCounts.active, leecher.counts().active);
            leechCounts.activeSeeds = std::max(leechCounts.activeSeeds, leecher.counts().activeSeeds);
            seedCounts.active = std::max(seedCounts.active, seeder.counts().active);
            seedCounts.activeSeeds = std::max(seedCounts.activeSeeds, seeder.counts().activeSeeds);
            PieceStore::drainQueues();
            return leechStore.verifiedPieces().count() == qint64(payload.geometry.pieceCount());
        },
        20'000);
    ::close(listener);
    ASSERT_TRUE(done);
    EXPECT_EQ(verified, int(payload.geometry.pieceCount()));
    EXPECT_EQ(leechCounts.active, 1);
    EXPECT_EQ(leechCounts.activeSeeds, 1);
    EXPECT_EQ(seedCounts.active, 1);
    EXPECT_EQ(seedCounts.activeSeeds, 0);
    EXPECT_EQ(incoming.unattachedCount(), 0);
    // Two seeds have nothing to trade: the connection ends and both swarms let it go.
    EXPECT_TRUE(pumpUntil([&] {
        seeder.tick();
        leecher.tick();
        return leecher.counts().active + seeder.counts().active == 0;
    }));
    EXPECT_EQ(leecher.pendingPieceSize(), 0u);
    EXPECT_EQ(incoming.unattachedCount(), 0);
    EXPECT_TRUE(leecher.isSeeding());
    EXPECT_TRUE(payload.bytesOnDisk(leechStore) == payload.content);
}

// A piece counts as having all its blocks exactly when each of its blocks counts as received; the
// short last piece has fewer blocks than the others.
TEST(TorrentSwarmTest, APieceHasAllBlocksExactlyWhenEachBlockIsThere)
{
    QTemporaryDir folder;
    const Payload payload(3 * 16384);  // six pieces of three blocks, the last of one block
    PieceStore store(payload.geometry, payload.files(folder.path()), payload.hashes);
    const quint32 last = payload.geometry.pieceCount() - 1;
    struct Case
    {
        const char* name;
        quint32 piece;
        std::vector<quint32> storedBlocks;  // of the piece
        bool all;
    };
    const std::vector<Case> cases = {
        {"none", 0, {}, false},
        {"all but the last", 1, {0, 1}, false},
        {"all but the first", 2, {1, 2}, false},
        {"every block", 3, {0, 1, 2}, true},
        {"the short last piece whole", last, {0}, true},
    };
    PZIndexSet stored(payload.geometry.blockCount());
    for (const Case& c : cases)
        for (quint32 b : c.storedBlocks)
            stored.addIndex(payload.geometry.firstBlockOfPiece(c.piece) + b);
    for (const StorageFile& file : store.files())  // restored blocks over missing files would be lost
        ASSERT_TRUE(writeFile(file.path, payload.content.mid(file.offset, file.length)));
    store.restore(stored, PZIndexSet(payload.geometry.pieceCount()));
    PieceStore::drainQueues();
    TorrentSwarm swarm(torrentNamed(kInfoHash), store, QString());
    ASSERT_EQ(payload.geometry.blocksInPiece(last), 1u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(swarm.hasAllBlocks(c.piece), c.all);
        bool each = true;
        for (quint32 offset = 0; offset < swarm.pieceSize(c.piece); offset += PeerMessage::kBlockSize)
            each = each && swarm.hasBlock(c.piece, offset);
        EXPECT_EQ(each, c.all);
    }
}

TEST(TorrentSwarmTest, IncomingConnectionsAreRefusedWhenBlockedOrBeyondTheCap)
{
    resetGlobalBudgets();
    bool blocked = true;
    IncomingPeers incoming([](const QByteArray&, PeerWire::TorrentKey) { return nullptr; },
                           [&](quint32) { return blocked; });
    std::vector<std::pair<int, int>> pairs;
    const auto accept = [&] {
        pairs.push_back(loopbackPair());
        const bool taken = incoming.accept(pairs.back().second, htonl(INADDR_LOOPBACK), htons(40000), 0);
        if (!taken)
            ::close(pairs.back().second);
        return taken;
    };
    EXPECT_FALSE(accept());
    blocked = false;
    for (int i = 0; i < IncomingPeers::kMaxUnattached; ++i)
        ASSERT_TRUE(accept());
    EXPECT_FALSE(accept());
    EXPECT_EQ(incoming.unattachedCount(), IncomingPeers::kMaxUnattached);
    // Silent connections time out and free their places.
    incoming.tick(PeerWire::kHandshakeTimeoutMs);
    pumpUntil([&] { return incoming.unattachedCount() == 0; });
    EXPECT_EQ(incoming.unattachedCount(), 0);
    EXPECT_TRUE(accept());
    for (const auto& [remote, engine] : pairs)
        ::close(remote);
    pumpOnce();
}

TEST(TorrentSwarmTest, BlocksThatNeverReachedTheDiskAreAskedForAgain)
{
    resetGlobalBudgets();
    QTemporaryDir seedFolder, leechFolder;
    DrainsPeersFiles fileWork;
    const Payload payload(32768);
    const auto seedStore = payload.seederStore(seedFolder.path());
    // A file where the leecher's folder should be: no block can be written (a full or failing disk).
    ASSERT_TRUE(writeFile(leechFolder.filePath("Payload"), "in the way"));
    PieceStore leechStore(payload.geometry, payload.files(leechFolder.path()), payload.hashes);
    QList<quint64> failed;
    QObject::connect(&leechStore, &PieceStore::writeFailed, [&](quint64 block) { failed.append(block); });

    TorrentSwarm seeder(torrentNamed(kInfoHash), *seedStore, seedFolder.filePath("peers.db"));
    TorrentSwarm leecher(torrentNamed(kInfoHash, "-OC2168-000000000043"), leechStore, QString());
    IncomingPeers incoming([&](const QByteArray& hash, PeerWire::TorrentKey key) {
        return namesTorrent(hash, key, kInfoHash) ? &seeder : nullptr;
    }, [](quint32) { return false; });
    const int listener = dialLoopbackListener(leecher);
    ASSERT_GE(listener, 0);
    const bool someFailed = pumpUntil(
        [&] {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0 && !incoming.accept(fd, htonl(INADDR_LOOPBACK), htons(40002), steadyMilliseconds()))
                ::close(fd);
            incoming.tick(steadyMilliseconds());
            seeder.tick();
            leecher.tick();
            PieceStore::drainQueues();
            return failed.size() >= 4;
        },
        10'000);
    ::close(listener);
    ASSERT_TRUE(someFailed);
    const PieceGeometry& geometry = payload.geometry;
    for (quint64 block : failed) {
        const quint32 piece = geometry.pieceOfBlock(block);
        const quint32 offset = quint32(block - geometry.firstBlockOfPiece(piece)) * PeerMessage::kBlockSize;
        EXPECT_FALSE(leecher.hasBlock(piece, offset)) << "block " << block;
    }
    leecher.peers().disconnectFromPeers();
    seeder.peers().disconnectFromPeers();
    pumpOnce();
}

// A tracker names our own listener: the dial comes back to us. The accepting side knows the address
// dialled is ours, so no torrent of ours stores or dials it again.
TEST(TorrentSwarmTest, AnAddressThatReachedOurOwnListenerIsNeitherStoredNorDialledAgain)
{
    resetGlobalBudgets();
    QTemporaryDir folder;
    DrainsPeersFiles fileWork;
    const Payload payload(32768);
    const auto store = payload.seederStore(folder.path());
    OwnAddresses ours;
    qint64 clock = 1'000'000;
    TorrentSwarm::Torrent model = torrentNamed(kInfoHash);
    model.ownAddresses = &ours;
    model.clock = [&clock] { return clock; };
    TorrentSwarm swarm(model, *store, QString());
    model.infoHash = "swarm-info-hash-0002";
    TorrentSwarm other(model, *store, QString());
    IncomingPeers incoming([&](const QByteArray& hash, PeerWire::TorrentKey key) {
        return namesTorrent(hash, key, kInfoHash) ? &swarm : nullptr;
    }, [](quint32) { return false; });
    quint16 port = 0;
    const int listener = loopbackListener(port);
    ASSERT_GE(listener, 0);
    const QList<AnnounceReply::Peer> self{{htonl(INADDR_LOOPBACK), port}};
    ASSERT_EQ(swarm.peers().addPeers(self), 1);
    ASSERT_TRUE(swarm.peers().connectToOnePeer());
    const bool looped = pumpUntil([&] {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0 && !incoming.accept(fd, htonl(INADDR_LOOPBACK), htons(40003), clock))
            ::close(fd);
        incoming.tick(clock);
        swarm.tick();
        return swarm.counts().connecting + incoming.unattachedCount() == 0;
    });
    ::close(listener);
    ASSERT_TRUE(looped);

    // Every later announce names it again, here and in another torrent.
    clock += 60'000;
    EXPECT_EQ(swarm.peers().addPeers(self), 0);
    EXPECT_FALSE(swarm.peers().connectToOnePeer());
    EXPECT_EQ(swarm.peers().database().numberOfPeers(), 0);
    EXPECT_EQ(other.peers().addPeers(self), 0);
}

// At the end of a download the missing blocks are asked of every peer; a block that one peer brings is
// cancelled at the others at once, before its piece is checked.
TEST(TorrentSwarmTest, ABlockThatArrivesIsCancelledAtTheOtherPeersThatHaveItInFlight)
{
    resetGlobalBudgets();
    QTemporaryDir folder;
    DrainsPeersFiles fileWork;
    const Payload payload(2 * PeerMessage::kBlockSize);
    // Everything but piece 0, whose two blocks are missing.
    const auto store = payload.seederStore(folder.path(), {0});
    TorrentSwarm leecher(torrentNamed(kInfoHash), *store, QString());

    std::vector<std::unique_ptr<ScriptedPeer>> remotes;
    const std::set<quint32> both{0, 16384};
    for (char id = '1'; id <= '2'; ++id) {
        remotes.push_back(dialScriptedPeer(leecher, id, PeerMessage::simple(PeerMessage::HaveAll)));
        ASSERT_TRUE(remotes.back());
        const auto asked = remotes.back()->messagesUntil(
            [&](const QList<QByteArray>& sent) { return offsetsIn(sent, PeerMessage::Request, 0) == both; });
        ASSERT_EQ(offsetsIn(asked, PeerMessage::Request, 0), both);
    }

    remotes[0]->write(PeerMessage::piece(0, 0, payload.content.left(PeerMessage::kBlockSize)));
    const auto cancelled = remotes[1]->messagesUntil(
        [](const QList<QByteArray>& sent) { return !offsetsIn(sent, PeerMessage::Cancel, 0).empty(); });
    EXPECT_EQ(offsetsIn(cancelled, PeerMessage::Cancel, 0), std::set<quint32>{0});
    EXPECT_TRUE(offsetsIn(remotes[0]->messagesWithin(50), PeerMessage::Cancel, 0).empty());
    leecher.peers().disconnectFromPeers();
    pumpOnce();
}

// A peer holds the four blocks of piece 0 and sends none. Whatever lets them go (a choke without the Fast
// extension, its connection closing, the request time-out) has another peer asked for them at once, and so
// does the end of the download when the other piece missing is one no peer has; a choke with the Fast
// extension leaves them with the first peer.
TEST(TorrentSwarmTest, BlocksThatAPeerLetsGoAreAskedOfAnotherAtOnce)
{
    enum class LetGo { Nothing, Choke, Close, TimeOut };
    const struct
    {
        const char* name;
        char reserved7;  // of the first peer's handshake: 0x04 is the Fast extension
        bool pieceOneKnown;  // the first peer has piece 1 too, the other piece missing
        LetGo letGo;
        bool askedOfSecond;
    } cases[] = {{"no peer has piece 1: the end game", 0x05, false, LetGo::Nothing, true},
                 {"a choke without the Fast extension", 0x01, true, LetGo::Choke, true},
                 {"a choke with the Fast extension", 0x05, true, LetGo::Choke, false},
                 {"the connection closes", 0x05, true, LetGo::Close, true},
                 {"nothing came within the request time-out", 0x05, true, LetGo::TimeOut, true}};
    const QByteArray onlyPieceZero = PeerMessage::bitfield(QByteArray(1, char(0x80)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetGlobalBudgets();
        QTemporaryDir folder;
        DrainsPeersFiles fileWork;
        const Payload payload(4 * PeerMessage::kBlockSize);
        const auto store = payload.seederStore(folder.path(), {0, 1});
        qint64 now = steadyMilliseconds();
        TorrentSwarm::Torrent torrent = torrentNamed(kInfoHash);
        torrent.clock = [&now] { return now; };
        TorrentSwarm leecher(torrent, *store, QString());
        const std::set<quint32> pieceZero{0, 16384, 32768, 49152};

        auto first = dialScriptedPeer(leecher, '1', onlyPieceZero, c.reserved7);
        ASSERT_TRUE(first);
        const auto askedOfFirst = first->messagesUntil(
            [&](const QList<QByteArray>& sent) { return offsetsIn(sent, PeerMessage::Request, 0) == pieceZero; });
        ASSERT_EQ(offsetsIn(askedOfFirst, PeerMessage::Request, 0), pieceZero);
        if (c.pieceOneKnown)
            first->write(PeerMessage::withIndex(PeerMessage::Have, 1));
        auto second = dialScriptedPeer(leecher, '2', onlyPieceZero);
        ASSERT_TRUE(second);
        QList<QByteArray> askedOfSecond = second->messagesWithin(100);
        switch (c.letGo) {
        case LetGo::Nothing:
            break;
        case LetGo::Choke:
            first->write(PeerMessage::simple(PeerMessage::Choke));
            break;
        case LetGo::Close:
            first.reset();
            break;
        case LetGo::TimeOut:
            now += PeerWire::kRequestTimeoutMs;
            leecher.tick();
            EXPECT_EQ(offsetsIn(first->messagesWithin(100), PeerMessage::Cancel, 0), pieceZero);
            break;
        }
        askedOfSecond += second->messagesUntil(
            [&](const QList<QByteArray>& sent) { return offsetsIn(askedOfSecond + sent, PeerMessage::Request, 0) == pieceZero; },
            c.askedOfSecond ? 3000 : 300);
        EXPECT_EQ(offsetsIn(askedOfSecond, PeerMessage::Request, 0) == pieceZero, c.askedOfSecond);
        leecher.peers().disconnectFromPeers();
        pumpOnce();
    }
}

}  // namespace
