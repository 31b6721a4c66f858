#include "kit/DefaultSettings.h"
#include "kit/ServiceAddresses.h"
#include "search/SearchFixture.h"
#include "search/SearchSites.h"

#include <QDateTime>
#include <QPoint>

namespace ombrelay::test {
namespace {

using SearchSitesTest = SearchTest;

QStringList names(const QList<QVariantMap>& sites)
{
    QStringList result;
    for (const QVariantMap& site : sites)
        result.append(SearchSites::nameForSearchSite(site));
    return result;
}

TEST(SearchTemplate, ReplacesOnlyThePlaceholderAndKeepsEveryOtherPercentSign)
{
    // Template, query, filled.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"http://h/s?q=%@", "a b&c", "http://h/s?q=a%20b%26c"},
        {"http://h/a%2Fb?q=%@", "x", "http://h/a%2Fb?q=x"},
        {"http://h/?a=%@&b=%@", "x/y", "http://h/?a=x%2Fy&b=x%2Fy"},
        {"http://h/?q=%s%d%@%%", "z", "http://h/?q=%s%dz%%"},
        {"http://h/?q=%", "z", "http://h/?q=%"},
        {"%@", "%@", "%25%40"},
    };
    for (const auto& [pattern, query, filled] : cases)
        EXPECT_EQ(SearchSites::filledTemplate(QString::fromUtf8(pattern), QString::fromUtf8(query)),
                  QString::fromUtf8(filled)) << pattern;
    // An escape the template holds reaches the address unchanged.
    EXPECT_EQ(SearchSites::addressFromText(QStringLiteral("http://h/a%2Fb?q=x")).toEncoded(),
              QByteArray("http://h/a%2Fb?q=x"));
}

TEST_F(SearchSitesTest, EnabledListsFollowTheStoredSettings)
{
    useSites({userSite(QStringLiteral("On"), QStringLiteral("http://on.test/?q=%@")),
              {{QStringLiteral("name"), QStringLiteral("Off")}, {QStringLiteral("isEnabled"), QStringLiteral("0")},
               {QStringLiteral("url"), QStringLiteral("http://off.test/?q=%@")}}},
             {QStringLiteral("bing")});
    const SearchSites& sites = SearchSites::instance();
    EXPECT_EQ(names(sites.allEnabledModules()), (QStringList{QStringLiteral("Bing"), QStringLiteral("On")}));
    EXPECT_EQ(sites.allModules().size(), 7);  // six built in, the disabled user site left out
    EXPECT_TRUE(sites.userModulesOfType(1).isEmpty());  // "type" "0"
    EXPECT_EQ(sites.userModulesOfType(0).size(), 1);

    const QVariantMap google = SearchSites::systemSearchModules().at(0);
    SearchSites::enable(true, google);
    SearchSites::enable(true, google);
    EXPECT_EQ(Settings::instance().stringList(QStringLiteral("kEnabledSystemModules")),
              (QStringList{QStringLiteral("bing"), QStringLiteral("google")}));
    SearchSites::enable(false, SearchSites::systemSearchModules().at(1));
    EXPECT_EQ(names(sites.allEnabledModules()), (QStringList{QStringLiteral("Google"), QStringLiteral("On")}));
}

TEST_F(SearchSitesTest, NamesAndIconAddresses)
{
    const QVariantMap unnamed{{QStringLiteral("name"), QString()},
                              {QStringLiteral("url"), QStringLiteral("http://find.test/search?p=%@")}};
    EXPECT_EQ(SearchSites::nameForSearchSite(unnamed), QStringLiteral("find.test"));
    EXPECT_EQ(SearchSites::faviconAddressForSearchSite(unnamed).host(), QStringLiteral("find.test"));
    EXPECT_TRUE(SearchSites::nameForSearchSite({{QStringLiteral("url"), QStringLiteral("not an address")}}).isEmpty());
    EXPECT_TRUE(SearchSites::faviconAddressForSearchSite({{QStringLiteral("url"), QStringLiteral("%@")}}).isEmpty());
    const QList<QVariantMap>& builtIn = SearchSites::systemSearchModules();
    EXPECT_EQ(SearchSites::faviconAddressForSearchSite(builtIn.at(0)).toString(),
              QLatin1String(service::kWebSearchHomePage));
    EXPECT_EQ(SearchSites::faviconAddressForSearchSite(builtIn.at(1)).host(),
              QLatin1String(service::kSecondWebSearchHost));
}

TEST_F(SearchSitesTest, DamagedStoredSitesAreSkippedAndStayStored)
{
    const QVariantList stored{QStringLiteral("not a site"),
                              QVariantMap{{QStringLiteral("name"), QVariantList{1, 2}}},
                              QVariantMap{{QStringLiteral("name"), QStringLiteral("Good")},
                                          {QStringLiteral("url"), QStringLiteral("http://good.test/?q=%@")},
                                          {QStringLiteral("isEnabled"), QStringLiteral("1")},
                                          {QStringLiteral("creationDate"), QDateTime::currentDateTimeUtc()}}};
    const QByteArray bytes = PropertyList::toBinary(stored);
    Settings::instance().setValue(QStringLiteral("kAmendedDefaults"), QStringLiteral("1"));
    Settings::instance().setValue(QStringLiteral("kSearchSites"), bytes);
    EXPECT_EQ(names(SearchSites::instance().userModules()), QStringList{QStringLiteral("Good")});
    EXPECT_EQ(Settings::instance().bytes(QStringLiteral("kSearchSites")), bytes);

    Settings::instance().setValue(QStringLiteral("kSearchSites"), QByteArray("garbage"));
    EXPECT_TRUE(SearchSites::instance().userModules().isEmpty());
}

TEST_F(SearchSitesTest, DefaultsEnableEveryBuiltInSiteAndAmendStoredSitesOnce)
{
    const QVariantList old{QVariantMap{{QStringLiteral("name"), QStringLiteral("Old")},
                                       {QStringLiteral("url"), QStringLiteral("http://old.test/?q=%@")},
                                       {QStringLiteral("isEnabled"), QStringLiteral("1")}},
                           QVariantMap{{QStringLiteral("name"), QStringLiteral("Typed")},
                                       {QStringLiteral("type"), QStringLiteral("0")}}};
    Settings::instance().setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(old));
    registerDefaultSettings(Settings::instance());
    SearchSites::instance();  // the model amends the stored sites when it first reads them
    EXPECT_EQ(Settings::instance().stringList(QStringLiteral("kEnabledSystemModules")),
              SearchSites::systemModuleIdentifiers());
    QVariantList amended = PropertyList::fromBinary(Settings::instance().bytes(QStringLiteral("kSearchSites"))).toList();
    ASSERT_EQ(amended.size(), 2);
    EXPECT_EQ(amended.at(0).toMap().value(QStringLiteral("type")).toString(), QStringLiteral("1"));
    EXPECT_EQ(amended.at(1).toMap().value(QStringLiteral("type")).toString(), QStringLiteral("0"));

