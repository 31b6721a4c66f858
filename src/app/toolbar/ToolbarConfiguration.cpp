#include "app/toolbar/ToolbarConfiguration.h"

#include "app/toolbar/KoToolbarDelegate.h"
#include "kit/Settings.h"

#include <QToolBar>

namespace ombrelay {

namespace {

const QString kIconSizeMode = QStringLiteral("TB Icon Size Mode");
const QString kSizeMode = QStringLiteral("TB Size Mode");
const QString kIsShown = QStringLiteral("TB Is Shown");
const QString kSearchItem = QStringLiteral("item_search");
constexpr int kMaxStoredItems = 64;

Qt::ToolButtonStyle styleForMode(int mode)
{
    switch (mode) {
    case 1:
        return Qt::ToolButtonTextUnderIcon;
    case 3:
        return Qt::ToolButtonTextOnly;
    default:
        return Qt::ToolButtonIconOnly;
    }
}

int modeForStyle(Qt::ToolButtonStyle style)
{
    switch (style) {
    case Qt::ToolButtonTextUnderIcon:
        return 1;
    case Qt::ToolButtonTextOnly:
        return 3;
    default:
        return 2;
    }
}

}  // namespace

const QString ToolbarConfiguration::kItemIdentifiers = QStringLiteral("TB Item Identifiers");
const QString ToolbarConfiguration::kDisplayMode = QStringLiteral("TB Display Mode");

void ToolbarConfiguration::registerDefaults(Settings& settings, const QString& identifier, const QStringList& items)
{
    const QString group = groupFor(identifier) + QLatin1Char('/');
    for (const QString& key : displayKeys())
        settings.registerDefault(group + key, QStringLiteral("1"));
    settings.registerDefault(group + kItemIdentifiers, items);
}

const QStringList& ToolbarConfiguration::displayKeys()
{
    static const QStringList keys{kIconSizeMode, kDisplayMode, kSizeMode, kIsShown};
    return keys;
}

QString ToolbarConfiguration::groupFor(const QString& identifier)
{
    // A "/" would open a nested group.
    return QStringLiteral("NSToolbar Configuration %1").arg(QString(identifier).replace(QLatin1Char('/'), QLatin1Char('_')));
}

ToolbarConfiguration ToolbarConfiguration::read(Settings& settings, const QString& identifier)
{
    ToolbarConfiguration configuration;
    const QString group = groupFor(identifier);
    for (const QString& key : displayKeys()) {
        const QString value = settings.string(group + QLatin1Char('/') + key);
        if (!value.isEmpty())
            configuration.m_values.insert(key, value.left(16));
    }
    return configuration;
}

void ToolbarConfiguration::write(Settings& settings, const QString& identifier) const
{
    const QString group = groupFor(identifier);
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        settings.setValue(group + QLatin1Char('/') + it.key(), it.value());
}

bool ToolbarConfiguration::isRepeatable(const QString& item)
{
    return item == KoToolbarDelegate::kSeparator || item == KoToolbarDelegate::kSpace
        || item == KoToolbarDelegate::kFlexibleSpace;
}

QStringList ToolbarConfiguration::items(Settings& settings, const QString& identifier, const QStringList& allowed,
                                        const QStringList& defaults)
{
    QStringList items;
    for (const QString& item : settings.stringList(groupFor(identifier) + QLatin1Char('/') + kItemIdentifiers).mid(0, kMaxStoredItems)) {
        if (allowed.contains(item) && (isRepeatable(item) || !items.contains(item)))
            items.append(item);
    }
    if (items.isEmpty())
        return defaults;
    if (allowed.contains(kSearchItem) && !items.contains(kSearchItem))
        items.prepend(kSearchItem);
    return items;
}

void ToolbarConfiguration::writeItems(Settings& settings, const QString& identifier, const QStringList& items)
{
    settings.setValue(groupFor(identifier) + QLatin1Char('/') + kItemIdentifiers, items);
}

ToolbarConfiguration ToolbarConfiguration::fromToolbar(const QToolBar& toolbar)
{
    ToolbarConfiguration configuration;
    const QString size = toolbar.iconSize().width() <= 24 ? QStringLiteral("2") : QStringLiteral("1");
    configuration.m_values = {{kDisplayMode, QString::number(modeForStyle(toolbar.toolButtonStyle()))},
                              {kIconSizeMode, size},
                              {kSizeMode, size},
                              {kIsShown, toolbar.isVisibleTo(toolbar.parentWidget()) ? QStringLiteral("1") : QStringLiteral("0")}};
    return configuration;
}

void ToolbarConfiguration::apply(QToolBar& toolbar) const
{
    if (m_values.contains(kDisplayMode))
        toolbar.setToolButtonStyle(styleForMode(m_values.value(kDisplayMode).toInt()));
    if (m_values.contains(kSizeMode)) {
        const int edge = m_values.value(kSizeMode).toInt() == 2 ? 24 : 32;
        toolbar.setIconSize(QSize(edge, edge));
    }
    if (m_values.contains(kIsShown))
        toolbar.setVisible(m_values.value(kIsShown).toInt() != 0);
}

}  // namespace ombrelay
