#include "app/shell/KoApplicationController.h"

#include "app/desktop/DragOverlayView.h"
#include "app/desktop/GrowlController.h"
#include "app/desktop/KoTrayMenu.h"
#include "app/desktop/KoiTunesController.h"
#include "app/desktop/StatusTray.h"
#include "app/frame/FeedCountLog.h"
#include "app/frame/KoContentView.h"
#include "app/frame/KoMainWindow.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SideStatusView.h"
#include "app/frame/SourceView.h"
#include "app/frame/SubscribedFeeds.h"
#include "app/openaddress/OpenTorrentURLPanel.h"
#include "app/prefs/BlocklistView.h"
#include "app/prefs/KoNetworkPreferences.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/prefs/PreferencePanes.h"
#include "app/shell/KoAppMessageBridge.h"
#include "app/shell/KoApplication.h"
#include "app/shell/KoMainMenu.h"
#include "app/shell/KoURLHandler.h"
#include "app/shell/LaunchSettings.h"
#include "app/shell/PreferenceWatcher.h"
#include "app/shell/SingleInstance.h"
#include "kit/TerminationSignals.h"
#include "app/shell/WindowCloseRequests.h"
#include "app/toolbar/KoToolbarDelegate.h"
#include "app/web/WebCookieFile.h"
#include "app/web/WebHooks.h"
#include "engine/blocklist/Blocklist.h"
#include "engine/core/BTCore.h"
#include "engine/core/EngineHost.h"
#include "engine/peers/EngineServices.h"
#include "engine/storage/DiskSession.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/Settings.h"
#include "platform/DesktopNotifications.h"
#include "search/icons/PZFaviconLoader.h"
#include "search/SearchSitesEditor.h"
#include "search/panels/RSSAddPanel.h"
#include "search/suggestions/SearchField.h"
#include "search/suggestions/SuggestionWindow.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/TransferStateLog.h"
#include "uikit/KeyViewLoop.h"
#include "uikit/PZAlert.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QSessionManager>

#include <QStandardPaths>
#include <QWidgetAction>

