#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantMap>

namespace ombrelay {

class Settings;

// The search sites: six built-in sites that can only be switched on and off ("kEnabledSystemModules"),
// and the user's own sites stored in "kSearchSites". A site is a dictionary; the list a search scrapes is
// allEnabledModules(). The model follows "kSearchSites" of the process-wide settings. Main thread only.
class SearchSites : public QObject
{
    Q_OBJECT
public:
    static SearchSites& instance();

    static const QList<QVariantMap>& systemSearchModules();
    static QStringList systemModuleIdentifiers();
    static bool isSystemModule(const QVariantMap& site);
    static bool moduleIsEnabled(const QVariantMap& site);
    // Switches a built-in site on or off in "kEnabledSystemModules".
    static void enable(bool enabled, const QVariantMap& site);
    // The site's name, else the host of its template; empty when neither exists.
    static QString nameForSearchSite(const QVariantMap& site);
    // The address whose site icon stands for the site; empty when none can be made.
    static QUrl faviconAddressForSearchSite(const QVariantMap& site);

    // Every "%@" of the template replaced by the escaped query; every other "%" stays as written.
    static QString filledTemplate(const QString& pattern, const QString& query);
    // A filled template read as an address; stray "%" signs are taken literally.
    static QUrl addressFromText(const QString& text);
    // Once per settings file: stored user sites from before the "type" key get "type" = "1".
    static void amendDefaults(Settings& settings);

    // Replaces the user sites with those stored under "kSearchSites"; a damaged entry is skipped (and
    // stays stored).
    void loadFromDefaults();
    QList<QVariantMap> userModules() const { return m_userModules; }
    void setUserModules(const QList<QVariantMap>& sites) { m_userModules = sites; }
    // The enabled user sites; with type >= 0 only those of that "type".
    QList<QVariantMap> userModulesOfType(int type) const;
    QList<QVariantMap> allModules() const;
    QList<QVariantMap> allEnabledModules() const;

private:
    SearchSites() = default;
    void follow(Settings& settings);

    QList<QVariantMap> m_userModules;
    QPointer<Settings> m_settings;
    QMetaObject::Connection m_connection;
};

}  // namespace ombrelay
