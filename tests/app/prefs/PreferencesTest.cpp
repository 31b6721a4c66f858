// The preferences window and its panes on real widgets: values are committed when editing ends, when the
// window hides and at quit; the zero-limit question; the pane switcher; folder pop-ups; the incomplete
// folder's prompts.
#include "app/prefs/FolderButton.h"
#include "app/prefs/IncompleteFolderButton.h"
#include "app/prefs/KoNetworkPreferences.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/KoiTunesPreferences.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/shell/IncompleteFolderMover.h"
#include "engine/blocklist/Blocklist.h"
#include "engine/core/BTCore.h"
#include "engine/nat/PortMapper.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"
#include "transfers/TransfersFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class NetworkPane : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        registerDefaultSettings(Settings::instance());
        Settings::instance().setValue(QStringLiteral("kRandomPort"), true);
        BTCore::Parts parts = BTCore::defaultParts();
        parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
        parts.startTimers = false;
        BTCore::useParts(std::move(parts));
        blocklist = std::make_unique<Blocklist>(folder.filePath(QStringLiteral("Blocklist.db")), Settings::instance());
        PZAlert::setPresenter([this](const PZAlert& alert, PZAlert::Answer answer) {
            alerts.append(alert);
            pendingAnswer = std::move(answer);
        });
        controller = std::make_unique<PZPreferencesController>();
        pane = new KoNetworkPreferences(*blocklist);
        controller->addPane(QStringLiteral("network"), QStringLiteral("Network"), {}, pane);
        QObject::connect(controller.get(), &PZPreferencesController::commitEditing, pane,
                         &KoNetworkPreferences::commitEditing);
        controller->showWindow();
    }
    void TearDown() override
    {
        controller.reset();
        PZAlert::setPresenter({});
        Settings::instance().sync();  // nothing writes the file again once its folder is gone
    }
    void answer(int button) { std::exchange(pendingAnswer, {})(button, false); }
    // Types into a spin box as a user would, then ends the editing with Return.
    static void type(QSpinBox* box, const QString& text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }

    QTemporaryDir folder;
    std::unique_ptr<Blocklist> blocklist;
    std::unique_ptr<PZPreferencesController> controller;
    KoNetworkPreferences* pane = nullptr;
    QList<PZAlert> alerts;
    PZAlert::Answer pendingAnswer;
};

}  // namespace

TEST_F(NetworkPane, ThePortIsCorrectedToTheNearestAllowedValueAndCommittedWhenEditingEndsOrTheWindowHides)
{
    const struct
    {
        const char* typed;
        qint64 stored;
        bool hide;  // committed by hiding the window instead of ending the edit
    } cases[] = {{"80", 1024, false}, {"70000", 65535, true}, {"51413", 51413, true}, {"abc", 1024, true}};
    for (const auto& c : cases) {
        Settings::instance().setInteger(QStringLiteral("kBTPort"), 6881);
        controller->showWindow();
        QSpinBox* port = pane->portField();
        if (c.hide) {
            // Mid-edit: the text is in the field, nothing has been stored yet.
            port->findChild<QLineEdit*>()->setText(QString::fromLatin1(c.typed));
            EXPECT_EQ(Settings::instance().integer(QStringLiteral("kBTPort")), 6881) << c.typed;
            controller->window()->hide();
        } else {
            type(port, QString::fromLatin1(c.typed));
        }
        EXPECT_EQ(Settings::instance().integer(QStringLiteral("kBTPort")), c.stored) << c.typed;
        EXPECT_EQ(port->value(), c.stored) << c.typed;
    }
}

