#pragma once

#include "kit/http/PZHTTPLoaderQueued.h"

namespace ombrelay {

// Fetches one torrent file of a search result into memory: queued, redirects followed, at most 16 MiB.
// Reports through `completed` / `failed`.
class FileDownloader : public PZHTTPLoaderQueued
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxTorrentBytes = 16 << 20;

    explicit FileDownloader(const QUrl& address, QObject* parent = nullptr);

protected:
    bool shouldAutoRedirect() const override { return true; }
};

}  // namespace ombrelay
