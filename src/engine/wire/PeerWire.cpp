#include "engine/wire/PeerWire.h"

#include "engine/bencode/Bdecoder.h"
#include "engine/wire/PeerTorrent.h"
#include "kit/PZVersionChecker.h"

#include <QRandomGenerator>
#include <QTimer>
#include <QtEndian>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>

namespace ombrelay {

namespace {

QString encryptionFailure(MseHandshake::Failure failure)
{
    switch (failure) {
    case MseHandshake::Failure::BadPublicKey: return QStringLiteral("unusable public key");
    case MseHandshake::Failure::SyncNotFound: return QStringLiteral("no synchronisation within 512 bytes of padding");
    case MseHandshake::Failure::UnknownTorrent: return QStringLiteral("encrypted connection for no torrent of ours");
    case MseHandshake::Failure::BadVerificationConstant: return QStringLiteral("bad verification constant");
    case MseHandshake::Failure::NoCommonMethod: return QStringLiteral("no common encryption method");
    case MseHandshake::Failure::PadTooLong: return QStringLiteral("padding longer than 512 bytes");
    case MseHandshake::Failure::None: break;
    }
    return QStringLiteral("encryption handshake failed");
}

// The address and port a connected socket is reached at.
std::optional<PeerAddress> localAddressOf(int fd)
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET)
        return std::nullopt;
    return PeerAddress{local.sin_addr.s_addr, ntohs(local.sin_port)};
}

}  // namespace

QByteArray PeerWire::localPeerId()
{
    static const QByteArray id = [] {
        QByteArray digits = "-OC2168-";
        for (int i = 0; i < 12; ++i)
            digits.append(char('0' + QRandomGenerator::system()->bounded(10)));
        return digits;
    }();
    return id;
}

PeerWire::PeerWire(int fd, quint32 address, quint16 port, bool incoming, qint64 now)
    : m_socket(std::make_unique<PZSocket>(fd, this)),
      m_address(address),
      m_port(port),
      m_incoming(incoming),
      m_rateSince(now),
      m_connectTime(now),
      m_now(now),
      m_lastReceived(now),
      m_lastSent(now)
{
}

PeerWire::~PeerWire() = default;

std::unique_ptr<PeerWire> PeerWire::connectTo(PeerTorrent& torrent, quint32 address, quint16 port, qint64 now,
                                              HandshakeMode mode)
{
    const int fd = PZSocket::connectTo(qToBigEndian(address), port);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<PeerWire> wire(new PeerWire(fd, address, port, false, now));
    wire->m_torrent = &torrent;
    wire->m_available = QBitArray(int(torrent.pieceCount()));
    wire->m_pending.share(torrent.requestedBlocks());
    wire->m_handshakeMode = mode;
    wire->startOutgoingHandshake();
    return wire;
}

std::unique_ptr<PeerWire> PeerWire::adoptIncoming(int fd, quint32 address, quint16 port, TorrentResolver resolver,
                                                  qint64 now)
{
    std::unique_ptr<PeerWire> wire(new PeerWire(fd, address, port, true, now));
    wire->m_resolver = std::move(resolver);
    PeerWire* self = wire.get();
    wire->m_mse = MseHandshake::responder([self](const QByteArray& obfuscated) {
        PeerTorrent* torrent = self->attach(obfuscated, TorrentKey::ObfuscatedInfoHash);
        return torrent ? torrent->infoHash() : QByteArray();
    });
    return wire;
}

// Encrypted: Ya now, our BitTorrent handshake as the initial payload once the peer's key is in.
void PeerWire::startOutgoingHandshake()
{
    const QByteArray handshake = PeerMessage::handshake(m_torrent->infoHash(), m_torrent->peerId());
    if (m_handshakeMode == HandshakeMode::Plain) {
        m_socket->writeStream().writeHandshakingMessage(handshake, false);
        return;
    }
    m_mse = MseHandshake::initiator(m_torrent->infoHash(), handshake);
    m_socket->writeStream().writeHandshakingMessage(m_mse->takeOutput(), false);
}

bool PeerWire::mayRetryPlain() const
{
    return !m_incoming && m_handshakeMode == HandshakeMode::Encrypted && m_mse && m_mse->plainRetryApplies();
}

