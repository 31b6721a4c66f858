#pragma once

#include "engine/core/EngineHost.h"

#include <memory>

namespace ombrelay {

// The selected torrent as the info area sees it: set by the transfers controller on every selection
// change, before it posts the selection notification. Holds no torrent alive.
class CurrentDownload
{
public:
    explicit CurrentDownload(const EngineHost& host) : m_host(host) {}

    TorrentLinePtr content() const { return m_content.lock(); }
    void setContent(const TorrentLinePtr& torrent) { m_content = torrent; }
    // Whether the torrent is still in the transfers list.
    bool isListed(const TorrentLine& torrent) const;

private:
    const EngineHost& m_host;
    std::weak_ptr<TorrentLine> m_content;
};

}  // namespace ombrelay
