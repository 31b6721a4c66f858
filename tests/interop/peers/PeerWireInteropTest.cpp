// The peer wire against a libtorrent peer on loopback, plain connections: download a torrent from a
// libtorrent seeder into a piece store, and seed it to a libtorrent downloader; the bytes must match.
#include "engine/storage/PieceStore.h"
#include "engine/torrent/Metainfo.h"
#include "engine/wire/PeerWireTestSupport.h"
#include "interop/support/HelperProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

QString helperScript()
{
    return QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("lt_peer.py"));
}

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
        QProcess make;
        make.start(kPython, {helperScript(), QStringLiteral("make"), QStringLiteral("--dir"), folder.path(),
                             QStringLiteral("--size"), QStringLiteral("700001"), QStringLiteral("--announce"),
                             QStringLiteral("http://127.0.0.1:9/announce")});
        ASSERT_TRUE(make.waitForFinished(30000));
        ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().constData();
        QFile file(folder.filePath(QStringLiteral("payload.torrent")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        auto read = Metainfo::read(file.readAll());
        ASSERT_TRUE(read.has_value());
        metainfo = *read;
        QFile payload(folder.filePath(QStringLiteral("payload.bin")));
        ASSERT_TRUE(payload.open(QIODevice::ReadOnly));
        expected = payload.readAll();
    }

    std::unique_ptr<HelperProcess> libtorrent(const char* role, const QString& save, quint16 connect = 0)
    {
        QStringList arguments{helperScript(), QLatin1String(role), QStringLiteral("--torrent"),
                              folder.filePath(QStringLiteral("payload.torrent")), QStringLiteral("--encryption"),
                              QStringLiteral("disabled"), QStringLiteral("--seconds"), QStringLiteral("40"),
                              QStringLiteral("--save"), save};
        if (connect)
            arguments << QStringLiteral("--connect") << QStringLiteral("127.0.0.1:%1").arg(connect);
        return std::make_unique<HelperProcess>(kPython, arguments);
    }

    QTemporaryDir folder;
    Metainfo metainfo;
    QByteArray expected;
};

}  // namespace

TEST_F(PeerWireInteropTest, DownloadsFromALibtorrentSeeder)
{
    auto seeder = libtorrent("seed", folder.path());
    const quint16 port = quint16(seeder->waitForLine("ready", 20000).toUInt());
    ASSERT_NE(port, 0);

    QTemporaryDir ours;
    StoredTorrent torrent(metainfo, ours.filePath(QStringLiteral("payload.bin")));
    auto wire = PeerWire::connectTo(torrent, INADDR_LOOPBACK, port, 0);
    ASSERT_NE(wire, nullptr);
    torrent.wire = wire.get();
    EXPECT_TRUE(pumpUntil([&] { return torrent.isSeeding() || wire->hasEnded(); }, 30000));
    EXPECT_TRUE(torrent.isSeeding());
    QFile file(ours.filePath(QStringLiteral("payload.bin")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), expected);
}

TEST_F(PeerWireInteropTest, SeedsToALibtorrentDownloader)
{
    StoredTorrent torrent(metainfo, folder.filePath(QStringLiteral("payload.bin")));
    bool checked = false;
    QObject::connect(&torrent.store, &PieceStore::existingDataChecked, [&](const PZIndexSet&) { checked = true; });
    torrent.store.checkExistingData();
    ASSERT_TRUE(pumpUntil([&] { return checked; }, 20000));
    ASSERT_TRUE(torrent.isSeeding());

    quint16 port = 0;
    const int listener = loopbackListener(port);
    ASSERT_GE(listener, 0);

    const QString save = folder.filePath(QStringLiteral("fetch"));
    QDir().mkpath(save);
    auto fetcher = libtorrent("fetch", save, port);
    std::vector<std::unique_ptr<PeerWire>> wires;
    bool complete = false;
    QElapsedTimer timer;
    timer.start();
    while (!complete && timer.elapsed() < 30000) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0)
            wires.push_back(PeerWire::adoptIncoming(fd, INADDR_LOOPBACK, 0, [&](const QByteArray& hash) {
                return hash == torrent.infoHash() ? &torrent : nullptr;
            }, 0));
        pumpUntil([] { return false; }, 20);
        QFile fetched(save + QStringLiteral("/payload.bin"));
        complete = fetched.open(QIODevice::ReadOnly) && fetched.readAll() == expected;
    }
    ::close(listener);
    EXPECT_TRUE(complete);
    ASSERT_FALSE(wires.empty());
    EXPECT_GE(wires.front()->bytesUploaded(), quint64(expected.size()));
}
