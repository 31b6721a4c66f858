#pragma once

#include <QMap>
#include <QString>

class QToolBar;

namespace ombrelay {

class Settings;

// A toolbar's display settings as stored under "NSToolbar Configuration <identifier>" (an INI group of
// strings): "TB Display Mode" (1 text under icon, 2 icon only, 3 text only), "TB Icon Size Mode",
// "TB Size Mode" (2 small) and "TB Is Shown". "TB Item Identifiers" holds the delegate's default items as
// registered; a toolbar always shows its delegate's defaults.
class ToolbarConfiguration
{
public:
    static const QStringList& displayKeys();
    static QString groupFor(const QString& identifier);
    static const QString kItemIdentifiers;
    // Where absent: every display key "1" and the default items.
    static void registerDefaults(Settings& settings, const QString& identifier, const QStringList& items);

    static ToolbarConfiguration read(Settings& settings, const QString& identifier);
    void write(Settings& settings, const QString& identifier) const;

    static ToolbarConfiguration fromToolbar(const QToolBar& toolbar);
    void apply(QToolBar& toolbar) const;

    bool isEmpty() const { return m_values.isEmpty(); }
    QString value(const QString& key) const { return m_values.value(key); }
    void setValue(const QString& key, const QString& value) { m_values.insert(key, value); }

private:
    QMap<QString, QString> m_values;
};

}  // namespace ombrelay