TEST_F(NetworkPane, AZeroUploadLimitIsConfirmedOrTheOldLimitComesBack)
{
    QSpinBox* limit = pane->uploadLimitField();
    Settings::instance().setInteger(QStringLiteral("kUploadLimit"), 20);
    type(limit, QStringLiteral("0"));
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].message, QStringLiteral("Set the upload limit to 0 KB/s?"));
    EXPECT_EQ(alerts[0].buttons,
              (QStringList{QStringLiteral("Set Limit to 0 KB/s"), QStringLiteral("Keep Limit at 20 KB/s")}));
    answer(1);
    EXPECT_EQ(Settings::instance().integer(QStringLiteral("kUploadLimit")), 20);
    EXPECT_EQ(limit->value(), 20);

    type(limit, QStringLiteral("0"));
    ASSERT_EQ(alerts.size(), 2);
    answer(0);
    EXPECT_EQ(Settings::instance().integer(QStringLiteral("kUploadLimit")), 0);
    type(limit, QStringLiteral("5"));  // raising it again asks nothing
    EXPECT_EQ(alerts.size(), 2);
    EXPECT_EQ(Settings::instance().integer(QStringLiteral("kUploadLimit")), 5);

    // A 0 typed on the way to another number is never stored, so it raises nothing.
    limit->setFocus();
    limit->selectAll();
    QTest::keyClicks(limit, QStringLiteral("0"));
    QTest::keyClicks(limit, QStringLiteral("8"));
    EXPECT_EQ(Settings::instance().integer(QStringLiteral("kUploadLimit")), 5);
    QTest::keyClick(limit, Qt::Key_Return);
    EXPECT_EQ(alerts.size(), 2);
    EXPECT_EQ(Settings::instance().integer(QStringLiteral("kUploadLimit")), 8);
}

TEST_F(NetworkPane, EscapeHidesTheWindow)
{
    controller->showWindow();
    ASSERT_TRUE(controller->window()->isVisible());
    QTest::keyClick(controller->window(), Qt::Key_Escape);
    EXPECT_FALSE(controller->window()->isVisible());
}

TEST(PZPreferencesController, ASwitchKeepsTheTopEdgeAndIgnoresClicksWhileItRuns)
{
    PZPreferencesController controller;
    auto* small = new QWidget;
    small->setFixedSize(300, 150);
    auto* tall = new QWidget;
    tall->setMinimumSize(400, 380);
    auto* third = new QWidget;
    third->setMinimumSize(350, 200);
    controller.addPane(QStringLiteral("a"), QStringLiteral("Small"), {}, small);
    controller.addPane(QStringLiteral("b"), QStringLiteral("Tall"), {}, tall, true);
    controller.addPane(QStringLiteral("c"), QStringLiteral("Third"), {}, third);
    controller.showWindow();
    const int top = controller.window()->geometry().top();
    EXPECT_EQ(controller.window()->windowTitle(), QStringLiteral("Small"));

    controller.items()[1].action->trigger();
    EXPECT_TRUE(controller.isAnimating());
    controller.items()[2].action->trigger();  // ignored
    EXPECT_TRUE(controller.items()[1].action->isChecked());
    ASSERT_TRUE(waitUntil([&] { return !controller.isAnimating(); }, 3000));
    EXPECT_EQ(controller.currentPane(), tall);
    EXPECT_FALSE(small->isVisible());
    EXPECT_EQ(controller.window()->geometry().top(), top);
    EXPECT_EQ(controller.window()->size(), controller.windowSizeFor(1));
    // Only the height of a sizable pane may change.
    EXPECT_EQ(controller.window()->minimumWidth(), controller.window()->maximumWidth());
    EXPECT_GT(controller.window()->maximumHeight(), controller.window()->minimumHeight());

    controller.items()[2].action->trigger();
    ASSERT_TRUE(waitUntil([&] { return !controller.isAnimating(); }, 3000));
    EXPECT_EQ(controller.currentPane(), third);
    EXPECT_EQ(controller.window()->minimumHeight(), controller.window()->maximumHeight());
}

