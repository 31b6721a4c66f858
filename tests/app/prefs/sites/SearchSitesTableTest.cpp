// The search-sites table of the general pane, offscreen, over real settings and the real sites model;
// every host is answered by a loopback test server.
#include "app/prefs/KoGeneralPreferences.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/prefs/SearchSiteSheet.h"
#include "app/prefs/SearchSitesTableView.h"
#include "app/prefs/sites/SitesTableControls.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/NotificationCenter.h"
#include "kit/ServiceAddresses.h"
#include "search/QueryController.h"
#include "search/SearchSiteScraper.h"
#include "search/SearchFixture.h"
#include "search/SearchSites.h"
#include "search/icons/PZFaviconLoader.h"
#include "support/DoubleClick.h"
#include "support/Pictures.h"
#include "support/WaitUntil.h"
#include "uikit/PZAlert.h"

#include <QCheckBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

namespace ombrelay::test {
namespace {

constexpr int kFirstUserRow = 7;  // six built-in sites, then the separator

class SitesTable : public SearchTest
{
protected:
    void SetUp() override
    {
        SearchTest::SetUp();
        AppPaths::setApplicationSupportPath(tempPath(QStringLiteral("data")));
        QDir().mkpath(tempPath(QStringLiteral("data")));
        registerDefaultSettings(Settings::instance());
        PZAlert::setPresenter([this](const PZAlert& alert, PZAlert::Answer answer) {
            alerts.append(alert);
            answer(answerWith, false);
        });
        listenForNotification(&observer, QStringLiteral("EnabledSearchSitesDidChangeNotification"),
                              [this](const Notification& n) { notices.append(n.object); });
    }
    void TearDown() override
    {
        table.reset();
        PZFaviconLoader::removeAllLoaders();
        PZAlert::setPresenter({});
        SearchTest::TearDown();
    }

    // The table shown, after the stored sites are in place.
    void showTable()
    {
        table = std::make_unique<SearchSitesTableView>();
        table->resize(520, 420);
        table->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(table.get()));
    }
    void useUserSites(const QList<QVariantMap>& sites) { useSites(sites, SearchSites::systemModuleIdentifiers()); }
    void useThreeUserSites()
    {
        useUserSites({userSite(QStringLiteral("A"), QStringLiteral("http://a.test/?q=%@")),
                      userSite(QStringLiteral("B"), QStringLiteral("http://b.test/?q=%@")),
                      userSite(QStringLiteral("C"), QStringLiteral("http://c.test/?q=%@"))});
    }

    static QList<QVariantMap> storedSites()
    {
        QList<QVariantMap> sites;
        for (const QVariant& entry : PropertyList::fromBinary(Settings::instance().bytes(QStringLiteral("kSearchSites"))).toList())
            sites.append(entry.toMap());
        return sites;
    }
    static QStringList storedNames()
    {
        QStringList names;
        for (const QVariantMap& site : storedSites())
            names.append(site.value(QStringLiteral("name")).toString());
        return names;
    }
    static QStringList enabledBuiltIn() { return Settings::instance().stringList(QStringLiteral("kEnabledSystemModules")); }

    // Two sites' pages, listing the torrent "a" (at the first site's `host` and `path`) and "b".
    void serveTwoSites(const QByteArray& host, const QByteArray& path)
    {
        proxy.route(host, path, page("<a href='http://files.test/a.torrent'></a>"));
        proxy.route("two.test", "/s", page("<a href='http://files.test/b.torrent'></a>"));
        proxy.route("files.test", "/a.torrent", torrentFile(torrentBytes("a")));
        proxy.route("files.test", "/b.torrent", torrentFile(torrentBytes("b")));
    }
    // The requests served, the sites' icons left out.
    int searchRequests() const
    {
        int count = 0;
        for (const HttpTestRequest& r : proxy.requests())
            count += r.path != "/favicon.ico";
        return count;
    }

    QPoint controlCenter(int row, int column) const { return test::controlCenter(*table, row, column); }
    void click(int row, int column)
    {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, controlCenter(row, column));
    }
    QPoint rowPoint(int row, bool upperHalf) const
    {
        const QRect cell = table->cellRect(row, 1);
        return {cell.center().x(), upperHalf ? cell.top() + 2 : cell.bottom() - 2};
    }

