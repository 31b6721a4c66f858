#pragma once

// The application launched in-process over the real disk session in a temporary folder: no gateway is
// asked, no tick runs on its own, and alerts are recorded with their pending answer.
#include "app/shell/KoApplicationController.h"
#include "engine/core/BTCore.h"
#include "engine/core/PeerService.h"
#include "engine/nat/PortMapper.h"
#include "engine/storage/SessionFolder.h"
#include "engine/torrent/TorrentFixtures.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"
#include "support/WaitUntil.h"
#include "transfers/KoDownloadsController.h"
#include "uikit/PZAlert.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace ombrelay::test {

class ApplicationLaunch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        registerDefaultSettings(Settings::instance());
        Settings::instance().setValue(QStringLiteral("save_directory"), folder.filePath(QStringLiteral("Downloads")));
        Settings::instance().setValue(QStringLiteral("kRandomPort"), true);
        Settings::instance().setValue(QStringLiteral("kDeleteOriginalTorrent"), false);
        AppPaths::setApplicationSupportPath(folder.filePath(QStringLiteral("data")));
        // No gateway is asked, and no tick runs on its own.
        BTCore::Parts parts = BTCore::defaultParts();
        parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
        parts.startTimers = false;
        BTCore::useParts(std::move(parts));
        QFile mounts(folder.filePath(QStringLiteral("mountinfo")));
        ASSERT_TRUE(mounts.open(QIODevice::WriteOnly));
        mounts.write("20 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n");
        mounts.close();
        volumes = std::make_unique<VolumeMonitor>(folder.filePath(QStringLiteral("mountinfo")));
        PZAlert::setPresenter([this](const PZAlert& alert, PZAlert::Answer answer) {
            alerts.append(alert);
            pendingAnswer = std::move(answer);
        });
    }
    void TearDown() override
    {
        PZAlert::setPresenter({});
        PeerService::install(nullptr);
    }

    QString writeTorrent(const QString& name)
    {
        const QString path = folder.filePath(name + QStringLiteral(".torrent"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(metainfo(singleFileInfo(name, 70000)));
        return path;
    }
    std::unique_ptr<KoApplicationController> launch(const QStringList& arguments, int expectedTorrents,
                                                    KoApplicationController::Hooks hooks = {})
    {
        auto controller = std::make_unique<KoApplicationController>(*volumes, std::move(hooks));
        controller->launch(arguments);
        EXPECT_TRUE(waitUntil([&] {
            return controller->storedTorrentsLoaded() && controller->downloads().objects().size() == expectedTorrents;
        }, 5000)) << "listed: " << controller->downloads().objects().size();
        return controller;
    }
    // What a quit runs: the engine saves first, then the application.
    static void quit(KoApplicationController& controller)
    {
        BTCore::instance().applicationWillTerminate();
        controller.applicationWillTerminate();
    }
    int sessionFolderCount() const
    {
        return QDir(SessionFolder::storageDirectory()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    }

    QTemporaryDir folder;
    std::unique_ptr<VolumeMonitor> volumes;
    QList<PZAlert> alerts;
    PZAlert::Answer pendingAnswer;
};


}  // namespace ombrelay::test
