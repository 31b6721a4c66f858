// The menu bar of the running application and its keyboard, under a private X server: each outer test
// runs one inner test of this program on its own display (the inner tests skip anywhere else).
#include "app/shell/menubar/LoopbackHomeApp.h"

#include "app/desktop/StatusTray.h"
#include "app/frame/KoContentView.h"
#include "app/frame/SourceItem.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/shell/KoAboutBoxController.h"
#include "app/shell/KoAppMessageBridge.h"
#include "app/shell/KoMainMenu.h"
#include "app/shell/SingleInstance.h"
#include "app/tabs/CurrentTabView.h"
#include "app/tabs/MainPaneController.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/toolbar/KoMainToolbarDelegate.h"
#include "app/toolbar/MainToolbar.h"
#include "app/toolbar/ToolbarConfiguration.h"
#include "app/toolbar/ToolbarCustomizePanel.h"
#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"
#include "engine/core/PeerService.h"
#include "search/SearchSites.h"
#include "search/views/QueryOutlineView.h"
#include "support/CloseButton.h"
#include "support/OnScreen.h"
#include "support/UrlRecorder.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/StatsView.h"
#include "transfers/TransferItem.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZViewController.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QToolButton>
#include <QUrlQuery>
#include <QWidgetAction>
#include <algorithm>
#include <future>

namespace ombrelay::test {
namespace {

const char* kChild = "OMBRELAY_MENU_CHILD";
using C = KoMainMenu::Command;

#define RUN_UNDER_XVFB(test, filter) RUN_ON_PRIVATE_DISPLAY(MenuBar, test, filter, kChild)
RUN_UNDER_XVFB(EveryItemOnceWithItsKeys, "MenuBarInner.EveryItemOnceWithItsKeys")
RUN_UNDER_XVFB(NoKeyIsBoundTwice, "MenuBarInner.NoKeyIsBoundTwice")
RUN_UNDER_XVFB(ItemsAreEnabledByTheWindowsState, "States/MenuEnabling.*")
RUN_UNDER_XVFB(ModalWindowsHoldTheCommands, "MenuBarInner.ModalWindowsHoldTheCommands")
RUN_UNDER_XVFB(EachItemRunsItsCommand, "MenuBarInner.EachItemRunsItsCommand")
RUN_UNDER_XVFB(TheLinksGoToTheDesktopsHandlers, "MenuBarInner.TheLinksGoToTheDesktopsHandlers")
RUN_UNDER_XVFB(TheKeyboardAloneWalksTheLoops, "MenuBarInner.TheKeyboardAloneWalksTheLoops")
RUN_UNDER_XVFB(EachMenuOpened, "MenuBarInner.EachMenuOpened")
RUN_UNDER_XVFB(TheCloseButtonHidesTheWindowWhereATrayShows, "TrayInner.*")
RUN_UNDER_XVFB(EachToolbarKeepsItsArrangement, "MenuBarInner.EachToolbarKeepsItsArrangement")
RUN_UNDER_XVFB(TheToolbarShowsItsLabelsUnderTheIcons, "MenuBarInner.TheToolbarShowsItsLabelsUnderTheIcons")

QString withoutMnemonic(QString text)
{
    return text.remove(QLatin1Char('&'));
}

class MenuBarInner : public LoopbackHomeApp
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "runs under MenuBar's private display";
        DesktopApp::SetUp();
        SearchSites::instance().setUserModules({});  // a search pane holds its results tab alone
        ASSERT_NO_FATAL_FAILURE(launchWindow());
    }

    KoMainMenu& menu() const { return *controller->mainMenu(); }
    QAction* action(C command) const { return menu().action(command); }
    PZSquareTabView* strip() const { return CurrentTabView::instance().content(); }
    int tabCount() const { return strip() ? int(strip()->tabs().size()) : 0; }

    // The menu runs its command as a click on the item would.
    void run(C command)
    {
        menu().validate();
        action(command)->trigger();
    }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window();
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }
    MainToolbar* toolbar() const { return qobject_cast<MainToolbar*>(window()->contentView()->currentToolbar()); }
    bool showTransfers()
    {
        press(Qt::Key_2, Qt::ControlModifier);
        return waitUntil([this] { return window()->contentView()->currentView() == downloads().mainView(); });
    }
    // A click on the row of `list` that shows `label`.
    static void clickRow(QListWidget* list, const QString& label)
    {
        const QList<QListWidgetItem*> rows = list->findItems(label, Qt::MatchExactly);
        ASSERT_FALSE(rows.isEmpty()) << label.toStdString();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(rows.first()).center());
    }
    // The toolbar's context menu, where the platform opens it on a right click, and its only command.
    ToolbarCustomizePanel* customizeToolbar()
    {
        QWidget* separator = nullptr;
        for (QAction* item : toolbar()->actions())
            separator = separator ? separator : (item->isSeparator() ? toolbar()->widgetForAction(item) : nullptr);
        const QPoint at = separator ? separator->geometry().center() : QPoint(toolbar()->width() - 4, 4);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, toolbar()->mapToGlobal(at));
        QApplication::sendEvent(separator ? separator : toolbar(), &click);
        if (!waitUntil([] { return QApplication::activePopupWidget() != nullptr; }))
            return nullptr;
        QWidget* menu = QApplication::activePopupWidget();
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
        ToolbarCustomizePanel* panel = nullptr;
        waitUntil([&] { return (panel = qobject_cast<ToolbarCustomizePanel*>(QApplication::activeModalWidget())); });
        return panel;
    }
    // A search in the sidebar, shown with its strip of tabs.
    void addSearch(const QString& terms)
    {
        sources()->addNewQueryForString(terms);
        ASSERT_TRUE(waitUntil([&] { return strip() && strip()->isVisible(); }));
    }

};

