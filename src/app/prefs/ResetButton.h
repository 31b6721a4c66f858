#pragma once

#include <QPushButton>

namespace ombrelay {

// A push button as wide as its title plus 6 points.
class ResetButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ResetButton(const QString& title, QWidget* parent = nullptr);
};

}  // namespace ombrelay
