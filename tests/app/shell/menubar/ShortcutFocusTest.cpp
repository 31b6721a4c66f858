// Every Ctrl shortcut of the menu, pressed with the focus in each place a user leaves it: the toolbar's
// search field (at launch and over a search pane), the transfers' filter field, the transfers list and
// the open-address panel, the preferences window. A key whose command is enabled runs that command
// wherever the focus is, a text field's own binding of the same key notwithstanding, except the keys that
// move and select by word, which a field keeps; behind a panel only Quit acts, closing the panel first.
// Run on a private display.
#include "app/shell/menubar/LoopbackHomeApp.h"

#include "app/frame/KoContentView.h"
#include "app/frame/KoMainWindow.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SourceView.h"
#include "app/prefs/BlocklistView.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/shell/KoMainMenu.h"
#include "app/tabs/CurrentTabView.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"
#include "app/toolbar/KoToolbarDelegate.h"
#include "engine/blocklist/Blocklist.h"
#include "engine/torrent/TorrentFakes.h"
#include "kit/OBDefaults.h"
#include "search/SearchSites.h"
#include "support/HttpTestServer.h"
#include "support/PrivateDisplay.h"
#include "support/WebPagesEnvironment.h"
#include "support/ZipArchive.h"
#include "transfers/DownloadsOutlineView.h"
#include "uikit/FilterSearchField.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <arpa/inet.h>
#include <map>

namespace ombrelay::test {
namespace {

const char* kChild = "OMBRELAY_SHORTCUT_CHILD";
using C = KoMainMenu::Command;

TEST(ShortcutFocus, OnAPrivateDisplay)
{
    expectPassOnPrivateDisplay(QStringLiteral("ShortcutFocusInner.*-ShortcutFocusInner.WordKeys*"),
                               webChildEnvironment(kChild), 240000);
}

// Web pages take their proxy (this test's server) once per process: the test that loads one runs alone.
TEST(ShortcutFocus, WordKeysOnAPrivateDisplay)
{
    expectPassOnPrivateDisplay(QStringLiteral("ShortcutFocusInner.WordKeys*"), webChildEnvironment(kChild), 120000);
}

class ShortcutFocusInner : public LoopbackHomeApp
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "runs under ShortcutFocus's private display";
        DesktopApp::SetUp();
        ASSERT_NO_FATAL_FAILURE(serveHome());
        OBDefaults::loadDefaults();
        SearchSites::instance().setUserModules({});  // a search pane holds its results tab alone
        launch();
        // Quit asks first, and the answer is Cancel: the program stays for the next key.
        keepATransferActive();
        window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
        sources()->addNewQueryForString(QStringLiteral("alpha"));
    }
    void TearDown() override
    {
        DesktopApp::TearDown();
        qunsetenv("http_proxy");
    }

    KoMainWindow* window() const { return controller->mainWindow(); }
    KoMainMenu& menu() const { return *controller->mainMenu(); }
    SourceView* sources() const { return window()->sourceView(); }
    QLineEdit* searchField() const { return KoToolbarDelegate::searchView(); }

    // What a key left behind goes: panels, the preferences, a name being edited; the window is active.
    void settle()
    {
        for (int left = 4; left > 0 && QApplication::activeModalWidget(); --left)
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        sources()->endEditing(true);
        controller->preferences().window()->hide();
        window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
    }
};

struct Place
{
    const char* name;
    std::function<QWidget*()> reach;  // the focus widget there
    QList<C> runs;
    bool textField = false;  // keeps Ctrl+Shift+Left and Right, and shows what its edit keys did
};

const QList<QKeySequence> kFieldsWordKeys{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left),
                                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right)};

// What an edit key leaves in a field that held "alpha beta" with "beta" selected, "gamma" on the clipboard
// and `typed` typed over the selection first (and undone, for Redo); the selection is checked where given.
struct EditInField
{
    const char* typed;
    bool undoFirst;
    QString text;
    QString clipboard;
    QString selected;
};
const std::map<C, EditInField> kEditsInField{
    {C::Undo, {"x", false, QStringLiteral("alpha beta"), QStringLiteral("gamma"), QString()}},
    {C::Redo, {"x", true, QStringLiteral("alpha x"), QStringLiteral("gamma"), QString()}},
    {C::Cut, {"", false, QStringLiteral("alpha "), QStringLiteral("beta"), QString()}},
    {C::Copy, {"", false, QStringLiteral("alpha beta"), QStringLiteral("beta"), QStringLiteral("beta")}},
    {C::Paste, {"", false, QStringLiteral("alpha gamma"), QStringLiteral("gamma"), QString()}},
    {C::SelectAll, {"", false, QStringLiteral("alpha beta"), QStringLiteral("gamma"), QStringLiteral("alpha beta")}},
};

