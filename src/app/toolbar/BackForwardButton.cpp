#include "app/toolbar/BackForwardButton.h"

#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>
#include <QWebEngineHistory>

namespace ombrelay {

BackForwardButton::BackForwardButton(QWidget* parent)
    : QWidget(parent), m_back(new QToolButton(this)), m_forward(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_back->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    m_forward->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    m_back->setToolTip(tr("Back"));
    m_forward->setToolTip(tr("Forward"));
    for (QToolButton* button : {m_back, m_forward}) {
        button->setAutoRaise(false);
        layout->addWidget(button);
    }
    connect(m_back, &QToolButton::clicked, this, [] { CurrentWebView::instance().goBackForward(0); });
    connect(m_forward, &QToolButton::clicked, this, [] { CurrentWebView::instance().goBackForward(1); });
    refresh(nullptr);
}

void BackForwardButton::refresh(const MainWebView* view)
{
    m_back->setEnabled(view && view->history()->canGoBack());
    m_forward->setEnabled(view && view->history()->canGoForward());
}

}  // namespace ombrelay
