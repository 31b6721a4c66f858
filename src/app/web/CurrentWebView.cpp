#include "app/web/CurrentWebView.h"

#include "app/web/MainWebView.h"
#include "app/web/WebText.h"
#include "kit/Settings.h"

namespace ombrelay {

namespace {

constexpr double kZoomStep = 1.2;
constexpr double kMinZoom = 0.25;
constexpr double kMaxZoom = 5.0;

}  // namespace

CurrentWebView& CurrentWebView::instance()
{
    static CurrentWebView* current = new CurrentWebView;  // lives as long as the process
    return *current;
}

MainWebView* CurrentWebView::content() const
{
    return qobject_cast<MainWebView*>(m_content.data());
}

void CurrentWebView::setContent(MainWebView* view)
{
    if (content() == view)
        return;
    m_content = view;
    emit contentChanged(view);
}

void CurrentWebView::goBackForward(int segment)
{
    if (segment == 0)
        goBack();
    else if (segment == 1)
        goForward();
}

void CurrentWebView::goBack()
{
    if (MainWebView* view = content())
        view->back();
}

void CurrentWebView::goForward()
{
    if (MainWebView* view = content())
        view->forward();
}

void CurrentWebView::stopLoading()
{
    if (MainWebView* view = content())
        view->stop();
}

void CurrentWebView::reload()
{
    if (MainWebView* view = content())
        view->reload();
}

void CurrentWebView::makeTextLarger()
{
    if (MainWebView* view = content())
        view->setZoomFactor(std::min(kMaxZoom, view->zoomFactor() * kZoomStep));
}

void CurrentWebView::makeTextSmaller()
{
    if (MainWebView* view = content())
        view->setZoomFactor(std::max(kMinZoom, view->zoomFactor() / kZoomStep));
}

void CurrentWebView::goHome()
{
    const QUrl home(Settings::instance().string(QStringLiteral("kDefaultSite")), QUrl::StrictMode);
    if (MainWebView* view = content(); view && WebText::isWebAddress(home))
        view->load(home);
}

}  // namespace ombrelay
