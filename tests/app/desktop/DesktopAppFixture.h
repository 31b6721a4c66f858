#pragma once

// The application launched in-process over the program's private session bus, with a home whose
// user-dirs.dirs names the music folder "Musik".
#include "app/shell/KoApplicationController.h"
#include "engine/core/BTCore.h"
#include "engine/core/PeerService.h"
#include "engine/nat/PortMapper.h"
#include "engine/torrent/TorrentFixtures.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"
#include "support/PrivateSessionBus.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"
#include "transfers/KoDownloadsController.h"
#include "uikit/PZAlert.h"

#include <QDBusConnection>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ombrelay::test {

inline ::testing::Environment* const kSessionBus = ::testing::AddGlobalTestEnvironment(new SharedSessionBus);

class DesktopApp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(bus.isRunning());
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath(".config").toUtf8());
        ASSERT_TRUE(writeFile(home.filePath(".config/user-dirs.dirs"),
                              "XDG_MUSIC_DIR=\"$HOME/Musik\"\nXDG_VIDEOS_DIR=\"$HOME/Videos\"\n"));
        Settings::useFile(home.filePath("Ombrelay.conf"));
        registerDefaultSettings(Settings::instance());
        Settings::instance().setValue("save_directory", home.filePath("Downloads"));
        Settings::instance().setValue("kRandomPort", true);
        Settings::instance().setValue("kDeleteOriginalTorrent", false);
        AppPaths::setApplicationSupportPath(home.filePath("data"));
        BTCore::Parts parts = BTCore::defaultParts();
        parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
        parts.startTimers = false;
        BTCore::useParts(std::move(parts));
        ASSERT_TRUE(writeFile(home.filePath("mountinfo"), "20 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"));
        volumes = std::make_unique<VolumeMonitor>(home.filePath("mountinfo"));
        PZAlert::setPresenter([](const PZAlert&, PZAlert::Answer answer) { answer(0, false); });
        ASSERT_TRUE(launcher.listen(bus.connect("listener")));
    }
    void TearDown() override
    {
        controller.reset();
        PZAlert::setPresenter({});
        PeerService::install(nullptr);
        bus.closeConnections();
    }

    void launch(int expectedTorrents = 0)
    {
        controller = std::make_unique<KoApplicationController>(*volumes);
        controller->launch({});
        ASSERT_TRUE(waitUntil([&] {
            return controller->storedTorrentsLoaded() && controller->downloads().objects().size() == expectedTorrents;
        }));
    }
    KoDownloadsController& downloads() { return controller->downloads(); }

    // A torrent listed as it is after loading, its files written where it keeps them.
    TorrentLinePtr listTorrent(const QString& name, const QList<FileSpec>& files = {})
    {
        const BValue info = files.isEmpty() ? singleFileInfo(name, 1000) : multiFileInfo(name, files);
        TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(info));
        EXPECT_TRUE(torrent);
        torrent->setDownloadPath(home.filePath("Downloads"));
        downloads().addDownload(torrent);
        torrent->restoreDownloadState(TorrentLine::Downloading);
        return torrent;
    }

    QTemporaryDir home;
    PrivateSessionBus& bus = SharedSessionBus::bus();
    LauncherEntryListener launcher;
    std::unique_ptr<VolumeMonitor> volumes;
    std::unique_ptr<KoApplicationController> controller;
};

}  // namespace ombrelay::test
