#pragma once

#include "app/prefs/FolderButton.h"

namespace ombrelay {

// The incomplete-folder pop-up: the stored folder, "Incomplete" (the folder of that name inside the
// download folder, stored as empty) and "Other...".
class IncompleteFolderButton : public FolderButton
{
    Q_OBJECT
public:
    explicit IncompleteFolderButton(QWidget* parent = nullptr);
    void populate() override;
};

}  // namespace ombrelay