namespace ombrelay {

KoApplicationController::KoApplicationController(VolumeMonitor& volumes, Hooks hooks, QObject* parent)
    : QObject(parent),
      m_volumes(volumes),
      m_hooks(std::move(hooks)),
      m_downloads(std::make_unique<KoDownloadsController>(volumes)),
      m_stateLog(std::make_unique<TransferStateLog>()),
      m_feedLog(std::make_unique<FeedCountLog>())
{
    EngineHost::install(m_downloads.get());
}

KoApplicationController::~KoApplicationController()
{
    PerformLater::cancel(this);
    WebHooks::instance() = {};  // they call into this controller
    SearchSitesEditor::setOpener({});
    m_preferences.reset();
    m_openPanel.reset();
    m_addFeedPanel.reset();
    KeyViewLoop::install({});
    m_bridge.reset();
    m_menu.reset();
    m_watcher.reset();
    if (m_session) {
        BTCore::instance().setHooks({});
        for (const TorrentLinePtr& torrent : m_downloads->objects())
            torrent->dropStorage();
    }
    m_services.reset();
    m_session.reset();
    EngineHost::install(nullptr);
    GrowlController::install(nullptr);
    m_tray.reset();
    m_closeRequests.reset();
    m_window.reset();
}

void KoApplicationController::startEngine()
{
    // The session installs the torrents' life on disk before the engine makes its first tick.
    m_session = std::make_unique<DiskSession>(m_volumes);
    connect(&m_session->loader(), &SessionLoader::finished, this, &KoApplicationController::storedTorrentsDidLoad);
    BTCore& core = BTCore::instance();
    BTCore::Hooks hooks = m_session->hooks();
    hooks.oneSecondWork = [this] {
        m_session->oneSecondWork();
        m_downloads->invalidateBindingsText();
        m_stateLog->update(m_downloads->objects());
        if (m_window)
            m_feedLog->update(*m_window->sourceView(), *m_window->selectionController());
    };
    m_services = installEngineServices(core, hooks);
    core.setHooks(std::move(hooks));
}

void KoApplicationController::installOpenAddressPanel()
{
    if (m_hooks.openMagnet && m_hooks.showOpenAddressPanel)
        return;
    m_openPanel = std::make_unique<OpenTorrentURLPanel>(m_window.get(), m_session->lifecycle());
    if (!m_hooks.showOpenAddressPanel)
        m_hooks.showOpenAddressPanel = [this] { m_openPanel->openPanelWithAddress({}); };
    if (!m_hooks.openMagnet)
        m_hooks.openMagnet = [this](const QString& address) { m_openPanel->openPanelWithAddress(address); };
}

void KoApplicationController::installSearchPanels()
{
    SourceView* sources = m_window->sourceView();
    if (auto* field = qobject_cast<SearchField*>(KoToolbarDelegate::searchView())) {
        field->setSourceList(sources);
        connect(m_window->statusView(), &SideStatusView::searchFieldWidthChanged, field,
                &KoToolbarDelegate::setSearchItemWidth);
        if (!m_hooks.closeSuggestions)
            m_hooks.closeSuggestions = [field] { field->suggestionWindow()->hideSuggestionWindow(); };
    }
    m_addFeedPanel = std::make_unique<RSSAddPanel>(m_window.get(), sources);
    m_window->selectionController()->setAddSubscriptionPanel([this] { m_addFeedPanel->openWithInitialAddress({}); });
    // What a web page hands over: feeds to the add-feed panel, torrent addresses to the open-address panel.
    WebHooks::instance().addFeed = [this](const QUrl& address) {
        m_addFeedPanel->openWithInitialAddress(address.toString(QUrl::FullyEncoded));
    };
    WebHooks::instance().openTorrentAddress = [this](const QUrl& address) {
        if (m_openPanel)
            m_openPanel->openPanelWithAddress(address.toString(QUrl::FullyEncoded));
    };
}

void KoApplicationController::launch(const QStringList& arguments)
{
    Settings& settings = Settings::instance();
    LaunchSettings::repairSortDescriptors(settings);
    // The cookies of earlier sessions go with the first searches and fetches, before any page is built.
    WebCookieFile::loadIntoLoaders();
    startEngine();
    m_watcher = std::make_unique<PreferenceWatcher>(*m_downloads, &m_session->lifecycle(), [this]() -> QWidget* {
        if (m_preferences && m_preferences->window()->isVisible())
            return m_preferences->window();
        return m_window.get();
    });

    m_feeds = std::make_unique<SubscribedFeeds>();
    m_window = std::make_unique<KoMainWindow>(*m_downloads);
    // The stored feeds start over the next passes, so they find the real feeds and icons in place.
    m_window->sourceView()->setFeedRegistry(m_feeds.get());
    m_window->sourceView()->setIconProvider([](const QString& address) {
        const PZFaviconLoader* loader = PZFaviconLoader::loaderForURL(QUrl(address));
        return loader ? QPixmap::fromImage(loader->favicon()) : QPixmap();
    });
    // Clicked "magnet:" and search links in web pages go where URL events go.
    WebHooks::instance().handleURLEvent = [this](const QUrl& address) { handleURLString(address.toString(QUrl::FullyEncoded)); };
    connect(m_window.get(), &KoMainWindow::openFilesChosen, this, &KoApplicationController::openFiles);
    connect(m_window.get(), &KoMainWindow::closeRequested, this, &KoApplicationController::closeMainWindow);
    // The close button acts even while a sheet or panel is up (which closes first).
    m_closeRequests = std::make_unique<WindowCloseRequests>(m_window.get());
    connect(m_closeRequests.get(), &WindowCloseRequests::closeRequested, this, &KoApplicationController::closeMainWindow);
    m_window->dragOverlay()->setDropHandler([this](const TorrentLineList& torrents) { addDroppedTorrents(torrents); });
    installDesktopServices();
    installOpenAddressPanel();
    installSearchPanels();
    if (!m_hooks.search)
        m_hooks.search = [this](const QString& terms) { m_window->selectionController()->search(terms); };
    // The no-sites alert and the Edit Sites buttons open the preferences at the search sites.
    SearchSitesEditor::setOpener([this] { preferences().editSites(); });
    installMenus();
    installKeyViewLoop();
    m_trayMenu = std::make_unique<KoTrayMenu>(*m_downloads);
    m_trayMenu->setApplicationCommands([this] { reopen(); }, [this] { requestQuit(); });
    m_trayMenuView = std::make_unique<QMenu>();
    m_trayMenu->attach(m_trayMenuView.get());
    m_tray->setMenu(m_trayMenuView.get());
    if (auto* application = qobject_cast<KoApplication*>(QCoreApplication::instance()); application && m_hooks.closeSuggestions)
        application->setControlClickHook(m_hooks.closeSuggestions);
    m_window->selectionController()->applicationDidFinishLaunching();

    m_signals = std::make_unique<TerminationSignals>();
    connect(m_signals.get(), &TerminationSignals::terminationRequested, this, [this](int number) {
        fprintf(stderr, "Signal %d: quitting\n", number);
        quitNow();
    });
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The desktop session is ending (a logout may still be cancelled): the state is written now; the
        // session manager then ends the process through the quit path (its "die" message or SIGTERM).
        connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            if (m_session)
                m_session->saveAtTermination();
        });
    }
    // Connected after the engine's own, which saves the torrents first.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &KoApplicationController::applicationWillTerminate);

    m_pendingArguments = arguments;
    PerformLater::schedule(this, [this] {
        m_downloads->updateCell(nullptr);
        m_session->loader().loadTorrentsFromDisk();
    });
}

