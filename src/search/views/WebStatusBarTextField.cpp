#include "search/views/WebStatusBarTextField.h"

#include "uikit/WebStatusBar.h"

#include <QHBoxLayout>

namespace ombrelay {

WebStatusBarTextField::WebStatusBarTextField(QWidget* parent) : ShadowedTextField(parent)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
}

WebStatusBarTextField* WebStatusBarTextField::addStatusBar(QBoxLayout& layout)
{
    auto* bar = new WebStatusBar();
    bar->setFixedHeight(16);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 0, 6, 0);
    auto* field = new WebStatusBarTextField();
    row->addWidget(field);
    layout.addWidget(bar);
    return field;
}

const PZShadow& WebStatusBarTextField::shadow()
{
    static const PZShadow white{QPointF(0, 1.1), 0, QColor(255, 255, 255, 153)};
    return white;
}

}  // namespace ombrelay
