#include "app/toolbar/RSSToolbarButton.h"

#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"
#include "app/web/WebHooks.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"

#include <QPainter>
#include <QWebEngineScript>

namespace ombrelay {

namespace {

// Read in the isolated world, so page scripts cannot shadow what it calls.
const QString kFirstFeedLink = QStringLiteral(
    "(function () { const links = document.getElementsByTagName('link');"
    " for (let i = 0; i < links.length; ++i) {"
    "  if (links[i].getAttribute('type') === 'application/rss+xml') return String(links[i].href); }"
    " return ''; })()");

// The usual feed mark: a dot and two arcs on an orange square.
QIcon feedIcon()
{
    QPixmap mark(16, 16);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(240, 130, 30));
    painter.drawRoundedRect(QRectF(0, 0, 16, 16), 3, 3);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(4.5, 11.5), 1.8, 1.8);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(-4, 4, 16, 16), 0, 90 * 16);
    painter.drawArc(QRectF(-9, -1, 26, 26), 0, 90 * 16);
    return QIcon(mark);
}

}  // namespace

RSSToolbarButton::RSSToolbarButton(QWidget* parent) : QToolButton(parent)
{
    setText(tr("Subscribe"));
    setIcon(feedIcon());
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
    auto* view = qobject_cast<MainWebView*>(m_view.data());
    if (!view || view->url().isEmpty() || view->isLoading()) {
        setFeedAddress({});
        return;
    }
    QPointer<QObject> button(this);
    QPointer<QObject> checked(view);
    const QUrl page = view->url();
    view->page()->runJavaScript(kFirstFeedLink, QWebEngineScript::ApplicationWorld, [button, checked, page, round](const QVariant& href) {
        // An answer for a page that is gone, changed or loading again is dropped.
        auto* self = qobject_cast<RSSToolbarButton*>(button.data());
        auto* view = qobject_cast<MainWebView*>(checked.data());
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
