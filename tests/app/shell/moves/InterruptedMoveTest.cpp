// A move across two file systems cut short by SIGTERM: whatever moment the signal hits, the record in the
// session folder names a place that holds the whole content.
#include "engine/lifecycle/LifecycleFixture.h"
#include "kit/PropertyList.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <sys/stat.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

constexpr qint64 kContentBytes = qint64(96) << 20;

QByteArray digestOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result().toHex();
}

quint64 deviceOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_dev) : 0;
}

// The moving side, run as a child process by the test below.
class InterruptedMoveChild : public LifecycleTest
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("OMBRELAY_MOVE_CHILD"))
            GTEST_SKIP() << "run by SigtermMidCopyKeepsTheRecordTrue";
        LifecycleTest::SetUp();
    }
    void TearDown() override
    {
        if (session)
            LifecycleTest::TearDown();
    }
};

}  // namespace

TEST_F(InterruptedMoveChild, MovesUntilKilled)
{
    const QString target = qEnvironmentVariable("OMBRELAY_MOVE_TARGET");
    const TorrentLinePtr torrent = add(metainfo(singleFileInfo(QStringLiteral("big.bin"), kContentBytes, 1 << 20)));
    ASSERT_TRUE(torrent);
    torrent->pauseDownload();
    QFile content(torrent->fullPath());
    ASSERT_TRUE(content.open(QIODevice::WriteOnly));
    QByteArray block(1 << 20, '\0');
    for (qint64 i = 0; i < kContentBytes / block.size(); ++i) {
        block.fill(char('a' + i % 26));
        content.write(block);
    }
    content.close();
    printf("root %s\nsession %s\ndigest %s\n", qPrintable(dir.path()), qPrintable(session->lifecycle().sessionPath(*torrent)),
           digestOf(torrent->fullPath()).constData());
    session->lifecycle().relocate(*torrent, target, [](const QString& error) {
        printf("moved %s\n", qPrintable(error));
        fflush(stdout);
    });
    printf("copying\n");
    fflush(stdout);
    spinFor(30000);  // the parent ends this process
}

TEST(InterruptedMove, SigtermMidCopyKeepsTheRecordTrue)
{
    QTemporaryDir otherDisk(QStringLiteral("/dev/shm/ombrelay-interrupted-XXXXXX"));
    QTemporaryDir here;
    if (!otherDisk.isValid() || deviceOf(otherDisk.path()) == deviceOf(here.path()))
        GTEST_SKIP() << "no second file system";
    const QString target = otherDisk.filePath(QStringLiteral("incomplete"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMBRELAY_MOVE_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("OMBRELAY_MOVE_TARGET"), target);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=InterruptedMoveChild.*")});
    ASSERT_TRUE(child.waitForStarted(5000));
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (!output.contains("copying\n") && timer.elapsed() < 60000 && child.state() == QProcess::Running) {
        child.waitForReadyRead(50);
        output += child.readAllStandardOutput();
    }
    ASSERT_TRUE(output.contains("copying\n")) << output.constData();
    // Mid-copy when the partial copy is there and the move has not ended.
    const QString partial = QDir(target).filePath(QStringLiteral(".big.bin.ombrelay-move"));
    for (int i = 0; i < 200 && !QFileInfo::exists(partial) && !output.contains("moved"); ++i) {
        child.waitForReadyRead(5);
        output += child.readAllStandardOutput();
    }
    const bool midCopy = QFileInfo::exists(partial) && !output.contains("moved");
    child.terminate();  // SIGTERM
    ASSERT_TRUE(child.waitForFinished(10000));
    output += child.readAllStandardOutput();

    QString session;
    QString childRoot;
    QByteArray digest;
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("root "))
            childRoot = QString::fromUtf8(line.mid(5));
        if (line.startsWith("session "))
            session = QString::fromUtf8(line.mid(8));
        if (line.startsWith("digest "))
            digest = line.mid(7);
    }
    ASSERT_FALSE(session.isEmpty()) << output.constData();
    const QVariantMap record = PropertyList::read(session + QStringLiteral("/torrent.plist"), 1 << 20).toMap();
    const QString recorded = record.value(QStringLiteral("downloadPath")).toString();
    ASSERT_FALSE(recorded.isEmpty());
    EXPECT_EQ(digestOf(QDir(recorded).filePath(QStringLiteral("big.bin"))), digest)
        << "the content is not whole where the record points: " << recorded.toStdString();
    if (midCopy) {
        EXPECT_NE(recorded, target) << "cut mid-copy, the record still names the old place";
    }
    std::cout << "[   INFO   ] signal " << (midCopy ? "mid-copy" : "after the copy") << "\n";
    if (childRoot.startsWith(QDir::tempPath()))
        QDir(childRoot).removeRecursively();  // the killed child left its folder
}