// Peers that speak only plain close on our random bytes (or answer with a plain handshake): a new
// connection starts with the plain handshake and its own time-out.
void PeerWire::reconnectPlain()
{
    m_socket->close();
    m_retiredSocket = std::move(m_socket);
    m_mse.reset();
    m_handshakeMode = HandshakeMode::Plain;
    m_connectTime = m_lastReceived = m_lastSent = m_now;
    m_socket = std::make_unique<PZSocket>(PZSocket::connectTo(qToBigEndian(m_address), m_port), this);
    if (m_socket->isClosed()) {
        end(QStringLiteral("cannot reconnect in plain"), Ending::Lost);
        return;
    }
    startOutgoingHandshake();
}

PeerTorrent* PeerWire::attach(const QByteArray& hash, TorrentKey key)
{
    const Resolution resolution = m_resolver ? m_resolver(hash, key) : Resolution();
    m_torrent = resolution.torrent;
    m_refusal = resolution.refusal;
    if (m_torrent) {
        m_available = QBitArray(int(m_torrent->pieceCount()));
        m_pending.share(m_torrent->requestedBlocks());
    }
    return m_torrent;
}

QString PeerWire::hostString() const
{
    return QStringLiteral("%1.%2.%3.%4:%5")
        .arg(m_address >> 24)
        .arg((m_address >> 16) & 0xFF)
        .arg((m_address >> 8) & 0xFF)
        .arg(m_address & 0xFF)
        .arg(m_port)
        .leftJustified(20);
}

bool PeerWire::isSeed() const
{
    return m_torrent && m_available.size() > 0 && m_available.count(true) == m_available.size();
}

int PeerWire::requestQueueLimit() const
{
    return m_reqq > 0 ? qMin(m_reqq, kOurRequestQueue) : kOurRequestQueue;
}

int PeerWire::requestQueueDepth() const
{
    return qMin(m_requestQueue, requestQueueLimit());
}

void PeerWire::fitRequestQueueToRate(qint64 now)
{
    const qint64 elapsed = now - m_rateSince;
    if (elapsed < 1000)
        return;
    const quint64 bytes = m_bytesDownloaded - m_bytesDownloadedSince;
    m_rateSince = now;
    m_bytesDownloadedSince = m_bytesDownloaded;
    const qint64 blocks =
        qint64(bytes * quint64(kRequestQueueMs) / quint64(elapsed) / PeerMessage::kBlockSize) + 1;
    m_requestQueue = int(std::clamp<qint64>(blocks, kMinRequestQueue, m_requestQueue));
}

BandwidthProvision* PeerWire::downloadProvision()
{
    return m_torrent ? m_torrent->downloadProvision() : nullptr;
}

BandwidthProvision* PeerWire::uploadProvision()
{
    return m_torrent ? m_torrent->uploadProvision() : nullptr;
}

PeerAddress PeerWire::peerAddress() const
{
    return {qToBigEndian(m_address), m_port};
}

std::optional<PeerAddress> PeerWire::listeningAddress() const
{
    if (!m_incoming)
        return peerAddress();
    if (m_listeningPort == 0)
        return std::nullopt;
    return PeerAddress{qToBigEndian(m_address), m_listeningPort};
}

void PeerWire::end(const QString& reason, Ending cause)
{
    if (m_ended_)
        return;
    m_ended_ = true;
    m_ending = cause;
    m_streaming = false;
    m_pending.clear();  // other connections may ask for these blocks now
    if (!reason.isEmpty())
        std::fprintf(stderr, "*** Peer %s: %s\n", qPrintable(hostString().trimmed()), qPrintable(reason));
    m_socket->fail();
}

void PeerWire::terminatePeer()
{
    // A late call for the encrypted attempt's socket while the plain one runs.
    if (m_terminated || !m_socket->isClosed())
        return;
    if (!m_ended_ && mayRetryPlain()) {
        reconnectPlain();
        return;
    }
    m_terminated = true;
    m_ended_ = true;
    if (m_ending == Ending::Open)
        m_ending = Ending::Lost;  // the socket failed or the peer closed it
    m_streaming = false;
    m_socket->close();
    m_pending.clear();
    m_served.clear();
    if (m_ended)
        m_ended(*this);
}

void PeerWire::tick(qint64 now)
{
    m_now = now;
    if (m_ended_)
        return;
    if (m_receivedSinceTick)
        m_lastReceived = now;
    if (m_sentSinceTick)
        m_lastSent = now;
    m_receivedSinceTick = m_sentSinceTick = false;
    if (!m_streaming) {
        if (now - m_connectTime < kHandshakeTimeoutMs)
            return;
        if (mayRetryPlain())
            reconnectPlain();
        else
            end(QStringLiteral("no handshake within 10 s"), Ending::Lost);
        return;
    }
    fitRequestQueueToRate(now);
    if (now - m_lastReceived >= kSilenceLimitMs) {
        end(QStringLiteral("silent for 5 minutes"), Ending::Lost);
        return;
    }
    if (m_pending.size() > 0 && now - m_waitingSince >= kRequestTimeoutMs)
        giveBackRequests();
    if (now - m_lastSent >= kKeepAliveAfterMs)
        send(PeerMessage::keepAliveMessage());
    // Blocks freed where no message told this connection (a failed write, a time-out elsewhere) are asked
    // for within a second.
    if (m_weAreInterested)
        fillRequestQueue();
}