// Menu, title and shortcuts of every item, in order.
QStringList builtItems(const QMenuBar& bar)
{
    QStringList items;
    for (QAction* top : bar.actions()) {
        for (QAction* item : top->menu()->actions()) {
            if (item->isSeparator())
                continue;
            QStringList keys;
            for (const QKeySequence& key : item->shortcuts())
                keys << key.toString(QKeySequence::PortableText);
            items << withoutMnemonic(top->text()) + " > " + withoutMnemonic(item->text())
                    + (keys.isEmpty() ? QString() : " [" + keys.join(", ") + "]");
        }
    }
    return items;
}

TEST_F(MenuBarInner, EveryItemOnceWithItsKeys)
{
    const QStringList expected{
        "File > Open… [Ctrl+O]", "File > Open Address… [Ctrl+U]", "File > New Folder [Ctrl+Shift+N]",
        "File > New Subscription…", "File > Close Tab [Ctrl+W]", "File > Clear Complete", "File > Quit [Ctrl+Q]",
        "Edit > Undo [Ctrl+Z]", "Edit > Redo [Ctrl+Shift+Z]", "Edit > Cut [Ctrl+X]", "Edit > Copy [Ctrl+C]",
        "Edit > Paste [Ctrl+V]", "Edit > Select All [Ctrl+A]", "Edit > Find [Ctrl+F]", "Edit > Remove",
        "Edit > Preferences… [Ctrl+,]",
        "View > New Tab [Ctrl+T]", "View > Select Next Tab [Ctrl+Shift+Right, Ctrl+PgDown]",
        "View > Select Previous Tab [Ctrl+Shift+Left, Ctrl+PgUp]", "View > Make Text Larger [Ctrl++, Ctrl+=]",
        "View > Make Text Smaller [Ctrl+-]", "View > Mark All Read", "View > Searches and Subscriptions [Ctrl+1]",
        "View > All Transfers [Ctrl+2]", "View > Active Transfers [Ctrl+3]", "View > Inactive Transfers [Ctrl+4]",
        "View > Complete Transfers [Ctrl+5]",
        "Transfers > Open", "Transfers > Reveal", "Transfers > Quick Look", "Transfers > Remove",
        "Search > Search for Playing Artist", "Search > Search for Playing Song",
        "Help > Ombrelay Help", "Help > Ombrelay Web Site", "Help > Ombrelay Blog", "Help > Send Feedback…",
        "Help > Tell a Friend…", "Help > Ombrelay on Twitter", "Help > Ombrelay on Facebook",
        "Help > Vrask Web Site", "Help > About Ombrelay",
    };
    EXPECT_EQ(builtItems(*window()->menuBar()), expected);
}

// No key is bound twice in the window: menu items, the window's own actions and shortcuts.
TEST_F(MenuBarInner, NoKeyIsBoundTwice)
{
    QMap<QString, QString> owners;
    QSet<QObject*> seen;
    const auto bind = [&](QObject* owner, const QString& name, const QList<QKeySequence>& keys) {
        if (seen.contains(owner))
            return;
        seen.insert(owner);
        for (const QKeySequence& key : keys) {
            const QString text = key.toString(QKeySequence::PortableText);
            EXPECT_FALSE(owners.contains(text)) << text.toStdString() << ": " << owners.value(text).toStdString()
                                                << " and " << name.toStdString();
            owners.insert(text, name);
        }
    };
    for (QAction* item : menu().actions())
        bind(item, item->text(), item->shortcuts());
    for (QAction* item : window()->findChildren<QAction*>())
        bind(item, item->text(), item->shortcuts());
    for (QWidget* widget : window()->findChildren<QWidget*>())
        for (QAction* item : widget->actions())
            bind(item, item->text(), item->shortcuts());
    addSearch(QStringLiteral("alpha")); // a pane with its strip
    for (QShortcut* shortcut : window()->findChildren<QShortcut*>()) {
        const auto* owner = qobject_cast<QWidget*>(shortcut->parent());
        if (shortcut->isEnabled() && owner && owner->isVisible())
            bind(shortcut, owner->metaObject()->className(), {shortcut->key()});
    }
    EXPECT_GE(owners.size(), 26);
}