    // A first launch has the default user site, amended; later launches leave a site without "type" alone.
    Settings::useFile(tempPath(QStringLiteral("first.conf")));
    registerDefaultSettings(Settings::instance());
    EXPECT_FALSE(Settings::instance().hasDefault(QStringLiteral("kAmendedDefaults")));
    const QList<QVariantMap> user = SearchSites::instance().userModules();
    ASSERT_EQ(user.size(), 1);
    EXPECT_EQ(SearchSites::nameForSearchSite(user.at(0)), QStringLiteral("Yahoo! Torrent Search"));
    EXPECT_EQ(SearchSites::faviconAddressForSearchSite(user.at(0)).host(), QLatin1String(service::kDefaultUserSiteHost));
    EXPECT_EQ(user.at(0).value(QStringLiteral("type")).toString(), QStringLiteral("1"));
    Settings::instance().setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(QVariantList{old.at(0)}));
    Settings::useFile(tempPath(QStringLiteral("first.conf")));
    registerDefaultSettings(Settings::instance());
    SearchSites::instance();
    amended = PropertyList::fromBinary(Settings::instance().bytes(QStringLiteral("kSearchSites"))).toList();
    EXPECT_FALSE(amended.at(0).toMap().contains(QStringLiteral("type")));
}

TEST_F(SearchSitesTest, SavedSitesAreReadBackAndSitesWithoutAStoredFormLeaveTheStoredOnesAlone)
{
    const QVariantMap one = userSite(QStringLiteral("One"), QStringLiteral("http://one.test/?q=%@"));
    const QVariantMap two = userSite(QStringLiteral("Two"), QStringLiteral("http://two.test/?q=%@"));
    useSites({one});
    SearchSites& sites = SearchSites::instance();
    int reloads = 0;
    QObject observer;
    QObject::connect(&sites, &SearchSites::userModulesChanged, &observer, [&] { ++reloads; });
    sites.saveUserModules({two, one});
    EXPECT_EQ(names(sites.userModules()), (QStringList{QStringLiteral("Two"), QStringLiteral("One")}));
    EXPECT_EQ(reloads, 1);
    const QByteArray stored = Settings::instance().bytes(QStringLiteral("kSearchSites"));

    QVariantMap odd = one;
    odd.insert(QStringLiteral("name"), QPoint(1, 2));
    sites.saveUserModules({odd});
    EXPECT_EQ(Settings::instance().bytes(QStringLiteral("kSearchSites")), stored);
    EXPECT_EQ(names(sites.userModules()), (QStringList{QStringLiteral("Two"), QStringLiteral("One")}));
}

}  // namespace
}  // namespace ombrelay::test
