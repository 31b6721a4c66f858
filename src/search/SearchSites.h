#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantMap>

namespace ombrelay {

class PZFaviconLoader;
class Settings;

// The search sites: six built-in sites that can only be switched on and off ("kEnabledSystemModules"),
// and the user's own sites stored in "kSearchSites". A site is a dictionary; the list a search scrapes is
// allEnabledModules(). The model follows "kSearchSites" of the process-wide settings. Main thread only.
class SearchSites : public QObject
{
    Q_OBJECT
public:
    // Longest name and address template a user site may have; longer stored sites are skipped as damaged.
    static constexpr int kMaxNameLength = 512;
    static constexpr int kMaxAddressLength = 2048;

    // Why a user site cannot be saved as typed.
    enum class UserSiteFault
    {
        None,
        NameTooLong,
        AddressTooLong,
        NoQueryPlaceholder,  // no "%@" where the search text goes
        NotWebAddress,       // not http or https, or no host
    };
    static UserSiteFault checkUserSite(const QString& name, const QString& pattern);

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
    // The site-icon loader of that address; null when there is none.
    static PZFaviconLoader* faviconLoaderForSearchSite(const QVariantMap& site);

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
    // Stores the sites under "kSearchSites" at once; the model then reloads them from there.
    void saveUserModules(const QList<QVariantMap>& sites);
    // The enabled user sites; with type >= 0 only those of that "type".
    QList<QVariantMap> userModulesOfType(int type) const;
    QList<QVariantMap> allModules() const;
    QList<QVariantMap> allEnabledModules() const;

signals:
    // The user sites were read again from the settings.
    void userModulesChanged();

private:
    SearchSites() = default;
    void follow(Settings& settings);

    QList<QVariantMap> m_userModules;
    QPointer<Settings> m_settings;
    QString m_filePath;  // another file chosen for the settings is read afresh
    QMetaObject::Connection m_connection;
};

}  // namespace ombrelay
