#pragma once

#include <QString>

namespace ombrelay {

// What the search field and the add-feed panel ask of the source list.
class SourceListActions
{
public:
    virtual ~SourceListActions() = default;
    // Adds a search item for the terms, or selects the one already there.
    virtual void addNewQueryForString(const QString& terms) = 0;
    // Adds a feed item, or selects the one already there for the address.
    virtual void addNewSubscriptionForAddress(const QString& address, const QString& name) = 0;
};

}  // namespace ombrelay