TEST_F(ShortcutFocusInner, EveryCtrlKeyRunsItsEnabledCommandWhereverTheFocusIs)
{
    const QList<C> everywhere{C::Open, C::OpenAddress, C::Quit, C::Preferences, C::NewFolder, C::ShowSources,
                              C::ShowAllTransfers, C::ShowActiveTransfers, C::ShowInactiveTransfers,
                              C::ShowCompleteTransfers};
    const QList<C> edits{C::Undo, C::Redo, C::Cut, C::Copy, C::Paste, C::SelectAll};
    // The transfers shown, the focus in one of their views.
    const auto inTransfers = [this](QWidget* view) -> QWidget* {
        window()->selectionController()->showDownloadsPane(0);
        if (!waitUntil([this] { return window()->contentView()->currentView() == downloads().mainView(); }))
            return nullptr;
        view->setFocus(Qt::ShortcutFocusReason);
        return view;
    };
    const Place places[] = {
        {"the search field at launch",
         [&]() -> QWidget* {
             sources()->clearSelection();
             KoToolbarDelegate::selectSearchField();
             return searchField();
         },
         everywhere + edits, true},
        {"the search field over a search pane",
         [&]() -> QWidget* {
             sources()->clearSelection();  // the transfers may show with the search still selected
             sources()->selectItem(sources()->findExistingQuery(QStringLiteral("alpha")));
             const auto strip = [] { return CurrentTabView::instance().content(); };
             if (!waitUntil([&] { return strip() && strip()->isVisible(); }))
                 return nullptr;
             CurrentTabView::instance().content()->selectButtonAtIndex(0);
             KoToolbarDelegate::selectSearchField();
             return searchField();
         },
         everywhere + edits + QList<C>{C::NewTab, C::SelectNextTab, C::SelectPreviousTab, C::Find}, true},
        {"the transfers' filter field", [&] { return inTransfers(downloads().filterField()); },
         everywhere + edits + QList<C>{C::Find}, true},
        {"the transfers list", [&] { return inTransfers(downloads().outlineView()); },
         everywhere + QList<C>{C::SelectAll, C::Find}},
        {"the open-address panel",
         [&]() -> QWidget* {
             sources()->clearSelection();
             menu().validate();
             menu().action(C::OpenAddress)->trigger();
             if (!waitUntil([] { return QApplication::activeModalWidget() && QApplication::focusWidget(); }))
                 return nullptr;
             return QApplication::focusWidget();
         },
         {C::Quit}},
        {"the preferences window",
         [&]() -> QWidget* {
             sources()->clearSelection();
             controller->showPreferences();
             QWidget* preferences = controller->preferences().window();
             preferences->activateWindow();
             if (!QTest::qWaitForWindowActive(preferences))
                 return nullptr;
             preferences->setFocus(Qt::ActiveWindowFocusReason);
             return preferences;
         },
         everywhere + QList<C>{C::CloseTab}},  // Ctrl+W closes it
    };

    for (const Place& place : places) {
        for (const KoMainMenu::Entry& entry : KoMainMenu::table()) {
            QAction* action = menu().action(entry.command);
            if (!action)
                continue;
            for (const QKeySequence& shortcut : action->shortcuts()) {
                const QKeyCombination key = shortcut[0];
                if (!key.keyboardModifiers().testFlag(Qt::ControlModifier))
                    continue;  // plain keys stay the focused widget's own
                const std::string what = std::string(place.name) + ", " + shortcut.toString().toStdString();
                QWidget* focus = place.reach();
                ASSERT_TRUE(focus) << what;
                const QWidget* at = QApplication::focusWidget();
                ASSERT_TRUE(focusIs(focus)) << what << ": the focus is on " << (at ? at->metaObject()->className() : "nothing");
                QWidget* modal = QApplication::activeModalWidget();
                const int questions = quitQuestions;
                QSignalSpy ran(action, &QAction::triggered);
                auto* field = qobject_cast<QLineEdit*>(focus);
                const auto edit = kEditsInField.find(entry.command);
                const bool checksEdit = place.textField && field && edit != kEditsInField.end();
                if (checksEdit) {
                    field->setText(QStringLiteral("alpha beta"));
                    field->setSelection(6, 4);
                    QApplication::clipboard()->setText(QStringLiteral("gamma"));
                    QTest::keyClicks(field, QString::fromLatin1(edit->second.typed));
                    if (edit->second.undoFirst)
                        field->undo();
                }
                QTest::keyClick(focus, key.key(), key.keyboardModifiers());
                const bool runs = place.runs.contains(entry.command) && !(place.textField && kFieldsWordKeys.contains(shortcut));
                EXPECT_EQ(ran.count(), runs ? 1 : 0) << what;
                if (checksEdit) {
                    EXPECT_EQ(field->text(), edit->second.text) << what;
                    EXPECT_EQ(QApplication::clipboard()->text(), edit->second.clipboard) << what;
                    if (!edit->second.selected.isEmpty()) {
                        EXPECT_EQ(field->selectedText(), edit->second.selected) << what;
                    }
                }
                if (entry.command == C::Quit) {
                    EXPECT_EQ(quitQuestions, questions + 1) << what << ": the quit question";
                }
                if (modal) {  // a panel stays up until Quit closes it
                    EXPECT_EQ(QApplication::activeModalWidget() == modal, entry.command != C::Quit) << what;
                }
                settle();
            }
        }
    }
}

