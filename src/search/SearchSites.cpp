#include "search/SearchSites.h"

#include "kit/PropertyList.h"
#include "kit/ServiceAddresses.h"
#include "kit/Settings.h"
#include "kit/TextHelpers.h"
#include "search/icons/PZFaviconLoader.h"

#include <QDateTime>
#include <cstdio>

namespace ombrelay {
namespace {

const QString kSearchSitesKey = QStringLiteral("kSearchSites");
const QString kEnabledKey = QStringLiteral("kEnabledSystemModules");

QString hostAddress(const char* host, const char* pathAndQuery)
{
    return QStringLiteral("http://") + QLatin1String(host) + QLatin1String(pathAndQuery);
}

QVariantMap indexSite(const char* identifier, const char* name, const char* host, const char* pathAndQuery)
{
    return {{QStringLiteral("identifier"), QLatin1String(identifier)},
            {QStringLiteral("name"), QLatin1String(name)},
            {QStringLiteral("urls"), QStringList{hostAddress(host, pathAndQuery)}}};
}

QList<QVariantMap> buildSystemModules()
{
    using namespace service;
    QList<QVariantMap> sites;
    sites.append({{QStringLiteral("identifier"), QStringLiteral("google")},
                  {QStringLiteral("name"), QStringLiteral("Google")},
                  {QStringLiteral("urls"), QStringList{hostAddress(kWebSearchHost, "/search?q=%@&start=0")}},
                  {QStringLiteral("googleQuery"), QStringLiteral("+ext:torrent")}});
    const QString bing = hostAddress(kSecondWebSearchHost, "/search?q=%@+torrent");
    sites.append({{QStringLiteral("identifier"), QStringLiteral("bing")},
                  {QStringLiteral("name"), QStringLiteral("Bing")},
                  {QStringLiteral("urls"), QStringList{bing, bing + QStringLiteral("&first=11"),
                                                       bing + QStringLiteral("&first=21"),
                                                       bing + QStringLiteral("&first=31")}}});
    sites.append(indexSite(kIndexSiteAIdentifier, kIndexSiteAName, kIndexSiteAHost, "/?searchss=%@&cat=0"));
    QVariantMap post = indexSite(kIndexSiteBIdentifier, kIndexSiteBName, kIndexSiteBHost,
                                 "/home/search?search[query]=%@");
    post.insert(QStringLiteral("httpPost"), QStringLiteral("1"));
    sites.append(post);
    sites.append(indexSite(kIndexSiteCIdentifier, kIndexSiteCName, kIndexSiteCHost,
                           "/index.php?search=%@&page=torrents"));
    sites.append(indexSite(kIndexSiteDIdentifier, kIndexSiteDName, kIndexSiteDHost, "/search/?search=%@&cat=0"));
    return sites;
}

// A stored user site is a dictionary of texts (and its creation date), its name and template bounded.
bool isReadableUserSite(const QVariant& entry)
{
    if (entry.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap site = entry.toMap();
    for (auto it = site.constBegin(); it != site.constEnd(); ++it) {
        const int type = it.value().typeId();
        if (type != QMetaType::QString && type != QMetaType::QDateTime)
            return false;
    }
    return site.value(QStringLiteral("name")).toString().size() <= SearchSites::kMaxNameLength
        && site.value(QStringLiteral("url")).toString().size() <= SearchSites::kMaxAddressLength;
}

}  // namespace

SearchSites::UserSiteFault SearchSites::checkUserSite(const QString& name, const QString& pattern)
{
    if (name.size() > kMaxNameLength)
        return UserSiteFault::NameTooLong;
    if (pattern.size() > kMaxAddressLength)
        return UserSiteFault::AddressTooLong;
    if (!pattern.contains(QLatin1String("%@")))
        return UserSiteFault::NoQueryPlaceholder;
    const QUrl address = addressFromText(filledTemplate(pattern.trimmed(), {}));
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || address.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return UserSiteFault::NotWebAddress;
    return UserSiteFault::None;
}

SearchSites& SearchSites::instance()
{
    static SearchSites* sites = new SearchSites;
    Settings& settings = Settings::instance();
    if (sites->m_settings != &settings || sites->m_filePath != settings.filePath())
        sites->follow(settings);
    return *sites;
}

void SearchSites::amendDefaults(Settings& settings)
{
    if (settings.boolean(QStringLiteral("kAmendedDefaults")))
        return;
    const QVariant stored = PropertyList::fromBinary(settings.bytes(kSearchSitesKey));
    if (stored.typeId() == QMetaType::QVariantList) {
        QVariantList sites = stored.toList();
        for (QVariant& entry : sites) {
            if (entry.typeId() != QMetaType::QVariantMap)
                continue;  // damaged entries stay as they are
            QVariantMap site = entry.toMap();
            if (!site.contains(QStringLiteral("type"))) {
                site.insert(QStringLiteral("type"), QStringLiteral("1"));
                entry = site;
            }
        }
        settings.setValue(kSearchSitesKey, PropertyList::toBinary(sites));
    }
    settings.setValue(QStringLiteral("kAmendedDefaults"), QStringLiteral("1"));
}

void SearchSites::follow(Settings& settings)
{
    amendDefaults(settings);
    disconnect(m_connection);
    m_settings = &settings;
    m_filePath = settings.filePath();
    m_connection = connect(&settings, &Settings::changed, this, [this](const QString& key) {
        if (key == kSearchSitesKey)
            loadFromDefaults();
    });
    loadFromDefaults();
}

const QList<QVariantMap>& SearchSites::systemSearchModules()
{
    static const QList<QVariantMap> sites = buildSystemModules();
    return sites;
}

QStringList SearchSites::systemModuleIdentifiers()
{
    QStringList identifiers;
    for (const QVariantMap& site : systemSearchModules())
        identifiers.append(site.value(QStringLiteral("identifier")).toString());
    return identifiers;
}

bool SearchSites::isSystemModule(const QVariantMap& site)
{
    return systemSearchModules().contains(site);
}

bool SearchSites::moduleIsEnabled(const QVariantMap& site)
{
    if (isSystemModule(site))
        return Settings::instance().stringList(kEnabledKey).contains(site.value(QStringLiteral("identifier")).toString());
    return site.value(QStringLiteral("isEnabled")).toString().toLongLong() != 0;
}

void SearchSites::enable(bool enabled, const QVariantMap& site)
{
    Settings& settings = Settings::instance();
    QStringList identifiers = settings.stringList(kEnabledKey);
    const QString identifier = site.value(QStringLiteral("identifier")).toString();
    if (!enabled)
        identifiers.removeAll(identifier);
    else if (!identifiers.contains(identifier))
        identifiers.append(identifier);
    settings.setValue(kEnabledKey, identifiers);
}

QString SearchSites::filledTemplate(const QString& pattern, const QString& query)
{
    QString filled = pattern;
    return filled.replace(QLatin1String("%@"), escapedString(query));
}

QUrl SearchSites::addressFromText(const QString& text)
{
    return QUrl(text, QUrl::TolerantMode);
}

QString SearchSites::nameForSearchSite(const QVariantMap& site)
{
    const QString name = site.value(QStringLiteral("name")).toString();
    if (!name.isEmpty())
        return name;
    return addressFromText(filledTemplate(site.value(QStringLiteral("url")).toString(), {})).host();
}

QUrl SearchSites::faviconAddressForSearchSite(const QVariantMap& site)
{
    QUrl address;
    if (site.contains(QStringLiteral("url")))
        address = addressFromText(filledTemplate(site.value(QStringLiteral("url")).toString(), {}));
    else if (!site.contains(QStringLiteral("googleQuery")))
        address = addressFromText(filledTemplate(site.value(QStringLiteral("urls")).toStringList().value(0), {}));
    else
        address = QUrl(QLatin1String(service::kWebSearchHomePage));
    return address.host().isEmpty() ? QUrl() : address;
}

PZFaviconLoader* SearchSites::faviconLoaderForSearchSite(const QVariantMap& site)
{
    return PZFaviconLoader::loaderForURL(faviconAddressForSearchSite(site));
}

void SearchSites::saveUserModules(const QList<QVariantMap>& sites)
{
    QVariantList stored;
    stored.reserve(sites.size());
    for (const QVariantMap& site : sites)
        stored.append(site);
    const QByteArray bytes = PropertyList::toBinary(stored);
    if (bytes.isEmpty()) {  // an empty value would read back as no sites at all
        fprintf(stderr, "*** Search sites: the sites have no stored form; the stored ones stay\n");
        return;
    }
    m_userModules = sites;
    Settings::instance().setValue(kSearchSitesKey, bytes);
}

void SearchSites::loadFromDefaults()
{
    m_userModules.clear();
    const QVariantList entries = PropertyList::fromBinary(Settings::instance().bytes(kSearchSitesKey)).toList();
    int skipped = 0;
    for (const QVariant& entry : entries) {
        if (isReadableUserSite(entry))
            m_userModules.append(entry.toMap());
        else
            ++skipped;
    }
    if (skipped)
        fprintf(stderr, "*** Search sites: skipped %d unreadable stored site(s)\n", skipped);
    emit userModulesChanged();
}

QList<QVariantMap> SearchSites::userModulesOfType(int type) const
{
    QList<QVariantMap> sites;
    for (const QVariantMap& site : m_userModules) {
        if (site.value(QStringLiteral("isEnabled")).toString().toLongLong() == 0)
            continue;
        if (type >= 0 && site.value(QStringLiteral("type")).toString().toLongLong() != type)
            continue;
        sites.append(site);
    }
    return sites;
}

QList<QVariantMap> SearchSites::allModules() const
{
    return systemSearchModules() + userModulesOfType(-1);
}

QList<QVariantMap> SearchSites::allEnabledModules() const
{
    QList<QVariantMap> enabled;
    for (const QVariantMap& site : allModules())
        if (moduleIsEnabled(site))
            enabled.append(site);
    return enabled;
}

}  // namespace ombrelay
