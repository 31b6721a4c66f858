#include "app/web/WebController.h"

#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/web/DefaultBrowser.h"
#include "app/web/MainWebView.h"
#include "app/web/ModifierKeys.h"
#include "app/web/WebPage.h"
#include "app/web/WebProfile.h"
#include "app/web/WebText.h"
#include "search/views/WebStatusBarTextField.h"

#include <QVBoxLayout>
#include <QWebEngineHistory>

namespace ombrelay {

WebController::WebController(const QUrl& address, QObject* parent) : PZViewController(parent)
{
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* view = new MainWebView(content);
    layout->addWidget(view, 1);
    m_webView = view;
    m_statusField = WebStatusBarTextField::addStatusBar(*layout);
    setContentView(content);

    QWebEnginePage* page = view->page();
    connect(page, &QWebEnginePage::loadStarted, this, &WebController::progressStarted);
    connect(page, &QWebEnginePage::loadFinished, this, &WebController::progressFinished);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &WebController::rendererEnded);
    connect(page, &QWebEnginePage::titleChanged, this, [this] {
        if (tabButton())
            tabButton()->update();
    });
    connect(view, &MainWebView::hoveredLinkChanged, this, &WebController::updateStatusBar);
    connect(view, &MainWebView::backgroundTabRequested, this, &WebController::openInNewTab);
    connect(&ModifierKeys::instance(), &ModifierKeys::changed, this, &WebController::updateStatusBar);
    if (WebProfile::canShowPages())
        view->load(WebText::loadableAddress(address));
}

// The page ends with its tab, not later.
WebController::~WebController()
{
    delete contentView();
}

QString WebController::title() const
{
    MainWebView* view = webView();
    if (!view)
        return {};
    QWebEnginePage* page = view->page();
    return WebText::title(m_firstPageTitle, page->history()->canGoBack(), page->title(), page->url());
}

void WebController::setTabButton(QAbstractButton* button)
{
    PZViewController::setTabButton(button);
    setAnimating(m_loading);
}

void WebController::setStatusBarStringValue(const QString& text)
{
    WebStatusBarTextField* status = statusField();
    if (status && status->text() != text)
        status->setText(text);
}

void WebController::updateStatusBar()
{
    MainWebView* view = webView();
    WebStatusBarTextField* status = statusField();
    if (!view || !status || !status->window()->isVisible())
        return;
    const Qt::KeyboardModifiers keys = ModifierKeys::instance().current();
    setStatusBarStringValue(WebText::statusText(view->hoveredLink(), keys & Qt::ShiftModifier,
                                                keys & Qt::ControlModifier, DefaultBrowser::name()));
}

void WebController::progressStarted()
{
    m_loading = true;
    setAnimating(true);
}

void WebController::progressFinished()
{
    m_loading = false;
    setAnimating(false);
}

void WebController::rendererEnded()
{
    progressFinished();
    setStatusBarStringValue(tr("The page stopped working. Reload to show it again."));
}

void WebController::openInNewTab(const QUrl& address)
{
    auto* strip = tabButton() ? qobject_cast<PZSquareTabView*>(tabButton()->parentWidget()) : nullptr;
    if (strip)
        strip->newTabWithURL(address, false);
}

void WebController::setAnimating(bool animating)
{
    if (auto* button = qobject_cast<PZSquareTabButton*>(tabButton())) {
        button->setIsAnimating(animating);
        button->update();
    }
}

}  // namespace ombrelay
