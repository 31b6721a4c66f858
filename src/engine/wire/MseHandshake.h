#pragma once

#include "engine/net/StreamCipher.h"

#include <QByteArray>
#include <QList>
#include <functional>
#include <memory>

namespace ombrelay {

class DiffieHellman;
class RC4;

struct MseHandshakeOptions
{
    // The key pair; the process-wide one when null.
    const DiffieHellman* keyPair = nullptr;
    // Pad lengths and pad bytes; the global random generator when empty.
    std::function<quint32()> random;
};

// The message stream encryption handshake of one connection, in either role, driven by the bytes the peer
// sends in whatever pieces they arrive.
//
// After every read the caller passes its unparsed input to consume() and drains the count it returns; it
// sends what takeOutput() holds as it is (the handshake encrypts its own messages). Once state() is
// Finished, the input past the consumed bytes is the start of the payload stream, already decrypted in
// place: first the initiator's initial payload (responder: initialPayloadLength() bytes, possibly 0, in
// which case the peer's plain BitTorrent handshake comes in the payload stream), then whatever followed
// it. The caller then installs takeEncryptCipher() and takeDecryptCipher() on its streams (both null when
// the peer selected plain) and carries on with the BitTorrent handshake.
//
// Every wait is bounded: pads of at most 512 bytes, the req1 and VC searches within 512 bytes of padding,
// an initial payload of at most 65535 bytes.
class MseHandshake
{
public:
    enum class Role { Initiator, Responder };
    enum class State {
        Running,          // waits for more input
        Finished,         // the payload stream follows; method() says how it is carried
        PeerSpeaksPlain,  // the input starts with a plain BitTorrent handshake and was left untouched
        Failed,           // the peer is to be ended; failure() says why
    };
    enum class Method { Plain = 0x01, RC4 = 0x02 };
    enum class Failure {
        None,
        BadPublicKey,             // the peer's value is not a usable public key
        SyncNotFound,             // no req1 (responder) or VC (initiator) within 512 bytes of padding
        UnknownTorrent,           // the obfuscated info hash names no torrent that takes the peer
        BadVerificationConstant,  // the initiator's VC is not 8 zero bytes
        NoCommonMethod,           // neither RC4 nor plain offered or selected
        PadTooLong,               // len(PadC) or len(PadD) above 512
    };

    // The info hash of the torrent to attach for an obfuscated info hash (obfuscatedInfoHash()), or an
    // empty array when no torrent matches or the matching torrent refuses the peer.
    using TorrentResolver = std::function<QByteArray(const QByteArray& obfuscatedInfoHash)>;

    using Options = MseHandshakeOptions;

    static constexpr qsizetype kMaxPadLength = 512;
    static constexpr qsizetype kPublicKeyLength = 96;

    // Outgoing: offers RC4 for the torrent `infoHash`; `initialPayload` (our 68-byte BitTorrent handshake,
    // at most 65535 bytes) travels encrypted in the third message. The output holds Ya and its padding.
    static MseHandshake initiator(const QByteArray& infoHash, const QByteArray& initialPayload, Options options = {});
    // Incoming: takes RC4 when offered, else plain; sends no PadD.
    static MseHandshake responder(TorrentResolver resolver, Options options = {});
    // A resolver over the info hashes of the torrents that take the peer, the first match winning.
    static TorrentResolver resolverFor(const QList<QByteArray>& infoHashes);
    // SHA-1 of "req2" and the info hash: how the initiator names its torrent.
    static QByteArray obfuscatedInfoHash(const QByteArray& infoHash);

    MseHandshake(MseHandshake&&) noexcept;
    MseHandshake& operator=(MseHandshake&&) noexcept;
    ~MseHandshake();

    // Runs the handshake over the caller's unparsed input and answers how many leading bytes it used (to
    // be drained). May rewrite bytes of `data` in place (decryption). Does nothing unless Running.
    qsizetype consume(char* data, qsizetype length);
    // Bytes to send, unencrypted by the caller.
    QByteArray takeOutput();

    State state() const { return m_state; }
    Failure failure() const { return m_failure; }
    // Finished: how the payload stream is carried.
    Method method() const { return m_method; }
    // Finished: the ciphers for the two directions, positioned after the handshake; null for plain.
    std::unique_ptr<StreamCipher> takeEncryptCipher();
    std::unique_ptr<StreamCipher> takeDecryptCipher();
    // Responder, finished: the length of the initiator's initial payload at the front of the payload.
    qsizetype initialPayloadLength() const { return m_lenIA; }
    // Responder: the info hash the resolver named.
    QByteArray infoHash() const { return m_infoHash; }
    // The peer's public key arrived (whether or not it was usable).
    bool hasPeerPublicKey() const { return m_peerKeyReceived; }
    // Initiator: the encrypted attempt has not got the peer's public key (or the peer answered with a
    // plain handshake). When the connection ends in this state (closed, reset, timed out, or
    // PeerSpeaksPlain), the caller reconnects once with the plain BitTorrent handshake and forgets the
    // peer only when that fails too.
    bool plainRetryApplies() const { return m_role == Role::Initiator && !m_peerKeyReceived; }

private:
    enum class Step { ReadYb, ReadVC, ReadCryptoSelect, ReadLenPadD, ReadPadD,
                      ReadYa, ReadReq1, ReadReq2, ReadCryptoProvide, ReadPadC, ReadIA };
    struct Input
    {
        char* data;
        qsizetype length;
        qsizetype pos;
        char* here() const { return data + pos; }
        qsizetype available() const { return length - pos; }
    };

    MseHandshake(Role role, Options options);

    bool runStep(Input& in);
    // Initiator steps.
    bool readYb(Input& in);
    void writeHashReq1();
    bool readVC(Input& in);
    bool readCryptoSelect(Input& in);
    bool readLenPadD(Input& in);
    bool readPadD(Input& in);
    // Responder steps.
    bool readYa(Input& in);
    bool readReq1(Input& in);
    bool readReq2(Input& in);
    bool readCryptoProvide(Input& in);
    bool readPadC(Input& in);
    bool readIA(Input& in);
    void writeVC();

    QByteArray publicKeyAndRandomPadding();
    bool readPeerPublicKey(Input& in);
    void initKeys();
    bool findSync(Input& in, const QByteArray& pattern);
    bool fail(Failure failure);
    void finish(Input& in);

    Role m_role;
    Step m_step;
    State m_state = State::Running;
    Failure m_failure = Failure::None;
    Method m_method = Method::Plain;
    const DiffieHellman* m_keyPair;
    std::function<quint32()> m_random;
    TorrentResolver m_resolver;
    QByteArray m_infoHash;        // SKEY
    QByteArray m_initialPayload;  // initiator's IA
    QByteArray m_sharedSecret;    // S
    QByteArray m_syncPattern;     // req1 hash (responder) or the encrypted VC (initiator)
    qsizetype m_skipped = 0;      // padding passed over by the current search
    quint16 m_lenPad = 0;         // len(PadC) or len(PadD)
    quint16 m_lenIA = 0;
    bool m_peerKeyReceived = false;
    std::unique_ptr<RC4> m_encryptKey;
    std::unique_ptr<RC4> m_decryptKey;
    QByteArray m_output;
};

}  // namespace ombrelay
