#include "engine/wire/PeerWireTestSupport.h"

#include <QtEndian>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

constexpr quint32 kPieceLength = 65536;
constexpr quint64 kTotal = 40 * quint64(kPieceLength) - 1000;  // a short last piece

// A peer that answers every outstanding request in one write, so many blocks are parsed from one read:
// the refills after them must still ask for each block it has exactly once, never for a piece it lacks,
// and never hold more requests than its queue takes.
class PeerWirePipelineTest : public PeerWireFixture
{
protected:
    void connectTo(const QByteArray& afterHandshake)
    {
        makeTorrent(kTotal, kPieceLength);
        dial(PeerWire::HandshakeMode::Plain);
        ASSERT_TRUE(acceptNext());
        remote->take(PeerHandshake::kSize);
        remote->write(remoteHandshake(0x05));
        ASSERT_TRUE(pumpUntil([&] { return wire->isStreamingMessages(); }));
        remote->write(afterHandshake);
    }
};

TEST_F(PeerWirePipelineTest, BurstsOfAnswersGetEveryBlockAskedForOnce)
{
    struct Case
    {
        const char* name;
        int reqq;         // 0: none announced
        quint32 everyNth; // the peer has every n-th piece
    };
    const Case cases[] = {
        {"queue of 5, every piece", 5, 1},
        {"default queue, every other piece", 0, 2},
        {"queue of 40, every third piece", 40, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bits(5, '\0');
        for (quint32 p = 0; p < 40; p += c.everyNth)
            bits[p / 8] = char(quint8(bits[p / 8]) | (0x80 >> (p % 8)));
        QByteArray script;
        if (c.reqq > 0)
            script += PeerMessage::extended(0, QByteArray("d4:reqqi") + QByteArray::number(c.reqq) + "ee");
        script += PeerMessage::bitfield(bits) + PeerMessage::simple(PeerMessage::Unchoke);
        connectTo(script);
        const int depth = c.reqq > 0 ? c.reqq : PeerWire::kOurRequestQueue;

        std::map<std::pair<quint32, quint32>, int> asked;
        bool outsideThePeersPieces = false;
        for (int round = 0; round < 400; ++round) {
            QByteArray answers;
            for (const QByteArray& m : remote->messagesWithin(30)) {
                if (m.size() != 17 || m[4] != PeerMessage::Request)
                    continue;
                const quint32 index = qFromBigEndian<quint32>(m.constData() + 5);
                const quint32 begin = qFromBigEndian<quint32>(m.constData() + 9);
                const quint32 length = qFromBigEndian<quint32>(m.constData() + 13);
                ++asked[{index, begin}];
                outsideThePeersPieces |= index % c.everyNth != 0;
                answers += PeerMessage::piece(
                    index, begin, torrent->content.mid(qsizetype(quint64(index) * kPieceLength + begin), length));
            }
            EXPECT_LE(wire->pendingRequestCount(), depth);
            if (answers.isEmpty())
                break;
            remote->write(answers);  // all at once
        }
        EXPECT_FALSE(outsideThePeersPieces);
        size_t expected = 0;
        for (quint32 p = 0; p < 40; p += c.everyNth)
            expected += (torrent->pieceSize(p) + 16383) / 16384;
        EXPECT_EQ(asked.size(), expected);
        EXPECT_TRUE(std::all_of(asked.begin(), asked.end(), [](const auto& a) { return a.second == 1; }));
        EXPECT_EQ(torrent->arrived.size(), qsizetype(expected));
        EXPECT_EQ(wire->pendingRequestCount(), 0);
        TearDown();
    }
}

}  // namespace
