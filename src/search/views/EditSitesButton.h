#pragma once

#include "uikit/FlatButton.h"

namespace ombrelay {

// "Edit Sites…": opens the search-sites preferences.
class EditSitesButton : public FlatButton
{
    Q_OBJECT
public:
    explicit EditSitesButton(QWidget* parent = nullptr);
};

}  // namespace ombrelay
