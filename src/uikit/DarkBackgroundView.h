#pragma once

#include "uikit/WindowStateStrip.h"

namespace ombrelay {

// The dark gradient behind a pane's bottom bar ("Gradient106", or "Gradient106Alternate" in an inactive
// window).
class DarkBackgroundView : public WindowStateStrip
{
    Q_OBJECT
public:
    explicit DarkBackgroundView(QWidget* parent = nullptr)
        : WindowStateStrip(QStringLiteral("Gradient106"), QStringLiteral("Gradient106Alternate"), parent)
    {
    }
};

}  // namespace ombrelay
