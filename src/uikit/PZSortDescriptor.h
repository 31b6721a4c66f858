#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace ombrelay {

class PZOutlineObject;

// One sort key of a list view: the key, the direction and the name of the comparison.
struct PZSortDescriptor
{
    QString key;
    bool ascending = true;
    QString comparison = QStringLiteral("compare:");

    PZSortDescriptor reversed() const { return {key, !ascending, comparison}; }
    // Same key and comparison, whatever the direction.
    bool sameKeyAndComparison(const PZSortDescriptor& other) const
    {
        return key == other.key && comparison == other.comparison;
    }
    bool operator==(const PZSortDescriptor&) const = default;

    // a against b in this descriptor's direction: negative, 0 or positive.
    int compare(const PZOutlineObject& a, const PZOutlineObject& b) const;
    // Plain values: numbers as numbers, text as text ("caseInsensitiveCompare:" and
    // "localizedCaseInsensitiveCompare:" ignore case), an absent value before any other.
    static int compareValues(const QVariant& a, const QVariant& b, const QString& comparison);
};

using PZSortDescriptors = QList<PZSortDescriptor>;

// The first non-equal descriptor decides.
int compareObjects(const PZSortDescriptors& descriptors, const PZOutlineObject& a, const PZOutlineObject& b);

}  // namespace ombrelay