    // A drag carrying `data` moved over and dropped at a point of the viewport; whether the drop was taken.
    struct DropAnswer
    {
        bool moveAccepted;
        bool dropAccepted;
    };
    DropAnswer dragAndDrop(QMimeData* data, const QPoint& at)
    {
        std::unique_ptr<QMimeData> owned(data);
        QDragEnterEvent enter(at, Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(table->viewport(), &enter);
        QDragMoveEvent move(at, Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(table->viewport(), &move);
        QDropEvent drop(at, Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(table->viewport(), &drop);
        return {enter.isAccepted() && move.isAccepted(), drop.isAccepted()};
    }

    std::unique_ptr<SearchSitesTableView> table;
    QList<PZAlert> alerts;
    int answerWith = 0;
    QObject observer;
    QList<QObject*> notices;
};

TEST_F(SitesTable, TheSeparatorComesWithTheFirstUserSiteAndIsNeitherSelectableNorTall)
{
    useUserSites({});
    showTable();
    ASSERT_EQ(table->numberOfRows(), 6);
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(table->objectAtIndex(row), SearchSites::systemSearchModules()[row]) << row;
        EXPECT_EQ(table->cellRect(row, 1).height(), 25) << row;
        EXPECT_TRUE(controlCenter(row, 2).isNull()) << "a built-in site has no Edit button";
    }

    table->add();
    SearchSiteSheet* sheet = table->addSheet();
    ASSERT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->nameField()->text().isEmpty());
    EXPECT_FALSE(sheet->tabBox()->isChecked());
    sheet->nameField()->setText(QStringLiteral("Mine"));
    sheet->addressField()->setText(QStringLiteral(" https://mine.test/find?q=%@ "));
    sheet->tabBox()->setChecked(true);
    const QDateTime beforeDone = QDateTime::currentDateTimeUtc();
    sheet->doneButton()->click();
    const QDateTime afterDone = QDateTime::currentDateTimeUtc();
    EXPECT_FALSE(sheet->isVisible());

    ASSERT_EQ(table->numberOfRows(), 8);
    EXPECT_TRUE(table->isSeparatorRow(6));
    EXPECT_EQ(table->cellRect(6, 1).height(), 15);
    const QList<QVariantMap> stored = storedSites();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].value(QStringLiteral("name")), QStringLiteral("Mine"));
    EXPECT_EQ(stored[0].value(QStringLiteral("url")), QStringLiteral("https://mine.test/find?q=%@"));
    EXPECT_EQ(stored[0].value(QStringLiteral("isEnabled")), QStringLiteral("1"));
    EXPECT_EQ(stored[0].value(QStringLiteral("type")), QStringLiteral("1"));
    // Dated when Done was clicked (stored to the millisecond, rounded).
    const QDateTime created = stored[0].value(QStringLiteral("creationDate")).toDateTime();
    EXPECT_GE(created, beforeDone.addMSecs(-1)) << created.toString(Qt::ISODateWithMs).toStdString();
    EXPECT_LE(created, afterDone.addMSecs(1)) << created.toString(Qt::ISODateWithMs).toStdString();
    EXPECT_EQ(table->objectAtIndex(kFirstUserRow), stored[0]);

    // The separator takes no selection, by click or by keys.
    table->selectRow(5);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->cellRect(6, 1).center());
    EXPECT_EQ(table->selectedRow(), 5);
    table->setFocus();
    QTest::keyClick(table.get(), Qt::Key_Down);
    EXPECT_EQ(table->selectedRow(), kFirstUserRow);
    QTest::keyClick(table.get(), Qt::Key_Up);
    EXPECT_EQ(table->selectedRow(), 5);
}

