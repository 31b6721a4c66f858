// Peer sockets over loopback: unlimited throughput of one connection, a 100 kB/s global upload limit
// held over 10 s, and the cost of 200 idle connections. Each reports the process CPU it used per second
// of wall time ("cores").
#include "engine/core/BTCore.h"
#include "engine/net/BandwidthProvision.h"
#include "engine/net/PZSocket.h"
#include "engine/net/StreamPeer.h"
#include "kit/Settings.h"
#include "platform/IdleTime.h"
#include "platform/SleepWatcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ombrelay;

namespace {

std::pair<int, int> loopbackPair()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    ::close(listener);
    ::fcntl(client, F_SETFL, ::fcntl(client, F_GETFL) | O_NONBLOCK);
    return {client, server};
}

double processCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class NoIdle : public IdleTime
{
public:
    void querySecondsSinceInput(QObject*, std::function<void(qint64)> done) override { done(0); }
};

// The engine's ticks without a listening port of its own on the network.
struct Engine
{
    Engine()
    {
        settings = std::make_unique<Settings>(folder.filePath(QStringLiteral("Ombrelay.conf")));
        settings->setInteger(QStringLiteral("kBTPort"), 0);
        BTCore::Parts parts;
        parts.settings = settings.get();
        parts.idleTime = &idle;
        parts.sleepWatcher = &sleep;
        parts.bindAddress = htonl(INADDR_LOOPBACK);
        parts.startTimers = false;
        core = std::make_unique<BTCore>(parts);
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [this] { core->oneTenthSecondTimer(); });
        tick.start(BTCore::kTickMs);
    }
    QTemporaryDir folder;
    std::unique_ptr<Settings> settings;
    NoIdle idle;
    SleepWatcher sleep;
    std::unique_ptr<BTCore> core;
    QTimer tick;
};

// One side of a connection as the peer wire uses it: past the handshake, parsing by draining.
class BenchPeer : public StreamPeer
{
public:
    explicit BenchPeer(int fd) : socket(fd, this) {}
    bool isStreamingMessages() const override { return true; }
    void processReadStreamBuffer() override
    {
        PZReadStream& in = socket.readStream();
        received += in.buflen();
        in.drainBufferBy(in.buflen());
        if (onReceive)
            onReceive();
    }
    void terminatePeer() override {}
    BandwidthProvision* downloadProvision() override { return nullptr; }
    BandwidthProvision* uploadProvision() override { return nullptr; }
    void didUploadBytes(quint32 bytes) override { uploaded += bytes; }

    PZSocket socket;
    qint64 received = 0;
    qint64 uploaded = 0;
    std::function<void()> onReceive;
};

QByteArray pieceMessage()
{
    QByteArray message(16397, 'p');
    const quint32 header[3] = {htonl(16393), 0, 0};
    std::memcpy(message.data(), &header[0], 4);
    message[4] = 7;
    return message;
}

void setGlobalUpload(bool enabled, qint32 rate)
{
    BandwidthProvision& upload = BandwidthProvision::globalUploadProvision();
    upload.setIsEnabled(enabled);
    upload.setBytesPerSecond(rate);
    upload.bandwidthProvisionUpdate();
}

// Runs the event loop for `ms`.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` or `limitMs`.
void runUntil(const std::function<bool()>& done, int limitMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
}

// Times `run` as the iteration; returns its wall seconds and sets "cores", the process CPU per wall second.
double measure(benchmark::State& state, const std::function<void()>& run)
{
    const double cpu = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    run();
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    state.SetIterationTime(seconds);
    state.counters["cores"] = (processCpuSeconds() - cpu) / seconds;
    return seconds;
}

void BM_UnlimitedLoopback(benchmark::State& state)
{
    Engine engine;
    setGlobalUpload(false, 0);
    const auto [a, b] = loopbackPair();
    BenchPeer sender(a);
    BenchPeer receiver(b);
    const QByteArray piece = pieceMessage();
    const qint64 target = qint64(state.range(0)) << 20;
    qint64 queued = 0;
    // Keeps about 2 MB queued ahead of the receiver, as a seeding peer answering requests would.
    auto topUp = [&] {
        while (queued - receiver.received < (2 << 20) && queued < target + piece.size()) {
            sender.socket.writeStream().writeLowPriorityMessage(piece);
            queued += piece.size();
        }
    };
    receiver.onReceive = topUp;
    runUntil([&] { return sender.socket.isOpen() && receiver.socket.isOpen(); }, 2000);
    for (auto _ : state) {
        const qint64 start = receiver.received;
        const double seconds = measure(state, [&] {
            topUp();
            runUntil([&] { return receiver.received - start >= target; }, 60000);
        });
        state.counters["GB/s"] = double(receiver.received - start) / seconds / 1e9;
        state.SetBytesProcessed(receiver.received - start);
    }
}
BENCHMARK(BM_UnlimitedLoopback)->Arg(4096)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GlobalUploadLimit100kBps(benchmark::State& state)
{
    Engine engine;
    const auto [a, b] = loopbackPair();
    BenchPeer sender(a);
    BenchPeer receiver(b);
    runUntil([&] { return sender.socket.isOpen() && receiver.socket.isOpen(); }, 2000);
    setGlobalUpload(true, 100000);
    const QByteArray piece = pieceMessage();
    for (int i = 0; i < 200; ++i)  // 3.2 MB: more than 10 s allow
        sender.socket.writeStream().writeLowPriorityMessage(piece);
    runFor(1000);  // past the first slices
    for (auto _ : state) {
        const qint64 start = receiver.received;
        const double seconds = measure(state, [] { runFor(10000); });
        const double rate = double(receiver.received - start) / seconds;
        state.counters["B/s"] = rate;
        state.counters["error%"] = (rate - 100000.0) / 1000.0;
    }
    setGlobalUpload(false, 0);
}
BENCHMARK(BM_GlobalUploadLimit100kBps)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_IdleConnections(benchmark::State& state)
{
    Engine engine;
    std::vector<std::unique_ptr<BenchPeer>> peers;
    std::vector<int> remotes;
    for (int i = 0; i < state.range(0); ++i) {
        const auto [a, b] = loopbackPair();
        peers.push_back(std::make_unique<BenchPeer>(a));
        remotes.push_back(b);
    }
    runUntil([&] {
        return std::all_of(peers.begin(), peers.end(), [](const auto& p) { return p->socket.isOpen(); });
    }, 5000);
    for (auto _ : state) {
        measure(state, [] { runFor(5000); });
        state.counters["cpu%"] = 100.0 * state.counters["cores"];
    }
    for (int fd : remotes)
        ::close(fd);
}
BENCHMARK(BM_IdleConnections)->Arg(200)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
