#include "engine/wire/MseHandshake.h"

#include "engine/crypto/DiffieHellman.h"
#include "engine/crypto/RC4.h"
#include "kit/ByteReader.h"
#include "kit/ByteWriter.h"
#include "kit/PZCrypto.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cstring>
#include <utility>

namespace ombrelay {
namespace {

constexpr char kPlainHeader[] = "\x13" "BitTorrent protocol";
constexpr qsizetype kPlainHeaderLength = 20;
constexpr qsizetype kHashLength = 20;
constexpr qsizetype kVCLength = 8;
// RC4 keys skip this much of their key stream before use.
constexpr qsizetype kKeyStreamDiscard = 1024;

QByteArray hashOf(const char* tag, const QByteArray& value)
{
    return PZCrypto::sha1(QByteArray(tag) + value);
}

QByteArray xorOf(QByteArray a, const QByteArray& b)
{
    for (qsizetype n = 0; n < a.size() && n < b.size(); ++n)
        a[n] = char(a[n] ^ b[n]);
    return a;
}

bool isPlainHeader(const char* p)
{
    return std::memcmp(p, kPlainHeader, kPlainHeaderLength) == 0;
}

}  // namespace

MseHandshake::MseHandshake(Role role, Options options)
    : m_role(role),
      m_step(role == Role::Initiator ? Step::ReadYb : Step::ReadYa),
      m_keyPair(options.keyPair ? options.keyPair : &DiffieHellman::diffieHellmanInstance()),
      m_random(options.random ? std::move(options.random) : [] { return QRandomGenerator::global()->generate(); })
{
}

MseHandshake::MseHandshake(MseHandshake&&) noexcept = default;
MseHandshake& MseHandshake::operator=(MseHandshake&&) noexcept = default;
MseHandshake::~MseHandshake() = default;

MseHandshake MseHandshake::initiator(const QByteArray& infoHash, const QByteArray& initialPayload, Options options)
{
    Q_ASSERT(initialPayload.size() <= 0xffff);
    MseHandshake handshake(Role::Initiator, std::move(options));
    handshake.m_infoHash = infoHash;
    handshake.m_initialPayload = initialPayload.left(0xffff);
    handshake.m_output = handshake.publicKeyAndRandomPadding();  // writeYa
    return handshake;
}

MseHandshake MseHandshake::responder(TorrentResolver resolver, Options options)
{
    MseHandshake handshake(Role::Responder, std::move(options));
    handshake.m_resolver = std::move(resolver);
    return handshake;
}

MseHandshake::TorrentResolver MseHandshake::resolverFor(const QList<QByteArray>& infoHashes)
{
    QList<QByteArray> obfuscated;
    for (const QByteArray& infoHash : infoHashes)
        obfuscated.append(obfuscatedInfoHash(infoHash));
    return [infoHashes, obfuscated](const QByteArray& wanted) {
        const qsizetype at = obfuscated.indexOf(wanted);
        return at < 0 ? QByteArray() : infoHashes[at];
    };
}

QByteArray MseHandshake::obfuscatedInfoHash(const QByteArray& infoHash)
{
    return hashOf("req2", infoHash);
}

QByteArray MseHandshake::takeOutput()
{
    return std::exchange(m_output, QByteArray());
}

std::unique_ptr<StreamCipher> MseHandshake::takeEncryptCipher()
{
    if (m_state != State::Finished || m_method != Method::RC4)
        return nullptr;
    return std::move(m_encryptKey);
}

std::unique_ptr<StreamCipher> MseHandshake::takeDecryptCipher()
{
    if (m_state != State::Finished || m_method != Method::RC4)
        return nullptr;
    return std::move(m_decryptKey);
}

qsizetype MseHandshake::consume(char* data, qsizetype length)
{
    Input in{data, length, 0};
    while (m_state == State::Running && runStep(in)) {
    }
    return in.pos;
}

bool MseHandshake::runStep(Input& in)
{
    switch (m_step) {
    case Step::ReadYb: return readYb(in);
    case Step::ReadVC: return readVC(in);
    case Step::ReadCryptoSelect: return readCryptoSelect(in);
    case Step::ReadLenPadD: return readLenPadD(in);
    case Step::ReadPadD: return readPadD(in);
    case Step::ReadYa: return readYa(in);
    case Step::ReadReq1: return readReq1(in);
    case Step::ReadReq2: return readReq2(in);
    case Step::ReadCryptoProvide: return readCryptoProvide(in);
    case Step::ReadPadC: return readPadC(in);
    case Step::ReadIA: return readIA(in);
    }
    return false;
}

// Our public key (96 bytes) and 1 to 512 pad bytes of 0 to 254.
QByteArray MseHandshake::publicKeyAndRandomPadding()
{
    QByteArray bytes = m_keyPair->publicKey();
    const qsizetype padLength = qsizetype(m_random() & 511) + 1;
    for (qsizetype n = 0; n < padLength; ++n)
        bytes.append(char(m_random() % 255));
    return bytes;
}

// Ya or Yb: the peer's public key, unless the peer starts with a plain handshake.
bool MseHandshake::readPeerPublicKey(Input& in)
{
    if (in.available() >= kPlainHeaderLength && isPlainHeader(in.here())) {
        m_state = State::PeerSpeaksPlain;
        return false;
    }
    if (in.available() < kPublicKeyLength)
        return false;
    m_peerKeyReceived = true;
    m_sharedSecret = m_keyPair->sharedSecret(QByteArray(in.here(), kPublicKeyLength));
    if (m_sharedSecret.isEmpty())
        return fail(Failure::BadPublicKey);
    in.pos += kPublicKeyLength;
    return true;
}

// keyA encrypts what the initiator sends, keyB what the responder sends.
void MseHandshake::initKeys()
{
    const auto key = [this](const char* name) {
        auto rc4 = std::make_unique<RC4>(PZCrypto::sha1(QByteArray(name) + m_sharedSecret + m_infoHash));
        rc4->discard(kKeyStreamDiscard);
        return rc4;
    };
    const bool initiator = m_role == Role::Initiator;
    m_encryptKey = key(initiator ? "keyA" : "keyB");
    m_decryptKey = key(initiator ? "keyB" : "keyA");
}

// Looks for the pattern at most kMaxPadLength bytes into the input, passing over (consuming) the bytes
// that can no longer start it; ends the handshake when the pattern is not within that reach.
bool MseHandshake::findSync(Input& in, const QByteArray& pattern)
{
    const qsizetype window = std::min(in.available(), kMaxPadLength - m_skipped + pattern.size());
    const char* begin = in.here();
    const char* found = std::search(begin, begin + window, pattern.constBegin(), pattern.constEnd());
    if (found != begin + window) {
        in.pos += (found - begin) + pattern.size();
        m_skipped = 0;
        return true;
    }
    const qsizetype passed = std::max<qsizetype>(0, window - (pattern.size() - 1));
    in.pos += passed;
    m_skipped += passed;
    return m_skipped > kMaxPadLength ? fail(Failure::SyncNotFound) : false;
}

bool MseHandshake::fail(Failure failure)
{
    m_state = State::Failed;
    m_failure = failure;
    return false;
}

// The payload starts at the current position: the initial payload, always encrypted, then the stream,
// encrypted only with RC4.
void MseHandshake::finish(Input& in)
{
    m_state = State::Finished;
    m_decryptKey->apply(in.here(), m_lenIA);
    if (m_method == Method::RC4)
        m_decryptKey->apply(in.here() + m_lenIA, in.available() - m_lenIA);
}

// Initiator

bool MseHandshake::readYb(Input& in)
{
    if (!readPeerPublicKey(in))
        return false;
    writeHashReq1();
    m_step = Step::ReadVC;
    return true;
}

// req1 and req2 ^ req3 in the clear, then encrypted: VC, crypto_provide (RC4 only), no PadC, IA.
void MseHandshake::writeHashReq1()
{
    m_output += hashOf("req1", m_sharedSecret);
    m_output += xorOf(hashOf("req2", m_infoHash), hashOf("req3", m_sharedSecret));
    initKeys();
    QByteArray encrypted(kVCLength, '\0');
    appendBigEndian4(encrypted, quint32(Method::RC4));
    appendBigEndian2(encrypted, 0);
    appendBigEndian2(encrypted, quint16(m_initialPayload.size()));
    encrypted += m_initialPayload;
    m_encryptKey->apply(encrypted.data(), encrypted.size());
    m_output += encrypted;
    // The responder's VC, encrypted once; the decrypt key stays positioned after it.
    m_syncPattern = QByteArray(kVCLength, '\0');
    m_decryptKey->apply(m_syncPattern.data(), kVCLength);
}

bool MseHandshake::readVC(Input& in)
{
    if (!findSync(in, m_syncPattern))
        return false;
    m_step = Step::ReadCryptoSelect;
    return true;
}

bool MseHandshake::readCryptoSelect(Input& in)
{
    if (in.available() < 4)
        return false;
    m_decryptKey->apply(in.here(), 4);
    const quint32 select = ByteReader(QByteArrayView(in.here(), 4)).readBigEndian4();
    in.pos += 4;
    if (select & quint32(Method::RC4))
        m_method = Method::RC4;
    else if (select & quint32(Method::Plain))
        m_method = Method::Plain;
    else
        return fail(Failure::NoCommonMethod);
    m_step = Step::ReadLenPadD;
    return true;
}

bool MseHandshake::readLenPadD(Input& in)
{
    if (in.available() < 2)
        return false;
    m_decryptKey->apply(in.here(), 2);
    m_lenPad = ByteReader(QByteArrayView(in.here(), 2)).readBigEndian2();
    in.pos += 2;
    if (m_lenPad > kMaxPadLength)
        return fail(Failure::PadTooLong);
    m_step = Step::ReadPadD;
    return true;
}

bool MseHandshake::readPadD(Input& in)
{
    if (in.available() < m_lenPad)
        return false;
    m_decryptKey->apply(in.here(), m_lenPad);
    in.pos += m_lenPad;
    finish(in);
    return false;
}

// Responder

bool MseHandshake::readYa(Input& in)
{
    if (!readPeerPublicKey(in))
        return false;
    m_output += publicKeyAndRandomPadding();  // writeYb
    m_syncPattern = hashOf("req1", m_sharedSecret);
    m_step = Step::ReadReq1;
    return true;
}

bool MseHandshake::readReq1(Input& in)
{
    if (!findSync(in, m_syncPattern))
        return false;
    m_step = Step::ReadReq2;
    return true;
}

bool MseHandshake::readReq2(Input& in)
{
    if (in.available() < kHashLength)
        return false;
    const QByteArray obfuscated = xorOf(QByteArray(in.here(), kHashLength), hashOf("req3", m_sharedSecret));
    in.pos += kHashLength;
    m_infoHash = m_resolver ? m_resolver(obfuscated) : QByteArray();
    if (m_infoHash.isEmpty())
        return fail(Failure::UnknownTorrent);
    initKeys();
    m_step = Step::ReadCryptoProvide;
    return true;
}

bool MseHandshake::readCryptoProvide(Input& in)
{
    constexpr qsizetype kLength = kVCLength + 4 + 2;
    if (in.available() < kLength)
        return false;
    char* fields = in.here();
    m_decryptKey->apply(fields, kLength);
    in.pos += kLength;
    if (std::any_of(fields, fields + kVCLength, [](char c) { return c != 0; }))
        return fail(Failure::BadVerificationConstant);
    ByteReader reader(QByteArrayView(fields, kLength));
    reader.skip(kVCLength);
    const quint32 provide = reader.readBigEndian4();
    m_lenPad = reader.readBigEndian2();
    if (provide & quint32(Method::RC4))
        m_method = Method::RC4;
    else if (provide & quint32(Method::Plain))
        m_method = Method::Plain;
    else
        return fail(Failure::NoCommonMethod);
    if (m_lenPad > kMaxPadLength)
        return fail(Failure::PadTooLong);
    m_step = Step::ReadPadC;
    return true;
}

bool MseHandshake::readPadC(Input& in)
{
    if (in.available() < m_lenPad + 2)
        return false;
    m_decryptKey->apply(in.here(), m_lenPad + 2);
    m_lenIA = ByteReader(QByteArrayView(in.here() + m_lenPad, 2)).readBigEndian2();
    in.pos += m_lenPad + 2;
    m_step = Step::ReadIA;
    return true;
}

bool MseHandshake::readIA(Input& in)
{
    if (in.available() < m_lenIA)
        return false;
    writeVC();
    finish(in);
    return false;
}

// Encrypted: VC, crypto_select, no PadD.
void MseHandshake::writeVC()
{
    QByteArray encrypted(kVCLength, '\0');
    appendBigEndian4(encrypted, quint32(m_method));
    appendBigEndian2(encrypted, 0);
    m_encryptKey->apply(encrypted.data(), encrypted.size());
    m_output += encrypted;
}

}  // namespace ombrelay
