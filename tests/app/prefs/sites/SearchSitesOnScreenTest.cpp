// The search sites under a real X server: pictures of the table, the add sheet and the remove alert
// (PNGs in the build folder), and the application's own way there, Preferences and a click on a switch.
// Each outer test starts Xvfb and runs one inner (DISABLED_) test of this program on it.
#include "app/desktop/DesktopAppFixture.h"

#include "app/frame/KoMainWindow.h"
#include "app/prefs/KoGeneralPreferences.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/prefs/SearchSiteSheet.h"
#include "app/prefs/SearchSitesTableView.h"
#include "app/prefs/sites/SitesTableControls.h"
#include "kit/NotificationCenter.h"
#include "search/SearchFixture.h"
#include "search/SearchSites.h"
#include "search/SearchSitesEditor.h"
#include "search/icons/PZFaviconLoader.h"
#include "support/OnScreen.h"
#include "support/PrivateDisplay.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace ombrelay::test {
namespace {

const char* const kPictures[] = {"search-sites-table.png", "search-sites-add-sheet.png",
                                 "search-sites-add-sheet-fault.png", "search-sites-remove-alert.png"};
const QColor kIconColours[] = {QColor(220, 60, 40), QColor(40, 110, 220)};

QString picture(const char* name)
{
    return picturePath(QLatin1String(name));
}

QByteArray iconBytes(const QColor& colour)
{
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    painter.end();
    return pngBytes(icon);
}

// The picture saved under `name`, as read back from its file.
QImage saved(const QImage& image, const char* name)
{
    EXPECT_TRUE(image.save(picture(name))) << name;
    return QImage(picture(name));
}

// `widget`'s frame within the picture of `top`.
QRect frameIn(const QWidget& widget, const QWidget& top)
{
    return QRect(widget.mapTo(&top, QPoint()), widget.size());
}

TEST(SearchSitesOnScreen, PicturesOfTheTableTheAddSheetAndTheRemoveAlert)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    for (const char* name : kPictures)
        QFile::remove(picture(name));
    EXPECT_TRUE(DisplayChild(display, QStringLiteral("SearchSitesPictures.DISABLED_*")).passes(120000));
}

TEST(SearchSitesOnScreen, TheApplicationOpensTheSitesAndAClickSwitchesOne)
{
    if (!PrivateDisplay::isInstalled() || !QFileInfo::exists(QStringLiteral("/usr/bin/xdotool")))
        GTEST_SKIP() << "needs Xvfb and xdotool";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    EXPECT_TRUE(DisplayChild(display, QStringLiteral("SearchSitesInTheApplication.DISABLED_*")).passes(120000));
}

class SearchSitesPictures : public SearchTest
{
};

