#include "app/web/MainWebView.h"

#include "app/frame/KoContentView.h"
#include "app/toolbar/KoMainToolbarDelegate.h"
#include "app/web/CurrentWebView.h"
#include "app/web/DefaultBrowser.h"
#include "app/web/WebPage.h"
#include "app/web/WebText.h"
#include "kit/PerformLater.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace ombrelay {

MainWebView::MainWebView(QWidget* parent) : QWebEngineView(parent)
{
    auto* page = new WebPage(this);
    setPage(page);
    connect(page, &WebPage::backgroundTabRequested, this, &MainWebView::backgroundTabRequested);
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString& link) {
        m_hoveredLink = link;
        emit hoveredLinkChanged(link);
    });
    connect(page, &QWebEnginePage::loadStarted, this, [this] {
        m_loading = true;
        emit loadingChanged(true);
    });
    connect(page, &QWebEnginePage::loadFinished, this, [this] {
        m_loading = false;
        emit loadingChanged(false);
    });
    connect(page, &QWebEnginePage::recommendedStateChanged, this, [this](QWebEnginePage::LifecycleState state) {
        if (state == QWebEnginePage::LifecycleState::Frozen)
            this->page()->setLifecycleState(state);
    });
    m_discardTimer.setSingleShot(true);
    m_discardTimer.setInterval(kDiscardAfterMs);
    connect(&m_discardTimer, &QTimer::timeout, this, [this] {
        if (!isVisible() && this->page()->recommendedState() != QWebEnginePage::LifecycleState::Active)
            this->page()->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
    });
}

// The page outlives this part of the view: it reports to nobody, and the view stops being current.
MainWebView::~MainWebView()
{
    page()->disconnect(this);
    if (CurrentWebView::instance().content() == this)
        CurrentWebView::instance().setContent(nullptr);
}

WebPage* MainWebView::webPage() const
{
    return static_cast<WebPage*>(page());
}

bool MainWebView::setLocation(const QString& typed)
{
    const QUrl address = WebText::completedLocation(typed);
    if (!address.isValid())
        return false;
    load(address);
    return true;
}

// Chromium's input widget comes and goes with the renderer: watch whichever is the focus proxy now.
bool MainWebView::event(QEvent* event)
{
    if (event->type() == QEvent::ChildPolished && focusProxy() && focusProxy() != m_filtered) {
        m_filtered = focusProxy();
        m_filtered->installEventFilter(this);
    }
    return QWebEngineView::event(event);
}

bool MainWebView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_filtered && (handleClick(event) || handleKey(event)))
        return true;
    return QWebEngineView::eventFilter(watched, event);
}

bool MainWebView::handleClick(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && m_eatRelease) {
        m_eatRelease = false;
        return true;
    }
    if (event->type() != QEvent::MouseButtonPress || m_hoveredLink.isEmpty())
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const bool middle = mouse->button() == Qt::MiddleButton;
    if (mouse->button() != Qt::LeftButton && !middle)
        return false;
    const Qt::KeyboardModifiers modifiers = mouse->modifiers();
    const QUrl link(m_hoveredLink);
    // In the order of the status bar's texts: Shift before Ctrl.
    if (modifiers & Qt::ShiftModifier) {
        DefaultBrowser::open(link, modifiers & Qt::ControlModifier ? DefaultBrowser::Placement::Behind
                                                                   : DefaultBrowser::Placement::InFront);
    } else if (middle || modifiers & Qt::ControlModifier) {
        if (WebText::isWebAddress(link))
            emit backgroundTabRequested(link);
    } else if (!(modifiers & Qt::AltModifier)) {
        return false;
    }
    m_eatRelease = true;
    return true;
}

bool MainWebView::handleKey(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::AltModifier)
        return false;
    if (key->key() == Qt::Key_Left)
        back();
    else if (key->key() == Qt::Key_Right)
        forward();
    else
        return false;
    return true;
}

void MainWebView::showEvent(QShowEvent* event)
{
    QWebEngineView::showEvent(event);
    m_discardTimer.stop();
    page()->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    CurrentWebView::instance().setContent(this);
    for (QWidget* above = parentWidget(); above; above = above->parentWidget()) {
        if (auto* content = qobject_cast<KoContentView*>(above)) {
            content->setToolbarDelegate(&KoMainToolbarDelegate::instance());
            break;
        }
    }
}

void MainWebView::hideEvent(QHideEvent* event)
{
    QWebEngineView::hideEvent(event);
    m_discardTimer.start();
    PerformLater::schedule(this, [this] {
        if (!isVisible() && CurrentWebView::instance().content() == this)
            CurrentWebView::instance().setContent(nullptr);
    }, 0, QStringLiteral("leftWindow"));
}

void MainWebView::leaveEvent(QEvent* event)
{
    QWebEngineView::leaveEvent(event);
    m_hoveredLink.clear();
    emit hoveredLinkChanged({});
}

}  // namespace ombrelay