TEST_F(ShortcutFocusInner, TheSearchFieldKeepsItsOtherEditKeys)
{
    struct Case
    {
        Qt::Key key;
        int cursor;
        QString left;  // of "alpha beta" with the cursor there
    };
    const Case cases[] = {
        {Qt::Key_Backspace, 10, QStringLiteral("alpha ")},  // Ctrl+Backspace: the word before
        {Qt::Key_K, 5, QStringLiteral("alpha")},             // Ctrl+K: to the end
        {Qt::Key_Left, 10, QStringLiteral("alpha beta")},    // Ctrl+Left: moves only
    };
    for (const Case& test : cases) {
        KoToolbarDelegate::selectSearchField();
        ASSERT_TRUE(focusIs(searchField()));
        searchField()->setText(QStringLiteral("alpha beta"));
        searchField()->setCursorPosition(test.cursor);
        QTest::keyClick(searchField(), test.key, Qt::ControlModifier);
        EXPECT_EQ(searchField()->text(), test.left) << QKeySequence(test.key).toString().toStdString();
    }
    // The cursor went one word left: typing lands before "beta".
    QTest::keyClicks(searchField(), QStringLiteral("x"));
    EXPECT_EQ(searchField()->text(), QStringLiteral("alpha xbeta"));
}

// While a search shows its tab strip, Ctrl+Shift+Left and Right select by word in a focused field (of
// the window or of a web page) and switch tabs elsewhere; Ctrl+PageDown switches tabs from a field too.
TEST_F(ShortcutFocusInner, WordKeysSelectInFieldsAndSwitchTabsElsewhere)
{
    // The web tab's home page is a field.
    server.route("/", HttpTestResponse{200, {{"Content-Type", "text/html"}},
                                       "<title>Home</title><input id=q value='alpha beta' "
                                       "style='position:absolute;left:0;top:0;width:300px;height:40px'>"});
    sources()->selectItem(sources()->findExistingQuery(QStringLiteral("alpha")));
    const auto strip = [] { return CurrentTabView::instance().content(); };
    ASSERT_TRUE(waitUntil([&] { return strip() && strip()->isVisible(); }));
    CurrentTabView::instance().newTab();
    ASSERT_TRUE(waitUntil([&] { return strip()->tabs().size() == 2; }));
    const auto results = [this, strip]() -> QWidget* {
        strip()->selectButtonAtIndex(0);
        QWidget* list = window()->contentView()->currentTableView();
        if (list)
            list->setFocus(Qt::MouseFocusReason);
        return list;
    };
    const auto renameEditor = [this, strip]() -> QWidget* {
        strip()->selectButtonAtIndex(0);
        sources()->editItem(sources()->findExistingQuery(QStringLiteral("alpha")));
        return qobject_cast<QLineEdit*>(QApplication::focusWidget());
    };
    const auto field = [this, strip]() -> QWidget* {
        strip()->selectButtonAtIndex(0);
        KoToolbarDelegate::selectSearchField();
        return searchField();
    };
    const auto webPage = []() -> MainWebView* { return CurrentWebView::instance().content(); };
    const auto webField = [strip, webPage]() -> QWidget* {
        strip()->selectButtonAtIndex(1);
        if (!waitUntil([&] { return webPage() && webPage()->isVisible() && webPage()->title() == QStringLiteral("Home"); }, 30000))
            return nullptr;
        webPage()->setFocus(Qt::MouseFocusReason);
        // The page's field takes the focus with the cursor at its end, as a click there leaves it.
        bool answered = false;
        webPage()->page()->runJavaScript(QStringLiteral("q.focus(); q.setSelectionRange(10, 10);"),
                                         [&](const QVariant&) { answered = true; });
        waitUntil([&] { return answered; });
        waitUntil([] { return QApplication::focusWidget() && QApplication::focusWidget()->inputMethodQuery(Qt::ImEnabled).toBool(); });
        return QApplication::focusWidget();
    };
    const auto selectedInPage = [webPage] {
        QString selected;
        bool answered = false;
        webPage()->page()->runJavaScript(QStringLiteral("q.value.substring(q.selectionStart, q.selectionEnd)"),
                                         [&](const QVariant& value) {
                                             selected = value.toString();
                                             answered = true;
                                         });
        waitUntil([&] { return answered; });
        return selected;
    };
    struct Row
    {
        const char* name;
        std::function<QWidget*()> reach;
        int cursor;  // in "alpha beta", for a field of the window
        Qt::Key key;
        QString selected;
        int tab;  // selected after the key
    };
    const Row rows[] = {
        {"the search field, Ctrl+Shift+Left", field, 10, Qt::Key_Left, QStringLiteral("beta"), 0},
        {"the search field, Ctrl+Shift+Right", field, 0, Qt::Key_Right, QStringLiteral("alpha "), 0},
        {"the rename editor, Ctrl+Shift+Left", renameEditor, 10, Qt::Key_Left, QStringLiteral("beta"), 0},
        {"a web page's field, Ctrl+Shift+Left", webField, 0, Qt::Key_Left, QStringLiteral("beta"), 1},
        {"the search field, Ctrl+PageDown", field, 0, Qt::Key_PageDown, QString(), 1},
        {"the results list, Ctrl+Shift+Right", results, 0, Qt::Key_Right, QString(), 1},
    };
    for (const Row& row : rows) {
        QWidget* focus = row.reach();
        ASSERT_TRUE(focus) << row.name;
        ASSERT_TRUE(focusIs(focus)) << row.name;
        auto* line = qobject_cast<QLineEdit*>(focus);
        if (line) {
            line->setText(QStringLiteral("alpha beta"));
            line->setCursorPosition(row.cursor);
        }
        const Qt::KeyboardModifiers modifiers =
            row.key == Qt::Key_PageDown ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier;
        QTest::keyClick(focus, row.key, modifiers);
        EXPECT_EQ(strip()->selectedIndex(), row.tab) << row.name;
        if (line) {
            EXPECT_EQ(line->selectedText(), row.selected) << row.name;
        } else if (!row.selected.isEmpty()) {
            // The page takes the key in its own process.
            QString selected;
            EXPECT_TRUE(waitUntil([&] { return (selected = selectedInPage()) == row.selected; }))
                << row.name << ": " << selected.toStdString();
        }
        sources()->endEditing(false);
    }
}

