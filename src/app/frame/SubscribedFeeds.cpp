#include "app/frame/SubscribedFeeds.h"

#include "search/feeds/Feed.h"

namespace ombrelay {

void SubscribedFeeds::startFeed(const QString& address, const QString&)
{
    if (!address.isEmpty())
        Feed::feedWithAddress(address);
}

void SubscribedFeeds::removeFeedWithAddress(const QString& address)
{
    Feed::removeFeedWithAddress(address);
}

}  // namespace ombrelay