// The enabling rules in the states that matter, each reached through the menu from a fresh launch that
// holds one search.
class MenuEnabling;
struct EnablingState
{
    const char* name;
    std::function<void(MenuEnabling&)> reach;
    QList<C> enabled;
};

class MenuEnabling : public MenuBarInner, public ::testing::WithParamInterface<EnablingState>
{
public:
    using MenuBarInner::run;
    using MenuBarInner::searchField;
    using MenuBarInner::sources;
    void selectSearch() { sources()->selectItem(sources()->findExistingQuery(QStringLiteral("alpha"))); }
};

const EnablingState kEnablingStates[] = {
    // The toolbar's search field keeps the focus, so its Copy stays on.
    {"NoSelection",
     [](MenuEnabling& m) { m.sources()->clearSelection(); },
     {C::Copy, C::Open, C::Quit, C::ShowAllTransfers, C::About}},
    // Find goes to the filter field above the results.
    {"ASearchSelected",
     [](MenuEnabling& m) { m.selectSearch(); },
     {C::Find, C::RemoveSource, C::NewTab, C::SelectNextTab, C::Copy, C::Open, C::Quit, C::ShowAllTransfers,
      C::About}},
    // The results and their filter field are not shown behind the web tab.
    {"AWebTabShown",
     [](MenuEnabling& m) {
         m.selectSearch();
         m.run(C::NewTab);
     },
     {C::RemoveSource, C::CloseTab, C::NewTab, C::SelectNextTab, C::MakeTextLarger, C::Copy, C::Open, C::Quit,
      C::ShowAllTransfers, C::About}},
    {"AFeedSelected",
     [](MenuEnabling& m) {
         m.sources()->addNewSubscriptionForAddress(QStringLiteral("http://feeds.invalid/rss"),
                                                   QStringLiteral("News"));
     },
     {C::Find, C::RemoveSource, C::NewTab, C::SelectNextTab, C::Copy, C::Open, C::Quit, C::ShowAllTransfers,
      C::About}},
    {"TheTransfersShown",
     [](MenuEnabling& m) { m.run(C::ShowAllTransfers); },
     {C::Find, C::RemoveSource, C::Open, C::Quit, C::ShowAllTransfers, C::About}},
    {"TextInTheSearchFieldOverTheTransfers",
     [](MenuEnabling& m) {
         m.run(C::ShowAllTransfers);
         m.searchField()->setText(QStringLiteral("words"));
         m.searchField()->setFocus();
     },
     {C::Find, C::RemoveSource, C::Copy, C::Open, C::Quit, C::ShowAllTransfers, C::About}},
    {"ASheetUp", [](MenuEnabling& m) { m.run(C::NewSubscription); }, {C::Quit}},  // Quit closes the sheet first
};

TEST_P(MenuEnabling, ItemsFollowTheState)
{
    const QList<C> varying{C::Find, C::RemoveSource, C::CloseTab, C::NewTab, C::SelectNextTab, C::MakeTextLarger,
                           C::MarkAllRead, C::Copy, C::Open, C::Quit, C::ShowAllTransfers, C::About};
    addSearch(QStringLiteral("alpha"));
    GetParam().reach(*this);
    // The states follow once the shown content has settled; a wrong rule shows after the wait.
    const QList<C>& enabled = GetParam().enabled;
    waitUntil(
        [&] {
            return std::all_of(varying.begin(), varying.end(), [&](C command) {
                return action(command)->isEnabled() == enabled.contains(command);
            });
        },
        5000);
    for (C command : varying)
        EXPECT_EQ(action(command)->isEnabled(), enabled.contains(command))
            << action(command)->text().toStdString();
    if (QWidget* sheet = QApplication::activeModalWidget())
        sheet->close();
}

void PrintTo(const EnablingState& state, std::ostream* out)
{
    *out << state.name;
}

INSTANTIATE_TEST_SUITE_P(States, MenuEnabling, ::testing::ValuesIn(kEnablingStates),
                         [](const ::testing::TestParamInfo<EnablingState>& info) {
                             return std::string(info.param.name);
                         });

