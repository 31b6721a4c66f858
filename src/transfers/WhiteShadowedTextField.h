#pragma once

#include "transfers/ShadowedTextField.h"

namespace ombrelay {

// A shadowed text field whose shadow is white at 50 %, for dark text on a light ground.
class WhiteShadowedTextField : public ShadowedTextField
{
    Q_OBJECT
public:
    using ShadowedTextField::ShadowedTextField;

    static const PZShadow& shadow()
    {
        static const PZShadow white{QPointF(0, 1.1), 0, QColor(255, 255, 255, 128)};
        return white;
    }

protected:
    const PZShadow& fieldShadow() const override { return shadow(); }
};

}  // namespace ombrelay
