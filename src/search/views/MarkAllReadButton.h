#pragma once

#include "uikit/FlatButton.h"

namespace ombrelay {

class RSSOutlineView;

// "Mark All Read" under a feed list: marks every entry read; enabled only while one is new.
class MarkAllReadButton : public FlatButton
{
    Q_OBJECT
public:
    explicit MarkAllReadButton(RSSOutlineView* list, QWidget* parent = nullptr);
};

}  // namespace ombrelay
