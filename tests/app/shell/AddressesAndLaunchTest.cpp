// Addresses the program owns, the application object's guard, and the settings work of every launch.
#include "app/shell/KoApplication.h"
#include "app/shell/KoURLHandler.h"
#include "app/shell/LaunchSettings.h"
#include "kit/AppPaths.h"
#include "kit/Settings.h"
#include "uikit/PZSortDescriptorTransformer.h"

#include <QDir>
#include <QMouseEvent>
#include <QWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace ombrelay;

TEST(KoURLHandler, SearchAddressesAreCleansedIntoTheirWords)
{
    const QString longWord(2000, QLatin1Char('a'));
    const struct
    {
        QString address;
        QString query;
    } cases[] = {
        {QStringLiteral("ombrelaysearch://ubuntu"), QStringLiteral("ubuntu")},
        {QStringLiteral("ombrelaysearch:///ubuntu+linux/"), QStringLiteral("ubuntu linux")},
        {QStringLiteral("OmbrelaySearch:ubuntu"), QStringLiteral("ubuntu")},
        {QStringLiteral("ombrelaysearch://caf%C3%A9"), QString::fromUtf8("café")},
        {QStringLiteral("ombrelaysearch://c%2B%2B+primer"), QStringLiteral("c++ primer")},
        {QStringLiteral("ombrelaysearch://a%20%20b"), QStringLiteral("a b")},
        {QStringLiteral("ombrelaysearch://line%0Abreak%00"), QStringLiteral("line break")},
        {QStringLiteral("ombrelaysearch://bad%C3"), QString::fromUtf8("bad\uFFFD")},
        {QStringLiteral("ombrelaysearch://"), QString()},
        {QStringLiteral("ombrelaysearch:///+/"), QString()},
        {QStringLiteral("ombrelaysearch:"), QString()},
        {QStringLiteral("ombrelaysearch://") + longWord, longWord.left(KoURLHandler::kMaxQueryLength)},
        {QStringLiteral("magnet:?xt=urn:btih:abc"), QString()},  // not a search address
    };
    for (const auto& c : cases)
        EXPECT_EQ(KoURLHandler::searchQuery(c.address), c.query) << qPrintable(c.address);
}

TEST(KoURLHandler, PlayerTitlesLoseControlsAndAreCapped)
{
    EXPECT_EQ(KoURLHandler::cleansedText(QStringLiteral("  Radio\tOne\n")), QStringLiteral("Radio One"));
    EXPECT_EQ(KoURLHandler::cleansedText(QString(1500, QLatin1Char('x'))).size(), KoURLHandler::kMaxQueryLength);
    // A cut never leaves half a surrogate pair.
    const QString clef = QString::fromUtf8("\U0001D11E");
    const QString text = QString(KoURLHandler::kMaxQueryLength - 1, QLatin1Char('x')) + clef;
    const QString cut = KoURLHandler::cleansedText(text);
    EXPECT_FALSE(cut.back().isHighSurrogate());
}

TEST(KoApplication, AnExceptionEscapingAHandlerIsLoggedAndTheLoopGoesOn)
{
    testing::internal::CaptureStderr();
    const bool handled = KoApplication::deliverGuarded([]() -> bool { throw std::runtime_error("boom"); });
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(handled);
    EXPECT_NE(log.find("*** uncaught exception: boom"), std::string::npos) << log;
    EXPECT_TRUE(KoApplication::deliverGuarded([] { return true; }));
}

TEST(KoApplication, OnlyALeftCtrlClickOnAWidgetClosesTheSuggestions)
{
    QWidget widget;
    QObject plain;
    const struct
    {
        QEvent::Type type;
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        bool onWidget;
        bool closes;
    } cases[] = {
        {QEvent::MouseButtonPress, Qt::LeftButton, Qt::ControlModifier, true, true},
        {QEvent::MouseButtonPress, Qt::LeftButton, Qt::NoModifier, true, false},
        {QEvent::MouseButtonPress, Qt::RightButton, Qt::ControlModifier, true, false},
        {QEvent::MouseButtonPress, Qt::LeftButton, Qt::ControlModifier, false, false},
        {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::ControlModifier, true, false},
    };
    for (const auto& c : cases) {
        QMouseEvent event(c.type, QPointF(5, 5), QPointF(5, 5), c.button, c.button, c.modifiers);
        EXPECT_EQ(KoApplication::isControlClick(c.onWidget ? static_cast<QObject*>(&widget) : &plain, &event), c.closes);
    }
}

class LaunchSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
    }
    // Written now, so that nothing writes the file again once its folder is gone.
    void TearDown() override { Settings::instance().sync(); }
    QTemporaryDir folder;
};

TEST_F(LaunchSettingsTest, SortOrdersAreClearedOnceAndRegisteredOnlyWhereAbsent)
{
    Settings& settings = Settings::instance();
    const QVariant userOrder = PZSortDescriptorTransformer::reverseTransformedValue({{QStringLiteral("name"), true}});
    for (const char* key : {"RSSPaneSortDescriptors", "QueryPaneSortDescriptors", "DownloadsPaneSortDescriptors"})
        settings.setValue(QLatin1String(key), userOrder);

    LaunchSettings::repairSortDescriptors(settings);  // the first launch clears the three
    EXPECT_TRUE(settings.boolean(QStringLiteral("kHasRepairedSortDescriptors")));
    EXPECT_FALSE(settings.hasDefault(QStringLiteral("DownloadsPaneSortDescriptors")));
    const PZSortDescriptors rss = PZSortDescriptorTransformer::transformedValue(settings.value(QStringLiteral("RSSPaneSortDescriptors")));
    const PZSortDescriptors query = PZSortDescriptorTransformer::transformedValue(settings.value(QStringLiteral("QueryPaneSortDescriptors")));
    ASSERT_EQ(rss.size(), 1);
    ASSERT_EQ(query.size(), 1);
    EXPECT_EQ(rss[0], (PZSortDescriptor{QStringLiteral("date"), false, QStringLiteral("compare:")}));
    EXPECT_EQ(query[0], (PZSortDescriptor{QStringLiteral("swarmSize"), false, QStringLiteral("compare:")}));

    // Later launches keep what the user chose since.
    for (const char* key : {"RSSPaneSortDescriptors", "QueryPaneSortDescriptors", "DownloadsPaneSortDescriptors"})
        settings.setValue(QLatin1String(key), userOrder);
    LaunchSettings::repairSortDescriptors(settings);
    for (const char* key : {"RSSPaneSortDescriptors", "QueryPaneSortDescriptors", "DownloadsPaneSortDescriptors"})
        EXPECT_EQ(settings.value(QLatin1String(key)), userOrder) << key;
}

TEST_F(LaunchSettingsTest, TheDownloadFolderIsMadeUnlessItsDiskIsDetached)
{
    const QString downloads = folder.filePath(QStringLiteral("deep/Downloads"));
    Settings::instance().setValue(QStringLiteral("save_directory"), downloads + QLatin1Char('/'));
    EXPECT_FALSE(LaunchSettings::makeDownloadFolder(true));
    EXPECT_FALSE(QFileInfo::exists(downloads));
    EXPECT_TRUE(LaunchSettings::makeDownloadFolder(false));
    EXPECT_TRUE(QFileInfo(downloads).isDir());
    EXPECT_FALSE(LaunchSettings::makeDownloadFolder(false));  // there already
}
