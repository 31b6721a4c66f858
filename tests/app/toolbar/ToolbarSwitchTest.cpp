// Switching the window's toolbar between delegates: each gets its own default items, the display settings
// travel along, and the one search field keeps its text.
#include "app/frame/KoContentView.h"
#include "app/toolbar/KoDownloadsToolbarDelegate.h"
#include "app/toolbar/KoMainToolbarDelegate.h"
#include "app/toolbar/MainToolbar.h"
#include "app/toolbar/QueryToolbarDelegate.h"
#include "app/toolbar/ToolbarConfiguration.h"
#include "app/toolbar/ToolbarCustomizePanel.h"
#include "engine/torrent/TorrentFixtures.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/Settings.h"
#include "support/Pictures.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/TransfersFixture.h"
#include "uikit/PZRoundTabView.h"

#include <QApplication>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>
#include <gtest/gtest.h>

namespace ombrelay::test {
namespace {

class PlainDelegate : public KoToolbarDelegate
{
public:
    QString toolbarIdentifier() const override { return QStringLiteral("PlainToolbarA"); }
    QStringList toolbarDefaultItemIdentifiers() const override { return {QStringLiteral("item_search"), kSeparator, kFlexibleSpace}; }
};

// A content view on `settings`, as the window's central widget.
KoContentView* contentIn(QMainWindow& window, Settings& settings)
{
    auto* content = new KoContentView;
    content->setSettings(&settings);
    window.setCentralWidget(content);
    return content;
}

// The search item is 200 x 32 with the 22-high field in its middle, so a toolbar of the search item alone
// is as high as one with the 25-high buttons of the web panes: the content below never jumps on a switch.
TEST(ToolbarSwitch, ItemsResetDisplayKeptSearchFieldShared)
{
    QTemporaryDir folder;
    Settings settings(folder.filePath("settings.conf"));
    QMainWindow window;
    KoContentView* content = contentIn(window, settings);
    window.resize(900, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    PlainDelegate plain;
    KoMainToolbarDelegate& web = KoMainToolbarDelegate::instance();
    auto* search = KoToolbarDelegate::searchView();
    ASSERT_TRUE(search);

    QPointer<QAction> reload = web.toolbarItem("item_reload");
    content->setToolbarDelegate(&web);
    ASSERT_TRUE(content->currentToolbar());
    const Qt::ToolButtonStyle chosen = content->currentToolbar()->toolButtonStyle() == Qt::ToolButtonIconOnly
        ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly;
    content->currentToolbar()->setToolButtonStyle(chosen);
    search->setText("ubuntu");

    QWidget* item = KoToolbarDelegate::searchItem()->defaultWidget();
    EXPECT_EQ(item->size(), QSize(200, 32));
    QSet<int> contentTops;
    struct Step { ToolbarDelegate* delegate; int items; };
    const Step steps[] = {{&plain, 3}, {&web, 7}, {&web, 7}, {&plain, 3}, {&web, 7}};
    for (const Step& step : steps) {
        content->setToolbarDelegate(step.delegate);
        QApplication::processEvents();
        contentTops << content->geometry().top();
        EXPECT_EQ(search->geometry(), QRect(0, 5, item->width(), 22)) << "the field in the item's middle";
        QToolBar* toolbar = content->currentToolbar();
        EXPECT_EQ(toolbar->actions().size(), step.items) << step.delegate->toolbarIdentifier().toStdString();
        EXPECT_EQ(toolbar->actions().value(0), KoToolbarDelegate::searchItem());
        EXPECT_EQ(search->text(), "ubuntu");
        EXPECT_EQ(toolbar->toolButtonStyle(), chosen);
        EXPECT_FALSE(reload.isNull());  // removed, never deleted
    }
    EXPECT_EQ(contentTops.size(), 1) << "the content moved on a switch";
    KoToolbarDelegate::setSearchItemWidth(181);
    EXPECT_EQ(item->size(), QSize(181, 32)) << "follows the sidebar";
    KoToolbarDelegate::setSearchItemWidth(200);
}

TEST(ToolbarSwitch, TransferButtonsFollowTheirTargets)
{
    auto torrent = [](int state) {
        TorrentLinePtr line = TorrentLine::torrentLineForData(metainfo(singleFileInfo(QString::number(state), 100)));
        line->restoreDownloadState(state);
        return line;
    };
    using V = KoDownloadsToolbarDelegate::Validation;
    struct Case { QList<int> states; int selected, complete; V expect; };
    const Case cases[] = {
        {{}, 0, 0, {false, false, false, false}},
        {{TorrentLine::Paused}, 1, 0, {false, true, false, true}},  // one paused transfer selected
        {{TorrentLine::Downloading, TorrentLine::Paused}, 0, 0, {true, true, false, false}},
        {{TorrentLine::Complete, TorrentLine::Waiting, TorrentLine::Halted}, 3, 1, {false, false, true, true}},
        {{TorrentLine::None}, 0, 2, {true, false, true, false}},
    };
    for (const Case& c : cases) {
        TorrentLineList targets;
        for (int state : c.states)
            targets << torrent(state);
        const V got = KoDownloadsToolbarDelegate::validationFor(targets, c.selected, c.complete);
        EXPECT_EQ(got.pause, c.expect.pause) << c.states.size();
        EXPECT_EQ(got.resume, c.expect.resume) << c.states.size();
        EXPECT_EQ(got.clear, c.expect.clear) << c.states.size();
        EXPECT_EQ(got.remove, c.expect.remove) << c.states.size();
    }
}

class TransfersToolbar : public TransfersFixture
{
};

TEST_F(TransfersToolbar, OnePausedTransferSelected)
{
    const TorrentLinePtr paused = addTorrent("paused.iso", TorrentLine::Paused);
    addTorrent("running.iso", TorrentLine::Downloading);
    Settings settings(folder.filePath("settings.conf"));
    QMainWindow window;
    KoContentView* content = contentIn(window, settings);
    KoDownloadsToolbarDelegate delegate(*controller);
    content->setDownloadsView(controller->mainView());
    content->setDownloadsToolbarDelegate(&delegate);
    window.resize(640, 240);
    window.show();
    content->showDownloadsView();
    EXPECT_TRUE(delegate.pauseButton()->isEnabled());  // nothing selected: the running one can pause
    controller->selectObjects({paused});
    EXPECT_FALSE(delegate.pauseButton()->isEnabled());
    EXPECT_TRUE(delegate.resumeButton()->isEnabled());
    EXPECT_TRUE(delegate.cancelButton()->isEnabled());
    EXPECT_FALSE(delegate.clearButton()->isEnabled());
    EXPECT_EQ(content->currentToolbar()->actions().size(), 7);
    EXPECT_TRUE(window.grab().toImage().save(picturePath("OMBRELAY_TRANSFERS_TOOLBAR_PICTURE", "transfers-toolbar.png")));
    // With labels, a click on "Resume" under the button resumes as the button does.
    auto* toolbar = qobject_cast<MainToolbar*>(content->currentToolbar());
    ASSERT_TRUE(toolbar);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->layout()->activate();
    QAction* resume = delegate.toolbarItem("item_resume");
    ASSERT_FALSE(toolbar->labelRect(resume).isEmpty());
    QTest::mouseClick(toolbar, Qt::LeftButton, {}, toolbar->labelRect(resume).center());
    EXPECT_NE(paused->downloadState(), TorrentLine::Paused);
    controller->mainView()->setParent(nullptr);  // the controller's view outlives the window
}

// The results toolbar: its items in order, and a view mode shown as stored and stored on every click.
TEST(ResultsToolbar, ItemsAndViewMode)
{
    QTemporaryDir folder;
    Settings::useFile(folder.filePath("Ombrelay.conf"));
    Settings::instance().setValue("kQueryViewMode", 1);
    QueryToolbarDelegate delegate([]() -> ResultsPane* { return nullptr; });
    EXPECT_EQ(delegate.toolbarIdentifier(), "QueryToolbarDelegateA");
    Settings windowSettings(folder.filePath("window.conf"));
    QMainWindow window;
    KoContentView* content = contentIn(window, windowSettings);
    window.resize(640, 240);
    window.show();
    content->setToolbarDelegate(&delegate);
    QToolBar& toolbar = *content->currentToolbar();
    toolbar.layout()->activate();
    // Left to right: the search item, a line (null here), Download, Refresh, a space that stretches, and
    // the view mode at the far right.
    QList<QWidget*> shown;
    for (QAction* item : toolbar.actions())
        shown.append(item->isSeparator() ? nullptr : toolbar.widgetForAction(item));
    ASSERT_EQ(shown.size(), 6);
    ASSERT_TRUE(shown[0]);
    EXPECT_TRUE(shown[0]->isAncestorOf(KoToolbarDelegate::searchView())) << "the search item holds the field";
    EXPECT_EQ(shown[1], nullptr);
    EXPECT_EQ(shown[2], delegate.downloadButton());
    EXPECT_EQ(shown[3], delegate.refreshButton());
    ASSERT_TRUE(shown[4]);
    EXPECT_GT(shown[4]->width(), toolbar.width() / 4);
    EXPECT_EQ(shown[5], delegate.viewModeButton());
    shown.removeAll(nullptr);
    for (int k = 1; k < shown.size(); ++k)
        EXPECT_GT(shown[k]->geometry().left(), shown[k - 1]->geometry().right()) << k;
    EXPECT_GE(delegate.viewModeButton()->geometry().right(), toolbar.width() - 16) << "at the far right";
    EXPECT_FALSE(delegate.downloadButton()->isEnabled()) << "no list to download from";
    EXPECT_FALSE(delegate.refreshButton()->isEnabled());
    ViewModeButton& mode = *delegate.viewModeButton();
    EXPECT_EQ(mode.selectedSegment(), 1);
    for (int segment : {0, 0, 1, 0}) {
        mode.segment(segment)->click();
        EXPECT_EQ(Settings::instance().integer("kQueryViewMode"), segment);
        EXPECT_EQ(mode.selectedSegment(), segment);
    }
    Settings::instance().setValue("kQueryViewMode", 1);
    EXPECT_EQ(mode.selectedSegment(), 1) << "follows a change made elsewhere";
}

// Each delegate registers its stored configuration where none is stored; a user's value stays.
TEST(ToolbarDefaults, RegisteredWhereAbsent)
{
    struct Case
    {
        const char* name;
        QString storedDisplayMode;  // before the delegate is made; empty: none
        QString displayMode;
    };
    const Case cases[] = {{"fresh settings", {}, "1"}, {"a user's mode", "2", "2"}};
    for (const Case& c : cases) {
        QTemporaryDir folder;
        Settings::useFile(folder.filePath("Ombrelay.conf"));
        const QString group = ToolbarConfiguration::groupFor("QueryToolbarDelegateA") + "/";
        if (!c.storedDisplayMode.isEmpty())
            Settings::instance().setValue(group + "TB Display Mode", c.storedDisplayMode);
        QueryToolbarDelegate delegate([]() -> ResultsPane* { return nullptr; });
        EXPECT_EQ(Settings::instance().string(group + "TB Display Mode"), c.displayMode) << c.name;
        for (const char* key : {"TB Icon Size Mode", "TB Is Shown", "TB Size Mode"})
            EXPECT_EQ(Settings::instance().string(group + key), "1") << c.name << " " << key;
        EXPECT_EQ(Settings::instance().stringList(group + "TB Item Identifiers"), delegate.toolbarDefaultItemIdentifiers())
            << c.name;
    }
}

// A stored arrangement is what a user or another version left: what the toolbar does not allow goes,
// an item stands once (the separator and spaces as often as stored), the search field stays.
TEST(ToolbarArrangement, StoredItemsAreCheckedAgainstTheAllowed)
{
    const QString sep = KoToolbarDelegate::kSeparator;
    const QString flex = KoToolbarDelegate::kFlexibleSpace;
    KoMainToolbarDelegate& web = KoMainToolbarDelegate::instance();
    struct Case
    {
        QStringList stored;  // empty: none
        QStringList shown;
    };
    const Case cases[] = {
        {{}, web.toolbarDefaultItemIdentifiers()},
        {{"item_home", "item_search"}, {"item_home", "item_search"}},
        {{"item_home", "bogus", "item_home"}, {"item_search", "item_home"}},
        {{sep, sep, "item_rss", flex, flex}, {"item_search", sep, sep, "item_rss", flex, flex}},
        {{"item_pause"}, web.toolbarDefaultItemIdentifiers()},  // the transfers' item
    };
    for (const Case& c : cases) {
        QTemporaryDir folder;
        Settings settings(folder.filePath("settings.conf"));
        if (!c.stored.isEmpty())
            ToolbarConfiguration::writeItems(settings, web.toolbarIdentifier(), c.stored);
        EXPECT_EQ(ToolbarConfiguration::items(settings, web.toolbarIdentifier(), web.toolbarAllowedItemIdentifiers(),
                                              web.toolbarDefaultItemIdentifiers()),
                  c.shown)
            << c.stored.join(',').toStdString();
    }
}

// The panel's buttons, each on the row chosen before it; every change is reported as it is made.
TEST(ToolbarArrangement, ThePanelAddsRemovesAndMovesItems)
{
    const QString sep = KoToolbarDelegate::kSeparator;
    ToolbarCustomizePanel::Choices choices;
    choices.allowed = {"item_search", "item_home", "item_rss", sep};
    choices.defaults = {"item_search", sep, "item_rss"};
    choices.items = {"item_search", "item_home"};
    ToolbarCustomizePanel panel(choices);
    QSignalSpy changes(&panel, &ToolbarCustomizePanel::itemsChanged);
    struct Step
    {
        QPushButton* button;
        int itemRow;       // chosen in the toolbar's list
        int availableRow;  // chosen in the other list
        QStringList items;
        QStringList available;
    };
    const Step steps[] = {
        {panel.addButton(), 1, 1, {"item_search", "item_home", sep}, {"item_rss", sep}},
        {panel.addButton(), 0, 1, {"item_search", sep, "item_home", sep}, {"item_rss", sep}},
        {panel.upButton(), 2, 0, {"item_search", "item_home", sep, sep}, {"item_rss", sep}},
        {panel.downButton(), 0, 0, {"item_home", "item_search", sep, sep}, {"item_rss", sep}},
        {panel.removeButton(), 0, 0, {"item_search", sep, sep}, {"item_home", "item_rss", sep}},
        {panel.removeButton(), 0, 0, {"item_search", sep, sep}, {"item_home", "item_rss", sep}},  // stays
        {panel.defaultsButton(), 0, 0, choices.defaults, {"item_home", sep}},
    };
    int reported = 0;
    for (const Step& step : steps) {
        panel.itemsList()->setCurrentRow(step.itemRow);
        panel.availableList()->setCurrentRow(step.availableRow);
        const QStringList before = panel.items();
        step.button->click();
        EXPECT_EQ(panel.items(), step.items) << step.button->text().toStdString();
        QStringList available;
        for (int row = 0; row < panel.availableList()->count(); ++row)
            available << panel.availableList()->item(row)->data(Qt::UserRole).toString();
        EXPECT_EQ(available, step.available) << step.button->text().toStdString();
        reported += before != step.items ? 1 : 0;
        ASSERT_EQ(changes.size(), reported);
        EXPECT_EQ(changes.last().first().toStringList(), panel.items());
    }
}

// A resumed transfer with peers moves from "Inactive" to "Active": the filter tabs count it there at once.
TEST_F(TransfersToolbar, ResumeRecountsTheFilterTabs)
{
    const TorrentLinePtr paused = addTorrent("paused.iso", TorrentLine::Paused);
    peers.counts[paused.get()] = {2, 0, 0};
    KoDownloadsToolbarDelegate delegate(*controller);
    controller->mainView()->resize(640, 240);
    controller->mainView()->show();
    PZRoundTabView& tabs = *controller->tabView();
    controller->outlineView()->rebuildTabView();
    ASSERT_EQ(tabs.countAtIndex(1), 0);
    ASSERT_EQ(tabs.countAtIndex(2), 1);
    delegate.resumeButton()->click();
    ASSERT_NE(paused->downloadState(), TorrentLine::Paused);
    EXPECT_EQ(tabs.countAtIndex(1), 1) << "Active";
    EXPECT_EQ(tabs.countAtIndex(2), 0) << "Inactive";
}

}  // namespace
}  // namespace ombrelay::test
