#include "app/toolbar/LocationField.h"

#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"

namespace ombrelay {

LocationField::LocationField(QWidget* parent) : QLineEdit(parent)
{
    setPlaceholderText(tr("Location"));
    connect(this, &QLineEdit::textEdited, this, [this] { m_typing = true; });
    connect(this, &QLineEdit::returnPressed, this, [this] {
        MainWebView* view = CurrentWebView::instance().content();
        if (view && view->setLocation(text()))
            m_typing = false;
    });
}

void LocationField::refresh(const MainWebView* view)
{
    const QString shown = view ? view->url().toString() : QString();
    if (!hasFocus())
        m_typing = false;
    if (!m_typing && text() != shown)
        setText(shown);
    setEnabled(view != nullptr);
}

}  // namespace ombrelay
