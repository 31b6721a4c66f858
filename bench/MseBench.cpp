// Costs of message stream encryption: the key stream on piece traffic, and one whole handshake (both
// roles, in memory) as a burst of incoming connections pays it.
#include "engine/crypto/DiffieHellman.h"
#include "engine/crypto/RC4.h"
#include "engine/wire/MseHandshake.h"

#include <benchmark/benchmark.h>

using namespace ombrelay;

static void rc4OnPieceMessages(benchmark::State& state)
{
    RC4 rc4(QByteArray(20, 'k'));
    QByteArray block(16384 + 13, 'p');
    for (auto _ : state) {
        rc4.apply(block.data(), block.size());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(state.iterations() * block.size());
}
BENCHMARK(rc4OnPieceMessages);

static void sharedSecret(benchmark::State& state)
{
    const DiffieHellman ours;
    const QByteArray theirs = DiffieHellman().publicKey();
    for (auto _ : state)
        benchmark::DoNotOptimize(ours.sharedSecret(theirs));
}
BENCHMARK(sharedSecret);

static void wholeHandshake(benchmark::State& state)
{
    const QByteArray infoHash(20, 'i');
    const DiffieHellman peerKeys;
    const auto resolver = MseHandshake::resolverFor({infoHash});
    for (auto _ : state) {
        MseHandshake initiator = MseHandshake::initiator(infoHash, QByteArray(68, 'h'), {&peerKeys, {}});
        MseHandshake responder = MseHandshake::responder(resolver);
        QByteArray toResponder = initiator.takeOutput();
        QByteArray toInitiator;
        for (int round = 0; round < 3; ++round) {
            toResponder.remove(0, responder.consume(toResponder.data(), toResponder.size()));
            toInitiator += responder.takeOutput();
            toInitiator.remove(0, initiator.consume(toInitiator.data(), toInitiator.size()));
            toResponder += initiator.takeOutput();
        }
        if (responder.state() != MseHandshake::State::Finished || initiator.state() != MseHandshake::State::Finished)
            state.SkipWithError("the handshake did not finish");
    }
}
BENCHMARK(wholeHandshake)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
