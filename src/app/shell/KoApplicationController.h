#pragma once

#include "engine/torrent/TorrentLine.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace ombrelay {

class DesktopNotifications;
class BlocklistView;
class DiskSession;
class KoAppMessageBridge;
class KoTrayMenu;
class OpenTorrentURLPanel;
class PZPreferencesController;
class PreferenceWatcher;
class EngineServices;
class KoDownloadsController;
class KoMainMenu;
class KoMainWindow;
class SingleInstance;
class RSSAddPanel;
class StatusTray;
class SubscribedFeeds;
class FeedCountLog;
class TerminationSignals;
class TransferStateLog;
class WindowCloseRequests;
struct PZAlert;
class VolumeMonitor;

// The application's frame: the launch order (settings defaults, the transfers controller installed as
// the engine's host, the disk session, the engine and its network services, the main window, the stored torrents), opening
// documents and addresses from the command line and later launches, the quit confirmation and the quit
// path that every way out takes (menu, window, SIGTERM/SIGINT/SIGHUP, end of the desktop session).
class KoApplicationController : public QObject
{
    Q_OBJECT
public:
    // What other parts of the program plug in as they land; each may stay empty.
    struct Hooks
    {
        std::function<void(const QString& address)> openMagnet;
        std::function<void(const QString& query)> search;
        std::function<void()> showOpenAddressPanel;
        // A Ctrl+click anywhere: the search suggestions close.
        std::function<void()> closeSuggestions;
    };

    explicit KoApplicationController(VolumeMonitor& volumes, Hooks hooks = {}, QObject* parent = nullptr);
    ~KoApplicationController() override;

    // Everything up to a visible window; the stored torrents load over the next passes of the loop and
    // the arguments are opened once they are in.
    void launch(const QStringList& arguments);
    // Files and addresses: ".torrent"/".tstream" paths, "magnet:" and "ombrelaysearch:" addresses.
    void openArguments(const QStringList& arguments);
    void openFile(const QString& path);
    // Chosen in the open panel: every torrent in one call, so one folder question.
    void openFiles(const QStringList& paths);
    void handleURLString(const QString& address);
    // A sheet or panel that is up closes first; then asks when "kKoWarnQuit" is on and torrents are
    // active, and quits.
    void requestQuit();
    static PZAlert quitAlert();
    // The main window's close button: a sheet or panel that is up closes first; then the window hides
    // where the tray shows the icon, and the program quits (as requestQuit) where no tray host runs.
    void closeMainWindow();
    // Orders out every window and quits the event loop; SIGTERM, SIGINT and SIGHUP come here directly.
    void quitNow();
    // The quit path; runs once, from the application's aboutToQuit (after the engine saved its torrents).
    void applicationWillTerminate();
    bool isTerminating() const { return m_isTerminating; }
    // The tray icon clicked or a later launch without arguments: the window comes back unless a modal runs.
    void reopen();
    // Built on first use.
    PZPreferencesController& preferences();
    void showPreferences();

    KoDownloadsController& downloads() const { return *m_downloads; }
    KoMainWindow* mainWindow() const { return m_window.get(); }
    KoAppMessageBridge* messageBridge() const { return m_bridge.get(); }
    KoMainMenu* mainMenu() const { return m_menu.get(); }
    KoTrayMenu* trayMenu() const { return m_trayMenu.get(); }
    PreferenceWatcher* preferenceWatcher() const { return m_watcher.get(); }
    DiskSession* diskSession() const { return m_session.get(); }
    bool storedTorrentsLoaded() const { return m_storedTorrentsLoaded; }
    void listenForLaterLaunches(SingleInstance& instance);
    // The tray icon and launcher entry; made at launch.
    StatusTray* statusTray() const { return m_tray.get(); }
    // Dropped torrents: those listed already are selected, the others added, selected and shown.
    void addDroppedTorrents(const TorrentLineList& torrents);

private:
    void closeModalWindows();
    void startEngine();
    void storedTorrentsDidLoad();
    void installDesktopServices();
    // File > "Open Address..." and magnet links open the address panel unless a hook says otherwise.
    void installOpenAddressPanel();
    void installSearchPanels();
    // The menu bar from its table, each command wired to what it does and when it may act.
    void installMenus();
    // Where Tab and Shift+Tab lead between the sidebar, the search field and the shown list.
    void installKeyViewLoop();

    VolumeMonitor& m_volumes;
    Hooks m_hooks;
    std::unique_ptr<KoDownloadsController> m_downloads;
    std::unique_ptr<DiskSession> m_session;
    std::unique_ptr<EngineServices> m_services;  // peers, HTTP trackers and the DHT, for the app's life
    std::unique_ptr<TransferStateLog> m_stateLog;
    std::unique_ptr<FeedCountLog> m_feedLog;
    std::unique_ptr<SubscribedFeeds> m_feeds;  // outlives the window
    std::unique_ptr<KoMainWindow> m_window;
    std::unique_ptr<WindowCloseRequests> m_closeRequests;
    std::unique_ptr<RSSAddPanel> m_addFeedPanel;  // a sheet on the window
    std::unique_ptr<PreferenceWatcher> m_watcher;
    std::unique_ptr<KoMainMenu> m_menu;
    std::unique_ptr<KoAppMessageBridge> m_bridge;
    std::unique_ptr<OpenTorrentURLPanel> m_openPanel;
    std::unique_ptr<KoTrayMenu> m_trayMenu;
    std::unique_ptr<QMenu> m_trayMenuView;  // the tray icon's menu, refilled before each showing
    std::unique_ptr<PZPreferencesController> m_preferences;
    BlocklistView* m_blocklistView = nullptr;
    std::unique_ptr<TerminationSignals> m_signals;
    std::unique_ptr<DesktopNotifications> m_notices;
    std::unique_ptr<StatusTray> m_tray;
    QStringList m_pendingArguments;  // opened once the stored torrents are in
    bool m_storedTorrentsLoaded = false;
    bool m_isTerminating = false;
    bool m_askingToQuit = false;
};

}  // namespace ombrelay
