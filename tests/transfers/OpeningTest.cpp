#include "TransfersFixture.h"

#include "transfers/DesktopFiles.h"
#include "transfers/PathExistenceCache.h"
#include "support/PrivateSessionBus.h"
#include "support/TestFiles.h"
#include "support/UrlRecorder.h"
#include "support/WaitUntil.h"

#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class Opening : public TransfersFixture
{
protected:
    QString writeFile(const QString& name, const QByteArray& bytes, bool executable = false)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    }
};

}  // namespace

TEST_F(Opening, ProgramsScriptsAndDesktopEntriesCountAsExecutableContent)
{
    struct Case
    {
        const char* name;
        QByteArray bytes;
        bool executableBit;
        bool expected;
    };
    const QList<Case> cases{
        {"notes.txt", "plain words\n", false, false},
        {"movie.mkv", QByteArray(64, '\0'), false, false},
        {"install.sh", "#!/bin/sh\necho hi\n", false, true},
        {"launcher.desktop", "[Desktop Entry]\nExec=rm -rf ~\n", false, true},
        {"readme", "#!/usr/bin/env python3\n", false, true},
        {"tool", "\x7f" "ELF\x02\x01\x01", true, true},
        {"renamed.txt", "text with the bit set\n", true, true},
    };
    for (const Case& test : cases)
        EXPECT_EQ(DesktopFiles::isExecutableContent(writeFile(test.name, test.bytes, test.executableBit)), test.expected)
            << test.name;
    EXPECT_FALSE(DesktopFiles::isExecutableContent(folder.path())) << "a folder opens in the file manager";
}

TEST_F(Opening, OpeningAProgramAsksFirstWithRevealAsTheDefault)
{
    TorrentLinePtr torrent = addTorrent("setup.sh", TorrentLine::Complete);
    writeFile("setup.sh", "#!/bin/sh\ntouch ran\n");
    DownloadsOutlineView* view = controller->outlineView();
    view->selectObjects({view->itemFor(torrent.get())});
    ASSERT_EQ(view->selectedPath(), torrent->fullPath());
    view->openSelected();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts[0].critical);
    EXPECT_EQ(alerts[0].buttons.first(), QStringLiteral("Reveal File in File Manager"));
    EXPECT_EQ(alerts[0].defaultButton, 0);
    answer(2);  // Cancel
    QTest::qWait(100);
    EXPECT_FALSE(QFile::exists(folder.filePath("ran"))) << "content is never run";
}

TEST_F(Opening, AnIncompleteFileAsksBeforeOpeningAndAHaltedTorrentHasNoPath)
{
    TorrentLinePtr torrent = addTorrent("half.iso", TorrentLine::Downloading);
    writeFile("half.iso", QByteArray(100, 'x'));
    DownloadsOutlineView* view = controller->outlineView();
    view->selectObjects({view->itemFor(torrent.get())});
    view->openSelected();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].message, QStringLiteral("This file is still being downloaded."));
    EXPECT_EQ(alerts[0].buttons, (QStringList{"Open File", "Reveal File in File Manager", "Cancel"}));

    torrent->restoreDownloadState(TorrentLine::Halted);
    EXPECT_TRUE(view->selectedPath().isEmpty()) << "no disk access for a halted torrent";
}

TEST(PathExistenceCacheTest, AnswersAreKeptAboutASecond)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("late");
    PathExistenceCache cache;
    EXPECT_FALSE(cache.exists(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(cache.exists(path)) << "the cached answer holds";
    QTRY_VERIFY_WITH_TIMEOUT(cache.exists(path), 3000);
    EXPECT_FALSE(cache.exists(QString()));
}

// The file manager is asked without waiting on the main thread (here it even answers from that thread);
// the containing folder opens only when no file manager shows the file.
TEST(RevealTest, TheFileManagerIsAskedWithoutWaitingAndTheFolderOpensWhenItCannotShow)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("a song.mp3");
    ASSERT_TRUE(writeFile(path, "x"));
    enum Manager { NoBus, None, Shows, Refuses };
    const struct
    {
        const char* name;
        Manager manager;
        bool folderOpens;
    } cases[] = {{"no session bus", NoBus, true}, {"no file manager", None, true}, {"it shows the file", Shows, false},
                 {"it refuses", Refuses, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrivateSessionBus bus;
        ASSERT_TRUE(bus.isRunning());
        std::unique_ptr<FakeFileManager> manager;
        if (c.manager == Shows || c.manager == Refuses)
            manager = std::make_unique<FakeFileManager>(bus.connect("manager"), c.manager == Shows);
        UrlRecorder opened({"file"});
        // A session without a bus: the address leads nowhere, as the program's own does in the tests.
        const QDBusConnection caller = c.manager == NoBus
            ? QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/ombrelay-no-bus"), QStringLiteral("no-bus"))
            : bus.connect("caller");
        DesktopFiles::revealOn(caller, path);
        EXPECT_TRUE(opened.opened.isEmpty()) << "decided before the answer";
        if (manager) {
            ASSERT_TRUE(waitUntil([&] { return !manager->asked.isEmpty(); }, 5000));
            EXPECT_EQ(manager->asked, QList<QStringList>{{QUrl::fromLocalFile(path).toString()}});
        }
        if (c.folderOpens) {
            ASSERT_TRUE(waitUntil([&] { return !opened.opened.isEmpty(); }, 5000));
            EXPECT_EQ(opened.opened, QList<QUrl>{QUrl::fromLocalFile(folder.path())});
        } else {
            spinFor(300);
            EXPECT_TRUE(opened.opened.isEmpty());
        }
    }
}
