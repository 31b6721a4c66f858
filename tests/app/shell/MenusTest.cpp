// The menu bar's own items and the tray menu, on real widgets.
#include "app/desktop/KoTrayMenu.h"
#include "app/prefs/KoGeneralPreferences.h"
#include "app/shell/KoAboutBoxController.h"
#include "app/shell/KoAppMessageBridge.h"
#include "app/shell/KoMainMenu.h"
#include "kit/DefaultSettings.h"
#include "kit/ServiceAddresses.h"
#include "kit/Settings.h"
#include "support/UrlRecorder.h"
#include "transfers/TransfersFixture.h"
#include "uikit/FilterSearchField.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QWidget* viewHolding(QWidget* field)
{
    auto* view = new QWidget;
    auto* inner = new QWidget(view);
    auto* layout = new QVBoxLayout(inner);
    if (field)
        layout->addWidget(field);
    return view;
}

QStringList titles(const QMenu& menu)
{
    QStringList list;
    for (const QAction* action : menu.actions())
        list.append(action->isSeparator() ? QStringLiteral("--") : action->text() + (action->isEnabled() ? "" : " (off)"));
    return list;
}

}  // namespace

TEST(KoAppMessageBridge, FindFollowsTheShownViewAndSelectsItsFilterField)
{
    QMainWindow window;
    auto* content = new QStackedWidget(&window);
    window.setCentralWidget(content);
    auto* field = new FilterSearchField;
    field->setText(QStringLiteral("words"));
    QWidget* transfers = viewHolding(field);
    QWidget* startPage = viewHolding(nullptr);
    QWidget* other = viewHolding(new QLineEdit);  // a plain field is not a filter field
    content->addWidget(startPage);
    content->addWidget(transfers);
    content->addWidget(other);
    KoMainMenu menu;
    KoAppMessageBridge bridge(&window, menu, content, {});
    menu.build(window.menuBar());
    ASSERT_EQ(bridge.findAction()->data().toInt(), KoAppMessageBridge::kFindTag);

    const struct
    {
        QWidget* view;
        bool enabled;
    } cases[] = {{transfers, true}, {startPage, false}, {other, false}, {transfers, true}};
    for (const auto& c : cases) {
        content->setCurrentWidget(c.view);
        menu.validate();
        EXPECT_EQ(bridge.findAction()->isEnabled(), c.enabled) << content->currentIndex();
    }
    window.show();
    bridge.findAction()->trigger();
    EXPECT_EQ(field->selectedText(), QStringLiteral("words"));
}

TEST(KoAppMessageBridge, ItemsRunTheirActions)
{
    QMainWindow window;
    auto* content = new QStackedWidget(&window);
    int preferences = 0;
    int openAddress = 0;
    KoAppMessageBridge::Actions actions;
    actions.showPreferences = [&] { ++preferences; };
    actions.showOpenAddressPanel = [&] { ++openAddress; };
    KoMainMenu menu;
    KoAppMessageBridge bridge(&window, menu, content, actions);
    menu.build(window.menuBar());
    bridge.actionWithText(QStringLiteral("Preferences…"))->trigger();
    bridge.actionWithText(QStringLiteral("Open Address…"))->trigger();
    EXPECT_EQ(preferences, 1);
    EXPECT_EQ(openAddress, 1);
    bridge.actionWithText(QStringLiteral("About Ombrelay"))->trigger();
    ASSERT_TRUE(bridge.aboutBox());
    EXPECT_TRUE(bridge.aboutBox()->isVisible());
    EXPECT_EQ(bridge.aboutBox()->versionField()->text(),
              QStringLiteral("Version %1 (v%2)").arg(QStringLiteral(OMBRELAY_VERSION), QStringLiteral(OMBRELAY_BUILD_VERSION)));
}

// The about box's links and the general pane's sign-up button open their pages in the desktop's browser.
TEST(ProductLinks, ButtonsOpenTheirPages)
{
    QTemporaryDir folder;
    Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
    registerDefaultSettings(Settings::instance());
    KoAboutBoxController about;
    KoGeneralPreferences general;
    struct Case
    {
        QWidget* holder;
        const char* button;
        const char* page;
    };
    const Case cases[] = {
        {&about, "ombrelayLink", service::kProductSiteURL},
        {&about, "blogLink", service::kBlogURL},
        {&general, "joinTwitter", service::kShortMessageSignUpURL},
    };
    for (const Case& c : cases) {
        c.holder->show();
        auto* button = c.holder->findChild<QPushButton*>(QLatin1String(c.button));
        ASSERT_TRUE(button) << c.button;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(c.holder));
        UrlRecorder recorder;
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl(QLatin1String(c.page))}) << c.button;
    }
}

class TrayMenuTest : public TransfersFixture
{
protected:
    QStringList revealed;
};

TEST_F(TrayMenuTest, ListsTheCompletedTransfersInListOrder)
{
    const struct
    {
        QList<std::pair<QString, int>> torrents;
        QStringList menu;
    } cases[] = {
        {{{QStringLiteral("running.iso"), TorrentLine::Downloading}}, {}},
        {{{QStringLiteral("first.iso"), TorrentLine::Complete},
          {QStringLiteral("running.iso"), TorrentLine::Downloading},
          {QStringLiteral("second.iso"), TorrentLine::Complete}},
         {QStringLiteral("Completed Downloads: (off)"), QStringLiteral("first.iso"), QStringLiteral("second.iso"),
          QStringLiteral("--"), QStringLiteral("Clear All Completed")}},
        {{{QStringLiteral("Tom & Jerry"), TorrentLine::Complete}},
         {QStringLiteral("Completed Downloads: (off)"), QStringLiteral("Tom && Jerry"), QStringLiteral("--"),
          QStringLiteral("Clear All Completed")}},
    };
    for (const auto& c : cases) {
        controller->removeDownloads(controller->objects());
        for (const auto& [name, state] : c.torrents)
            addTorrent(name, state);
        KoTrayMenu tray(*controller);
        QMenu menu;
        tray.fill(&menu);
        EXPECT_EQ(titles(menu), c.menu);
    }
}

TEST_F(TrayMenuTest, AnItemRevealsItsTorrentUnlessItIsGone)
{
    TorrentLinePtr kept = addTorrent(QStringLiteral("kept.iso"), TorrentLine::Complete);
    TorrentLinePtr gone = addTorrent(QStringLiteral("gone.iso"), TorrentLine::Complete);
    KoTrayMenu tray(*controller);
    tray.setRevealer([this](const QString& path) { revealed.append(path); });
    QMenu menu;
    tray.attach(&menu);
    emit menu.aboutToShow();  // rebuilt before showing
    ASSERT_EQ(menu.actions().size(), 5);
    const QString keptPath = kept->fullPath();
    QAction* goneItem = menu.actions()[2];
    controller->removeDownloads({gone});
    gone.reset();
    goneItem->trigger();
    menu.actions()[1]->trigger();
    EXPECT_EQ(revealed, QStringList{keptPath});
}

TEST_F(TrayMenuTest, LongTitlesAreElided)
{
    addTorrent(QString(300, QLatin1Char('n')) + QStringLiteral(".iso"), TorrentLine::Complete);
    KoTrayMenu tray(*controller);
    QMenu menu;
    tray.fill(&menu);
    const QString title = menu.actions()[1]->text();
    EXPECT_LT(title.size(), 300);
    EXPECT_TRUE(title.contains(QChar(0x2026)));
    EXPECT_TRUE(title.endsWith(QStringLiteral(".iso")));
}
