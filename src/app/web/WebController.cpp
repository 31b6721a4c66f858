#include "app/web/WebController.h"

#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/web/DefaultBrowser.h"
#include "app/web/MainWebView.h"
#include "app/web/ModifierKeys.h"
#include "app/web/WebPage.h"
#include "app/web/WebProfile.h"
#include "app/web/WebText.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWebEngineHistory>

namespace ombrelay {

namespace {

constexpr int kStatusBarHeight = 17;

}  // namespace

WebController::WebController(const QUrl& address, QObject* parent) : PZViewController(parent)
{
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_webView = new MainWebView(content);
    m_statusField = new QLabel(content);
    m_statusField->setObjectName(QStringLiteral("WebStatusBar"));
    m_statusField->setFixedHeight(kStatusBarHeight);
    m_statusField->setContentsMargins(6, 0, 6, 0);
    m_statusField->setTextFormat(Qt::PlainText);
    layout->addWidget(m_webView, 1);
    layout->addWidget(m_statusField);
    setContentView(content);

    QWebEnginePage* page = m_webView->page();
    connect(page, &QWebEnginePage::loadStarted, this, &WebController::progressStarted);
    connect(page, &QWebEnginePage::loadFinished, this, &WebController::progressFinished);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &WebController::rendererEnded);
    connect(page, &QWebEnginePage::titleChanged, this, [this] {
        if (tabButton())
            tabButton()->update();
    });
    connect(m_webView, &MainWebView::hoveredLinkChanged, this, &WebController::updateStatusBar);
    connect(m_webView, &MainWebView::backgroundTabRequested, this, &WebController::openInNewTab);
    connect(&ModifierKeys::instance(), &ModifierKeys::changed, this, &WebController::updateStatusBar);
    if (WebProfile::canShowPages())
        m_webView->load(WebText::loadableAddress(address));
}

// The page ends with its tab, not later.
WebController::~WebController()
{
    delete contentView();
}

QString WebController::title() const
{
    if (!m_webView)
        return {};
    QWebEnginePage* page = m_webView->page();
    return WebText::title(m_firstPageTitle, page->history()->canGoBack(), page->title(), page->url());
}

void WebController::setTabButton(QAbstractButton* button)
{
    PZViewController::setTabButton(button);
    setAnimating(m_loading);
}

void WebController::setStatusBarStringValue(const QString& text)
{
    if (m_statusField && m_statusField->text() != text)
        m_statusField->setText(text);
}

void WebController::updateStatusBar()
{
    if (!m_webView || !m_statusField || !m_statusField->window()->isVisible())
        return;
    const Qt::KeyboardModifiers keys = ModifierKeys::instance().current();
    setStatusBarStringValue(WebText::statusText(m_webView->hoveredLink(), keys & Qt::ShiftModifier,
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
