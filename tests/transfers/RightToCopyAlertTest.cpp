#include "TransfersFixture.h"

#include "engine/storage/DiskSession.h"
#include "engine/storage/SessionLifecycle.h"
#include "kit/AppPaths.h"
#include "kit/SerialQueue.h"
#include "support/WaitUntil.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// Torrents from web sites added through the session, with the right-to-copy alert shown as the real
// message box and answered with the mouse.
class RightToCopyAlert : public TransfersFixture
{
protected:
    void SetUp() override
    {
        TransfersFixture::SetUp();
        PZAlert::setPresenter({});
        AppPaths::setApplicationSupportPath(folder.filePath(QStringLiteral("support")));
        QDir().mkpath(folder.filePath(QStringLiteral("downloads")));
        Settings::instance().setValue(QStringLiteral("save_directory"), folder.filePath(QStringLiteral("downloads")));
        session = std::make_unique<DiskSession>(*volumes);
    }
    void TearDown() override
    {
        for (QMessageBox* box : openBoxes())
            box->close();
        controller->removeDownloads(controller->objects());
        SessionLifecycle::cleanupQueue().drain();
        session.reset();
        AppPaths::setApplicationSupportPath({});
        TransfersFixture::TearDown();
    }

    TorrentLinePtr fromSite(const QString& address)
    {
        TorrentLinePtr line = TorrentLine::torrentLineForData(metainfo(singleFileInfo(QStringLiteral("T%1").arg(++made), 1000)));
        EXPECT_TRUE(line);
        if (line)
            line->setTorrentAddress(address);
        return line;
    }

    static QList<QMessageBox*> openBoxes()
    {
        QList<QMessageBox*> boxes;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                boxes.append(box);
        return boxes;
    }

    static QPushButton* buttonTitled(QMessageBox* box, const QString& title)
    {
        for (QAbstractButton* button : box->buttons())
            if (button->text() == title)
                return qobject_cast<QPushButton*>(button);
        return nullptr;
    }

    QStringList authorizedSites() const { return Settings::instance().stringList(QStringLiteral("kAuthorizedSites")); }

    std::unique_ptr<DiskSession> session;
    int made = 0;
};

}  // namespace

TEST_F(RightToCopyAlert, TheBoxRemembersTheSiteOnlyWhenTickedAndConfirmed)
{
    struct Case
    {
        const char* name;
        bool tick;
        const char* button;
        int added;
        bool remembered;
    };
    const Case cases[] = {
        {"ticked and confirmed", true, "I have the right to copy this content", 1, true},
        {"confirmed without the box", false, "I have the right to copy this content", 1, false},
        {"ticked and cancelled", true, "Cancel", 0, false},
    };
    for (const Case& c : cases) {
        Settings::instance().setValue(QStringLiteral("kAuthorizedSites"), QStringList());
        controller->removeDownloads(controller->objects());

        session->lifecycle().downloadTorrentLines({fromSite(QStringLiteral("http://WWW.Example.COM/a.torrent"))});
        ASSERT_TRUE(waitUntil([] { return openBoxes().size() == 1; }, 3000)) << c.name;
        QMessageBox* box = openBoxes().first();
        EXPECT_EQ(box->text(), QStringLiteral("Do you have the right to copy this content?")) << c.name;
        EXPECT_TRUE(box->informativeText().startsWith(
            QStringLiteral("This torrent is provided by a third-party website (example.com)")))
            << c.name;
        QCheckBox* suppression = box->checkBox();
        ASSERT_TRUE(suppression) << c.name;
        EXPECT_EQ(suppression->text(), QStringLiteral("Do not ask me again for example.com")) << c.name;
        EXPECT_EQ(suppression->font().pointSize(), 11) << c.name;
        EXPECT_FALSE(suppression->isChecked()) << c.name << ": unticked at first";
        if (c.tick)
            QTest::mouseClick(suppression, Qt::LeftButton);
        EXPECT_EQ(suppression->isChecked(), c.tick) << c.name;
        QPushButton* button = buttonTitled(box, QString::fromLatin1(c.button));
        ASSERT_TRUE(button) << c.name;
        QTest::mouseClick(button, Qt::LeftButton);

        EXPECT_TRUE(waitUntil([] { return openBoxes().isEmpty(); }, 3000)) << c.name;
        // Confirmed lines are added on the next pass of the loop.
        waitUntil([&] { return controller->objects().size() == c.added; });
        spinFor(50); // time for a line that must not come
        EXPECT_EQ(controller->objects().size(), c.added) << c.name;
        EXPECT_EQ(authorizedSites(), c.remembered ? QStringList{QStringLiteral("example.com")} : QStringList())
            << c.name;

        // The next torrent from the same site.
        session->lifecycle().downloadTorrentLines({fromSite(QStringLiteral("https://example.com/b.torrent"))});
        if (c.remembered) {
            waitUntil([&] { return controller->objects().size() == c.added + 1; });
            spinFor(50); // time for a question that must not come
            EXPECT_TRUE(openBoxes().isEmpty()) << c.name << ": a remembered site is not asked about";
            EXPECT_EQ(controller->objects().size(), c.added + 1) << c.name;
        } else {
            EXPECT_TRUE(waitUntil([] { return openBoxes().size() == 1; }, 3000)) << c.name << ": asked again";
            for (QMessageBox* open : openBoxes())
                QTest::mouseClick(buttonTitled(open, QStringLiteral("Cancel")), Qt::LeftButton);
            EXPECT_TRUE(waitUntil([] { return openBoxes().isEmpty(); }, 3000)) << c.name;
        }
    }
}

TEST_F(RightToCopyAlert, SeveralSitesShowNoBox)
{
    session->lifecycle().downloadTorrentLines(
        {fromSite(QStringLiteral("http://a.example/x.torrent")), fromSite(QStringLiteral("http://b.example/y.torrent"))});
    ASSERT_TRUE(waitUntil([] { return openBoxes().size() == 1; }, 3000));
    QMessageBox* box = openBoxes().first();
    EXPECT_TRUE(box->informativeText().startsWith(
        QStringLiteral("These torrents are provided by third-party websites (a.example, b.example)")));
    EXPECT_EQ(box->checkBox(), nullptr);
    QTest::mouseClick(buttonTitled(box, QStringLiteral("I have the right to copy this content")), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([this] { return controller->objects().size() == 2; }, 3000));
    EXPECT_TRUE(authorizedSites().isEmpty());
}