TEST_F(SitesTable, ASiteThatCannotBeSearchedIsNotSavedAndTheSheetSaysWhy)
{
    useUserSites({});
    showTable();
    using Fault = SearchSites::UserSiteFault;
    const char* const kNoPlaceholder = "The address needs %@ where the search text goes.";
    const char* const kNotWeb = "The address must start with http:// or https:// and name a web site.";
    const struct
    {
        const char* name;
        QString address;
        Fault fault;
        const char* why;
    } cases[] = {
        {"No placeholder", QStringLiteral("http://a.test/search?q="), Fault::NoQueryPlaceholder,
         kNoPlaceholder},
        {"Not the web", QStringLiteral("ftp://a.test/?q=%@"), Fault::NotWebAddress, kNotWeb},
        {"No scheme", QStringLiteral("a.test/?q=%@"), Fault::NotWebAddress, kNotWeb},
        {"Script", QStringLiteral("javascript:alert(%@)"), Fault::NotWebAddress, kNotWeb},
        {"No host", QStringLiteral("http:///?q=%@"), Fault::NotWebAddress, kNotWeb},
        {"", QStringLiteral("https://b.test/s?q=%@"), Fault::None, ""},
    };
    for (const auto& c : cases) {
        const qsizetype before = storedSites().size();
        table->add();
        table->addSheet()->nameField()->setText(QLatin1String(c.name));
        table->addSheet()->addressField()->setText(c.address);
        table->addSheet()->doneButton()->click();
        EXPECT_EQ(SearchSites::checkUserSite(QLatin1String(c.name), c.address.trimmed()), c.fault) << c.name;
        if (c.fault == Fault::None) {
            EXPECT_FALSE(table->addSheet()->isVisible());
            EXPECT_EQ(storedSites().size(), before + 1);
        } else {
            EXPECT_TRUE(table->addSheet()->isVisible()) << c.name;
            EXPECT_TRUE(table->addSheet()->faultLabel()->isVisibleTo(table->addSheet())) << c.name;
            EXPECT_EQ(table->addSheet()->faultLabel()->text(), QString::fromUtf8(c.why)) << c.name;
            EXPECT_EQ(storedSites().size(), before) << c.name;
            table->addCancel();
        }
    }
    // A nameless site is called by its host.
    EXPECT_EQ(SearchSites::nameForSearchSite(table->objectAtIndex(kFirstUserRow)), QStringLiteral("b.test"));
    // Names and addresses are bounded in the fields and in the check.
    table->add();
    table->addSheet()->nameField()->setText(QString(600, QLatin1Char('n')));
    EXPECT_EQ(table->addSheet()->nameField()->text().size(), SearchSites::kMaxNameLength);
    table->addCancel();
    EXPECT_EQ(SearchSites::checkUserSite(QString(513, QLatin1Char('n')), QStringLiteral("http://a.test/%@")), Fault::NameTooLong);
    EXPECT_EQ(SearchSites::checkUserSite({}, QStringLiteral("http://a.test/%@") + QString(2040, QLatin1Char('x'))),
              Fault::AddressTooLong);
}

TEST_F(SitesTable, AStoredListWithDamagedEntriesShowsTheValidSites)
{
    QVariantList list{userSite(QStringLiteral("Good"), QStringLiteral("http://good.test/?q=%@")),
                      42,
                      QVariantMap{{QStringLiteral("name"), QVariantList{1, 2}}},
                      QVariantMap{{QStringLiteral("name"), QStringLiteral("Long")},
                                  {QStringLiteral("url"), QStringLiteral("http://long.test/?q=%@") + QString(3000, QLatin1Char('x'))}},
                      QVariantMap{{QStringLiteral("isEnabled"), QStringLiteral("1")}},
                      userSite(QStringLiteral("Also good"), QStringLiteral("http://also.test/?q=%@"))};
    Settings::instance().setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(list));
    showTable();
    ASSERT_EQ(table->numberOfRows(), 6 + 1 + 3);
    EXPECT_EQ(table->objectAtIndex(kFirstUserRow).value(QStringLiteral("name")), QStringLiteral("Good"));
    EXPECT_EQ(table->objectAtIndex(kFirstUserRow + 2).value(QStringLiteral("name")), QStringLiteral("Also good"));
    // A site without name or address is drawn switched on as its neighbour is, then switched and edited
    // without harm.
    const auto switchDrawn = [&](int row) {
        const QPoint at = controlCenter(row, 0);
        return table->viewport()->grab().toImage().copy(QRect(at - QPoint(8, 8), QSize(16, 16)));
    };
    EXPECT_EQ(switchDrawn(kFirstUserRow + 1), switchDrawn(kFirstUserRow));
    click(kFirstUserRow + 1, 0);
    EXPECT_EQ(table->objectAtIndex(kFirstUserRow + 1).value(QStringLiteral("isEnabled")), QStringLiteral("0"));
    EXPECT_NE(switchDrawn(kFirstUserRow + 1), switchDrawn(kFirstUserRow));
    table->setEditingRow(kFirstUserRow + 1);
    table->edit();
    EXPECT_TRUE(table->editSheet()->addressField()->text().isEmpty());
    table->editCancel();

    Settings::instance().setValue(QStringLiteral("kSearchSites"), QByteArray("bplist00 damaged"));
    EXPECT_EQ(table->numberOfRows(), 6);
}

