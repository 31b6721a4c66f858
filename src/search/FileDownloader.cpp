#include "search/FileDownloader.h"

namespace ombrelay {

FileDownloader::FileDownloader(const QUrl& address, QObject* parent)
    : PZHTTPLoaderQueued(parent)
{
    setMaxBodySize(kMaxTorrentBytes);
    loadURL(address);
}

}  // namespace ombrelay
