#include "search/views/EditSitesButton.h"

#include "search/SearchSitesEditor.h"

namespace ombrelay {

EditSitesButton::EditSitesButton(QWidget* parent) : FlatButton(tr("Edit Sites…"), parent)
{
    connect(this, &QAbstractButton::clicked, this, [] { SearchSitesEditor::open(); });
}

}  // namespace ombrelay
