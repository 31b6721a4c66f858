#include "app/desktop/AdView.h"

#include "uikit/PZViewExtensions.h"

#include <QDesktopServices>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace ombrelay {

const QUrl AdWebView::kStartPage(QStringLiteral("qrc:/start/index.html"));

AdWebView::AdWebView(QWidget* parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QTextBrowser::anchorClicked, this, &AdWebView::linkClicked);
}

QVariant AdWebView::loadResource(int type, const QUrl& name)
{
    const QUrl resolved = kStartPage.resolved(name);
    if (resolved.scheme() != QLatin1String("qrc") || !resolved.path().startsWith(QLatin1String("/start/")))
        return {};
    return QTextBrowser::loadResource(type, resolved);
}

bool AdWebView::opensExternally(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                             scheme == QLatin1String("mailto"));
}

void AdWebView::linkClicked(const QUrl& url)
{
    if (opensExternally(url))
        QDesktopServices::openUrl(url);
}

AdView::AdView(QWidget* parent) : QWidget(parent), m_webView(new AdWebView(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);  // the top strip stays uncovered
    layout->addWidget(m_webView);
    setContextMenuPolicy(Qt::NoContextMenu);
    resize(100, 100);
    QTimer::singleShot(0, this, &AdView::loadPage);
}

void AdView::loadPage()
{
    m_webView->setSource(AdWebView::kStartPage);
}

void AdView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const float grey = PZViewExtensions::shouldDrawWithBlueTint(this) ? 0.341176f : 0.529412f;
    painter.fillRect(event->rect(), QColor::fromRgbF(grey, grey, grey));
}

}  // namespace ombrelay