// The about box and the quit question are modal and hold every command but Quit while they are up.
TEST_F(MenuBarInner, ModalWindowsHoldTheCommands)
{
    run(C::About);
    KoAboutBoxController* about = controller->messageBridge()->aboutBox();
    ASSERT_TRUE(waitUntil([&] { return about->isVisible(); }));
    EXPECT_EQ(QApplication::activeModalWidget(), about);
    EXPECT_TRUE(waitUntil([&] { return !action(C::Preferences)->isEnabled(); }));
    about->close();
    ASSERT_TRUE(waitUntil([&] { return action(C::Preferences)->isEnabled(); }));

    // So is the quit question, on the window; Cancel keeps the application running.
    PZAlert::setPresenter({});
    Settings::instance().setValue("kKoWarnQuit", true);
    FakePeers peers;
    PeerService::install(&peers);
    TorrentLinePtr busy = listTorrent(QStringLiteral("busy.bin"));
    peers.counts[busy.get()] = {2, 1, 0};
    busy->invalidateValues();
    ASSERT_EQ(downloads().numberOfActiveTorrents(), 1);
    run(C::Quit);
    QMessageBox* question = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); }));
    EXPECT_EQ(question->windowModality(), Qt::WindowModal);
    EXPECT_EQ(question->parentWidget(), window());
    EXPECT_TRUE(waitUntil([&] { return !action(C::Quit)->isEnabled(); }));
    for (QAbstractButton* button : question->buttons())
        if (button->text() == QStringLiteral("Cancel"))
            button->click();
    ASSERT_TRUE(waitUntil([&] { return action(C::Quit)->isEnabled(); }));
    EXPECT_FALSE(controller->isTerminating());
    EXPECT_TRUE(window()->isVisible());
    PeerService::install(nullptr);
}

// Each item runs its command: the rows run in order, each from where the rows before it left the window.
TEST_F(MenuBarInner, EachItemRunsItsCommand)
{
    addSearch(QStringLiteral("alpha"));
    int sourceCount = 0;
    int tabs = 0;
    qreal zoom = 0;
    const auto zoomFactor = [] { return CurrentWebView::instance().content()->zoomFactor(); };
    QFileDialog* panel = nullptr;
    const struct
    {
        const char* effect;
        std::function<void()> given;
        C command;
        std::function<bool()> done;
    } rows[] = {
        {"New Folder adds a folder", [&] { sourceCount = sources()->root().childCount(); }, C::NewFolder,
         [&] { return sources()->root().childCount() == sourceCount + 1; }},
        {"Preferences shows its window", [&] { sources()->endEditing(true); }, C::Preferences,
         [&] { return controller->preferences().window()->isVisible(); }},
        {"Active Transfers shows the transfers",
         [&] {
             controller->preferences().window()->hide();
             window()->activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
         },
         C::ShowActiveTransfers,
         [&] { return window()->contentView()->currentView() == downloads().mainView(); }},
        {"Find goes to the transfers' filter field",
         {},
         C::Find,
         [&] { return QApplication::focusWidget() == downloads().filterField(); }},
        {"New Tab adds a web tab",
         [&] {
             sources()->selectItem(sources()->findExistingQuery(QStringLiteral("alpha")));
             ASSERT_TRUE(waitUntil([&] { return strip() && strip()->isVisible(); }));
             tabs = tabCount();
         },
         C::NewTab, [&] { return tabCount() == tabs + 1 && CurrentWebView::instance().content(); }},
        {"Make Text Larger zooms in", [&] { zoom = zoomFactor(); }, C::MakeTextLarger,
         [&] { return zoomFactor() > zoom; }},
        {"Make Text Smaller zooms back out",
         {},
         C::MakeTextSmaller,
         [&] { return qFuzzyCompare(zoomFactor(), zoom); }},
        {"Select Next Tab wraps to the first",
         {},
         C::SelectNextTab,
         [&] { return strip()->selectedIndex() == 0; }},
        {"Select Previous Tab wraps to the last",
         {},
         C::SelectPreviousTab,
         [&] { return strip()->selectedIndex() == tabs; }},
        {"Close Tab closes it", {}, C::CloseTab, [&] { return tabCount() == tabs; }},
        {"Select All selects the field's text",
         [&] {
             searchField()->setText(QStringLiteral("cut me"));
             searchField()->setFocus();
             ASSERT_TRUE(focusIs(searchField()));
         },
         C::SelectAll, [&] { return searchField()->selectedText() == QStringLiteral("cut me"); }},
        {"Cut takes it", {}, C::Cut, [&] { return searchField()->text().isEmpty(); }},
        {"Paste puts it back",
         {},
         C::Paste,
         [&] { return searchField()->text() == QStringLiteral("cut me"); }},
        {"Open shows the open panel on the window",
         {},
         C::Open,
         [&] {
             panel = window()->findChild<QFileDialog*>();
             return panel && panel->isVisible() && panel->windowModality() == Qt::WindowModal;
         }},
    };
    for (const auto& row : rows) {
        if (row.given)
            row.given();
        run(row.command);
        EXPECT_TRUE(waitUntil(row.done)) << row.effect;
    }
    if (panel)
        panel->reject();
}

