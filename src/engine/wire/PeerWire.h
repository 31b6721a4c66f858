#pragma once

#include "engine/net/MessageStats.h"
#include "engine/net/PZSocket.h"
#include "engine/net/StreamPeer.h"
#include "engine/peers/PeerLink.h"
#include "engine/wire/MseHandshake.h"
#include "engine/wire/PeerMessage.h"
#include "engine/wire/PendingRequests.h"

#include <QBitArray>
#include <QString>
#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace ombrelay {

class PeerTorrent;

// One connection to one peer for one torrent: the encryption handshake (dialled connections try it first,
// accepted ones take it or a plain handshake), the BitTorrent handshake, then every message of the
// protocol with its checks, the request pipeline, serving verified blocks and the choking rule. Anything
// the peer sends is untrusted: a fault ends the connection. Time comes from `tick`, which the owner calls
// about once a second. Main thread only.
class PeerWire : public StreamPeer, public PeerLink
{
public:
    static constexpr qint64 kHandshakeTimeoutMs = 10'000;
    static constexpr qint64 kKeepAliveAfterMs = 90'000;
    static constexpr qint64 kSilenceLimitMs = 300'000;
    // The most requests we keep pending with a peer (fewer when it announced fewer). Within that, a
    // connection starts with kMinRequestQueue, adds one for each block that arrives, and once a second
    // comes down to what the peer delivers in kRequestQueueMs: a slow peer holds few blocks that a
    // faster one could bring.
    static constexpr int kOurRequestQueue = 250;
    static constexpr int kMinRequestQueue = 4;
    static constexpr qint64 kRequestQueueMs = 2000;
    // A peer that holds requests and brings none of them for this long (it keeps them, or chokes with the
    // Fast extension and never rejects them) gives them back: they are cancelled and the other
    // connections may ask for them.
    static constexpr qint64 kRequestTimeoutMs = 60'000;
    // The requests we take from a peer (its "reqq"): a deep queue keeps a fast downloader busy.
    static constexpr int kServedRequests = 1000;
    // Of those, blocks read ahead of what the socket took, per peer.
    static constexpr quint64 kServeAheadBytes = 1 << 20;
    static constexpr int kMaxPieceViolations = 3;
    static constexpr quint64 kChokeAfterUploadSurplus = 163840;

    // How an incoming connection names its torrent: a plain handshake by the info hash, an encrypted one
    // by the obfuscated info hash (SHA-1 of "req2" and the info hash).
    enum class TorrentKey { InfoHash, ObfuscatedInfoHash };
    // The torrent an incoming connection joins, or none, with the reason when it is known to us but
    // refuses the peer (empty: no torrent of ours has that hash).
    struct Resolution
    {
        Resolution(PeerTorrent* torrent = nullptr) : torrent(torrent) {}
        static Resolution refused(QString reason)
        {
            Resolution resolution;
            resolution.refusal = std::move(reason);
            return resolution;
        }
        PeerTorrent* torrent;
        QString refusal;
    };
    // Finds the torrent an incoming connection names.
    using TorrentResolver = std::function<Resolution(const QByteArray& hash, TorrentKey key)>;
    // How a dialled connection starts: encrypted (falling back once to plain when the peer never sends
    // its key) or with the plain handshake at once.
    using HandshakeMode = PeerLink::Handshake;

    // "-OC2168-" and 12 random digits, drawn once per process.
    static QByteArray localPeerId();

    // Dials; null when the socket cannot be made, with errno saying why.
    static std::unique_ptr<PeerWire> connectTo(PeerTorrent& torrent, quint32 address, quint16 port, qint64 now,
                                               HandshakeMode mode = HandshakeMode::Encrypted);
    // Takes over an accepted descriptor (closed with the wire).
    static std::unique_ptr<PeerWire> adoptIncoming(int fd, quint32 address, quint16 port, TorrentResolver resolver,
                                                   qint64 now);
    ~PeerWire() override;

    // Runs once the connection has ended and its socket is closed; the owner may delete the wire there.
    void setEndedHandler(std::function<void(PeerWire&)> handler) { m_ended = std::move(handler); }

