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

void CurrentWebView::setContent(MainWebView* view)
{
    if (m_content == view)
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
    if (m_content)
        m_content->back();
}

void CurrentWebView::goForward()
{
    if (m_content)
        m_content->forward();
}

void CurrentWebView::stopLoading()
{
    if (m_content)
        m_content->stop();
}

void CurrentWebView::reload()
{
    if (m_content)
        m_content->reload();
}

void CurrentWebView::makeTextLarger()
{
    if (m_content)
        m_content->setZoomFactor(std::min(kMaxZoom, m_content->zoomFactor() * kZoomStep));
}

void CurrentWebView::makeTextSmaller()
{
    if (m_content)
        m_content->setZoomFactor(std::max(kMinZoom, m_content->zoomFactor() / kZoomStep));
}

void CurrentWebView::goHome()
{
    const QUrl home(Settings::instance().string(QStringLiteral("kDefaultSite")), QUrl::StrictMode);
    if (m_content && WebText::isWebAddress(home))
        m_content->load(home);
}

}  // namespace ombrelay