// The preferences opened with Ctrl+, from the search field; the blocklist's provider typed into the
// network pane (this test's server on loopback), the blocklist turned on and Update Now clicked: its list
// is imported and refuses its addresses.
TEST_F(ShortcutFocusInner, ABlocklistFromTheProviderNamedInThePane)
{
    server.route("/config/level1.zip",
                 HttpTestResponse{200, {}, zipOf({{"level1.txt", "Net:1.2.3.0-1.2.3.255\r\nOther:5.6.7.8-5.6.7.9\r\n"}})});
    KoToolbarDelegate::selectSearchField();
    ASSERT_TRUE(focusIs(searchField()));
    QTest::keyClick(searchField(), Qt::Key_Comma, Qt::ControlModifier);
    PZPreferencesController& preferences = controller->preferences();
    ASSERT_TRUE(QTest::qWaitForWindowActive(preferences.window()));
    QToolButton* network = nullptr;
    for (QObject* shown : preferences.items().at(1).action->associatedObjects())
        network = network ? network : qobject_cast<QToolButton*>(shown);
    ASSERT_TRUE(network);
    QTest::mouseClick(network, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return preferences.currentIndex() == 1 && !preferences.isAnimating(); }));
    auto* pane = preferences.window()->findChild<BlocklistView*>();
    ASSERT_TRUE(pane);
    for (QCheckBox* box : preferences.window()->findChildren<QCheckBox*>())
        if (box->text() == QStringLiteral("Refuse peers on the blocklist"))
            QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(Settings::instance().boolean(QStringLiteral("kBlocklistEnabled")));
    QTest::mouseClick(pane->providerField(), Qt::LeftButton);
    ASSERT_TRUE(focusIs(pane->providerField()));
    const QString provider = QStringLiteral("127.0.0.1:%1").arg(server.port());
    QTest::keyClicks(pane->providerField(), provider);
    QTest::mouseClick(pane->downloadButton(), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return pane->numberOfEntries()->text() == QStringLiteral("2"); }, 30000))
        << pane->failureText()->text().toStdString();
    in_addr blocked{};
    inet_pton(AF_INET, "1.2.3.4", &blocked);
    EXPECT_TRUE(Blocklist::instance().isBlocked(blocked.s_addr));
    EXPECT_EQ(Settings::instance().string(BlocklistView::kProviderKey), provider);
    EXPECT_EQ(pane->lastDownload()->text(), QStringLiteral("Just updated"));
}

}  // namespace
}  // namespace ombrelay::test
