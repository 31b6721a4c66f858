#include "search/views/WebStatusBarTextField.h"

namespace ombrelay {

WebStatusBarTextField::WebStatusBarTextField(QWidget* parent) : ShadowedTextField(parent)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
}

const PZShadow& WebStatusBarTextField::shadow()
{
    static const PZShadow white{QPointF(0, 1.1), 0, QColor(255, 255, 255, 153)};
    return white;
}

}  // namespace ombrelay
