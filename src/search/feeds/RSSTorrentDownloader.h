#pragma once

#include "engine/torrent/Metainfo.h"
#include "kit/http/PZHTTPLoader.h"

#include <QStringList>
#include <memory>
#include <optional>

namespace ombrelay {

class RSSLine;

// Fetches the torrent file of one feed line: follows up to 5 redirects, gives up after 60 s. Only a 2xx
// answer that reads as metainfo is written to the cache; an answer that is not metainfo or a final client
// error fails the line, another status or a network failure is the line's to try again. Holds its line
// weakly, and drops the answer of a line that has meanwhile gone or become a torrent.
class RSSTorrentDownloader : public PZHTTPLoader
{
    Q_OBJECT
public:
    RSSTorrentDownloader(std::weak_ptr<RSSLine> line, const QStringList& cachePaths);

signals:
    // The load and, for a usable answer, the cache write have ended.
    void finished(ombrelay::RSSTorrentDownloader* downloader);

protected:
    bool shouldAutoRedirect() const override { return true; }
    void handleCompletion() override;
    void handleError() override;

private:
    std::shared_ptr<RSSLine> waitingLine() const;
    void written(const QString& path, std::optional<Metainfo> metainfo);

    std::weak_ptr<RSSLine> m_line;
    QStringList m_cachePaths;
};

}  // namespace ombrelay
