#pragma once

#include "engine/core/EngineHost.h"

namespace ombrelay {

// The host without an interface: keeps the downloads list, runs the download queue ("kDownloadQueueEnabled",
// "kDownloadQueueLimit"), keeps the selection, accepts every prompt with its plain answer (the proposed
// folder, the right to copy without remembering the site) and hands nothing over. Used by the headless
// engine driver, by tests, and until the interface installs its own host.
class HeadlessEngineHost : public EngineHost
{
public:
    TorrentLineList objects() const override { return m_downloads; }
    void addDownload(const TorrentLinePtr& line) override;
    void addDownloads(const TorrentLineList& lines) override;
    void removeDownloads(const TorrentLineList& lines) override;
    void selectObjects(const TorrentLineList& lines) override { m_selection = lines; }
    TorrentLinePtr selectedObject() const override;
    TorrentLinePtr torrentForInfoHash(const QByteArray& infoHash) const override;
    int numberOfDownloadingTorrents() const override;
    void updateQueueState() override;

    void updateCell(const TorrentLine*) override {}
    void statsUpdated() override {}
    void invalidateBindingsText() override {}
    void markListForRedraw() override {}
    void validateToolbar() override {}
    void rebuildFilterTabs() override {}
    void showDownloadsPane() override {}

    void chooseDownloadFolder(const QString& message, const QString& startFolder,
                              std::function<void(const QString& folder)> done) override;
    void confirmRightToCopy(const RightToCopyPrompt& prompt,
                            std::function<void(bool confirmed, bool suppress)> done) override;

    void notifyCompletedDownload(const QString& path) override;
    void requestAttention() override {}
    void redisplayBadge() override {}
    void beep() override {}

    bool shouldHandOverFile(const QString&) const override { return false; }
    bool handOverCompletedPath(const QString&) override { return false; }

private:
    TorrentLineList m_downloads;
    TorrentLineList m_selection;
};

}  // namespace ombrelay
