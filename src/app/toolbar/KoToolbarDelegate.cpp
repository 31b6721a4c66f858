#include "app/toolbar/KoToolbarDelegate.h"

#include "app/toolbar/ToolbarConfiguration.h"
#include "kit/Settings.h"
#include "search/suggestions/SearchField.h"

#include <QHBoxLayout>
#include <QWidgetAction>

namespace ombrelay {

const QString KoToolbarDelegate::kSeparator = QStringLiteral("NSToolbarSeparatorItem");
const QString KoToolbarDelegate::kFlexibleSpace = QStringLiteral("NSToolbarFlexibleSpaceItem");
const QString KoToolbarDelegate::kSpace = QStringLiteral("NSToolbarSpaceItem");

KoToolbarDelegate::KoToolbarDelegate(QObject* parent) : QObject(parent) {}

QWidgetAction* KoToolbarDelegate::searchItem()
{
    static QWidgetAction* item = [] {
        auto* made = new QWidgetAction(nullptr);  // lives as long as the process
        // The item is as high as the other items' buttons, so the toolbar keeps its height on a switch;
        // the field stands in its middle at its own height.
        auto* view = new QWidget;
        view->setFixedSize(kSearchItemSize);
        auto* field = new SearchField(view);
        field->setPlaceholderText(tr("Search"));
        field->setFixedHeight(22);
        auto* layout = new QHBoxLayout(view);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(field, 1, Qt::AlignVCenter);
        made->setDefaultWidget(view);
        made->setObjectName(QStringLiteral("item_search"));
        made->setText(tr("Search"));
        made->setToolTip(tr("Search for files"));
        return made;
    }();
    return item;
}

QLineEdit* KoToolbarDelegate::searchView()
{
    static QLineEdit* field = searchItem()->defaultWidget()->findChild<QLineEdit*>();
    return field;
}

void KoToolbarDelegate::setSearchItemWidth(int width)
{
    searchItem()->defaultWidget()->setFixedWidth(width);
}

void KoToolbarDelegate::registerDefaults()
{
    ToolbarConfiguration::registerDefaults(Settings::instance(), toolbarIdentifier(), toolbarDefaultItemIdentifiers());
}

void KoToolbarDelegate::selectSearchField()
{
    QLineEdit* field = searchView();
    if (!field)
        return;
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

QAction* KoToolbarDelegate::toolbarItem(const QString& identifier)
{
    if (identifier == QLatin1String("item_search"))
        return searchItem();
    return m_items.value(identifier);
}

QWidgetAction* KoToolbarDelegate::addItem(const QString& identifier, QWidget* view, const QString& label, QSize minimum,
                                          QSize maximum)
{
    auto* item = new QWidgetAction(this);
    item->setObjectName(identifier);
    item->setText(label);
    view->setMinimumSize(minimum);
    view->setMaximumSize(maximum);
    item->setDefaultWidget(view);
    m_items.insert(identifier, item);
    return item;
}

}  // namespace ombrelay