TEST_F(SitesTable, ASwitchWritesTheSettingAndPostsTheNotice)
{
    useUserSites({userSite(QStringLiteral("A"), QStringLiteral("http://a.test/?q=%@"))});
    showTable();
    const QStringList all = SearchSites::systemModuleIdentifiers();
    QStringList withoutBing = all;
    withoutBing.removeAll(QStringLiteral("bing"));
    QStringList bingLast = withoutBing;
    bingLast.append(QStringLiteral("bing"));
    const struct
    {
        int row;
        QStringList builtIn;
        QString userEnabled;
    } steps[] = {
        {1, withoutBing, QStringLiteral("1")},
        {1, bingLast, QStringLiteral("1")},
        {kFirstUserRow, bingLast, QStringLiteral("0")},
        {kFirstUserRow, bingLast, QStringLiteral("1")},
    };
    for (const auto& step : steps) {
        notices.clear();
        click(step.row, 0);
        EXPECT_EQ(enabledBuiltIn(), step.builtIn) << step.row;
        EXPECT_EQ(storedSites().value(0).value(QStringLiteral("isEnabled")), step.userEnabled) << step.row;
        EXPECT_EQ(notices, QList<QObject*>{table.get()}) << step.row;
    }
    // A double click on a checkbox switches once; nothing is switched by the separator's row.
    notices.clear();
    doubleClick(table->viewport(), controlCenter(0, 0));
    EXPECT_FALSE(enabledBuiltIn().contains(QStringLiteral("google")));
    EXPECT_EQ(notices.size(), 1);
    EXPECT_TRUE(controlCenter(6, 0).isNull());
}

TEST_F(SitesTable, ADoubleClickEditsOnlyAUserSiteAndOnlyWhenNoOtherRowIsSelected)
{
    useThreeUserSites();
    showTable();
    const struct
    {
        int selected;
        int clicked;
        bool opens;
    } cases[] = {
        {-1, kFirstUserRow, true},
        {kFirstUserRow, kFirstUserRow, true},
        {kFirstUserRow + 1, kFirstUserRow, false},
        {-1, 0, false},
        {-1, 6, false},
        {-1, -1, false},
        {2, kFirstUserRow + 2, false},
    };
    for (const auto& c : cases) {
        table->selectRow(c.selected);
        table->doubleClick(c.clicked);
        EXPECT_EQ(table->editingRow(), c.clicked);
        EXPECT_EQ(table->editSheet()->isVisible(), c.opens) << c.selected << " " << c.clicked;
        if (c.opens) {
            EXPECT_EQ(table->editSheet()->nameField()->text(), table->objectAtIndex(c.clicked).value(QStringLiteral("name")));
        }
        table->editCancel();
    }

    // A real double click on the second site's name opens its sheet; the edit keeps its switch and date.
    table->selectRow(-1);
    doubleClick(table->viewport(), table->cellRect(kFirstUserRow + 1, 1).center());
    ASSERT_TRUE(table->editSheet()->isVisible());
    EXPECT_EQ(table->editSheet()->nameField()->text(), QStringLiteral("B"));
    EXPECT_FALSE(table->editSheet()->tabBox()->isChecked());  // "type" "0"
    table->editSheet()->nameField()->setText(QStringLiteral("Bee"));
    table->editSheet()->addressField()->setText(QStringLiteral("http://bee.test/?s=%@"));
    table->editSheet()->tabBox()->setChecked(true);
    table->editSheet()->doneButton()->click();
    EXPECT_FALSE(table->editSheet()->isVisible());
    const QVariantMap edited = storedSites().value(1);
    EXPECT_EQ(edited.value(QStringLiteral("name")), QStringLiteral("Bee"));
    EXPECT_EQ(edited.value(QStringLiteral("url")), QStringLiteral("http://bee.test/?s=%@"));
    EXPECT_EQ(edited.value(QStringLiteral("type")), QStringLiteral("1"));
    EXPECT_EQ(edited.value(QStringLiteral("isEnabled")), QStringLiteral("1"));

    // The Edit button of the third site.
    click(kFirstUserRow + 2, 2);
    ASSERT_TRUE(table->editSheet()->isVisible());
    EXPECT_EQ(table->editingRow(), kFirstUserRow + 2);
    EXPECT_EQ(table->editSheet()->nameField()->text(), QStringLiteral("C"));
    table->editCancel();
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("A"), QStringLiteral("Bee"), QStringLiteral("C")}));
}