void PeerWire::giveBackRequests()
{
    std::fprintf(stderr, "*** Peer %s: %d requests unanswered for %lld s, asked of other peers\n",
                 qPrintable(hostString().trimmed()), m_pending.size(), kRequestTimeoutMs / 1000);
    QByteArray cancels;
    for (const auto& [block, length] : m_pending.blocks())
        cancels += PeerMessage::blockMessage(PeerMessage::Cancel, quint32(block >> 32), quint32(block), length);
    m_pending.clear();
    m_currentPiece = -1;
    m_waitingSince = m_now;
    send(cancels);
    m_torrent->requestsReleased(*this);
}

void PeerWire::send(const QByteArray& message)
{
    if (m_ended_)
        return;
    m_sentSinceTick = true;
    countWritten(message);
    m_socket->writeStream().writeHighPriorityMessage(message);
}

void PeerWire::sendLow(const QByteArray& message)
{
    if (m_ended_)
        return;
    m_sentSinceTick = true;
    countWritten(message);
    m_socket->writeStream().writeLowPriorityMessage(message);
}

void PeerWire::countWritten(const QByteArray& messages)
{
    // Our own messages, whole: a length, then an id unless it is a keep-alive.
    for (qsizetype at = 0; at + 4 <= messages.size();) {
        const quint32 length = qFromBigEndian<quint32>(messages.constData() + at);
        if (length == 0)
            ++m_stats.written.total;
        else if (at + 4 < messages.size())
            m_stats.written.recordMessage(quint8(messages[at + 4]));
        at += 4 + qsizetype(length);
    }
}

void PeerWire::processReadStreamBuffer()
{
    PZReadStream& in = m_socket->readStream();
    if (in.buflen() > 0)
        m_receivedSinceTick = true;
    m_parsing = true;
    while (!m_ended_ && in.buflen() > 0) {
        const bool consumed = m_mse ? readEncryptionHandshake() : m_streaming ? readMessage() : readHandshake();
        if (!consumed)
            break;
    }
    m_parsing = false;
    if (m_refillAfterParse) {
        m_refillAfterParse = false;
        fillRequestQueue();
    }
}

bool PeerWire::readEncryptionHandshake()
{
    PZReadStream& in = m_socket->readStream();
    in.drainBufferBy(m_mse->consume(in.mutableBuffer(), in.buflen()));
    const QByteArray output = m_mse->takeOutput();
    if (!output.isEmpty())
        m_socket->writeStream().writeHandshakingMessage(output, false);
    switch (m_mse->state()) {
    case MseHandshake::State::Running:
        return false;
    case MseHandshake::State::PeerSpeaksPlain:
        if (mayRetryPlain()) {
            reconnectPlain();
            return false;
        }
        m_mse.reset();
        return true;
    case MseHandshake::State::Failed:
        if (m_mse->failure() == MseHandshake::Failure::UnknownTorrent && !m_refusal.isEmpty())
            end(m_refusal);
        else
            end(encryptionFailure(m_mse->failure()), Ending::BrokeProtocol);
        return false;
    case MseHandshake::State::Finished:
        break;
    }
    // The buffered rest is decrypted already; the ciphers (none when the peer chose plain) take the
    // bytes from here on.
    m_encrypted = m_mse->method() == MseHandshake::Method::RC4;
    m_socket->writeStream().setCipher(m_mse->takeEncryptCipher());
    in.setCipher(m_mse->takeDecryptCipher());
    m_mse.reset();
    return true;
}