TEST_F(SearchSitesPictures, DISABLED_Taken)
{
    AppPaths::setApplicationSupportPath(tempPath(QStringLiteral("data")));
    QDir().mkpath(tempPath(QStringLiteral("data")));
    registerDefaultSettings(Settings::instance());
    proxy.route("finder.test", "/favicon.ico", HttpTestResponse{200, {{"Content-Type", "image/png"}}, iconBytes(kIconColours[0])});
    proxy.route("archive.test", "/favicon.ico", HttpTestResponse{200, {{"Content-Type", "image/png"}}, iconBytes(kIconColours[1])});
    QStringList builtIn = SearchSites::systemModuleIdentifiers();
    builtIn.removeAt(3);
    useSites({userSite(QStringLiteral("Torrent Finder"), QStringLiteral("http://finder.test/search?q=%@")),
              userSite(QStringLiteral("Open Archive"), QStringLiteral("https://archive.test/find?text=%@"))},
             builtIn);

    PZPreferencesController preferences;
    auto* general = new KoGeneralPreferences;
    preferences.addPane(QStringLiteral("general"), QStringLiteral("General"),
                        QApplication::style()->standardIcon(QStyle::SP_ComputerIcon), general, true);
    preferences.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(preferences.window()));
    SearchSitesTableView& table = *general->sitesTable();
    ASSERT_EQ(table.numberOfRows(), 9);
    for (int row : {7, 8})
        ASSERT_TRUE(waitUntil([&] {
            const PZFaviconLoader* loader = SearchSites::faviconLoaderForSearchSite(table.objectAtIndex(row));
            return loader && !loader->favicon().isNull();
        }, 8000)) << row;
    table.selectRow(8);
    preferences.window()->activateWindow();
    table.setFocus();
    ASSERT_TRUE(waitUntil(
        [&] { return QApplication::activeWindow() == preferences.window() && table.hasFocus(); }, 5000));
    const QImage shown = saved(preferences.window()->grab().toImage(), kPictures[0]);
    // Each site's icon is in the picture where its row draws it; the switched-off site's box is empty.
    for (int k = 0; k < 2; ++k) {
        const QPoint icon = table.viewport()->mapTo(preferences.window(), table.cellRect(7 + k, 1).topLeft() + QPoint(8, 12));
        EXPECT_TRUE(nearColor(shown.pixelColor(icon), kIconColours[k], 40)) << k << " " << shown.pixelColor(icon).name().toStdString();
    }
    EXPECT_FALSE(SearchSites::moduleIsEnabled(table.objectAtIndex(3)));

    table.add();
    SearchSiteSheet& sheet = *table.addSheet();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    QTest::keyClicks(sheet.nameField(), QStringLiteral("My Tracker"));
    sheet.addressField()->setText(QStringLiteral("https://tracker.test/search?q=%@"));
    sheet.tabBox()->setChecked(true);
    // The sheet holds what was typed in its fields, and no fault yet.
    const QImage filled = saved(sheet.grab().toImage(), kPictures[1]);
    ASSERT_FALSE(filled.isNull());
    EXPECT_LT(darkestGrey(filled, frameIn(*sheet.nameField(), sheet).adjusted(4, 4, -4, -4)), 120)
        << "the name";
    EXPECT_LT(darkestGrey(filled, frameIn(*sheet.addressField(), sheet).adjusted(4, 4, -4, -4)), 120)
        << "the address";
    EXPECT_FALSE(sheet.faultLabel()->isVisible());
    sheet.addressField()->setText(QStringLiteral("ftp://tracker.test/search"));
    sheet.doneButton()->click();
    ASSERT_TRUE(waitUntil([&] { return sheet.faultLabel()->isVisible(); }, 3000));
    ASSERT_TRUE(sheet.isVisible());
    // Now the fault is written under the fields.
    const QImage fault = saved(sheet.grab().toImage(), kPictures[2]);
    ASSERT_FALSE(fault.isNull());
    EXPECT_LT(darkestGrey(fault, frameIn(*sheet.faultLabel(), sheet)), 120) << "the fault";
    table.addCancel();

    PZAlert::setPresenter({});
    table.remove();
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible())
                alert = box;
        return alert != nullptr;
    }, 5000));
    EXPECT_EQ(alert->text(), QStringLiteral("Do you wish to remove the selected search site?"));
    ASSERT_TRUE(waitUntil([&] { return shownOnScreen(*alert); }, 5000)) << "the alert is not on the screen";
    const QRect area = preferences.window()->frameGeometry().united(alert->frameGeometry());
    const QImage both = saved(screenArea(area), kPictures[3]);
    ASSERT_FALSE(both.isNull());
    // The alert's question is written where the alert stands on the screen.
    const QLabel* question = nullptr;
    for (const QLabel* label : alert->findChildren<QLabel*>())
        if (label->text() == alert->text())
            question = label;
    ASSERT_TRUE(question);
    const QRect written(question->mapToGlobal(QPoint()) - area.topLeft(), question->size());
    EXPECT_LT(darkestGrey(both, written), 120);
    for (QAbstractButton* button : alert->buttons())
        if (button->text() == QStringLiteral("Cancel"))
            button->click();
    EXPECT_TRUE(waitUntil([&] { return !alert->isVisible(); }, 3000));
    EXPECT_EQ(SearchSites::instance().userModules().size(), 2);
}

class SearchSitesInTheApplication : public DesktopApp
{
};

TEST_F(SearchSitesInTheApplication, DISABLED_PreferencesAndAClickOnASwitch)
{
    // The sites' icons are asked of a loopback server.
    HttpTestServer proxy;
    ASSERT_TRUE(proxy.listen());
    qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(proxy.port()).toLatin1());
    launch();
    KoMainWindow* window = controller->mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    // Preferences from the application's menu.
    QAction* open = nullptr;
    for (QAction* action : window->menuBar()->findChildren<QAction*>())
        if (action->text().startsWith(QStringLiteral("Preferences")))
            open = action;
    ASSERT_TRUE(open);
    open->trigger();
    PZPreferencesController& preferences = controller->preferences();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(preferences.window()));

    // Elsewhere in the preferences, the hook the alerts and buttons call brings the sites back.
    preferences.showPaneForItem(1);
    ASSERT_TRUE(waitUntil([&] { return !preferences.isAnimating(); }, 3000));
    SearchSitesEditor::open();
    ASSERT_TRUE(waitUntil([&] { return !preferences.isAnimating() && preferences.currentIndex() == 0; }, 3000));
    auto* table = preferences.window()->findChild<SearchSitesTableView*>();
    ASSERT_TRUE(table);
    ASSERT_TRUE(waitUntil([&] { return table->isVisible() && table->cellRect(1, 0).height() > 0; }, 3000));
    // The click goes where the X server shows the window.
    ASSERT_TRUE(waitUntil([&] { return shownOnScreen(*preferences.window()); }, 5000));

    // A real click through the X server on the second built-in site's switch.
    QObject observer;
    int notices = 0;
    listenForNotification(&observer, QStringLiteral("EnabledSearchSitesDidChangeNotification"),
                          [&](const Notification&) { ++notices; });
    const QPoint target = table->viewport()->mapToGlobal(controlCenter(*table, 1, 0));
    QProcess xdotool;
    xdotool.start(QStringLiteral("/usr/bin/xdotool"),
                  {QStringLiteral("mousemove"), QString::number(target.x()), QString::number(target.y()),
                   QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(waitUntil([&] { return xdotool.state() == QProcess::NotRunning; }, 5000));
    ASSERT_TRUE(waitUntil([&] {
        return !Settings::instance().stringList(QStringLiteral("kEnabledSystemModules")).contains(QStringLiteral("bing"));
    }, 5000));
    EXPECT_EQ(notices, 1);
    EXPECT_FALSE(SearchSites::moduleIsEnabled(table->objectAtIndex(1)));
    controller.reset();
    qunsetenv("http_proxy");
}

}  // namespace
}  // namespace ombrelay::test
