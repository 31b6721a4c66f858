#pragma once

#include "transfers/ShadowedTextField.h"

class QBoxLayout;

namespace ombrelay {

// The text of a status bar: black, over a white shadow at 60 % one point below.
class WebStatusBarTextField : public ShadowedTextField
{
    Q_OBJECT
public:
    explicit WebStatusBarTextField(QWidget* parent = nullptr);

    static const PZShadow& shadow();
    // A status bar (the pane-bar strip, 16 high) holding a new field, added at the end of `layout`.
    static WebStatusBarTextField* addStatusBar(QBoxLayout& layout);

protected:
    const PZShadow& fieldShadow() const override { return shadow(); }
};

}  // namespace ombrelay
