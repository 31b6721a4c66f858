#pragma once

#include <QString>

namespace ombrelay {

// The feeds behind the source list's subscriptions, by address.
class FeedRegistry
{
public:
    virtual ~FeedRegistry() = default;
    // Starts (or keeps running) the feed of a subscription.
    virtual void startFeed(const QString& address, const QString& name) = 0;
    // Stops the feed and deletes its stored entries.
    virtual void removeFeedWithAddress(const QString& address) = 0;
};

}  // namespace ombrelay
