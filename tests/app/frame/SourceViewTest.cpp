// The source list: placing and finding items, removal sheets, indentation, drops and renaming.
#include "FrameFixtures.h"

#include "support/WaitUntil.h"

#include "app/frame/SourceListStorage.h"
#include "kit/PerformLater.h"
#include "kit/ServiceAddresses.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// Stands in for the desktop's browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl& url) { opened.append(url); }

public:
    QList<QUrl> opened;
};

struct SourceViewTest : SidebarFixture
{
    SourceItem* folder(const QString& name)
    {
        sourceView->addNewFolder();
        SourceItem* made = sourceView->selectedItem();
        sourceView->endEditing(false);
        made->setName(name);
        return made;
    }
    QPoint nameClickPoint(SourceItem* item)
    {
        const QRect frame = sourceView->visualRect(sourceView->indexForObject(item));
        return QPoint(frame.x() + 40, frame.center().y());
    }
};

TEST_F(SourceViewTest, NewItemsGoIntoTheSelectedFolderAndTwinsAreSelectedInstead)
{
    SourceItem* tv = folder(QStringLiteral("TV"));
    sourceView->addNewSubscriptionForAddress(QStringLiteral(" http://127.0.0.1:9/feed "), QStringLiteral("Feed"));
    SourceItem* feed = sourceView->findExistingSubscription(QStringLiteral("http://127.0.0.1:9/feed"));
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->parent(), &sourceView->root()) << "a subscription always goes to the top level";
    EXPECT_EQ(feed->url(), QStringLiteral("http://127.0.0.1:9/feed"));

    // A feed inside the folder is selected: the search goes into that folder.
    ASSERT_TRUE(sourceView->acceptDrop(feed, tv, -1));
    sourceView->selectItem(feed);
    SourceItem* shows = query(QStringLiteral("  Old Shows "));
    ASSERT_TRUE(shows);
    EXPECT_EQ(shows->parent(), tv);
    EXPECT_EQ(shows->name(), QStringLiteral("Old Shows"));

    // Collapse the folder; the same terms in other case and blanks select the existing row.
    sourceView->collapse(sourceView->indexForObject(tv));
    sourceView->clearSelection();
    const int before = int(sourceView->allItems().size());
    sourceView->addNewQueryForString(QStringLiteral("\told SHOWS  "));
    EXPECT_EQ(sourceView->allItems().size(), before);
    EXPECT_EQ(sourceView->selectedItem(), shows);
    EXPECT_TRUE(sourceView->isExpanded(sourceView->indexForObject(tv)));

    // Nothing selected: the top level. Blank terms add nothing.
    sourceView->clearSelection();
    EXPECT_EQ(query(QStringLiteral("top"))->parent(), &sourceView->root());
    sourceView->addNewQueryForString(QStringLiteral(" \n "));
    sourceView->addNewSubscriptionForAddress(QStringLiteral("  "), QStringLiteral("x"));
    EXPECT_EQ(sourceView->allItems().size(), before + 1);
}

TEST_F(SourceViewTest, RemovalAsksForFeedsAndNonEmptyFoldersOnly)
{
    struct Case
    {
        const char* kind;
        int answer;
        const char* message;
        const char* button;
        bool removed;
    };
    const Case cases[] = {
        {"search", 0, nullptr, nullptr, true},
        {"empty folder", 0, nullptr, nullptr, true},
        {"folder", 0, "Are you sure you want to remove the folder named \"Box\"?", "Remove Folder", true},
        {"folder", 1, "Are you sure you want to remove the folder named \"Box\"?", "Remove Folder", false},
        {"feed", 0, "Are you sure you want to remove the torrentcast subscription named \"Box\"?", "Remove Torrentcast", true},
        {"feed", -1, "Are you sure you want to remove the torrentcast subscription named \"Box\"?", "Remove Torrentcast", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " answer " + std::to_string(c.answer));
        alerts.clear();
        nextAnswer = c.answer;
        SourceItem* item = nullptr;
        const QString kind = QLatin1String(c.kind);
        if (kind == QLatin1String("search")) {
            item = query(QStringLiteral("Box"));
        } else if (kind.endsWith(QLatin1String("folder"))) {
            item = folder(QStringLiteral("Box"));
            if (kind == QLatin1String("folder")) {
                sourceView->selectItem(item);
                query(QStringLiteral("inside %1").arg(c.answer));
            }
        } else {
            sourceView->addNewSubscriptionForAddress(QStringLiteral("http://127.0.0.1:9/%1").arg(c.answer), QStringLiteral("Box"));
            item = sourceView->selectedItem();
        }
        sourceView->removeItem(item);
        EXPECT_EQ(sourceView->containsItem(item), !c.removed);
        if (!c.message) {
            EXPECT_TRUE(alerts.isEmpty());
            continue;
        }
        ASSERT_EQ(alerts.size(), 1);
        EXPECT_EQ(alerts[0].message, QLatin1String(c.message));
        EXPECT_EQ(alerts[0].buttons, (QStringList{QLatin1String(c.button), QStringLiteral("Cancel")}));
        EXPECT_TRUE(alerts[0].informativeText.endsWith(QLatin1String("will be removed.  This cannot be undone.")));
        if (c.removed)
            sourceView->removeItem(item);  // gone: nothing happens, nothing is asked
        EXPECT_EQ(alerts.size(), 1);
    }
}

