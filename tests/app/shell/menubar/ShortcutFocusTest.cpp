// Every Ctrl shortcut of the menu, pressed with the focus in each place a user leaves it: the toolbar's
// search field (at launch and over a search pane), the transfers' filter field, the transfers list and
// the open-address panel, the preferences window. A key whose command is enabled runs that command
// wherever the focus is, a text field's own binding of the same key notwithstanding, except the keys that
// move and select by word, which a field keeps; behind a panel only Quit acts, closing the panel first.
// Run on a private display.
#include "app/shell/menubar/LoopbackHomeApp.h"

#include "app/frame/KoContentView.h"
#include "app/frame/SelectionController.h"
#include "app/prefs/BlocklistView.h"
#include "app/shell/KoMainMenu.h"
#include "app/tabs/CurrentTabView.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"
#include "engine/blocklist/Blocklist.h"
#include "search/SearchSites.h"
#include "support/ZipArchive.h"
#include "transfers/DownloadsOutlineView.h"
#include "uikit/FilterSearchField.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <arpa/inet.h>
#include <map>

namespace ombrelay::test {
namespace {

const char* kChild = "OMBRELAY_SHORTCUT_CHILD";
using C = KoMainMenu::Command;

TEST(ShortcutFocus, OnAPrivateDisplay)
{
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "needs xdotool";
    expectPassOnPrivateDisplay(QStringLiteral("ShortcutFocusInner.*-ShortcutFocusInner.WordKeys*"),
                               webChildEnvironment(kChild), 240000);
}

// Web pages take their proxy (this test's server) once per process: the test that loads one runs alone.
RUN_ON_PRIVATE_DISPLAY(ShortcutFocus, WordKeysOnAPrivateDisplay, "ShortcutFocusInner.WordKeys*", kChild)

class ShortcutFocusInner : public LoopbackHomeApp
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "runs under ShortcutFocus's private display";
        DesktopApp::SetUp();
        SearchSites::instance().setUserModules({});  // a search pane holds its results tab alone
        ASSERT_NO_FATAL_FAILURE(launchWindow());
        // Quit asks first, and the answer is Cancel: the program stays for the next key.
        keepATransferActive();
        sources()->addNewQueryForString(QStringLiteral("alpha"));
    }

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
    const auto page = [] { return CurrentWebView::instance().content(); };
    // What a script run in the page answers; the page takes keys in its own process.
    const auto inPage = [page](const QString& script) {
        QVariant answer;
        bool answered = false;
        page()->page()->runJavaScript(script, [&](const QVariant& value) { answer = value, answered = true; });
        waitUntil([&] { return answered; });
        return answer.toString();
    };
    const auto field = [this]() -> QWidget* {
        KoToolbarDelegate::selectSearchField();
        return searchField();
    };
    const auto renameEditor = [this] {
        sources()->editItem(sources()->findExistingQuery(QStringLiteral("alpha")));
        return qobject_cast<QLineEdit*>(QApplication::focusWidget());
    };
    const auto results = [this] {
        QWidget* list = window()->contentView()->currentTableView();
        if (list)
            list->setFocus(Qt::MouseFocusReason);
        return list;
    };
    const auto webField = [&]() -> QWidget* {
        if (!waitUntil([&] { return page() && page()->isVisible() && page()->title() == QStringLiteral("Home"); }, 30000))
            return nullptr;
        page()->setFocus(Qt::MouseFocusReason);
        inPage(QStringLiteral("q.focus(); q.setSelectionRange(10, 10);"));  // the cursor at its end, as a click leaves it
        waitUntil([] { return QApplication::focusWidget() && QApplication::focusWidget()->inputMethodQuery(Qt::ImEnabled).toBool(); });
        return QApplication::focusWidget();
    };
    const struct
    {
        const char* name;
        int tab;  // shown first
        std::function<QWidget*()> reach;
        int cursor;  // in "alpha beta", for a field of the window
        Qt::Key key;
        QString selected;
        int tabAfter;
    } rows[] = {
        {"the search field, Ctrl+Shift+Left", 0, field, 10, Qt::Key_Left, "beta", 0},
        {"the search field, Ctrl+Shift+Right", 0, field, 0, Qt::Key_Right, "alpha ", 0},
        {"the rename editor, Ctrl+Shift+Left", 0, renameEditor, 10, Qt::Key_Left, "beta", 0},
        {"a web page's field, Ctrl+Shift+Left", 1, webField, 0, Qt::Key_Left, "beta", 1},
        {"the search field, Ctrl+PageDown", 0, field, 0, Qt::Key_PageDown, "", 1},
        {"the results list, Ctrl+Shift+Right", 0, results, 0, Qt::Key_Right, "", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        strip()->selectButtonAtIndex(row.tab);
        QWidget* focus = row.reach();
        ASSERT_TRUE(focus);
        ASSERT_TRUE(focusIs(focus));
        auto* line = qobject_cast<QLineEdit*>(focus);
        if (line) {
            line->setText(QStringLiteral("alpha beta"));
            line->setCursorPosition(row.cursor);
        }
        QTest::keyClick(focus, row.key, row.key == Qt::Key_PageDown ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(strip()->selectedIndex(), row.tabAfter);
        if (line) {
            EXPECT_EQ(line->selectedText(), row.selected);
        } else if (!row.selected.isEmpty()) {
            QString selected;
            EXPECT_TRUE(waitUntil([&] { return (selected = inPage("q.value.substring(q.selectionStart, q.selectionEnd)")) == row.selected; }))
                << selected.toStdString();
        }
        sources()->endEditing(false);
    }
}

// The preferences opened with Ctrl+, from the search field, the blocklist's provider typed into their
// network pane (this test's server on loopback), the blocklist turned on and Update Now clicked: its list
// is imported and refuses its addresses.
TEST_F(ShortcutFocusInner, ABlocklistFromTheProviderNamedInThePane)
{
    server.route("/config/level1.zip",
                 HttpTestResponse{200, {}, zipOf({{"level1.txt", "Net:1.2.3.0-1.2.3.255\r\nOther:5.6.7.8-5.6.7.9\r\n"}})});
    KoToolbarDelegate::selectSearchField();
    ASSERT_TRUE(focusIs(searchField()));
    PZPreferencesController* preferences = preferencesPane(1);
    ASSERT_TRUE(preferences);
    auto* pane = preferences->window()->findChild<BlocklistView*>();
    ASSERT_TRUE(pane);
    for (QCheckBox* box : preferences->window()->findChildren<QCheckBox*>())
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
    EXPECT_TRUE(Blocklist::instance().isBlocked(htonl(0x01020304)));  // 1.2.3.4
    EXPECT_EQ(Settings::instance().string(BlocklistView::kProviderKey), provider);
    EXPECT_EQ(pane->lastDownload()->text(), QStringLiteral("Just updated"));
}

}  // namespace
}  // namespace ombrelay::test