TEST_F(SitesTable, DragsReorderUserSitesOnlyBelowTheSeparatorAndOnlyFromThisTable)
{
    useThreeUserSites();
    showTable();
    SearchSitesTableView other;
    const QStringList abc{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    auto outside = [] {
        auto* data = new QMimeData;
        data->setData(QStringLiteral("ShortcutsTableViewType"), "8");
        return data;
    };
    const struct
    {
        const char* name;
        std::function<QMimeData*()> data;
        int row;
        bool upperHalf;
        bool accepted;
        QStringList order;
    } cases[] = {
        {"third above first", [&] { return table->mimeDataForRow(9); }, kFirstUserRow, true, true,
         {QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("B")}},
        {"first below third", [&] { return table->mimeDataForRow(7); }, 9, false, true,
         {QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A")}},
        {"second below first", [&] { return table->mimeDataForRow(8); }, 7, false, true, abc},
        {"onto a built-in site", [&] { return table->mimeDataForRow(8); }, 3, true, false, abc},
        {"below the last built-in site", [&] { return table->mimeDataForRow(8); }, 5, false, false, abc},
        {"onto the separator", [&] { return table->mimeDataForRow(8); }, 6, true, false, abc},
        {"just below the separator", [&] { return table->mimeDataForRow(8); }, 6, false, true,
         {QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")}},
        {"a built-in site", [&] { return table->mimeDataForRow(2); }, 9, false, false, abc},
        {"from outside", outside, 9, false, false, abc},
        {"from another table", [&] { return other.mimeDataForRow(8); }, 9, false, false, abc},
    };
    for (const auto& c : cases) {
        useThreeUserSites();
        table->selectRow(8);
        const DropAnswer answer = dragAndDrop(c.data(), rowPoint(c.row, c.upperHalf));
        EXPECT_EQ(answer.moveAccepted, c.accepted) << c.name;
        EXPECT_EQ(answer.dropAccepted, c.accepted) << c.name;
        EXPECT_EQ(storedNames(), c.order) << c.name;
        // A drop that moves a site clears the selection; any other leaves it.
        EXPECT_EQ(table->selectedRow(), c.order != abc ? -1 : 8) << c.name;
    }
    // Below the last row is after the last site.
    useThreeUserSites();
    EXPECT_TRUE(dragAndDrop(table->mimeDataForRow(7), {10, table->viewport()->height() - 3}).dropAccepted);
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A")}));
    // A dragged row travels as its number in decimal.
    const std::unique_ptr<QMimeData> dragged(table->mimeDataForRow(9));
    EXPECT_EQ(dragged->data(QStringLiteral("ShortcutsTableViewType")), "9");
    EXPECT_FALSE(table->canDragRow(0));
    EXPECT_FALSE(table->canDragRow(6));
    EXPECT_TRUE(table->canDragRow(9));
}

TEST_F(SitesTable, RemovingAsksFirstAndIsOfferedOnlyForAUserSite)
{
    useThreeUserSites();
    showTable();
    QPushButton removeButton;
    table->setRemoveButton(&removeButton);
    const std::pair<int, bool> offered[] = {{-1, false}, {0, false}, {6, false}, {kFirstUserRow + 1, true}};
    for (const auto& [row, enabled] : offered) {
        table->selectRow(row);
        EXPECT_EQ(removeButton.isEnabled(), enabled) << row;
    }
    table->selectRow(2);
    table->remove();
    EXPECT_TRUE(alerts.isEmpty());

    table->selectRow(kFirstUserRow + 1);
    answerWith = 1;  // Cancel
    table->remove();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].message, QStringLiteral("Do you wish to remove the selected search site?"));
    EXPECT_EQ(alerts[0].buttons, (QStringList{QStringLiteral("Remove"), QStringLiteral("Cancel")}));
    EXPECT_EQ(storedSites().size(), 3);
    answerWith = 0;
    table->remove();
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    EXPECT_EQ(table->numberOfRows(), 6 + 1 + 2);
}

TEST_F(SitesTable, ResetBringsBackTheDefaultSiteAndKeepsTheBuiltInStates)
{
    useThreeUserSites();
    const QStringList builtIn{QStringLiteral("bing")};
    Settings::instance().setValue(QStringLiteral("kEnabledSystemModules"), builtIn);
    showTable();
    answerWith = 1;
    table->resetToDefaults();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].message, QStringLiteral("Do you wish to reset the search sites to default values?"));
    EXPECT_EQ(alerts[0].informativeText, QStringLiteral("Any customizations you have made will be lost. This cannot be undone."));
    EXPECT_EQ(alerts[0].buttons, (QStringList{QStringLiteral("Reset To Defaults"), QStringLiteral("Cancel")}));
    EXPECT_EQ(storedSites().size(), 3);
    answerWith = 0;
    table->resetToDefaults();
    EXPECT_EQ(storedNames(), QStringList{QStringLiteral("Yahoo! Torrent Search")});
    EXPECT_EQ(enabledBuiltIn(), builtIn);
    ASSERT_EQ(table->numberOfRows(), 8);
    EXPECT_EQ(table->objectAtIndex(kFirstUserRow).value(QStringLiteral("name")), QStringLiteral("Yahoo! Torrent Search"));
    EXPECT_EQ(SearchSites::instance().userModules().size(), 1);
}

TEST_F(SitesTable, ASwitchInTheTableDropsAndRestoresARunningSearchsResultsWithoutARequest)
{
    useUserSites({userSite(QStringLiteral("One"), QStringLiteral("http://one.test/s?q=%@")),
                  userSite(QStringLiteral("Two"), QStringLiteral("http://two.test/s?q=%@"))});
    Settings::instance().setValue(QStringLiteral("kEnabledSystemModules"), QStringList());
    serveTwoSites("one.test", "/s");
    showTable();
    QueryController search({{QStringLiteral("name"), QStringLiteral("cat")}});
    search.performSearch();
    ASSERT_TRUE(waitUntil([&] { return !search.isActive(); }, 8000));
    ASSERT_EQ(search.lines().size(), 2);
    const int requests = searchRequests();

    click(kFirstUserRow + 1, 0);
    EXPECT_EQ(search.scrapers().size(), 1);
    ASSERT_EQ(search.lines().size(), 1);
    EXPECT_EQ(search.lines()[0]->path(), QStringLiteral("a"));
    click(kFirstUserRow + 1, 0);
    EXPECT_EQ(search.scrapers().size(), 2);
    EXPECT_EQ(search.lines().size(), 2);
    spinFor(200);
    EXPECT_EQ(searchRequests(), requests);
}

// Edits that change no search (a name, the tab setting, a reset whose default lacks the amended "type")
// keep the sites' results in an open search, with no request.
TEST_F(SitesTable, EditsThatChangeNoSearchKeepARunningSearchsResults)
{
    QVariantMap amended = defaultSearchSites().first().toMap();
    amended.insert(QStringLiteral("type"), QStringLiteral("1"));
    useSites({amended, userSite(QStringLiteral("Two"), QStringLiteral("http://two.test/s?q=%@"))});
    serveTwoSites(service::kDefaultUserSiteHost, "/search");
    showTable();
    QueryController search({{QStringLiteral("name"), QStringLiteral("cat")}});
    search.performSearch();
    ASSERT_TRUE(waitUntil([&] { return !search.isActive(); }, 8000));
    ASSERT_EQ(search.lines().size(), 2);
    // The sheet of a row opened with a double click, the edit made there and Done clicked.
    const auto inSheet = [this](int row, const std::function<void(SearchSiteSheet&)>& edit) {
        return [this, row, edit] {
            table->selectRow(-1);
            doubleClick(table->viewport(), table->cellRect(row, 1).center());
            ASSERT_TRUE(table->editSheet()->isVisible());
            edit(*table->editSheet());
            QTest::mouseClick(table->editSheet()->doneButton(), Qt::LeftButton);
        };
    };
    const QString yahoo = QStringLiteral("Yahoo! Torrent Search");
    const struct
    {
        const char* edit;
        std::function<void()> make;
        QStringList names;
    } edits[] = {
        {"a new name typed in the sheet", inSheet(kFirstUserRow + 1, [](SearchSiteSheet& sheet) {
             sheet.nameField()->setFocus();
             QTest::keyClick(sheet.nameField(), Qt::Key_A, Qt::ControlModifier);
             QTest::keyClicks(sheet.nameField(), QStringLiteral("Deux"));
         }), {yahoo, "Deux"}},
        {"open in a tab switched off in the sheet",
         inSheet(kFirstUserRow, [](SearchSiteSheet& sheet) { QTest::mouseClick(sheet.tabBox(), Qt::LeftButton); }),
         {yahoo, "Deux"}},
        {"Reset To Defaults", [this] { table->resetToDefaults(); }, {yahoo}},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.edit);
        const int requests = searchRequests();
        edit.make();
        QStringList names;
        for (const SearchSiteScraper* scraper : search.scrapers())
            names.append(scraper->searchSite().value(QStringLiteral("name")).toString());
        EXPECT_EQ(names, edit.names);
        ASSERT_FALSE(search.lines().isEmpty());
        EXPECT_EQ(search.lines()[0]->path(), QStringLiteral("a"));
        EXPECT_EQ(search.lines().size(), edit.names.size());
        spinFor(200);
        EXPECT_EQ(searchRequests(), requests);
    }
}

