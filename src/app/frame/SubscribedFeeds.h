#pragma once

#include "app/frame/FeedRegistry.h"

namespace ombrelay {

// The sidebar's subscriptions run on the process-wide feeds, one per address.
class SubscribedFeeds : public FeedRegistry
{
public:
    void startFeed(const QString& address, const QString& name) override;
    void removeFeedWithAddress(const QString& address) override;
};

}  // namespace ombrelay
