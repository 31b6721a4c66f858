#pragma once

#include "uikit/WindowStateStrip.h"

namespace ombrelay {

// The strip under a pane that holds its status text: "StatusBar16" while its window is the active one,
// "StatusBar16Inactive" otherwise.
class WebStatusBar : public WindowStateStrip
{
    Q_OBJECT
public:
    explicit WebStatusBar(QWidget* parent = nullptr)
        : WindowStateStrip(QStringLiteral("StatusBar16"), QStringLiteral("StatusBar16Inactive"), parent)
    {
    }
};

}  // namespace ombrelay
