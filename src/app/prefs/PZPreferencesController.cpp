#include "app/prefs/PZPreferencesController.h"

#include "app/prefs/KoPreferencesWindow.h"

#include <QActionGroup>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QToolBar>

namespace ombrelay {

namespace {

// Calls back when the watched object gets an event of one type.
class EventWatch : public QObject
{
public:
    EventWatch(QObject* parent, QEvent::Type type, std::function<void()> happened)
        : QObject(parent), m_type(type), m_happened(std::move(happened))
    {
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == m_type)
            m_happened();
        return false;
    }

private:
    QEvent::Type m_type;
    std::function<void()> m_happened;
};

QPropertyAnimation* fade(QWidget* pane, qreal from, qreal to, int duration)
{
    auto* effect = new QGraphicsOpacityEffect(pane);
    effect->setOpacity(from);
    pane->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity");
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->setDuration(duration);
    return animation;
}

}  // namespace

PZPreferencesController::PZPreferencesController(QObject* parent)
    : QObject(parent), m_window(new KoPreferencesWindow), m_toolbar(new QToolBar(m_window)),
      m_stage(new QWidget(m_window)), m_group(new QActionGroup(this))
{
    m_window->setObjectName(QStringLiteral("PreferencesWindow"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(32, 32));
    m_toolbar->toggleViewAction()->setEnabled(false);
    m_window->addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_window->setCentralWidget(m_stage);
    m_window->setContextMenuPolicy(Qt::NoContextMenu);
    // The panes cover the whole stage as the window resizes.
    m_stage->installEventFilter(new EventWatch(this, QEvent::Resize, [this] { placePanes(); }));
    connect(m_window, &KoPreferencesWindow::willHide, this, &PZPreferencesController::commitEditing);
}

PZPreferencesController::~PZPreferencesController()
{
    if (m_animation)
        m_animation->stop();
    delete m_window;
}

void PZPreferencesController::addPane(const QString& identifier, const QString& label, const QIcon& icon,
                                      QWidget* pane, bool heightSizable)
{
    const int index = int(m_items.size());
    pane->setParent(m_stage);
    pane->hide();
    PZPreferencesToolbarItem item{identifier, label, pane, pane->sizeHint().expandedTo(pane->minimumSize()), heightSizable,
                                  nullptr};
    // A pane that comes to show more (a refusal, a failure) grows the window rather than squeezing.
    pane->installEventFilter(new EventWatch(this, QEvent::LayoutRequest, [this, index] {
        if (index == m_current && !isAnimating())
            applySizeLimits(index);
    }));
    item.action = m_toolbar->addAction(icon, label);
    item.action->setCheckable(true);
    item.action->setObjectName(identifier);
    m_group->addAction(item.action);
    connect(item.action, &QAction::triggered, this, [this, index] {
        if (isAnimating()) {
            // A switch is running: the click is ignored and the running pane stays chosen.
            m_items[m_current].action->setChecked(true);
            return;
        }
        showPaneForItem(index);
    });
    m_items.append(item);
    if (m_current < 0)
        showPaneForItem(index);
}

QWidget* PZPreferencesController::currentPane() const
{
    return m_current >= 0 ? m_items[m_current].panelView : nullptr;
}

QSize PZPreferencesController::windowSizeFor(int index) const
{
    const PZPreferencesToolbarItem& item = m_items[index];
    const QSize toolbar = m_toolbar->sizeHint();
    // Never narrower than the toolbar, so that every pane's item stays in view.
    const int width = qMax(item.initialSize.width(), toolbar.width());
    const QWidget* pane = item.panelView;
    const int needed = pane->hasHeightForWidth() ? pane->heightForWidth(width) : pane->sizeHint().height();
    return {width, toolbar.height() + qMax(item.initialSize.height(), needed)};
}

void PZPreferencesController::applySizeLimits(int index)
{
    const PZPreferencesToolbarItem& item = m_items[index];
    const QSize size = windowSizeFor(index);
    // Panes resize only in height, and only when their item allows it.
    m_window->setMinimumSize(size.width(), size.height());
    m_window->setMaximumSize(size.width(), item.heightSizable ? QWIDGETSIZE_MAX : size.height());
}

void PZPreferencesController::showPaneForItem(int index)
{
    if (index < 0 || index >= m_items.size())
        return;
    const PZPreferencesToolbarItem& item = m_items[index];
    m_window->setWindowTitle(item.label);
    item.action->setChecked(true);
    if (QWidget* focus = m_window->focusWidget())
        focus->clearFocus();
    if (index == m_current || isAnimating())
        return;

    const QRect frame = m_window->geometry();
    const QSize size = windowSizeFor(index);
    // The top edge stays where it is; the window grows or shrinks downwards.
    const QRect target(frame.x(), frame.y(), size.width(), size.height());
    QWidget* pane = item.panelView;
    if (!m_hasInited) {
        m_hasInited = true;
        m_current = index;
        applySizeLimits(index);
        m_window->setGeometry(target);
        pane->show();
        placePanes();
        return;
    }
    QWidget* previous = currentPane();
    m_current = index;
    m_window->setMinimumSize(0, 0);
    m_window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    pane->show();
    pane->raise();
    placePanes();

    auto* group = new QParallelAnimationGroup(this);
    auto* resize = new QPropertyAnimation(m_window, "geometry");
    resize->setStartValue(frame);
    resize->setEndValue(target);
    resize->setDuration(kSwitchDurationMs);
    group->addAnimation(resize);
    group->addAnimation(fade(previous, 1.0, 0.0, kSwitchDurationMs));
    group->addAnimation(fade(pane, 0.0, 1.0, kSwitchDurationMs));
    m_animation = group;
    connect(group, &QAbstractAnimation::finished, this, [this, previous] { finishSwitch(previous); });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void PZPreferencesController::finishSwitch(QWidget* previous)
{
    m_animation.clear();
    previous->hide();
    previous->setGraphicsEffect(nullptr);
    if (QWidget* pane = currentPane()) {
        pane->setGraphicsEffect(nullptr);
        applySizeLimits(m_current);
    }
    placePanes();
}

void PZPreferencesController::placePanes()
{
    for (const PZPreferencesToolbarItem& item : m_items)
        if (item.panelView->isVisibleTo(m_window))
            item.panelView->setGeometry(m_stage->rect());
}

void PZPreferencesController::showWindow()
{
    if (!m_everShown) {
        m_everShown = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            const QSize size = m_window->size();
            m_window->move(available.center() - QPoint(size.width() / 2, size.height() / 2));
        }
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PZPreferencesController::editSites()
{
    if (isAnimating())  // the running switch ends first, then the first pane follows
        connect(m_animation, &QAbstractAnimation::finished, this, [this] { showPaneForItem(0); });
    else
        showPaneForItem(0);
    showWindow();
}

}  // namespace ombrelay
