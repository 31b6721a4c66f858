#include "transfers/TransfersFixture.h"

#include "engine/storage/DiskSession.h"
#include "engine/storage/SessionLifecycle.h"
#include "kit/AppPaths.h"
#include "kit/SerialQueue.h"
#include "support/WaitUntil.h"
#include "transfers/BandwidthPopUpButton.h"
#include "transfers/TransfersInfoArea.h"

#include <QMenu>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

struct Item
{
    QString title;
    int tag;
    bool enabled;
    bool checked;
    friend bool operator==(const Item&, const Item&) = default;
};

QList<Item> itemsOf(QMenu* menu)
{
    QList<Item> items;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            items.append({action->text(), action->data().toInt(), action->isEnabled(), action->isChecked()});
    return items;
}

// The menu as it should be with `checked` the torrent's value.
QList<Item> expectedItems(const QString& heading, int checked)
{
    const int none = BandwidthPopUpButton::kNoTag;
    QList<Item> items{{heading, none, false, false},
                      {QStringLiteral("Use Global Bandwidth Limit"), 0, true, checked == 0},
                      {QStringLiteral("Use Custom Limit:"), none, false, false}};
    for (int limit : {5, 10, 20, 30, 40, 50})
        items.append({QStringLiteral("Limit to %1kb/s").arg(limit), limit, true, checked == limit});
    items.append({QStringLiteral("No Limit"), -1, true, checked == -1});
    return items;
}

QAction* itemTagged(QMenu* menu, int tag)
{
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && action->isEnabled() && action->data().toInt() == tag)
            return action;
    return nullptr;
}

// The info area's limit menus over torrents added through the session folder, so a restart reads
// back what they wrote.
class LimitMenus : public TransfersFixture
{
protected:
    void SetUp() override
    {
        TransfersFixture::SetUp();
        AppPaths::setApplicationSupportPath(folder.filePath(QStringLiteral("support")));
        QDir().mkpath(folder.filePath(QStringLiteral("downloads")));
        Settings::instance().setValue(QStringLiteral("save_directory"), folder.filePath(QStringLiteral("downloads")));
        session = std::make_unique<DiskSession>(*volumes);
    }
    void TearDown() override
    {
        if (restarted) {
            restarted->removeDownloads(restarted->objects());
            EngineHost::install(controller.get());
        }
        controller->removeDownloads(controller->objects());
        SessionLifecycle::cleanupQueue().drain();
        session.reset();
        restarted.reset();
        AppPaths::setApplicationSupportPath({});
        TransfersFixture::TearDown();
    }

    TorrentLinePtr addThroughSession(const QString& name)
    {
        TorrentLinePtr line = TorrentLine::torrentLineForData(metainfo(singleFileInfo(name, 100000)));
        EXPECT_TRUE(line);
        session->adder().addTorrentLines({line}, false, false, false);
        return line;
    }
    // Writes every state, starts a new list and session and loads the folders back into it.
    KoDownloadsController& restart()
    {
        session->saveAtTermination();
        for (const TorrentLinePtr& torrent : controller->objects())
            torrent->dropStorage();
        session.reset();
        restarted = std::make_unique<KoDownloadsController>(*volumes);
        EngineHost::install(restarted.get());
        session = std::make_unique<DiskSession>(*volumes);
        bool done = false;
        QObject::connect(&session->loader(), &SessionLoader::finished, [&] { done = true; });
        session->loader().loadTorrentsFromDisk();
        EXPECT_TRUE(waitUntil([&] { return done; }, 20000));
        return *restarted;
    }

    std::unique_ptr<DiskSession> session;
    std::unique_ptr<KoDownloadsController> restarted;
};

}  // namespace

TEST_F(LimitMenus, ItemsTagsAndTheCheckedValueSurviveARestart)
{
    const TorrentLinePtr torrent = addThroughSession(QStringLiteral("limits.bin"));
    ASSERT_EQ(controller->objects().size(), 1);
    controller->selectObjects({torrent});
    BandwidthPopUpButton* down = controller->infoArea()->downloadPopUp();
    BandwidthPopUpButton* up = controller->infoArea()->uploadPopUp();
    const QString downHeading = QStringLiteral("Bandwidth Limit (Download):");
    const QString upHeading = QStringLiteral("Bandwidth Limit (Upload):");
    for (int value : {0, -1, 20, 7}) {
        SCOPED_TRACE(value);
        torrent->setCustomDownloadLimit(value);
        torrent->setCustomUploadLimit(value);
        EXPECT_EQ(itemsOf(down->buildMenu()), expectedItems(downHeading, value));
        EXPECT_EQ(itemsOf(up->buildMenu()), expectedItems(upHeading, value));
    }

    // Chosen through the menus: 20 down, no limit up; both written to the session folder.
    itemTagged(down->buildMenu(), 20)->trigger();
    itemTagged(up->buildMenu(), -1)->trigger();
    EXPECT_EQ(torrent->customDownloadLimit(), 20);
    EXPECT_EQ(torrent->customUploadLimit(), -1);

    KoDownloadsController& later = restart();
    ASSERT_EQ(later.objects().size(), 1);
    later.selectObjects(later.objects());
    EXPECT_EQ(later.objects().first()->customDownloadLimit(), 20);
    EXPECT_EQ(itemsOf(later.infoArea()->downloadPopUp()->buildMenu()), expectedItems(downHeading, 20));
    EXPECT_EQ(itemsOf(later.infoArea()->uploadPopUp()->buildMenu()), expectedItems(upHeading, -1));
}

TEST_F(LimitMenus, AChoiceGoesToTheTorrentTheMenuWasBuiltForWhileItIsListed)
{
    const TorrentLinePtr first = addTorrent(QStringLiteral("first.bin"), TorrentLine::Paused);
    const TorrentLinePtr second = addTorrent(QStringLiteral("second.bin"), TorrentLine::Paused);
    BandwidthPopUpButton* down = controller->infoArea()->downloadPopUp();
    controller->selectObjects({});
    EXPECT_EQ(down->buildMenu(), nullptr) << "no selection, no menu";

    controller->selectObjects({first});
    QMenu* menu = down->buildMenu();
    ASSERT_NE(menu, nullptr);
    controller->selectObjects({second});
    itemTagged(menu, 40)->trigger();
    EXPECT_EQ(first->customDownloadLimit(), 40);
    EXPECT_EQ(second->customDownloadLimit(), 0);

    menu = down->buildMenu();  // for the second
    QAction* noLimit = itemTagged(menu, -1);
    controller->removeDownloads({second});
    noLimit->trigger();
    EXPECT_EQ(second->customDownloadLimit(), 0) << "removed from the list: the choice is dropped";
    EXPECT_EQ(first->customDownloadLimit(), 40);
}