TEST_F(SourceViewTest, IndentationFollowsTopLevelFolders)
{
    query(QStringLiteral("alone"));
    EXPECT_EQ(sourceView->indentationPerLevel(), 0);
    SourceItem* box = folder(QStringLiteral("Box"));
    EXPECT_EQ(sourceView->indentationPerLevel(), 16);
    sourceView->removeItem(box);
    EXPECT_EQ(sourceView->indentationPerLevel(), 0);
}

TEST_F(SourceViewTest, DropsAreValidatedByIdentityAndLandAtTheRightIndex)
{
    SourceItem* box = folder(QStringLiteral("Box"));
    SourceItem* inner = folder(QStringLiteral("Inner"));
    ASSERT_TRUE(sourceView->acceptDrop(inner, box, -1));
    QList<SourceItem*> children;
    for (int i = 0; i < 6; ++i) {
        sourceView->selectItem(box);
        children.append(query(QStringLiteral("q%1").arg(i)));
    }
    // Equal twins: a copy with the same contents is still another item.
    sourceView->selectItem(box);
    sourceView->addNewItem(SourceItem::makeQuery(QStringLiteral("twin")), true);
    sourceView->clearSelection();
    SourceItem* twin = sourceView->addNewItem(SourceItem::makeQuery(QStringLiteral("twin")), false);

    struct Case
    {
        const char* what;
        SourceItem* source;
        SourceItem* target;
        int index;
        bool valid;
    };
    const Case validity[] = {
        {"onto a search", children[0], children[1], -1, false},
        {"onto its own parent", children[0], box, -1, false},
        {"onto itself", box, box, -1, false},
        {"into its own subtree", box, inner, 0, false},
        {"onto the top level", twin, nullptr, -1, false},
        {"a twin into the folder holding its twin", twin, box, -1, true},
        {"between rows of another folder", children[0], inner, 0, true},
        {"to the top level", children[0], nullptr, 0, true},
    };
    for (const Case& c : validity)
        EXPECT_EQ(sourceView->validateDrop(c.source, c.target, c.index), c.valid) << c.what;

    // The folder holds inner, q0..q5, twin: q1 is its third item (index 2).
    ASSERT_EQ(box->indexOfChild(children[1]), 2);
    ASSERT_TRUE(sourceView->acceptDrop(children[1], box, 5));
    EXPECT_EQ(box->indexOfChild(children[1]), 4);
    ASSERT_TRUE(sourceView->acceptDrop(children[1], box, 1));
    EXPECT_EQ(box->indexOfChild(children[1]), 1);
    ASSERT_TRUE(sourceView->acceptDrop(twin, box, -1));
    EXPECT_EQ(box->child(box->childCount() - 1), twin);
    EXPECT_EQ(sourceView->indexForObject(twin).parent(), sourceView->indexForObject(box));
}

