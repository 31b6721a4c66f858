#pragma once

#include "search/feeds/Feed.h"

#include <QCoreApplication>
#include <QEvent>

namespace ombrelay::test {

// Feeds stay registered for the process: a test that subscribes removes them all, so that the next one
// starts with none.
inline void removeRegisteredFeeds()
{
    for (const Feed* feed : Feed::registeredFeeds())
        Feed::removeFeedWithAddress(feed->registeredAddress());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace ombrelay::test