// The pages and mail links go to the desktop's handlers.
TEST_F(MenuBarInner, TheLinksGoToTheDesktopsHandlers)
{
    UrlRecorder recorder({QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto")});
    for (C command : {C::Help, C::WebSite, C::Blog, C::ShortMessagePage, C::SocialPage, C::MakerSite, C::SendFeedback, C::TellAFriend})
        run(command);
    ASSERT_EQ(recorder.opened.size(), 8);
    // Six pages, each its own, on hosts of the product's site but the maker's.
    const QList<QUrl> pages = recorder.opened.mid(0, 6);
    const QString productDomain = pages[1].host().section(QLatin1Char('.'), -2);
    EXPECT_EQ(QSet<QUrl>(pages.begin(), pages.end()).size(), 6);
    for (int i = 0; i < pages.size(); ++i) {
        EXPECT_TRUE(pages[i].isValid() && pages[i].scheme() == QStringLiteral("https")) << i;
        EXPECT_TRUE(pages[i].host().endsWith(QStringLiteral(".invalid")))
            << pages[i].toString().toStdString();
        EXPECT_EQ(pages[i].host().endsWith(productDomain), i != 5) << pages[i].toString().toStdString();
    }
    const QUrl feedback = recorder.opened[6];
    EXPECT_EQ(feedback.scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(feedback.path().endsWith(QLatin1Char('@') + productDomain))
        << feedback.toString().toStdString();
    EXPECT_EQ(QUrlQuery(feedback).queryItemValue("subject", QUrl::FullyDecoded),
              QStringLiteral("Ombrelay %1 Feedback").arg(QStringLiteral(OMBRELAY_VERSION)));
    const QUrl friendMail = recorder.opened[7];
    EXPECT_EQ(friendMail.path(), QString());
    const QUrlQuery friendQuery(friendMail);
    EXPECT_EQ(friendQuery.queryItemValue("subject", QUrl::FullyDecoded), QStringLiteral("Ombrelay (for Linux)"));
    EXPECT_EQ(friendQuery.queryItemValue("body", QUrl::FullyDecoded),
              QStringLiteral("Check it out:\n") + pages[1].toString());
    // Escaped: the only '&' and '=' are the query's own, and no blank or line break is left bare.
    const QByteArray encoded = friendMail.toEncoded();
    EXPECT_EQ(encoded.count('&'), 1) << encoded.constData();
    EXPECT_EQ(encoded.count('='), 2) << encoded.constData();
    EXPECT_FALSE(encoded.contains(' ') || encoded.contains('\n') || encoded.indexOf(':', 7) >= 0) << encoded.constData();
}

TEST_F(MenuBarInner, TheKeyboardAloneWalksTheLoops)
{
    listTorrent(QStringLiteral("listed.bin"));
    // The transfers: the sidebar's row, Tab into the list with its first row selected.
    press(Qt::Key_2, Qt::ControlModifier);
    ASSERT_TRUE(focusIs(downloads().statsView()));
    EXPECT_EQ(window()->contentView()->currentView(), downloads().mainView());
    EXPECT_EQ(downloads().selectedObject(), nullptr);
    press(Qt::Key_Tab);
    EXPECT_TRUE(focusIs(downloads().outlineView()));
    EXPECT_NE(downloads().selectedObject(), nullptr);
    // The filter field, found with Ctrl+F, leads to the list too.
    press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(focusIs(downloads().filterField()));
    press(Qt::Key_Tab);
    EXPECT_TRUE(focusIs(downloads().outlineView()));
    // Shift+Tab from the row goes to the toolbar search field.
    press(Qt::Key_2, Qt::ControlModifier);
    ASSERT_TRUE(focusIs(downloads().statsView()));
    ASSERT_TRUE(waitUntil([&] { return searchField()->isVisible(); })) << "the transfers toolbar holds the field";
    press(Qt::Key_Backtab);
    ASSERT_TRUE(focusIs(searchField()));

    // Two searches typed in the field.
    for (const char* terms : {"alpha", "beta"}) {
        QTest::keyClicks(QApplication::focusWidget(), QString::fromLatin1(terms));
        press(Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return sources()->findExistingQuery(QString::fromLatin1(terms)); }));
    }
    ASSERT_TRUE(focusIs(searchField()));

    // Shift+Tab into the shown results list, and from the field Tab on to the sidebar.
    ASSERT_TRUE(waitUntil([&] { return strip() && strip()->isVisible(); }));
    press(Qt::Key_Backtab);
    auto* shownResults = qobject_cast<QueryOutlineView*>(window()->contentView()->currentTableView());
    ASSERT_TRUE(shownResults);
    EXPECT_TRUE(focusIs(shownResults));
    searchField()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Tab);
    ASSERT_TRUE(focusIs(sources()));
    // Down to the next item, on to its list.
    ASSERT_EQ(sources()->selectedItem(), sources()->findExistingQuery(QStringLiteral("beta")));
    // The arrows go on from the selected row (the last search typed).
    press(Qt::Key_Up);
    ASSERT_EQ(sources()->selectedItem(), sources()->findExistingQuery(QStringLiteral("alpha")));
    press(Qt::Key_Down);
    EXPECT_EQ(sources()->selectedItem(), sources()->findExistingQuery(QStringLiteral("beta")));
    ASSERT_TRUE(waitUntil([&] { return strip() && strip()->isVisible(); }));
    press(Qt::Key_Tab);
    auto* results = qobject_cast<QueryOutlineView*>(window()->contentView()->currentTableView());
    ASSERT_TRUE(results);
    EXPECT_TRUE(focusIs(results));
    // Ctrl+1 goes back to the sidebar, whose Shift+Tab goes to the search field.
    press(Qt::Key_1, Qt::ControlModifier);
    ASSERT_TRUE(focusIs(sources()));
    press(Qt::Key_Backtab);
    EXPECT_TRUE(focusIs(searchField()));

    // Ctrl+T opens a web tab, Ctrl+W closes it.
    const int tabs = tabCount();
    press(Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(waitUntil([&] { return tabCount() == tabs + 1 && strip()->selectedIndex() == tabs; }));
    press(Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(waitUntil([&] { return tabCount() == tabs; }));
}

TEST_F(MenuBarInner, EachMenuOpened)
{
    // A selected transfer: the Transfers menu has enabled items.
    DownloadsOutlineView* transfers = downloads().outlineView();
    transfers->selectObjects({transfers->itemFor(listTorrent(QStringLiteral("listed.bin")).get())});
    sources()->addNewQueryForString(QStringLiteral("alpha"));
    ASSERT_TRUE(waitUntil([&] { return strip() && strip()->isVisible(); }));
    QMenuBar* bar = window()->menuBar();
    for (QAction* top : bar->actions()) {
        QMenu* menu = top->menu();
        bar->setActiveAction(top);
        ASSERT_TRUE(waitUntil([&] { return menu->isVisible() && shownOnScreen(*menu); }, 3000))
            << top->text().toStdString();
        const QRect area = window()->frameGeometry().united(menu->geometry());
        const QImage shot = screenArea(area);
        const QString title = withoutMnemonic(top->text());
        const QString name = QStringLiteral("menu-%1.png").arg(title.toLower());
        const QByteArray variable = "OMBRELAY_MENU_" + title.toUpper().toLatin1() + "_PICTURE";
        ASSERT_TRUE(shot.save(picturePath(variable.constData(), name)));
        // The open menu holds text.
        const QRect inShot = menu->geometry().translated(-area.topLeft()).adjusted(4, 4, -4, -4);
        EXPECT_LT(darkestGrey(shot, inShot), 120) << name.toStdString();
        menu->hide();
        ASSERT_TRUE(waitUntil([&] { return !menu->isVisible(); }, 3000));
    }
}

// The web toolbar arranged in its panel (Stop/Reload removed, a flexible space added after Location, icons
// only) keeps that arrangement when a web pane shows again, after the transfers' toolbar (its defaults,
// in the display mode that travels) and after a restart.
TEST_F(MenuBarInner, EachToolbarKeepsItsArrangement)
{
    addSearch(QStringLiteral("alpha"));
    const auto showWebTab = [this](const QString& terms) {
        if (!sources()->findExistingQuery(terms))
            addSearch(terms);
        sources()->clearSelection();  // the transfers may show with the search still selected
        sources()->selectItem(sources()->findExistingQuery(terms));
        if (!waitUntil([this] { return strip() && strip()->isVisible(); }))
            return false;
        if (tabCount() < 2)
            run(C::NewTab);
        strip()->selectButtonAtIndex(1);
        return waitUntil([this] { return window()->contentView()->toolbarDelegate() == &KoMainToolbarDelegate::instance(); });
    };
    ASSERT_TRUE(showWebTab(QStringLiteral("alpha")));
    const QStringList defaults = KoMainToolbarDelegate::instance().toolbarDefaultItemIdentifiers();
    ASSERT_EQ(toolbar()->itemIdentifiers(), defaults);

    ToolbarCustomizePanel* panel = customizeToolbar();
    ASSERT_TRUE(panel);
    clickRow(panel->itemsList(), QStringLiteral("Stop/Reload"));
    QTest::mouseClick(panel->removeButton(), Qt::LeftButton);
    clickRow(panel->itemsList(), QStringLiteral("Location"));
    clickRow(panel->availableList(), QStringLiteral("Flexible Space"));
    QTest::mouseClick(panel->addButton(), Qt::LeftButton);
    clickRow(panel->itemsList(), QStringLiteral("Search"));
    EXPECT_FALSE(panel->removeButton()->isEnabled()) << "the search field stays";
    panel->displayModeBox()->setFocus();
    QTest::keyClick(panel->displayModeBox(), Qt::Key_Down);  // "Icon Only"
    QTest::keyClick(panel, Qt::Key_Return);                   // Done
    ASSERT_TRUE(waitUntil([] { return QApplication::activeModalWidget() == nullptr; }));

    QStringList arranged = defaults;
    arranged.removeAll(QStringLiteral("item_reload"));
    arranged.insert(arranged.indexOf(QStringLiteral("item_location")) + 1, KoToolbarDelegate::kFlexibleSpace);
    const QString webGroup = ToolbarConfiguration::groupFor(QStringLiteral("MainToolbarDelegateA")) + "/";
    const struct
    {
        const char* name;
        std::function<bool()> show;
        QStringList items;
    } steps[] = {
        {"the web pane, arranged", [] { return true; }, arranged},
        {"the transfers", [this] { return showTransfers(); },
         {"item_search", KoToolbarDelegate::kSeparator, "item_pause", "item_resume", KoToolbarDelegate::kFlexibleSpace,
          "item_complete", "item_cancel"}},
        {"a web pane again", [&] { return showWebTab(QStringLiteral("alpha")); }, arranged},
        {"a web pane after a restart", [&] {
             controller.reset();
             Settings::instance().sync();
             Settings::useFile(home.filePath("Ombrelay.conf"));  // read back from the disk
             launch();
             return showWebTab(QStringLiteral("beta"));
         }, arranged},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(step.show());
        EXPECT_EQ(toolbar()->itemIdentifiers(), step.items);
        EXPECT_EQ(toolbar()->actions().size(), step.items.size());
        EXPECT_EQ(toolbar()->toolButtonStyle(), Qt::ToolButtonIconOnly);
        EXPECT_EQ(Settings::instance().stringList(webGroup + "TB Item Identifiers"), arranged);
    }
}

// Fresh settings show the items' labels under them: a picture of the transfers' toolbar under the
// private display, with text in each label's place and none under the space that has no label. Text only
// puts an icon button's label in the button; icons only shows neither.
TEST_F(MenuBarInner, TheToolbarShowsItsLabelsUnderTheIcons)
{
    ASSERT_TRUE(showTransfers());
    MainToolbar* shown = toolbar();
    ASSERT_EQ(shown->toolButtonStyle(), Qt::ToolButtonTextUnderIcon) << "the registered \"1\"";
    QTest::qWait(200);  // drawn on the screen
    const QImage picture = screenArea(QRect(shown->mapToGlobal(QPoint()), shown->size()));
    EXPECT_TRUE(picture.save(picturePath("OMBRELAY_TOOLBAR_LABELS_PICTURE", "toolbar-labels.png")));
    QStringList labelled;
    const int labelTop = shown->labelRect(shown->actions().first()).y();
    for (QAction* item : shown->actions()) {
        const QRect label = shown->labelRect(item);
        const QWidget* view = shown->widgetForAction(item);
        if (item->objectName() == KoToolbarDelegate::kFlexibleSpace) {
            const auto [darkest, brightest] = greyRange(picture, QRect(view->x(), labelTop, view->width(), 10));
            EXPECT_LT(brightest - darkest, 20) << "text under the space";
        }
        if (label.isEmpty()) {
            EXPECT_TRUE(item->text().isEmpty() || item->isSeparator()) << item->text().toStdString();
            continue;
        }
        labelled << item->text();
        const auto [darkest, brightest] = greyRange(picture, label);  // grey text for a disabled button
        EXPECT_GT(brightest - darkest, 60) << "no text under " << item->text().toStdString();
        EXPECT_LE(view->geometry().bottom(), label.top()) << item->text().toStdString();
    }
    EXPECT_EQ(labelled, (QStringList{"Search", "Pause", "Resume", "Clear", "Remove"}));
    // The other modes: text in place of the icon buttons' icons, or icons alone, and no row of labels.
    QAction* pause = shown->actions().at(2);
    auto* pauseButton = qobject_cast<QToolButton*>(shown->widgetForAction(pause));
    ASSERT_TRUE(pauseButton);
    const int textWidth = pauseButton->fontMetrics().horizontalAdvance(QStringLiteral("Pause"));
    const struct
    {
        Qt::ToolButtonStyle style;
        int minimumWidth;
        int maximumWidth;
    } modes[] = {{Qt::ToolButtonTextOnly, textWidth, 200}, {Qt::ToolButtonIconOnly, 28, 28}};
    const int withLabels = shown->height();
    for (const auto& mode : modes) {
        shown->setToolButtonStyle(mode.style);
        EXPECT_EQ(pauseButton->toolButtonStyle(), mode.style);
        EXPECT_EQ(pauseButton->text(), QStringLiteral("Pause"));
        EXPECT_TRUE(shown->labelRect(pause).isEmpty());
        EXPECT_TRUE(waitUntil([&] {
            return pauseButton->width() >= mode.minimumWidth && pauseButton->width() <= mode.maximumWidth;
        })) << pauseButton->width();
        EXPECT_TRUE(waitUntil([&] { return shown->height() < withLabels; }));
    }
}

// The application with a tray host on its bus, an active transfer, and a quit question that is counted
// and answered Cancel.
class TrayInner : public LoopbackHomeApp
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "runs under MenuBar's private display";
        DesktopApp::SetUp();
        hostBus = bus.connect(QStringLiteral("tray-host"));
        // The host answers from a thread of its own, as another process would (the tray icon asks it and
        // waits). It is there before the tray icon is made.
        watcher = std::make_unique<FakeStatusNotifierWatcher>(hostBus);
        watcher->moveToThread(&hostThread);
        hostThread.start();
        ASSERT_NO_FATAL_FAILURE(launchWindow());
        keepATransferActive();
        ASSERT_EQ(downloads().numberOfActiveTorrents(), 1);
    }
    void TearDown() override
    {
        hostThread.quit();
        hostThread.wait();
        watcher.reset();
        LoopbackHomeApp::TearDown();
    }

    // Chooses an item of the tray icon's menu, built as it is before it shows.
    void chooseInTrayMenu(const QString& title)
    {
        QMenu* menu = controller->statusTray()->trayIcon().contextMenu();
        ASSERT_TRUE(menu);
        emit menu->aboutToShow();
        const QList<QAction*> items = menu->actions();
        const auto item = std::find_if(items.begin(), items.end(), [&](QAction* a) { return a->text() == title; });
        ASSERT_NE(item, items.end()) << title.toStdString();
        (*item)->trigger();
    }
    // The tray items registered with the host, as it tells on its thread.
    QStringList trayItems()
    {
        QStringList items;
        QMetaObject::invokeMethod(watcher.get(), [&] { items = watcher->items(); }, Qt::BlockingQueuedConnection);
        return items;
    }

    QDBusConnection hostBus{QString()};
    QThread hostThread;
    std::unique_ptr<FakeStatusNotifierWatcher> watcher;
};