TEST_F(SourceViewTest, ASlowSecondClickOnTheSelectedNameRenamesTheClickedItem)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SourceItem* box = folder(QStringLiteral("Box"));
    sourceView->addNewSubscriptionForAddress(QStringLiteral("http://127.0.0.1:9/f"), QStringLiteral("Feed"));
    SourceItem* feed = sourceView->selectedItem();
    SourceItem* search = query(QStringLiteral("search"));
    sourceView->setFocus();
    PerformLater::runPending(sourceView);

    struct Case
    {
        const char* what;
        SourceItem* item;
        int xOffset;  // from the click point on the name
        bool doubleClick;
        bool renames;
    };
    const Case cases[] = {
        {"a slow second click on the selected feed", feed, 0, false, true},
        {"a slow second click on the selected folder", box, 0, false, true},
        {"a double click instead", feed, 0, true, false},
        {"a click on the icon", feed, -30, false, false},
        {"a search", search, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sourceView->selectItem(c.item);
        PerformLater::runPending(sourceView);  // the list is no longer just focused
        const QPoint point = nameClickPoint(c.item) + QPoint(c.xOffset, 0);
        QTest::mouseClick(sourceView->viewport(), Qt::LeftButton, {}, point);
        if (c.doubleClick)
            QTest::mouseDClick(sourceView->viewport(), Qt::LeftButton, {}, point);
        EXPECT_EQ(sourceView->editor(), nullptr) << "not before its delay";
        PerformLater::runPending(sourceView);  // the delay passes
        EXPECT_EQ(sourceView->editedItem(), c.renames ? c.item : nullptr);
        sourceView->endEditing(false);
    }

    // The edited item gets the name, whatever is selected when editing ends; a blank name keeps the old one.
    sourceView->editItem(feed);
    ASSERT_TRUE(sourceView->editor());
    EXPECT_EQ(sourceView->editor()->geometry().x(), sourceView->visualRect(sourceView->indexForObject(feed)).x() + 22);
    sourceView->editor()->setText(QStringLiteral("Renamed"));
    sourceView->selectItem(box);
    sourceView->endEditing(true);
    EXPECT_EQ(feed->name(), QStringLiteral("Renamed"));
    EXPECT_EQ(box->name(), QStringLiteral("Box"));
    sourceView->editItem(box);
    sourceView->editor()->setText(QStringLiteral("   "));
    sourceView->endEditing(true);
    EXPECT_EQ(box->name(), QStringLiteral("Box"));

    // A pending rename of a removed item does nothing.
    sourceView->selectItem(feed);
    PerformLater::runPending(sourceView);
    QTest::mouseClick(sourceView->viewport(), Qt::LeftButton, {}, nameClickPoint(feed));
    nextAnswer = 0;
    sourceView->removeItem(feed);
    PerformLater::runPending(sourceView);
    EXPECT_EQ(sourceView->editor(), nullptr);
}

TEST_F(SourceViewTest, AnEmptyListDrawsTheWelcome)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto inkRows = [this] {
        const QImage shot = sourceView->viewport()->grab().toImage();
        int rows = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                if (qGray(shot.pixel(x, y)) < 200) {
                    ++rows;
                    break;
                }
            }
        }
        return rows;
    };
    const int empty = inkRows();
    EXPECT_GT(empty, 50) << "the 63-pixel search image and two lines of text";
    query(QStringLiteral("one"));
    EXPECT_LT(inkRows(), 25) << "one row, no welcome";
}

TEST_F(SourceViewTest, EveryFeedOfTheTreeStartsOverTheFirstPassesAndGetsItsPane)
{
    auto root = SourceItem::makeGroup({}, {});
    auto box = SourceItem::makeGroup(QStringLiteral("Box"), {});
    for (int i = 0; i < 20; ++i) {
        auto feed = SourceItem::makeRSS(QStringLiteral("feed %1").arg(i), QStringLiteral("http://127.0.0.1:9/%1").arg(i));
        if (i % 2)
            box->insertChild(box->childCount(), std::move(feed));
        else
            root->insertChild(root->childCount(), std::move(feed));
    }
    root->insertChild(0, std::move(box));
    SourceListStorage::save(Settings::instance(), *root);
    sourceView->loadFromDefaults();
    EXPECT_TRUE(feeds.started.isEmpty()) << "not while loading";
    ASSERT_TRUE(waitUntil([this] { return feeds.started.size() == 20; }, 3000));
    EXPECT_EQ(panes.made.size(), 20);
}

TEST_F(SourceViewTest, ASearchOffersTheShoppingSiteWithItsEscapedTerms)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    SourceItem* search = query(QStringLiteral("a&b c"));
    std::unique_ptr<QMenu> menu(sourceView->menuForItem(search));
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_TRUE(menu->actions()[0]->text().contains(QStringLiteral("“a&b c”")));
    menu->actions()[0]->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0].host(), QLatin1String(service::kShoppingSearchHost));
    EXPECT_TRUE(catcher.opened[0].toString(QUrl::FullyEncoded).endsWith(QStringLiteral("=a%26b%20c")));
    sourceView->addNewFolder();
    std::unique_ptr<QMenu> none(sourceView->menuForItem(sourceView->selectedItem()));
    EXPECT_TRUE(none->isEmpty());
}

}  // namespace

#include "SourceViewTest.moc"