TEST(KoiTunesPreferences, PlaylistNamesMustMakeSafeFileNames)
{
    const struct
    {
        QString name;
        bool valid;
    } cases[] = {
        {QStringLiteral("Road Trip"), true},   {QStringLiteral("a/b"), false},
        {QStringLiteral("."), false},          {QStringLiteral(".."), false},
        {QStringLiteral("..."), true},         {QString(QChar(0)) + QStringLiteral("x"), false},
        {QString(255, QLatin1Char('a')), true}, {QString(256, QLatin1Char('a')), false},
        {QString(128, QChar(0xE9)), false},  // 256 bytes in UTF-8
        {QString(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KoiTunesPreferences::isValidPlaylistName(c.name), c.valid) << qPrintable(c.name.left(20));
}

// The pop-up is usable once the library's playlists are read: each name once, the default first, and
// "Other..." opens the text field.
TEST(KoiTunesPreferences, ThePopUpOffersTheLibrarysPlaylistsAndATypedName)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toUtf8());
    ASSERT_TRUE(writeFile(home.filePath(QStringLiteral(".config/user-dirs.dirs")),
                          "XDG_MUSIC_DIR=\"" + home.filePath(QStringLiteral("Musik")).toUtf8() + "\"\n"));
    for (const char* name : {"Ombrelay", "Road trip"})
        ASSERT_TRUE(writeFile(home.filePath(QStringLiteral("Musik/Playlists/%1.m3u8").arg(QLatin1String(name))), "#EXTM3U\n"));
    Settings::useFile(home.filePath(QStringLiteral("Ombrelay.conf")));
    registerDefaultSettings(Settings::instance());
    {
        KoiTunesPreferences pane;
        pane.show();
        QComboBox* menu = pane.playlistMenu();
        ASSERT_TRUE(waitUntil([&] { return menu->isEnabled(); }, 5000)) << "the pop-up stays disabled";
        QStringList items;
        for (int i = 0; i < menu->count(); ++i)
            items << menu->itemText(i);
        EXPECT_EQ(items, (QStringList{"Ombrelay", "", "Road trip", "", "Other..."}));
        EXPECT_EQ(pane.playlistTab()->currentWidget(), menu);
        EXPECT_EQ(menu->currentText(), QStringLiteral("Ombrelay"));

        menu->activated(menu->count() - 1);
        EXPECT_EQ(pane.playlistTab()->currentWidget(), pane.playlistTextEdit());
        EXPECT_TRUE(pane.playlistTextEdit()->isEnabled());
        pane.playlistTextEdit()->setText(QStringLiteral("Evening"));
        emit pane.playlistTextEdit()->editingFinished();
        EXPECT_EQ(Settings::instance().string(QStringLiteral("kKoPlaylistName")), QStringLiteral("Evening"));

        // A typed name that cannot be a file's is refused, and the pane says why until the next edit.
        pane.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&pane));
        ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == pane.playlistTextEdit(); }));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Rock/Pop"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(Settings::instance().string(QStringLiteral("kKoPlaylistName")), QStringLiteral("Evening"));
        EXPECT_TRUE(pane.playlistRefusal()->isVisible());
        EXPECT_EQ(pane.playlistRefusal()->text(), QStringLiteral("A playlist name cannot contain \u201c/\u201d."));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S);
        EXPECT_FALSE(pane.playlistRefusal()->isVisible());
    }
    Settings::instance().sync();
    if (oldConfig.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

class FoldersTest : public TransfersFixture
{
protected:
    void SetUp() override
    {
        TransfersFixture::SetUp();
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        registerDefaultSettings(Settings::instance());
        downloads = folder.filePath(QStringLiteral("Downloads"));
        Settings::instance().setValue(QStringLiteral("save_directory"), downloads);
    }
    void TearDown() override
    {
        TransfersFixture::TearDown();
        Settings::instance().sync();
    }
    QString downloads;
};

TEST_F(FoldersTest, FolderPopUpsSelectTheStoredFolderComparedWithoutTrailingSlash)
{
    const QString xdgDownloads = AppPaths::abbreviateTilde(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    const QString custom = folder.filePath(QStringLiteral("Custom"));
    const struct
    {
        QString stored;
        int items;         // presets, separator and "Other..." make 8
        QString selected;  // the represented folder, compared normalised
    } cases[] = {
        {xdgDownloads + QLatin1Char('/'), 8, xdgDownloads},
        {xdgDownloads, 8, xdgDownloads},
        {custom + QLatin1Char('/'), 10, AppPaths::abbreviateTilde(custom)},
    };
    FolderButton button(QStringLiteral("kKoAutodownloadLocation"));
    for (const auto& c : cases) {
        Settings::instance().setValue(QStringLiteral("kKoAutodownloadLocation"), c.stored);
        button.populate();
        EXPECT_EQ(button.count(), c.items) << qPrintable(c.stored);
        EXPECT_EQ(IncompleteFolderMover::normalizedPath(button.representedPath(button.currentIndex())),
                  IncompleteFolderMover::normalizedPath(c.selected))
            << qPrintable(c.stored);
    }
    EXPECT_EQ(button.itemText(button.count() - 1), QStringLiteral("Other..."));

    IncompleteFolderButton incomplete;
    Settings::instance().setValue(QStringLiteral("kIncompleteFolder"), QString());
    incomplete.populate();
    EXPECT_EQ(incomplete.currentText(), QStringLiteral("Incomplete"));
    Settings::instance().setValue(QStringLiteral("kIncompleteFolder"), custom);
    EXPECT_EQ(incomplete.currentText(), QStringLiteral("Custom"));  // follows the key
}

TEST_F(FoldersTest, OneAndTwoTorrentsAreOfferedTheMoveInTheirWords)
{
    IncompleteFolderMover mover(*controller, nullptr, [] { return nullptr; });
    addTorrent(QStringLiteral("done.iso"), TorrentLine::Complete, 1, downloads);
    addTorrent(QStringLiteral("there.iso"), TorrentLine::Downloading, 1, downloads + QStringLiteral("/Incomplete/"));
    addTorrent(QStringLiteral("one.iso"), TorrentLine::Downloading, 1, downloads);
    // Halted on a disk that is away (complete or not): its data is out of reach.
    addTorrent(QStringLiteral("away.iso"), TorrentLine::Halted, 1, QStringLiteral("/media/away/Downloads"))->setResumeState(TorrentLine::Complete);

    Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), true);
    ASSERT_TRUE(waitUntil([&] { return alerts.size() == 1; }, 2000));
    EXPECT_EQ(alerts[0].message, QStringLiteral("Move 1 incomplete torrent to the incomplete folder?"));
    EXPECT_EQ(alerts[0].buttons, (QStringList{QStringLiteral("Move Torrent"), QStringLiteral("Do Not Move")}));
    EXPECT_TRUE(alerts[0].informativeText.contains(AppPaths::abbreviateTilde(downloads + QStringLiteral("/Incomplete"))));
    // One question at a time: a change meanwhile is asked about after the answer.
    addTorrent(QStringLiteral("two.iso"), TorrentLine::Paused, 1, downloads);
    Settings::instance().setValue(QStringLiteral("kIncompleteFolder"), folder.filePath(QStringLiteral("Elsewhere")));
    spinFor(50);
    EXPECT_EQ(alerts.size(), 1);
    answer(1);
    ASSERT_TRUE(waitUntil([&] { return alerts.size() == 2; }, 2000));
    EXPECT_EQ(alerts[1].message, QStringLiteral("Move 3 incomplete torrents to the new incomplete folder?"));
    EXPECT_EQ(alerts[1].buttons, (QStringList{QStringLiteral("Move Torrents"), QStringLiteral("Do Not Move")}));
    answer(1);
}