// The close button hides the window where a tray shows the icon (a panel up closes first); the tray
// icon, its menu or a later launch bring it back. Without a tray host the close button quits as Quit
// does, and Quit in the tray menu asks as Ctrl+Q does.
TEST_F(TrayInner, TheCloseButtonHidesTheWindowWhereATrayShows)
{
    QStringList items;
    ASSERT_TRUE(waitUntil([&] { return !(items = trayItems()).isEmpty(); })) << "the tray icon never registered";
    SingleInstance running(QStringLiteral("ombrelay-tray-test-%1").arg(QCoreApplication::applicationPid()));
    ASSERT_TRUE(running.listen());
    controller->listenForLaterLaunches(running);
    const auto clickTrayIcon = [this, item = items.first()] {  // what the tray host sends on a click
        QDBusMessage click = QDBusMessage::createMethodCall(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate");
        click.setArguments({0, 0});
        hostBus.asyncCall(click);
    };
    std::future<bool> laterLaunch;
    const auto launchAgain = [&] {
        laterLaunch = std::async(std::launch::async, [&running] { return SingleInstance(running.serverName()).handOver({}, 5000); });
    };
    const struct
    {
        const char* name;
        bool panelUp;
        bool trayHost;
        std::function<void()> bringBack;  // none: the window stays, and the quit question was asked
    } rows[] = {
        {"a click on the tray icon", false, true, clickTrayIcon},
        {"the tray menu", true, true, [this] { chooseInTrayMenu(QStringLiteral("Show Ombrelay")); }},
        {"a later launch", false, true, launchAgain},
        {"no tray host", true, false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.trayHost)
            hostBus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        if (row.panelUp) {
            controller->mainMenu()->validate();
            controller->mainMenu()->action(C::OpenAddress)->trigger();
            ASSERT_TRUE(waitUntil([] { return QApplication::activeModalWidget() != nullptr; }));
        }
        const int questions = quitQuestions;
        ASSERT_TRUE(clickCloseButton({}, quint32(window()->winId())));
        if (row.bringBack) {
            ASSERT_TRUE(waitUntil([&] { return !window()->isVisible(); }));
            EXPECT_EQ(quitQuestions, questions) << "hidden, not quitting";
            EXPECT_EQ(downloads().numberOfActiveTorrents(), 1);
            row.bringBack();
            EXPECT_TRUE(waitUntil([&] { return window()->isVisible(); }));
        } else {
            EXPECT_TRUE(waitUntil([&] { return quitQuestions == questions + 1; }));
            EXPECT_TRUE(window()->isVisible());
        }
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the panel closed first";
    }
    EXPECT_TRUE(!laterLaunch.valid() || laterLaunch.get());
    const int questions = quitQuestions;
    chooseInTrayMenu(QStringLiteral("Quit"));
    EXPECT_EQ(quitQuestions, questions + 1);
}

}  // namespace
}  // namespace ombrelay::test
