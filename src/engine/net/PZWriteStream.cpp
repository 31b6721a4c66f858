#include "engine/net/PZWriteStream.h"

#include "engine/net/BandwidthProvision.h"
#include "engine/net/PZSocket.h"
#include "engine/net/PZWriteStreamDispatcher.h"
#include "engine/net/StreamPeer.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>

namespace ombrelay {
namespace {

// Committed bytes are handed to the socket whenever this much has gathered.
constexpr qsizetype kSendBatch = 64 * 1024;
// A writable event moves at most this many chunks, so one fast connection cannot starve the others.
constexpr int kMaxChunksPerBulkPass = 256;

}  // namespace

PZWriteStream::PZWriteStream(PZSocket& socket) : m_socket(socket) {}

PZWriteStream::~PZWriteStream()
{
    PZWriteStreamDispatcher::instance().removePendingMessagesForStream(this);
}

void PZWriteStream::setCipher(std::unique_ptr<StreamCipher> cipher)
{
    m_cipher = std::move(cipher);
}

void PZWriteStream::writeHighPriorityMessage(const QByteArray& data)
{
    if (m_socket.isClosed())
        return;
    m_pendingWrites.push_back({data, 0, m_cipher != nullptr});
    flushStream();
    afterWrite();
}

void PZWriteStream::writeLowPriorityMessage(const QByteArray& data)
{
    if (m_socket.isClosed() || data.isEmpty())
        return;
    const bool idle = m_lowPriority.empty() && unsentBytes() == 0;
    m_lowPriority.push_back({data, 0, m_cipher != nullptr});
    PZWriteStreamDispatcher::instance().queueLowPriorityMessage(this);
    // Behind earlier output the message waits for the writable event, which moves everything queued in
    // large writes; on an idle stream its first chunk goes at once. Under a limit it waits for its turn,
    // unless it is a choke or unchoke, which no budget holds back.
    if (idle && (data.size() < kUnbudgetedBelow || !isRateLimited()))
        dispatchPass(false);
    else
        afterWrite();
}

void PZWriteStream::writeHandshakingMessage(const QByteArray& data, bool encrypt)
{
    if (m_socket.isClosed())
        return;
    m_pendingWrites.push_back({data, 0, encrypt});
    flushStream();
    afterWrite();
}

void PZWriteStream::commit(const char* data, qsizetype length, bool encrypt)
{
    const qsizetype old = m_out.size();
    m_out.append(data, length);
    if (encrypt && m_cipher)
        m_cipher->apply(m_out.data() + old, length);
}

void PZWriteStream::commitPendingWrites()
{
    for (const Message& message : m_pendingWrites)
        commit(message.data.constData(), message.data.size(), message.encrypt);
    m_pendingWrites.clear();
}

void PZWriteStream::flushStream()
{
    if (m_socket.isClosed() || !m_socket.isOpen())
        return;
    if (!m_partialPiece)
        commitPendingWrites();
    sendOut();
}

bool PZWriteStream::sendOut()
{
    while (m_outHead < m_out.size()) {
        const ssize_t sent = ::send(m_socket.descriptor(), m_out.constData() + m_outHead,
                                    size_t(m_out.size() - m_outHead), MSG_NOSIGNAL);
        if (sent > 0) {
            m_outHead += sent;
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        m_socket.fail();
        return false;
    }
    if (m_outHead == m_out.size()) {
        m_out.resize(0);
        m_outHead = 0;
    } else if (m_outHead >= kSendBatch) {
        m_out.remove(0, m_outHead);
        m_outHead = 0;
    }
    return true;
}

bool PZWriteStream::writeChunk()
{
    Message& message = m_lowPriority.front();
    if (message.sent == 0 && message.data.size() < kUnbudgetedBelow) {
        commit(message.data.constData(), message.data.size(), message.encrypt);
        m_lowPriority.pop_front();
        return true;
    }
    StreamPeer* peer = m_socket.peer();
    BandwidthProvision* torrent = peer ? peer->uploadProvision() : nullptr;
    BandwidthProvision& global = BandwidthProvision::globalUploadProvision();
    qint64 chunk = std::min(message.data.size() - message.sent, kChunkSize);
    if (!torrent || !torrent->isExempt()) {
        if (torrent)
            chunk = std::min<qint64>(chunk, torrent->bytesAvailableForConsumption());
        chunk = std::min<qint64>(chunk, global.bytesAvailableForConsumption());
    }
    if (chunk < 1)
        return false;
    commit(message.data.constData() + message.sent, chunk, message.encrypt);
    const qint64 counted = message.sent + chunk - std::max<qint64>(message.sent, kPieceHeaderBytes);
    message.sent += chunk;
    if (torrent)
        torrent->consumedBytes(quint32(chunk));
    global.consumedBytes(quint32(chunk));
    if (message.sent == message.data.size()) {
        m_lowPriority.pop_front();
        m_partialPiece = false;
        // High-priority messages held back by the piece go right after its last byte.
        commitPendingWrites();
    } else {
        m_partialPiece = true;
    }
    if (counted > 0 && peer)
        peer->didUploadBytes(quint32(counted));
    return true;
}

void PZWriteStream::dispatchPass(bool bulk)
{
    if (m_socket.isClosed()) {
        m_lowPriority.clear();
        return;
    }
    if (!m_socket.isOpen())
        return;
    m_budgetBlocked = false;
    if (!sendOut())
        return;
    if (unsentBytes() > 0) {  // the socket is full: wait for it to turn writable
        afterWrite();
        return;
    }
    int chunks = 0;
    while (!m_lowPriority.empty()) {
        if (!writeChunk()) {
            m_budgetBlocked = true;
            break;
        }
        if (m_socket.isClosed())
            return;
        ++chunks;
        if (!bulk && m_partialPiece)
            break;
        if (unsentBytes() >= kSendBatch) {
            if (!sendOut())
                return;
            if (unsentBytes() > 0)
                break;
        }
        if (bulk && chunks >= kMaxChunksPerBulkPass)
            break;
    }
    if (sendOut())
        afterWrite();
}

PZWriteStream::Turn PZWriteStream::takeTurn()
{
    if (m_socket.isClosed())
        m_lowPriority.clear();
    if (m_lowPriority.empty())
        return Turn::Done;
    if (!m_socket.isOpen())
        return Turn::Waiting;
    m_budgetBlocked = false;
    if (!sendOut())
        return Turn::Done;
    bool wrote = false;
    if (unsentBytes() == 0) {  // else the socket is full: the bytes committed go first
        wrote = writeChunk();
        m_budgetBlocked = !wrote;
        if (wrote && (m_socket.isClosed() || !sendOut()))
            return Turn::Done;
    }
    afterWrite();
    if (m_lowPriority.empty())
        return Turn::Done;
    return wrote ? Turn::Served : Turn::Waiting;
}

bool PZWriteStream::isRateLimited() const
{
    StreamPeer* peer = m_socket.peer();
    const BandwidthProvision* torrent = peer ? peer->uploadProvision() : nullptr;
    if (torrent && torrent->isExempt())
        return false;
    return (torrent && torrent->isEnabled()) || BandwidthProvision::globalUploadProvision().isEnabled();
}

void PZWriteStream::socketWritable()
{
    flushStream();
    if (!m_socket.isClosed() && unsentBytes() == 0 && !m_lowPriority.empty() && !isRateLimited())
        dispatchPass(true);
}

void PZWriteStream::closeStream()
{
    m_lowPriority.clear();
    m_pendingWrites.clear();
    m_out.clear();
    m_outHead = 0;
    m_partialPiece = false;
    PZWriteStreamDispatcher::instance().removePendingMessagesForStream(this);
}

bool PZWriteStream::waitsForSocket() const
{
    return unsentBytes() > 0 || (!m_pendingWrites.empty() && !m_partialPiece)
        || (!m_lowPriority.empty() && !m_budgetBlocked && !isRateLimited());
}

void PZWriteStream::afterWrite()
{
    m_socket.updateInterest();
}

}  // namespace ombrelay