TEST_F(FoldersTest, SwitchingOffRemovesOnlyAnEmptyFolderOfNoOtherUse)
{
    const QString custom = folder.filePath(QStringLiteral("Custom"));
    const QString full = folder.filePath(QStringLiteral("Full"));
    QDir().mkpath(custom);
    QDir().mkpath(full);
    QFile(full + QStringLiteral("/keep.bin")).open(QIODevice::WriteOnly);
    QDir().mkpath(downloads);
    QFile(custom + QStringLiteral("/.DS_Store")).open(QIODevice::WriteOnly);
    const struct
    {
        QString path;
        bool removed;
    } cases[] = {
        {custom, true},
        {full, false},
        {downloads + QLatin1Char('/'), false},
        {QDir::homePath(), false},
        {QStandardPaths::writableLocation(QStandardPaths::MusicLocation), false},
    };
    for (const auto& c : cases) {
        const bool existed = QFileInfo::exists(c.path);
        EXPECT_EQ(IncompleteFolderMover::removeFolderIfEmpty(c.path), c.removed) << qPrintable(c.path);
        EXPECT_EQ(QFileInfo::exists(c.path), existed && !c.removed) << qPrintable(c.path);
    }
    // The download folder itself chosen as the incomplete folder is left when switched off.
    IncompleteFolderMover mover(*controller, nullptr, [] { return nullptr; });
    Settings::instance().setValue(QStringLiteral("kIncompleteFolder"), downloads);
    Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), true);
    Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), false);
    EXPECT_TRUE(QFileInfo(downloads).isDir());
}