bool PeerWire::readHandshake()
{
    PZReadStream& in = m_socket->readStream();
    if (in.buflen() < PeerHandshake::kSize)
        return false;
    const PeerHandshake h = PeerHandshake::read(in.buffer());
    if (!h.protocolMatches) {
        end(QStringLiteral("not a BitTorrent handshake"), Ending::BrokeProtocol);
        return false;
    }
    if (!m_torrent && !attach(h.infoHash, TorrentKey::InfoHash)) {
        const QString hash = QString::fromLatin1(h.infoHash.toHex());
        end(m_refusal.isEmpty() ? QStringLiteral("no torrent for the info hash %1").arg(hash) : m_refusal);
        return false;
    }
    if (h.infoHash != m_torrent->infoHash()) {
        end(QStringLiteral("handshake for another torrent"), Ending::BrokeProtocol);
        return false;
    }
    if (h.peerId == m_torrent->peerId()) {
        // Accepted from ourselves: the address dialled is ours, and our handshake, with the same id, tells
        // the dialling side so before the connection closes.
        if (m_incoming) {
            if (const std::optional<PeerAddress> local = localAddressOf(m_socket->descriptor()))
                m_torrent->connectedToOurselves(*local);
            m_socket->writeStream().writeHandshakingMessage(
                PeerMessage::handshake(m_torrent->infoHash(), m_torrent->peerId()), true);
        }
        end(QStringLiteral("connected to ourselves"), Ending::Ourselves);
        return false;
    }
    if (m_torrent->isPeerIdConnected(h.peerId, this)) {
        end(QStringLiteral("peer id already connected"));
        return false;
    }
    if (m_incoming)
        m_socket->writeStream().writeHandshakingMessage(
            PeerMessage::handshake(m_torrent->infoHash(), m_torrent->peerId()), true);
    m_remotePeerId = h.peerId;
    m_supportsExtensions = h.supportsExtensions;
    m_supportsFast = h.supportsFast;
    m_supportsDht = h.supportsDht;
    in.drainBufferBy(PeerHandshake::kSize);
    m_streaming = m_reachedMessages = true;
    afterHandshake();
    return true;
}

void PeerWire::afterHandshake()
{
    if (m_supportsExtensions) {
        const QString version = QStringLiteral("Ombrelay %1 (v%2)")
                                    .arg(PZVersionChecker::applicationMajorVersion(),
                                         PZVersionChecker::applicationBuildVersion());
        send(PeerMessage::extensionHandshake(m_torrent->publicPort(), kServedRequests, version));
    }
    if (m_supportsDht)
        send(PeerMessage::portMessage(m_torrent->publicPort()));
    writeBitfield();
}

void PeerWire::writeBitfield()
{
    const quint32 count = m_torrent->pieceCount();
    QByteArray bits(qsizetype((quint64(count) + 7) / 8), '\0');
    quint32 verified = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (m_torrent->isPieceVerified(i)) {
            bits[i / 8] = char(quint8(bits[i / 8]) | (0x80 >> (i % 8)));
            ++verified;
        }
    }
    if (m_supportsFast && verified == count)
        send(PeerMessage::simple(PeerMessage::HaveAll));
    else if (m_supportsFast && verified == 0)
        send(PeerMessage::simple(PeerMessage::HaveNone));
    else if (verified > 0)
        send(PeerMessage::bitfield(bits));
}

bool PeerWire::readMessage()
{
    PZReadStream& in = m_socket->readStream();
    const PeerMessageReader::Result r = PeerMessageReader::read(in.buffer(), in.buflen(), m_torrent->pieceCount());
    switch (r.status) {
    case PeerMessageReader::Status::NeedMore:
        countArrivingPieceBytes();
        return false;
    case PeerMessageReader::Status::Fault:
        end(r.fault, Ending::BrokeProtocol);
        return false;
    case PeerMessageReader::Status::Message:
        break;
    }
    in.drainBufferBy(r.consumed);
    if (!r.message.keepAlive && r.message.id == PeerMessage::Piece)
        countPieceBytes(quint32(r.message.payload.size()));
    m_pieceBytesCounted = 0;
    if (r.message.keepAlive)
        ++m_stats.read.total;
    else
        m_stats.read.recordMessage(r.message.id);
    handle(r.message);
    return true;
}

quint32 PeerWire::pendingPieceSize() const
{
    constexpr qsizetype kPieceHeader = 13;  // length, id, index, begin
    if (!m_streaming || m_ended_)
        return 0;
    const PZReadStream& in = m_socket->readStream();
    if (in.buflen() <= kPieceHeader || quint8(in.buffer()[4]) != PeerMessage::Piece)
        return 0;
    const quint32 length = qFromBigEndian<quint32>(in.buffer());
    if (length < kPieceHeader - 4)
        return 0;
    return quint32(std::min<quint64>(quint64(in.buflen() - kPieceHeader), quint64(length) - (kPieceHeader - 4)));
}

void PeerWire::countArrivingPieceBytes()
{
    countPieceBytes(pendingPieceSize());
}

