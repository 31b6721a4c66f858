#pragma once

#include "app/toolbar/KoToolbarDelegate.h"

namespace ombrelay {

// The toolbar of the start view: the search field alone.
class KoAnonymousToolbarDelegate : public KoToolbarDelegate
{
    Q_OBJECT
public:
    static KoAnonymousToolbarDelegate& instance();

    QString toolbarIdentifier() const override { return QStringLiteral("AnonymousToolbarDelegateA"); }
    QStringList toolbarDefaultItemIdentifiers() const override
    {
        return {QStringLiteral("item_search"), kSeparator, kFlexibleSpace};
    }
    QStringList toolbarAllowedItemIdentifiers() const override
    {
        return {QStringLiteral("item_search"), kSeparator, kFlexibleSpace, kSpace};
    }

private:
    KoAnonymousToolbarDelegate() { registerDefaults(); }
};

}  // namespace ombrelay
