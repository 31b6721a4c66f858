#pragma once

#include "transfers/ShadowedTextField.h"

namespace ombrelay {

// The text of a status bar: black, over a white shadow at 60 % one point below.
class WebStatusBarTextField : public ShadowedTextField
{
    Q_OBJECT
public:
    explicit WebStatusBarTextField(QWidget* parent = nullptr);

    static const PZShadow& shadow();

protected:
    const PZShadow& fieldShadow() const override { return shadow(); }
};

}  // namespace ombrelay