void PeerWire::countPieceBytes(quint32 arrived)
{
    if (arrived <= m_pieceBytesCounted)
        return;
    m_torrent->pieceBytesReceived(arrived - m_pieceBytesCounted);
    m_pieceBytesCounted = arrived;
}

void PeerWire::handle(const PeerMessage& m)
{
    if (m.keepAlive || !m.known)
        return;
    switch (m.id) {
    case PeerMessage::HaveAll:
    case PeerMessage::HaveNone:
    case PeerMessage::Suggest:
    case PeerMessage::Reject:
    case PeerMessage::AllowedFast:
        if (!m_supportsFast)
            return end(QStringLiteral("Fast extension message %1 without the extension").arg(m.id),
                       Ending::BrokeProtocol);
        break;
    default:
        break;
    }
    switch (m.id) {
    case PeerMessage::Choke:
        m_weAreChoked = true;
        // Without the Fast extension a choke drops every request: the other connections may take them.
        if (!m_supportsFast) {
            const bool held = m_pending.size() > 0;
            m_pending.clear();
            m_currentPiece = -1;
            if (held)
                m_torrent->requestsReleased(*this);
        }
        break;
    case PeerMessage::Unchoke:
        m_weAreChoked = false;
        fillRequestQueue();
        break;
    case PeerMessage::Interested:
        m_peerInterested = true;
        updateChoke();
        break;
    case PeerMessage::NotInterested:
        m_peerInterested = false;
        break;
    case PeerMessage::Have:
        addAvailable(m.index);
        updateInterest();
        break;
    // Also later in the connection: some peers announce a batch of new pieces as a whole piece list.
    case PeerMessage::Bitfield:
    case PeerMessage::HaveAll:
    case PeerMessage::HaveNone:
        if (m.id == PeerMessage::HaveAll)
            m_available.fill(true);
        for (quint32 i = 0; m.id == PeerMessage::Bitfield && i < m_torrent->pieceCount(); ++i)
            m_available.setBit(int(i), (quint8(m.payload[i / 8]) & (0x80 >> (i % 8))) != 0);
        m_torrent->piecesAnnounced(m_available);
        updateInterest();
        break;
    case PeerMessage::Suggest:
    case PeerMessage::AllowedFast:
        addAvailable(m.index);
        updateInterest();
        // An allowed-fast piece may be asked for while choked.
        if (!m_ended_ && (m.id == PeerMessage::AllowedFast || !m_weAreChoked))
            writeRequestsForPiece(m.index);
        break;
    case PeerMessage::Request:
        handleRequest(m);
        break;
    case PeerMessage::Piece:
        handlePiece(m);
        break;
    case PeerMessage::Cancel:
        handleCancel(m);
        break;
    case PeerMessage::Reject:
        if (m_pending.remove(PendingRequests::key(m.index, m.begin)))
            fillRequestQueue();
        break;
    case PeerMessage::Port:
        if (m.port != 0)
            m_torrent->pingDhtNode(m_address, m.port);
        break;
    case PeerMessage::Extended:
        handleExtended(m);
        break;
    default:
        break;
    }
}

void PeerWire::handleExtended(const PeerMessage& m)
{
    if (m.extendedId != 0 && m.extendedId != PeerMessage::kPexId)
        return;
    const Bdecoder decoder(m.payload, PeerMessage::kMaxExtendedPayload);
    const BValue& dict = decoder.object();
    if (!dict.isDict())
        return;
    if (m.extendedId == 0) {
        const qint64 reqq = dict["reqq"].asInt(0);
        m_reqq = int(std::clamp<qint64>(reqq, 0, kOurRequestQueue));
        // An extended id is one byte: anything else names no message.
        const auto extendedId = [&dict](const char* name) {
            const qint64 id = dict["m"][name].asInt(0);
            return id > 0 && id <= 255 ? int(id) : 0;
        };
        m_pexMessageId = extendedId("ut_pex");
        m_remoteTorrentId = extendedId("ut_metadata");
        m_remoteTorrentSize = std::max<qint64>(dict["metadata_size"].asInt(0), 0);
        // An incoming peer came from a port of the moment: where it listens is what it names here. The
        // first port named stays, so its row does not move while it is connected.
        const qint64 port = dict["p"].asInt(0);
        if (m_incoming && m_listeningPort == 0 && port > 0 && port <= 0xFFFF) {
            m_listeningPort = quint16(port);
            m_torrent->listeningPortNamed(*this);
        }
        fillRequestQueue();
        return;
    }
    const QByteArray added = dict["added"].asBytes();
    if (!added.isEmpty())
        m_torrent->peersExchanged(*this, added);
}