void KoApplicationController::installDesktopServices()
{
    KoiTunesController::resumeAfterQuit();
    const QDBusConnection bus = QDBusConnection::sessionBus();
    m_notices = std::make_unique<DesktopNotifications>(
        bus, DesktopNotifications::Sender{QStringLiteral("Ombrelay"), QStringLiteral("ombrelay"), QStringLiteral("ombrelay")});
    GrowlController::install(m_notices.get());
    m_tray = std::make_unique<StatusTray>(*m_downloads, m_window.get(), bus);
    connect(m_tray.get(), &StatusTray::clicked, this, &KoApplicationController::reopen);
    KoDownloadsController::DesktopHooks hooks;
    hooks.completedDownload = &GrowlController::growlCompletedDownloadWithPath;
    hooks.attention = [this] { m_tray->requestAttention(); };
    hooks.shouldHandOver = &KoiTunesController::shouldAddFile;
    hooks.handOver = &KoiTunesController::handleCompletedPath;
    hooks.addToLibrary = [this](const QString& path) {
        KoiTunesController::addSongToPlaylistLater(path, m_downloads->pathInTorrent(path));
    };
    m_downloads->setDesktopHooks(std::move(hooks));
}

void KoApplicationController::addDroppedTorrents(const TorrentLineList& torrents)
{
    TorrentLineList listed;
    TorrentLineList added;
    for (const TorrentLinePtr& torrent : torrents) {
        if (TorrentLinePtr existing = m_downloads->torrentForInfoHash(torrent->infoHash()))
            listed.append(existing);
        else
            added.append(torrent);
    }
    if (!added.isEmpty()) {
        const bool chooseFolder = Settings::instance().boolean(QStringLiteral("kConfirmLocationFinder"));
        m_session->adder().addTorrentLines(added, chooseFolder, true, true);
    } else if (!listed.isEmpty()) {
        m_downloads->selectObjects(listed);
        m_downloads->showDownloadsPane();
    }
}

void KoApplicationController::storedTorrentsDidLoad()
{
    m_storedTorrentsLoaded = true;
    // Once the stored torrents told where their disks are mounted: one that is away leaves an empty
    // folder behind, where nothing is made.
    LaunchSettings::makeDownloadFolder(
        m_session->lifecycle().isPathOnUnattachedVolume(AppPaths::downloadPath()));
    m_stateLog->update(m_downloads->objects());
    const QStringList arguments = std::exchange(m_pendingArguments, {});
    openArguments(arguments);
}

void KoApplicationController::listenForLaterLaunches(SingleInstance& instance)
{
    connect(&instance, &SingleInstance::argumentsReceived, this, [this](const QStringList& arguments) {
        reopen();
        openArguments(arguments);
    });
}

