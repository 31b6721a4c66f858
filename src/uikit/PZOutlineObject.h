#pragma once

#include <QString>
#include <QVariant>

namespace ombrelay {

// What a row object offers to the outline views: its children, a value per column key, the
// answers the filter predicates ask and the checkbox of a file row. The identity of a row object is
// its address. The outline never owns its objects: an owner removes an object from every view before
// destroying it, and tells the view when an object's children changed (PZOutlineView::reloadChildren),
// keeping removed children alive until that call returns.
class PZOutlineObject
{
public:
    virtual ~PZOutlineObject() = default;

    virtual int outlineChildCount() const { return 0; }
    virtual PZOutlineObject* outlineChild(int index) const { return nullptr; }

    // The value shown and sorted under a column's sort key.
    virtual QVariant outlineValue(const QString& key) const { return {}; }
    // Compares with another object of the same list under a key and a comparison name ("compare:",
    // "caseInsensitiveCompare:", or a name the object knows itself): negative, 0 or positive.
    virtual int compareForSort(const PZOutlineObject& other, const QString& key, const QString& comparison) const;

    // The text the filter field matches (as a plain, case-insensitive substring).
    virtual QString filterText() const { return {}; }

    // Questions of the filter predicates.
    virtual bool hasAudio() const { return false; }
    virtual bool hasVideo() const { return false; }
    virtual bool isRSSArticleLine() const { return false; }
    virtual bool isActive() const { return false; }
    virtual bool isComplete() const { return false; }
    virtual bool hasArrangedObjects() const { return false; }
    // A group row (a heading over its children) is never selected.
    virtual bool isSelectable() const { return true; }

    // The checkbox of a file row: 0 wanted, 1 skipped, other values mixed, -1 no checkbox.
    virtual int checkboxState() const { return -1; }
    virtual bool checkboxIsEnabled() const { return false; }
    virtual void setCheckboxState(int state) {}
};

}  // namespace ombrelay