    quint32 address() const { return m_address; }  // host order
    quint16 port() const { return m_port; }
    QString hostString() const;
    bool isIncoming() const { return m_incoming; }
    HandshakeMode handshakeMode() const override { return m_handshakeMode; }
    bool peerAnswered() const override { return m_peerAnswered; }
    // The encryption handshake chose RC4 for the messages.
    bool isEncrypted() const { return m_encrypted; }
    PeerTorrent* torrent() const { return m_torrent; }
    QByteArray remotePeerId() const { return m_remotePeerId; }
    bool hasEnded() const { return m_ended_; }
    // The BitTorrent handshake completed at some point (isStreamingMessages turns false at the end).
    bool reachedMessages() const { return m_reachedMessages; }
    bool isSeed() const;
    bool weAreChoked() const { return m_weAreChoked; }
    bool weAreChoking() const { return m_weAreChoking; }
    bool weAreInterested() const { return m_weAreInterested; }
    bool peerIsInterested() const { return m_peerInterested; }
    int pendingRequestCount() const { return m_pending.size(); }
    // The most requests pending with the peer: what it announced, at most kOurRequestQueue.
    int requestQueueLimit() const;
    // What the pipeline fills up to now, within the limit.
    int requestQueueDepth() const;
    quint64 bytesDownloaded() const override { return m_bytesDownloaded; }
    quint64 bytesUploaded() const { return m_bytesUploaded; }
    // Block bytes of a piece message that has begun to arrive and is not whole yet.
    quint32 pendingPieceSize() const;
    const QBitArray& availablePieces() const { return m_available; }
    // What the peer's extension handshake named: its peer-exchange and metadata message ids (0: none)
    // and the size of its metainfo. Recorded only.
    bool supportsPEX() const { return m_pexMessageId != 0; }
    int pexMessageId() const { return m_pexMessageId; }
    bool supportsRemoteTorrent() const { return m_remoteTorrentId != 0; }
    int remoteTorrentId() const { return m_remoteTorrentId; }
    qint64 remoteTorrentSize() const { return m_remoteTorrentSize; }
    // Messages written and read, by kind.
    const PeerStats& stats() const { return m_stats; }

    // Time-outs and keep-alives; a queue with room asks for what it can.
    void tick(qint64 now);
    // A piece of the torrent passed its check: have, cancel what is pending of it, new interest.
    void pieceVerified(quint32 piece);
    // The wanted pieces changed: pending blocks of unneeded pieces are cancelled.
    void cancelUnneededPieces();
    // Asks for blocks up to the request queue's depth (the disk caught up, the peer unchoked us ...), all
    // in one write; while a read is being parsed, once after it.
    void fillRequestQueue();
    // Another connection brought the block: a request for it here is cancelled.
    void cancelBlock(quint32 piece, quint32 offset);
    void updateChoke();
    // Ends the connection; a non-empty reason is logged.
    void end(const QString& reason, Ending cause = Ending::Closed);

    // PeerLink
    PeerAddress peerAddress() const override;
    std::optional<PeerAddress> listeningAddress() const override;
    Ending ending() const override { return m_ending; }
    void disconnectFromPeer() override { end({}); }

    // StreamPeer
    bool isStreamingMessages() const override { return m_streaming; }
    void processReadStreamBuffer() override;
    void terminatePeer() override;
    BandwidthProvision* downloadProvision() override;
    BandwidthProvision* uploadProvision() override;
    void didUploadBytes(quint32 bytes) override;
    void socketDidOpen() override { m_peerAnswered = true; }

private:
    PeerWire(int fd, quint32 address, quint16 port, bool incoming, qint64 now);

    struct Served
    {
        quint32 index, begin, length;
        quint64 serial;
        bool reading = false;
    };

