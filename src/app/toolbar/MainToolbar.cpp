#include "app/toolbar/MainToolbar.h"

#include "app/toolbar/KoToolbarDelegate.h"
#include "app/toolbar/ToolbarConfiguration.h"
#include "kit/NotificationCenter.h"

#include <QAbstractButton>
#include <QActionEvent>
#include <QContextMenuEvent>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <QWidgetAction>

namespace ombrelay {

namespace {

// An item's view as it was before a display mode changed it (minimum and maximum width, button style and
// text), so that each mode starts from it.
const char* const kOriginal = "ombrelayOriginalLook";

}  // namespace

MainToolbar::MainToolbar(QWidget* parent) : QToolBar(parent)
{
    connect(this, &QToolBar::toolButtonStyleChanged, this, &MainToolbar::styleChanged);
}

void MainToolbar::styleChanged()
{
    followStyle();
    postNotificationAboutSelf(this, QStringLiteral("ToolbarModeDidChangeNotification"));
}

void MainToolbar::actionEvent(QActionEvent* event)
{
    // The labels are drawn here from the items' views: they follow each view's state and place.
    if (event->type() == QEvent::ActionRemoved) {
        if (QWidget* view = widgetForAction(event->action()))
            view->removeEventFilter(this);
    }
    QToolBar::actionEvent(event);
    if (event->type() == QEvent::ActionAdded) {
        if (QWidget* view = widgetForAction(event->action()))
            view->installEventFilter(this);
    }
}

bool MainToolbar::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (const int height = labelHeight())
            update(0, this->height() - height, width(), height);
        break;
    default:
        break;
    }
    return QToolBar::eventFilter(watched, event);
}

void MainToolbar::setItems(ToolbarDelegate& delegate, const QStringList& items)
{
    clear();
    delete m_standardItems;
    m_standardItems = new QObject(this);
    m_identifiers.clear();
    for (const QString& identifier : items) {
        QAction* item = ToolbarConfiguration::isRepeatable(identifier) ? makeStandardItem(identifier)
                                                                       : delegate.toolbarItem(identifier);
        if (!item)
            continue;
        addAction(item);
        m_identifiers.append(identifier);
    }
    followStyle();
}

QAction* MainToolbar::makeStandardItem(const QString& identifier)
{
    if (identifier == KoToolbarDelegate::kSeparator) {
        auto* separator = new QAction(m_standardItems);
        separator->setSeparator(true);
        return separator;
    }
    auto* space = new QWidget;
    if (identifier == KoToolbarDelegate::kFlexibleSpace) {
        space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    } else {
        space->setFixedWidth(8);
    }
    auto* item = new QWidgetAction(m_standardItems);
    item->setObjectName(identifier);
    item->setDefaultWidget(space);  // deleted with the item
    return item;
}

int MainToolbar::labelHeight() const
{
    return toolButtonStyle() == Qt::ToolButtonTextUnderIcon ? fontMetrics().height() + 2 : 0;
}

QRect MainToolbar::labelRect(QAction* item) const
{
    const QWidget* view = widgetForAction(item);
    if (!labelHeight() || !qobject_cast<QWidgetAction*>(item) || item->text().isEmpty() || !view || view->isHidden())
        return {};
    return QRect(view->x(), height() - labelHeight(), view->width(), labelHeight());
}

void MainToolbar::paintEvent(QPaintEvent* event)
{
    QToolBar::paintEvent(event);
    if (!labelHeight())
        return;
    QPainter painter(this);
    for (QAction* item : actions()) {
        const QRect area = labelRect(item);
        if (area.isEmpty())
            continue;
        const QString text = fontMetrics().elidedText(item->text(), Qt::ElideRight, area.width());
        const bool enabled = widgetForAction(item)->isEnabled();
        painter.setPen(palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop, text);
    }
}

void MainToolbar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        for (QAction* item : actions()) {
            auto* button = qobject_cast<QAbstractButton*>(widgetForAction(item));
            if (button && button->isEnabled() && labelRect(item).contains(event->position().toPoint())) {
                button->click();
                return;
            }
        }
    }
    QToolBar::mouseReleaseEvent(event);
}

void MainToolbar::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(tr("Customize Toolbar…"), this, &MainToolbar::customizeRequested);
    menu->popup(event->globalPos());
}

void MainToolbar::followStyle()
{
    for (QAction* action : actions()) {
        if (auto* item = qobject_cast<QWidgetAction*>(action); item && item->defaultWidget() && !item->text().isEmpty())
            fitItem(item);
    }
    // The items are laid out above the row of labels.
    setContentsMargins(0, 0, 0, labelHeight());
    update();
}

void MainToolbar::fitItem(QWidgetAction* item)
{
    QWidget* view = item->defaultWidget();
    auto* button = qobject_cast<QToolButton*>(view);
    // A view is left as it is until a mode must change it (the search field's width follows the sidebar).
    const bool touched = view->property(kOriginal).isValid();
    const QVariantList original = touched ? view->property(kOriginal).toList()
                                          : QVariantList{view->minimumWidth(), view->maximumWidth(),
                                                         button ? int(button->toolButtonStyle()) : 0,
                                                         button ? button->text() : QString()};
    const int minimum = original.at(0).toInt();
    const int maximum = original.at(1).toInt();
    const auto ownStyle = Qt::ToolButtonStyle(original.at(2).toInt());
    const QString ownText = original.at(3).toString();
    const bool textForIcon = button && toolButtonStyle() == Qt::ToolButtonTextOnly && ownStyle == Qt::ToolButtonIconOnly;
    const int labelWidth = labelHeight() ? fontMetrics().horizontalAdvance(item->text()) + 6 : 0;
    if (!touched && !textForIcon && labelWidth <= minimum)
        return;
    view->setProperty(kOriginal, original);
    if (button) {
        button->setToolButtonStyle(textForIcon ? Qt::ToolButtonTextOnly : ownStyle);
        button->setText(textForIcon && ownText.isEmpty() ? item->text() : ownText);
    }
    const int width = qMax(minimum, textForIcon ? button->sizeHint().width() : labelWidth);
    view->setMinimumWidth(width);
    view->setMaximumWidth(qMax(maximum, width));
}

}  // namespace ombrelay
