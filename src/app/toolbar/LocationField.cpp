#include "app/toolbar/LocationField.h"

#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"

namespace ombrelay {

LocationField::LocationField(QWidget* parent) : QLineEdit(parent)
{
    setPlaceholderText(tr("Location"));
    connect(this, &QLineEdit::returnPressed, this, [this] {
        if (MainWebView* view = CurrentWebView::instance().content())
            view->setLocation(text());
    });
}

void LocationField::refresh(const MainWebView* view)
{
    const QString shown = view ? view->url().toString() : QString();
    if (!hasFocus() && text() != shown)
        setText(shown);
    setEnabled(view != nullptr);
}

}  // namespace ombrelay