    void startOutgoingHandshake();
    bool readEncryptionHandshake();
    // A dialled encrypted attempt ended before the peer's key arrived: one more try, in plain.
    bool mayRetryPlain() const;
    void reconnectPlain();
    PeerTorrent* attach(const QByteArray& hash, TorrentKey key);
    bool readHandshake();
    bool readMessage();
    // Tells the torrent's rate of the block bytes of the piece message arriving, as they come.
    void countArrivingPieceBytes();
    void countPieceBytes(quint32 arrived);
    void handle(const PeerMessage& m);
    void handleExtended(const PeerMessage& m);
    void handleRequest(const PeerMessage& m);
    // Reads queued requests while less than kServeAheadBytes are read and not yet sent.
    void serveRequests();
    void readServed(const Served& s);
    void handlePiece(const PeerMessage& m);
    void handleCancel(const PeerMessage& m);
    void afterHandshake();
    void writeBitfield();
    void addAvailable(quint32 piece);
    void updateInterest();
    void cancelRequestsForPiece(quint32 piece);
    // The pieces one fill of the request queue went through, and once random draws stop finding one,
    // the list of those left to draw from.
    struct PieceDraw
    {
        std::vector<quint32> taken;
        std::vector<quint32> candidates;
        bool listed = false;
    };
    // A piece drawn uniformly among those the peer has and we need, other than those already taken in
    // this draw (it joins them); -1 when none.
    qint64 pickPiece(PieceDraw& draw) const;
    // Appends the request to `batch` unless the block is pending here or received; unless `duplicate`,
    // also when another connection has it pending.
    void requestBlock(quint32 piece, quint32 offset, QByteArray& batch, bool duplicate = false);
    // Every block still missing of the needed pieces that some peer has is pending with some connection:
    // the end of the download, where blocks in flight elsewhere are asked for again.
    bool inEndGame() const;
    // End game: the peer's missing blocks that are pending elsewhere, from a random piece on.
    void requestDuplicates(int depth, QByteArray& batch);
    // Once a second: the queue comes down to what the peer delivered.
    void fitRequestQueueToRate(qint64 now);
    // Cancels what the peer held past kRequestTimeoutMs, for the other connections to ask for.
    void giveBackRequests();
    // Requests every block of a needed piece not received or pending (suggest, allowed fast).
    void writeRequestsForPiece(quint32 piece);
    quint32 blockLength(quint32 piece, quint32 offset) const;
    void reject(quint32 index, quint32 begin, quint32 length);
    void rejectQueuedRequests();
    void setChoking(bool choke);
    void setInterested(bool interested);
    void send(const QByteArray& message);
    void sendLow(const QByteArray& message);
    void countWritten(const QByteArray& messages);

    std::unique_ptr<PZSocket> m_socket;
    std::unique_ptr<PZSocket> m_retiredSocket;  // the encrypted attempt's, closed; kept for its pending calls
    std::optional<MseHandshake> m_mse;          // while the encryption handshake runs
    HandshakeMode m_handshakeMode = HandshakeMode::Encrypted;
    bool m_encrypted = false;
    PeerTorrent* m_torrent = nullptr;
    TorrentResolver m_resolver;
    QString m_refusal;  // why the torrent an incoming connection named turned it away
    std::function<void(PeerWire&)> m_ended;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    quint32 m_address;
    quint16 m_port;
    quint16 m_listeningPort = 0;  // of an incoming peer, as its extension handshake named it; 0: none
    bool m_incoming;
    bool m_streaming = false;
    bool m_reachedMessages = false;
    bool m_peerAnswered = false;
    bool m_ended_ = false;
    Ending m_ending = Ending::Open;
    bool m_terminated = false;

    QByteArray m_remotePeerId;
    bool m_supportsExtensions = false;
    bool m_supportsFast = false;
    bool m_supportsDht = false;
    int m_reqq = 0;
    int m_pexMessageId = 0;
    int m_remoteTorrentId = 0;
    qint64 m_remoteTorrentSize = 0;
    PeerStats m_stats;

    QBitArray m_available;
    PendingRequests m_pending;
    int m_requestQueue = kMinRequestQueue;
    qint64 m_waitingSince = 0;  // for a block: since the last one came, or since a request after none
    qint64 m_rateSince;
    quint64 m_bytesDownloadedSince = 0;
    qint64 m_currentPiece = -1;
    quint32 m_currentOffset = 0;
    std::deque<Served> m_served;
    quint64 m_servedSerial = 0;
    quint64 m_servingBytes = 0;  // of blocks being read, or queued to send
    bool m_serveScheduled = false;
    int m_pieceViolations = 0;

    bool m_weAreChoked = true;
    bool m_weAreChoking = true;
    bool m_weAreInterested = false;
    bool m_peerInterested = false;
    quint64 m_bytesDownloaded = 0;
    quint64 m_bytesUploaded = 0;
    quint32 m_pieceBytesCounted = 0;  // of the piece message still arriving, told to the rate already

    qint64 m_connectTime;
    qint64 m_now;
    qint64 m_lastReceived;
    qint64 m_lastSent;
    bool m_receivedSinceTick = false;
    bool m_parsing = false;
    bool m_refillAfterParse = false;
    bool m_sentSinceTick = false;
};

}  // namespace ombrelay
