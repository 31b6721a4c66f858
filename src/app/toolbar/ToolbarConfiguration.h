#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QToolBar;

namespace ombrelay {

class Settings;

// A toolbar's display settings as stored under "NSToolbar Configuration <identifier>" (an INI group of
// strings): "TB Display Mode" (1 text under icon, 2 icon only, 3 text only), "TB Icon Size Mode",
// "TB Size Mode" (2 small) and "TB Is Shown", and "TB Item Identifiers", the items in the user's order
// (registered as the delegate's defaults; each toolbar keeps its own).
class ToolbarConfiguration
{
public:
    static const QStringList& displayKeys();
    static QString groupFor(const QString& identifier);
    static const QString kItemIdentifiers;
    static const QString kDisplayMode;
    // Where absent: every display key "1" and the default items.
    static void registerDefaults(Settings& settings, const QString& identifier, const QStringList& items);

    static ToolbarConfiguration read(Settings& settings, const QString& identifier);
    void write(Settings& settings, const QString& identifier) const;

    // The items a toolbar shows: the stored order less what is unknown or not allowed, each item but the
    // separator and the spaces once, "item_search" always kept where it is allowed; the defaults when
    // nothing usable is stored.
    static QStringList items(Settings& settings, const QString& identifier, const QStringList& allowed,
                             const QStringList& defaults);
    static void writeItems(Settings& settings, const QString& identifier, const QStringList& items);
    // The separator and the two spaces, which may stand more than once.
    static bool isRepeatable(const QString& item);

    static ToolbarConfiguration fromToolbar(const QToolBar& toolbar);
    void apply(QToolBar& toolbar) const;

    bool isEmpty() const { return m_values.isEmpty(); }
    QString value(const QString& key) const { return m_values.value(key); }
    void setValue(const QString& key, const QString& value) { m_values.insert(key, value); }

private:
    QMap<QString, QString> m_values;
};

}  // namespace ombrelay
