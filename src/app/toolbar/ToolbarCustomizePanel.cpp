#include "app/toolbar/ToolbarCustomizePanel.h"

#include "app/toolbar/KoToolbarDelegate.h"
#include "app/toolbar/ToolbarConfiguration.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrelay {

namespace {

const QString kSearchItem = QStringLiteral("item_search");

QListWidget* makeList(QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->setMinimumSize(180, 200);
    return list;
}

}  // namespace

ToolbarCustomizePanel::ToolbarCustomizePanel(Choices choices, QWidget* parent)
    : QDialog(parent),
      m_choices(std::move(choices)),
      m_itemsList(makeList(this)),
      m_availableList(makeList(this)),
      m_add(new QPushButton(tr("Add"), this)),
      m_remove(new QPushButton(tr("Remove"), this)),
      m_up(new QPushButton(tr("Move Up"), this)),
      m_down(new QPushButton(tr("Move Down"), this)),
      m_defaults(new QPushButton(tr("Use Default Set"), this)),
      m_displayMode(new QComboBox(this))
{
    setWindowTitle(tr("Customize Toolbar"));
    m_itemsList->setDragDropMode(QAbstractItemView::InternalMove);
    m_displayMode->addItem(tr("Icon and Text"), 1);
    m_displayMode->addItem(tr("Icon Only"), 2);
    m_displayMode->addItem(tr("Text Only"), 3);
    m_displayMode->setCurrentIndex(qMax(0, m_displayMode->findData(m_choices.displayMode)));

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {m_add, m_remove, m_up, m_down})
        buttons->addWidget(button);
    buttons->addStretch();
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(tr("Toolbar items:"), this), 0, 0);
    lists->addWidget(new QLabel(tr("Items you can add:"), this), 0, 2);
    lists->addWidget(m_itemsList, 1, 0);
    lists->addLayout(buttons, 1, 1);
    lists->addWidget(m_availableList, 1, 2);
    auto* mode = new QFormLayout;
    mode->addRow(tr("Show:"), m_displayMode);
    auto* done = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    done->button(QDialogButtonBox::Ok)->setText(tr("Done"));
    done->addButton(m_defaults, QDialogButtonBox::ResetRole);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(mode);
    layout->addWidget(done);

    connect(m_add, &QPushButton::clicked, this, &ToolbarCustomizePanel::add);
    connect(m_remove, &QPushButton::clicked, this, &ToolbarCustomizePanel::remove);
    connect(m_up, &QPushButton::clicked, this, [this] { move(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { move(1); });
    connect(m_defaults, &QPushButton::clicked, this, [this] { change(m_choices.defaults, 0); });
    connect(done, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_displayMode, &QComboBox::activated, this,
            [this] { emit displayModeChanged(m_displayMode->currentData().toInt()); });
    connect(m_itemsList, &QListWidget::currentRowChanged, this, &ToolbarCustomizePanel::updateButtons);
    connect(m_availableList, &QListWidget::currentRowChanged, this, &ToolbarCustomizePanel::updateButtons);
    // A row dragged to another place.
    connect(m_itemsList->model(), &QAbstractItemModel::rowsMoved, this, [this] { emit itemsChanged(items()); });
    showItems(m_choices.items, 0);
}

QString ToolbarCustomizePanel::labelOf(const QString& identifier) const
{
    if (identifier == KoToolbarDelegate::kSeparator)
        return tr("Separator");
    if (identifier == KoToolbarDelegate::kSpace)
        return tr("Space");
    if (identifier == KoToolbarDelegate::kFlexibleSpace)
        return tr("Flexible Space");
    const QString label = m_choices.label ? m_choices.label(identifier) : QString();
    return label.isEmpty() ? identifier : label;
}

QStringList ToolbarCustomizePanel::items() const
{
    QStringList items;
    for (int row = 0; row < m_itemsList->count(); ++row)
        items.append(m_itemsList->item(row)->data(Qt::UserRole).toString());
    return items;
}

void ToolbarCustomizePanel::showItems(const QStringList& items, int current)
{
    const auto fill = [this](QListWidget* list, const QStringList& identifiers) {
        list->clear();
        for (const QString& identifier : identifiers) {
            auto* row = new QListWidgetItem(labelOf(identifier), list);
            row->setData(Qt::UserRole, identifier);
        }
    };
    fill(m_itemsList, items);
    QStringList available;
    for (const QString& identifier : m_choices.allowed) {
        if (ToolbarConfiguration::isRepeatable(identifier) || !items.contains(identifier))
            available.append(identifier);
    }
    fill(m_availableList, available);
    m_itemsList->setCurrentRow(qBound(0, current, int(items.size()) - 1));
    m_availableList->setCurrentRow(0);
    updateButtons();
}

void ToolbarCustomizePanel::change(const QStringList& items, int current)
{
    showItems(items, current);
    emit itemsChanged(items);
}

void ToolbarCustomizePanel::add()
{
    const QListWidgetItem* chosen = m_availableList->currentItem();
    if (!chosen)
        return;
    QStringList changed = items();
    const int at = m_itemsList->currentRow() + 1;  // after the chosen row; at the start when none is
    changed.insert(at, chosen->data(Qt::UserRole).toString());
    change(changed, at);
}

void ToolbarCustomizePanel::remove()
{
    const int row = m_itemsList->currentRow();
    QStringList changed = items();
    if (row < 0 || row >= changed.size() || changed[row] == kSearchItem)
        return;
    changed.removeAt(row);
    change(changed, qMin(row, int(changed.size()) - 1));
}

void ToolbarCustomizePanel::move(int by)
{
    const int row = m_itemsList->currentRow();
    QStringList changed = items();
    if (row < 0 || row + by < 0 || row + by >= changed.size())
        return;
    changed.move(row, row + by);
    change(changed, row + by);
}

void ToolbarCustomizePanel::updateButtons()
{
    const int row = m_itemsList->currentRow();
    const QListWidgetItem* current = m_itemsList->currentItem();
    m_add->setEnabled(m_availableList->currentItem() != nullptr);
    m_remove->setEnabled(current && current->data(Qt::UserRole).toString() != kSearchItem);
    m_up->setEnabled(row > 0);
    m_down->setEnabled(current && row + 1 < m_itemsList->count());
}

}  // namespace ombrelay