void KoApplicationController::reopen()
{
    if (!m_window || QApplication::activeModalWidget())
        return;
    if (m_window->isMinimized())
        m_window->showNormal();
    else
        m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void KoApplicationController::openArguments(const QStringList& arguments)
{
    if (!m_storedTorrentsLoaded) {
        // A torrent opened before its stored copy is listed would be added twice.
        m_pendingArguments += arguments;
        return;
    }
    for (const QString& argument : arguments) {
        if (KoURLHandler::kindOf(argument) != KoURLHandler::Kind::Ignored) {
            // Like an address event: the work starts once the launch's own work is through.
            PerformLater::schedule(this, [this, argument] { handleURLString(argument); }, 100);
        } else if (argument.startsWith(QLatin1Char('/'))) {
            openFile(argument);
        } else {
            fprintf(stderr, "*** ignored: %s\n", qPrintable(argument.left(200)));  // another scheme: never a path
        }
    }
}

void KoApplicationController::openFiles(const QStringList& paths)
{
    TorrentLineList lines;
    for (const QString& path : paths) {
        TorrentLinePtr line = TorrentLine::torrentLineForPath(path);
        if (!line || m_downloads->torrentForInfoHash(line->infoHash()))
            continue;
        lines.append(line);
    }
    const bool chooseFolder = Settings::instance().boolean(QStringLiteral("kConfirmLocationFinder"));
    if (!lines.isEmpty())
        m_session->adder().addTorrentLines(lines, chooseFolder, true, false);
}

void KoApplicationController::openFile(const QString& path)
{
    TorrentLinePtr line = TorrentLine::torrentLineForPath(path);
    if (!line) {
        fprintf(stderr, "*** not a torrent file: %s\n", qPrintable(path));
        return;
    }
    if (TorrentLinePtr listed = m_downloads->torrentForInfoHash(line->infoHash())) {
        m_downloads->selectObjects({listed});
        return;
    }
    const bool chooseFolder = Settings::instance().boolean(QStringLiteral("kConfirmLocationFinder"));
    m_session->adder().addTorrentLines({line}, chooseFolder, true, false);
}

void KoApplicationController::handleURLString(const QString& address)
{
    const KoURLHandler::Kind kind = KoURLHandler::kindOf(address);
    if (kind == KoURLHandler::Kind::Search) {
        const QString query = KoURLHandler::searchQuery(address);
        if (query.isEmpty())
            return;
        if (m_hooks.search)
            m_hooks.search(query);
    } else if (kind == KoURLHandler::Kind::Magnet) {
        if (m_hooks.openMagnet)
            m_hooks.openMagnet(address);
        else
            fprintf(stderr, "*** magnet links are not available yet: %s\n", qPrintable(address));
    }
}

void KoApplicationController::requestQuit()
{
    if (m_askingToQuit)
        return;
    closeModalWindows();
    if (!Settings::instance().boolean(QStringLiteral("kKoWarnQuit")) || m_downloads->numberOfActiveTorrents() < 1) {
        quitNow();
        return;
    }
    m_askingToQuit = true;
    // The question sits on the window: a minimised one comes back first.
    if (m_window->isMinimized() || !m_window->isVisible())
        m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
    PZAlert::run(quitAlert(), m_window.get(), [this](int button) {
        m_askingToQuit = false;
        if (button == 0)
            quitNow();
    });
}

void KoApplicationController::closeMainWindow()
{
    closeModalWindows();
    if (m_tray && m_tray->isInTray()) {
        m_window->hide();  // the transfers go on; the tray icon, its menu or a later launch bring it back
        return;
    }
    requestQuit();
}

void KoApplicationController::closeModalWindows()
{
    // Each ends as its Cancel would end it; a few nest at most (a panel's own alert).
    for (int left = 8; left > 0; --left) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();  // one that refuses to close is ordered out
    }
}

PZAlert KoApplicationController::quitAlert()
{
    return {tr("Do you really wish to quit?"),
            tr("Ombrelay is actively downloading files. Quitting will terminate these downloads and there is no "
               "certainty that they will resume successfully at a later time."),
            {tr("Quit"), tr("Cancel")}};
}

void KoApplicationController::quitNow()
{
    // A quit first asks every visible window to close and is dropped when one refuses; the main window
    // refuses (its close button asks to quit) and an open alert may too. Ordered out, none holds it back.
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::quit();
}

void KoApplicationController::applicationWillTerminate()
{
    if (m_isTerminating)
        return;
    m_isTerminating = true;
    postNotificationAboutSelf(this, QStringLiteral("PZApplicationWillTerminateNotification"));
    KoiTunesController::finishQueued();
    if (m_preferences) {
        emit m_preferences->commitEditing();
        m_preferences->window()->hide();
        if (m_blocklistView)
            m_blocklistView->cancelAndWait();  // before its temporary files go
    }
    if (m_window) {
        m_window->contentView()->applicationWillTerminate();
        m_window->saveFrame();
        m_window->hide();
    }
    // The engine wrote every torrent's state and emptied the disk queue on its own aboutToQuit.
    Settings::instance().sync();
    AppPaths::removeTemporaryDirectory();
}

}  // namespace ombrelay

namespace ombrelay {

PZPreferencesController& KoApplicationController::preferences()
{
    if (m_preferences)
        return *m_preferences;
    m_preferences = std::make_unique<PZPreferencesController>();
    const PreferencePanes panes = PreferencePanes::addTo(
        *m_preferences, Blocklist::instance(),
        [this](const QString& path) { return m_session && m_session->lifecycle().isPathOnUnattachedVolume(path); });
    m_blocklistView = panes.network->blocklistView();
    return *m_preferences;
}

void KoApplicationController::showPreferences()
{
    preferences().showWindow();
}

}  // namespace ombrelay