void PeerWire::addAvailable(quint32 piece)
{
    if (m_available.testBit(int(piece)))
        return;
    m_available.setBit(int(piece));
    m_torrent->piecesAnnounced(m_available);
}

void PeerWire::updateInterest()
{
    if (isSeed() && m_torrent->isSeeding())
        return end(QString());
    bool interesting = false;
    for (quint32 i = 0; !interesting && i < m_torrent->pieceCount(); ++i)
        interesting = m_available.testBit(int(i)) && m_torrent->isPieceNeeded(i);
    setInterested(interesting);
    if (interesting)
        fillRequestQueue();
}

void PeerWire::setInterested(bool interested)
{
    if (interested == m_weAreInterested)
        return;
    m_weAreInterested = interested;
    send(PeerMessage::simple(interested ? PeerMessage::Interested : PeerMessage::NotInterested));
}

quint32 PeerWire::blockLength(quint32 piece, quint32 offset) const
{
    const quint32 size = m_torrent->pieceSize(piece);
    return offset >= size ? 0 : qMin(size - offset, PeerMessage::kBlockSize);
}

void PeerWire::requestBlock(quint32 piece, quint32 offset, QByteArray& batch, bool duplicate)
{
    const quint32 length = blockLength(piece, offset);
    const quint64 block = PendingRequests::key(piece, offset);
    if (length == 0 || (!duplicate && m_pending.torrentRequests().count(block) > 0)
        || m_torrent->hasBlock(piece, offset) || !m_pending.add(block, length))
        return;
    if (m_pending.size() == 1)
        m_waitingSince = m_now;
    batch += PeerMessage::blockMessage(PeerMessage::Request, piece, offset, length);
}

void PeerWire::writeRequestsForPiece(quint32 piece)
{
    if (!m_streaming || !m_torrent->isPieceNeeded(piece) || !m_torrent->mayRequestBlocks())
        return;
    // However many pieces a peer names, no more than a full request queue is pending with it.
    QByteArray batch;
    for (quint32 offset = 0; offset < m_torrent->pieceSize(piece) && m_pending.size() < requestQueueLimit();
         offset += PeerMessage::kBlockSize)
        requestBlock(piece, offset, batch);
    if (!batch.isEmpty())
        send(batch);
}

void PeerWire::fillRequestQueue()
{
    if (m_parsing) {
        m_refillAfterParse = true;
        return;
    }
    if (m_ended_ || !m_streaming || m_weAreChoked || !m_torrent->mayRequestBlocks())
        return;
    const int depth = requestQueueDepth();
    // Requests leave in batches of a sixteenth of the queue at least: fewer, fuller writes for both sides.
    if (depth - m_pending.size() < std::max(1, depth / 16))
        return;
    QByteArray batch;
    PieceDraw draw;
    while (m_pending.size() < depth) {
        if (m_currentPiece < 0) {
            m_currentPiece = pickPiece(draw);
            if (m_currentPiece < 0)
                break;
            m_currentOffset = 0;
            // Every block of it arrived already and waits for its check: nothing to ask for.
            if (m_torrent->hasAllBlocks(quint32(m_currentPiece))) {
                m_currentPiece = -1;
                continue;
            }
        }
        const quint32 piece = quint32(m_currentPiece);
        requestBlock(piece, m_currentOffset, batch);
        m_currentOffset += PeerMessage::kBlockSize;
        if (m_currentOffset >= m_torrent->pieceSize(piece))
            m_currentPiece = -1;
    }
    if (m_pending.size() < depth && inEndGame())
        requestDuplicates(depth, batch);
    if (!batch.isEmpty())
        send(batch);
}

bool PeerWire::inEndGame() const
{
    const RequestedBlocks& requested = m_pending.torrentRequests();
    for (quint32 piece = 0; piece < m_torrent->pieceCount(); ++piece) {
        if (!m_torrent->isPieceNeeded(piece))
            continue;
        for (quint32 offset = 0; offset < m_torrent->pieceSize(piece); offset += PeerMessage::kBlockSize) {
            if (requested.count(PendingRequests::key(piece, offset)) == 0 && !m_torrent->hasBlock(piece, offset)) {
                // A piece that no peer has waits for one that has it, not for the end game.
                if (m_torrent->isPieceAvailable(piece))
                    return false;
                break;
            }
        }
    }
    return true;
}