TEST_F(SitesTable, SiteIconsAreDrawnOnceTheirHostAnswers)
{
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(QColor(0, 160, 0));
    proxy.route("icon.test", "/favicon.ico", HttpTestResponse{200, {{"Content-Type", "image/png"}}, pngBytes(icon)});
    useUserSites({userSite(QStringLiteral("Icon"), QStringLiteral("http://icon.test/a?q=%@")),
                  userSite(QStringLiteral("Same host"), QStringLiteral("http://icon.test/b?q=%@"))});
    showTable();
    const PZFaviconLoader* loader = SearchSites::faviconLoaderForSearchSite(table->objectAtIndex(kFirstUserRow));
    ASSERT_TRUE(loader);
    EXPECT_EQ(loader, SearchSites::faviconLoaderForSearchSite(table->objectAtIndex(kFirstUserRow + 1)));
    ASSERT_TRUE(waitUntil([&] { return !loader->favicon().isNull(); }, 5000));
    int fetches = 0;
    for (const HttpTestRequest& r : proxy.requests())
        fetches += r.host() == "icon.test";
    EXPECT_EQ(fetches, 1);
    // The icon sits 4 below the row's top at the name cell's left edge.
    const QRect cell = table->cellRect(kFirstUserRow + 1, 1);
    ASSERT_TRUE(waitUntil([&] {
        const QImage shown = table->viewport()->grab().toImage();
        return nearColor(shown.pixelColor(cell.x() + 8, cell.y() + 12), QColor(0, 160, 0), 30);
    }, 3000));
}

