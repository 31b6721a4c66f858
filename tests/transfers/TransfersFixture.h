#pragma once

#include "engine/torrent/TorrentFakes.h"
#include "engine/torrent/TorrentFixtures.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "platform/VolumeMonitor.h"
#include "support/TestFiles.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"
#include "uikit/PZAlert.h"
#include "transfers/TransferItem.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

namespace ombrelay::test {

// The transfers controller installed as the engine's host over fake engine services, with a mount
// table in a temporary file and alerts answered by the test.
class TransfersFixture : public EngineFakes
{
protected:
    void SetUp() override
    {
        EngineFakes::SetUp();
        ASSERT_TRUE(folder.isValid());
        writeMounts({QStringLiteral("/"), QStringLiteral("/media/disk")});
        volumes = std::make_unique<VolumeMonitor>(folder.filePath(QStringLiteral("mountinfo")));
        controller = std::make_unique<KoDownloadsController>(*volumes);
        EngineHost::install(controller.get());
        PZAlert::setPresenter([this](const PZAlert& alert, PZAlert::Answer answer) {
            alerts.append(alert);
            pendingAnswer = std::move(answer);
        });
    }
    void TearDown() override
    {
        PZAlert::setPresenter({});
        controller->removeDownloads(controller->objects());
        EngineHost::install(nullptr);
        controller.reset();
        EngineFakes::TearDown();
    }

    // A mount table with these mount points.
    void writeMounts(const QStringList& mountPoints)
    {
        ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("mountinfo")), mountInfoText(mountPoints)));
    }

    // A torrent in the given state, listed; `files` > 1 makes a folder torrent.
    TorrentLinePtr addTorrent(const QString& name, int state, int files = 1, const QString& downloadFolder = {})
    {
        BValue info;
        if (files > 1) {
            QList<FileSpec> specs;
            for (int i = 0; i < files; ++i)
                specs.append({{QStringLiteral("file%1.bin").arg(i)}, 40000});
            info = multiFileInfo(name, specs);
        } else {
            info = singleFileInfo(name, 100000);
        }
        TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(info));
        EXPECT_TRUE(torrent);
        torrent->setDownloadPath(downloadFolder.isEmpty() ? folder.path() : downloadFolder);
        controller->addDownload(torrent);
        torrent->restoreDownloadState(state);
        return torrent;
    }

    void answer(int button)
    {
        ASSERT_TRUE(pendingAnswer);
        auto answerNow = std::move(pendingAnswer);
        pendingAnswer = {};
        answerNow(button, false);
    }

    QTemporaryDir folder;
    std::unique_ptr<VolumeMonitor> volumes;
    std::unique_ptr<KoDownloadsController> controller;
    QList<PZAlert> alerts;
    PZAlert::Answer pendingAnswer;
};

}  // namespace ombrelay::test
