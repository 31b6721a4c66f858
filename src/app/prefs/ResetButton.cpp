#include "app/prefs/ResetButton.h"

namespace ombrelay {

ResetButton::ResetButton(const QString& title, QWidget* parent) : QPushButton(title, parent)
{
    setFixedWidth(sizeHint().width() + 6);
}

}  // namespace ombrelay