void PeerWire::requestDuplicates(int depth, QByteArray& batch)
{
    const quint32 count = m_torrent->pieceCount();
    const quint32 first = QRandomGenerator::global()->bounded(count);
    for (quint32 k = 0; k < count && m_pending.size() < depth; ++k) {
        const quint32 piece = (first + k) % count;
        if (!m_available.testBit(int(piece)) || !m_torrent->isPieceNeeded(piece))
            continue;
        for (quint32 offset = 0; offset < m_torrent->pieceSize(piece) && m_pending.size() < depth;
             offset += PeerMessage::kBlockSize)
            requestBlock(piece, offset, batch, true);
    }
}

qint64 PeerWire::pickPiece(PieceDraw& draw) const
{
    const quint32 count = m_torrent->pieceCount();
    const auto eligible = [&](quint32 i) { return m_available.testBit(int(i)) && m_torrent->isPieceNeeded(i); };
    if (count == 0)
        return -1;
    // Drawing until a piece fits is uniform over those that fit and cheap while they are many; a list
    // of every piece that fits, made once per fill and drawn from without replacement, takes over when
    // they are few.
    constexpr int kDraws = 32;
    for (int attempt = 0; !draw.listed && attempt < kDraws; ++attempt) {
        const quint32 i = QRandomGenerator::global()->bounded(count);
        if (eligible(i) && std::find(draw.taken.begin(), draw.taken.end(), i) == draw.taken.end()) {
            draw.taken.push_back(i);
            return i;
        }
    }
    if (!draw.listed) {
        draw.listed = true;
        std::vector<bool> taken(count);
        for (quint32 i : draw.taken)
            taken[i] = true;
        for (quint32 i = 0; i < count; ++i)
            if (!taken[i] && eligible(i))
                draw.candidates.push_back(i);
    }
    if (draw.candidates.empty())
        return -1;
    const quint32 at = QRandomGenerator::global()->bounded(quint32(draw.candidates.size()));
    const quint32 piece = draw.candidates[at];
    draw.candidates[at] = draw.candidates.back();
    draw.candidates.pop_back();
    return piece;
}

void PeerWire::cancelRequestsForPiece(quint32 piece)
{
    for (const auto& [block, length] : m_pending.takePiece(piece))
        send(PeerMessage::blockMessage(PeerMessage::Cancel, piece, quint32(block), length));
    if (m_currentPiece == qint64(piece))
        m_currentPiece = -1;
}

void PeerWire::cancelBlock(quint32 piece, quint32 offset)
{
    const quint64 block = PendingRequests::key(piece, offset);
    const std::optional<quint32> length = m_pending.lengthOf(block);
    if (m_ended_ || !length)
        return;
    m_pending.remove(block);
    send(PeerMessage::blockMessage(PeerMessage::Cancel, piece, offset, *length));
}

void PeerWire::pieceVerified(quint32 piece)
{
    if (!m_streaming || m_ended_ || piece >= m_torrent->pieceCount())
        return;
    if (!m_available.testBit(int(piece)))
        send(PeerMessage::withIndex(PeerMessage::Have, piece));
    cancelRequestsForPiece(piece);
    updateInterest();
}

void PeerWire::cancelUnneededPieces()
{
    if (!m_streaming || m_ended_)
        return;
    std::vector<quint32> unneeded;
    for (const auto& [key, length] : m_pending.blocks()) {
        const quint32 piece = quint32(key >> 32);
        if (!m_torrent->isPieceNeeded(piece) && (unneeded.empty() || unneeded.back() != piece))
            unneeded.push_back(piece);
    }
    for (quint32 piece : unneeded)
        cancelRequestsForPiece(piece);
    updateInterest();
}

void PeerWire::handlePiece(const PeerMessage& m)
{
    const quint64 block = PendingRequests::key(m.index, m.begin);
    const std::optional<quint32> length = m_pending.lengthOf(block);
    if (!length || *length != quint32(m.payload.size())) {
        // Late blocks after a cancel or a choke are normal; a block that does not fit what we asked is not.
        const bool aligned = m.begin % PeerMessage::kBlockSize == 0
                             && quint32(m.payload.size()) == blockLength(m.index, m.begin);
        if (!aligned && ++m_pieceViolations >= kMaxPieceViolations)
            end(QStringLiteral("blocks that were never requested"), Ending::BrokeProtocol);
        return;
    }
    m_pending.remove(block);
    m_waitingSince = m_now;
    m_requestQueue = qMin(m_requestQueue + 1, kOurRequestQueue);
    m_bytesDownloaded += quint64(m.payload.size());
    m_torrent->blockArrived(*this, m.index, m.begin, m.payload);
    fillRequestQueue();
    updateChoke();
}

