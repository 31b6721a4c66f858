#include "platform/MediaPlayers.h"
#include "support/PrivateSessionBus.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QTemporaryDir>
#include <QtEndian>
#include <atomic>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace ombrelay {
namespace {

using Query = MediaPlayers::Query;
using test::FakeMediaPlayer;

// The players' calls block, as they do on the media queue; the fake players answer on this thread, whose
// loop keeps running meanwhile.
template <typename Call>
auto offThread(Call call)
{
    std::optional<decltype(call())> result;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result.emplace(call());
        done = true;
    });
    test::waitUntil([&] { return done.load(); }, 10000);
    worker.join();
    return *result;
}

class MediaPlayersBus : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()); }
    test::PrivateSessionBus bus;
    MediaPlayers players{bus.connect("client")};
};

TEST_F(MediaPlayersBus, ValuesAreTypeCheckedAndCleaned)
{
    FakeMediaPlayer player(bus.connect("player"), "fake", false);
    ASSERT_EQ(offThread([&] { return players.runningPlayer(); }), QStringLiteral("org.mpris.MediaPlayer2.fake"));
    // Metadata, query, answer.
    const std::tuple<QVariantMap, Query, QString> cases[] = {
        {{{"xesam:artist", QStringList{"A", "B"}}}, Query::Artist, "A, B"},
        {{{"xesam:artist", 42}}, Query::Artist, ""},
        {{{"xesam:title", "Song\x1b[31m\n"}}, Query::Title, "Song[31m"},
        {{{"xesam:title", QString(400, 'x')}}, Query::Title, QString(256, 'x')},
        {{{"xesam:title", "Live"}, {"xesam:url", "http://127.0.0.1/stream"}}, Query::StreamTitle, "Live"},
        {{{"xesam:title", "Local"}, {"xesam:url", "file:///a.mp3"}}, Query::StreamTitle, ""},
        {{{"xesam:title", "Local"}}, Query::StreamTitle, ""},
        {{}, Query::Running, "org.mpris.MediaPlayer2.fake"},
    };
    for (const auto& [metadata, query, expected] : cases) {
        player.metadata = metadata;
        const Query asked = query;
        EXPECT_EQ(offThread([&] { return players.value(asked); }), expected) << qPrintable(expected);
    }
    for (const QString status : {"Playing", "Paused", "Stopped"}) {
        player.playbackStatus = status;
        EXPECT_EQ(offThread([&] { return players.isPlaying(); }), status == QLatin1String("Playing"));
    }
}

TEST_F(MediaPlayersBus, QueryAnswersOnTheMainThreadUnlessTheContextIsGone)
{
    FakeMediaPlayer player(bus.connect("player"), "fake", false);
    player.metadata = {{"xesam:artist", QStringList{"Artist"}}};
    QObject context;
    QString answer;
    players.query(Query::Artist, &context, [&](const QString& value) {
        EXPECT_EQ(QThread::currentThread(), context.thread());
        answer = value;
    });
    ASSERT_TRUE(test::waitUntil([&] { return !answer.isEmpty(); }));
    EXPECT_EQ(answer, QStringLiteral("Artist"));
    bool called = false;
    auto gone = std::make_unique<QObject>();
    players.query(Query::Artist, gone.get(), [&](const QString&) { called = true; });
    gone.reset();
    test::spinFor(300);
    EXPECT_FALSE(called);
}

// A WAV of silence with an artist tag (RIFF INFO "IART").
QByteArray taggedWave(const QByteArray& artist)
{
    auto le32 = [](quint32 v) { QByteArray b(4, 0); qToLittleEndian(v, b.data()); return b; };
    auto le16 = [](quint16 v) { QByteArray b(2, 0); qToLittleEndian(v, b.data()); return b; };
    const int rate = 8000, seconds = 5;
    const QByteArray samples(rate * seconds * 2, '\0');
    QByteArray text = artist + '\0';
    if (text.size() % 2)
        text += '\0';
    const QByteArray info = "INFO" + QByteArray("IART") + le32(artist.size() + 1) + text;
    const QByteArray body = "WAVE" + QByteArray("fmt ") + le32(16) + le16(1) + le16(1) + le32(rate) + le32(rate * 2) +
                            le16(2) + le16(16) + "LIST" + le32(info.size()) + info + "data" + le32(samples.size()) +
                            samples;
    return "RIFF" + le32(body.size()) + body;
}

TEST_F(MediaPlayersBus, RealPlayerPlaysAWaveAndAnswersItsArtist)
{
    if (QStandardPaths::findExecutable("mpv").isEmpty() || !QFileInfo::exists("/usr/lib/mpv-mpris/mpris.so"))
        GTEST_SKIP() << "mpv with mpv-mpris is not installed";
    QTemporaryDir folder;
    const QString silence = folder.filePath("silence.wav");
    const QString tagged = folder.filePath("tagged.wav");
    ASSERT_TRUE(test::writeFile(silence, taggedWave("Nobody")));
    ASSERT_TRUE(test::writeFile(tagged, taggedWave("Test Artist")));
    QProcess mpv;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    environment.insert("HOME", folder.path());
    mpv.setProcessEnvironment(environment);
    // Started on a looping file: the player's bridge reports an idle start as stopped for good.
    mpv.start("mpv", {"--no-config", "--no-terminal", "--ao=null", "--vo=null", "--loop-file=inf",
                      "--script=/usr/lib/mpv-mpris/mpris.so", silence});
    ASSERT_TRUE(mpv.waitForStarted(5000));
    ASSERT_TRUE(test::waitUntil([&] { return players.isPlaying(); }, 10000));
    ASSERT_TRUE(players.openUri(QUrl::fromLocalFile(tagged).toString()));
    EXPECT_TRUE(test::waitUntil([&] { return players.value(Query::Artist) == "Test Artist"; }, 10000))
        << qPrintable(players.value(Query::Artist));
    EXPECT_TRUE(players.isPlaying());
    EXPECT_EQ(players.value(Query::StreamTitle), QString());  // a local file is no stream
    mpv.kill();
    mpv.waitForFinished(5000);
}

}  // namespace
}  // namespace ombrelay
