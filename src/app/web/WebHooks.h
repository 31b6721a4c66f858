#pragma once

#include <QUrl>
#include <functional>

namespace ombrelay {

// Where the web pane hands what it does not show: torrent addresses to the open-by-address panel, feeds to
// the add-feed panel, "magnet:" and search-scheme links to the URL-event handlers. The application sets
// them at launch; tests set fakes. An unset hook drops the address.
struct WebHooks
{
    std::function<void(const QUrl&)> openTorrentAddress;
    std::function<void(const QUrl&)> addFeed;
    std::function<void(const QUrl&)> handleURLEvent;

    static WebHooks& instance();
};

}  // namespace ombrelay