void PeerWire::didUploadBytes(quint32 bytes)
{
    m_servingBytes -= std::min<quint64>(m_servingBytes, bytes);
    // Inside a write: the next reads start on the next pass of the event loop.
    if (!m_serveScheduled && m_servingBytes < kServeAheadBytes
        && std::any_of(m_served.begin(), m_served.end(), [](const Served& s) { return !s.reading; })) {
        m_serveScheduled = true;
        const std::weak_ptr<int> alive = m_alive;
        QTimer::singleShot(0, m_socket.get(), [this, alive] {
            if (alive.expired())
                return;
            m_serveScheduled = false;
            serveRequests();
        });
    }
    m_bytesUploaded += bytes;
    if (m_torrent)
        m_torrent->pieceBytesSent(bytes);
}

void PeerWire::reject(quint32 index, quint32 begin, quint32 length)
{
    if (m_supportsFast)
        send(PeerMessage::blockMessage(PeerMessage::Reject, index, begin, length));
}

void PeerWire::handleRequest(const PeerMessage& m)
{
    const quint64 end64 = quint64(m.begin) + m.length;
    if (m.length == 0 || m.length > PeerMessage::kLenientBlockSize || end64 > m_torrent->pieceSize(m.index))
        return end(
            QStringLiteral("request of %1 bytes at %2 of piece %3").arg(m.length).arg(m.begin).arg(m.index),
            Ending::BrokeProtocol);
    if (m_weAreChoking || !m_torrent->isPieceVerified(m.index) || m_served.size() >= size_t(kServedRequests))
        return reject(m.index, m.begin, m.length);
    m_served.push_back({m.index, m.begin, m.length, ++m_servedSerial});
    serveRequests();
    updateChoke();
}

void PeerWire::serveRequests()
{
    while (m_servingBytes < kServeAheadBytes && !m_ended_) {
        const auto it = std::find_if(m_served.begin(), m_served.end(), [](const Served& s) { return !s.reading; });
        if (it == m_served.end())
            return;
        it->reading = true;
        m_servingBytes += it->length;
        readServed(*it);  // may answer at once and leave m_served
    }
}

void PeerWire::readServed(const Served& served)
{
    const quint64 serial = served.serial;
    const quint32 length = served.length;
    const std::weak_ptr<int> alive = m_alive;
    m_torrent->readBlock(served.index, served.begin, length, [this, alive, serial, length](std::optional<QByteArray> data) {
        if (alive.expired() || m_ended_)
            return;
        const auto it = std::find_if(m_served.begin(), m_served.end(),
                                     [serial](const Served& s) { return s.serial == serial; });
        const bool sending = it != m_served.end() && data && quint32(data->size()) == length;
        if (!sending)  // cancelled, refused or gone: its bytes never reach the socket
            m_servingBytes -= std::min<quint64>(m_servingBytes, length);
        if (it == m_served.end())
            return serveRequests();
        const Served s = *it;
        m_served.erase(it);
        if (!sending)
            reject(s.index, s.begin, s.length);
        else
            sendLow(PeerMessage::piece(s.index, s.begin, *data));
        serveRequests();
    });
}

void PeerWire::handleCancel(const PeerMessage& m)
{
    const auto it = std::find_if(m_served.begin(), m_served.end(), [&m](const Served& s) {
        return s.index == m.index && s.begin == m.begin && s.length == m.length;
    });
    if (it == m_served.end())
        return;
    m_served.erase(it);
    reject(m.index, m.begin, m.length);
}

void PeerWire::rejectQueuedRequests()
{
    std::deque<Served> queued;
    queued.swap(m_served);
    for (const Served& s : queued)
        reject(s.index, s.begin, s.length);
}

void PeerWire::updateChoke()
{
    if (m_ended_ || !m_streaming)
        return;
    const bool zeroLimit = m_torrent->uploadLimitIsZero();
    bool choke;
    if (m_bytesUploaded >= m_bytesDownloaded + kChokeAfterUploadSurplus)
        choke = !m_torrent->isSeeding() || zeroLimit;
    else
        choke = zeroLimit;
    setChoking(choke);
}

void PeerWire::setChoking(bool choke)
{
    if (choke == m_weAreChoking)
        return;
    m_weAreChoking = choke;
    sendLow(PeerMessage::simple(choke ? PeerMessage::Choke : PeerMessage::Unchoke));
    if (choke)
        rejectQueuedRequests();
}

}  // namespace ombrelay