TEST_F(SitesTable, EditSitesShowsTheGeneralPaneInFrontWithoutTheSelectionLeftBehind)
{
    useThreeUserSites();
    PZPreferencesController preferences;
    auto* general = new KoGeneralPreferences;
    preferences.addPane(QStringLiteral("general"), QStringLiteral("General"), {}, general, true);
    preferences.addPane(QStringLiteral("other"), QStringLiteral("Other"), {}, new QWidget);
    preferences.showWindow();
    general->sitesTable()->selectRow(kFirstUserRow);
    ASSERT_TRUE(general->removeSiteButton()->isEnabled());
    // Asked while a switch to another pane runs, the first pane follows that switch.
    preferences.showPaneForItem(1);
    ASSERT_TRUE(preferences.isAnimating());
    preferences.editSites();
    EXPECT_TRUE(preferences.window()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !preferences.isAnimating() && preferences.currentIndex() == 0; }, 3000));
    EXPECT_TRUE(preferences.items()[0].action->isChecked());
    EXPECT_TRUE(general->sitesTable()->isVisible());
    // The pane left the window on the way, and its selection with it.
    EXPECT_EQ(general->sitesTable()->selectedRow(), -1);
    EXPECT_FALSE(general->removeSiteButton()->isEnabled());
}

}  // namespace
}  // namespace ombrelay::test
