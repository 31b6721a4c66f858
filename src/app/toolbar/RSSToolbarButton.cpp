#include "app/toolbar/RSSToolbarButton.h"

#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"
#include "app/web/WebHooks.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"

#include <QWebEngineScript>

namespace ombrelay {

namespace {

// Read in the isolated world, so page scripts cannot shadow what it calls.
const QString kFirstFeedLink = QStringLiteral(
    "(function () { const links = document.getElementsByTagName('link');"
    " for (let i = 0; i < links.length; ++i) {"
    "  if (links[i].getAttribute('type') === 'application/rss+xml') return String(links[i].href); }"
    " return ''; })()");

}  // namespace

RSSToolbarButton::RSSToolbarButton(QWidget* parent) : QToolButton(parent)
{
    setText(tr("Subscribe"));
    setEnabled(false);
    connect(this, &QToolButton::clicked, this, [this] {
        if (WebHooks::instance().addFeed)
            WebHooks::instance().addFeed(m_feedAddress);
    });
    connect(&CurrentWebView::instance(), &CurrentWebView::contentChanged, this, &RSSToolbarButton::follow);
    follow(CurrentWebView::instance().content());
}

RSSToolbarButton::~RSSToolbarButton()
{
    stopListening(this);
}

QUrl RSSToolbarButton::feedAddressFromHref(const QString& href)
{
    if (href.isEmpty() || href.size() > kMaxAddressLength)
        return {};
    const QUrl address(href, QUrl::StrictMode);
    const QString scheme = address.scheme().toLower();
    const bool allowed = scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("feed");
    return allowed && address.isValid() ? address : QUrl();
}

void RSSToolbarButton::follow(MainWebView* view)
{
    disconnect(m_loadConnection);
    m_view = view;
    if (view)
        m_loadConnection = connect(view, &MainWebView::loadingChanged, this, &RSSToolbarButton::scheduleCheck);
    scheduleCheck();
}

void RSSToolbarButton::scheduleCheck()
{
    PerformLater::schedule(this, [this] { check(); }, 0, QStringLiteral("check"));
}

void RSSToolbarButton::check()
{
    const quint64 round = ++m_round;
    update();
    if (!m_view || m_view->url().isEmpty() || m_view->isLoading()) {
        setFeedAddress({});
        return;
    }
    QPointer<RSSToolbarButton> self(this);
    QPointer<MainWebView> view(m_view);
    const QUrl page = m_view->url();
    m_view->page()->runJavaScript(kFirstFeedLink, QWebEngineScript::ApplicationWorld, [self, view, page, round](const QVariant& href) {
        // An answer for a page that is gone, changed or loading again is dropped.
        if (!self || round != self->m_round || !view || view != self->m_view || view->url() != page || view->isLoading())
            return;
        self->setFeedAddress(feedAddressFromHref(href.toString()));
    });
}

void RSSToolbarButton::setFeedAddress(const QUrl& address)
{
    m_feedAddress = address;
    setEnabled(address.isValid());
}

}  // namespace ombrelay
