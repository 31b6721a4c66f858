#include "app/KoApplicationController.h"

#include "app/KoContentView.h"
#include "app/KoMainWindow.h"
#include "app/SelectionController.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "engine/core/BTCore.h"
#include "engine/core/EngineHost.h"
#include "engine/peers/EngineServices.h"
#include "engine/storage/DiskSession.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/Settings.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/TransferAlert.h"
#include "transfers/TransferStateLog.h"

#include <QApplication>
#include <QSessionManager>

namespace ombrelay {

KoApplicationController::KoApplicationController(VolumeMonitor& volumes, Hooks hooks, QObject* parent)
    : QObject(parent),
      m_volumes(volumes),
      m_hooks(std::move(hooks)),
      m_downloads(std::make_unique<KoDownloadsController>(volumes)),
      m_stateLog(std::make_unique<TransferStateLog>())
{
    EngineHost::install(m_downloads.get());
}

KoApplicationController::~KoApplicationController()
{
    PerformLater::cancel(this);
    if (m_session) {
        BTCore::instance().setHooks({});
        for (const TorrentLinePtr& torrent : m_downloads->objects())
            torrent->dropStorage();
    }
    m_services.reset();
    m_session.reset();
    EngineHost::install(nullptr);
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
    };
    m_services = installEngineServices(core, hooks);
    core.setHooks(std::move(hooks));
}

void KoApplicationController::launch(const QStringList& arguments)
{
    startEngine();

    m_window = std::make_unique<KoMainWindow>(*m_downloads);
    connect(m_window.get(), &KoMainWindow::openFilesChosen, this, &KoApplicationController::openArguments);
    connect(m_window.get(), &KoMainWindow::quitRequested, this, &KoApplicationController::requestQuit);
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

void KoApplicationController::storedTorrentsDidLoad()
{
    m_storedTorrentsLoaded = true;
    m_stateLog->update(m_downloads->objects());
    const QStringList arguments = std::exchange(m_pendingArguments, {});
    openArguments(arguments);
}

void KoApplicationController::listenForLaterLaunches(SingleInstance& instance)
{
    connect(&instance, &SingleInstance::argumentsReceived, this, [this](const QStringList& arguments) {
        if (m_window) {
            m_window->showNormal();
            m_window->raise();
            m_window->activateWindow();
        }
        openArguments(arguments);
    });
}

void KoApplicationController::openArguments(const QStringList& arguments)
{
    if (!m_storedTorrentsLoaded) {
        // A torrent opened before its stored copy is listed would be added twice.
        m_pendingArguments += arguments;
        return;
    }
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1String("magnet:"), Qt::CaseInsensitive) ||
            argument.startsWith(QLatin1String("ombrelaysearch:"), Qt::CaseInsensitive))
            handleURLString(argument);
        else
            openFile(argument);
    }
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
    if (address.startsWith(QLatin1String("ombrelaysearch:"), Qt::CaseInsensitive)) {
        // The scheme and the "//" of the address; a shorter address has no query.
        const QString query = address.size() > 17 ? address.mid(17) : QString();
        if (m_hooks.search)
            m_hooks.search(query.trimmed());
        else if (m_window)
            m_window->selectionController()->search(query);
    } else if (address.startsWith(QLatin1String("magnet:"), Qt::CaseInsensitive)) {
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
    if (!Settings::instance().boolean(QStringLiteral("kKoWarnQuit")) || m_downloads->numberOfActiveTorrents() < 1) {
        quitNow();
        return;
    }
    m_askingToQuit = true;
    m_window->raise();
    TransferAlert alert{tr("Do you really wish to quit?"),
                        tr("Ombrelay is actively downloading files. Quitting will terminate these downloads and "
                           "there is no certainty that they will resume successfully at a later time."),
                        {tr("Quit"), tr("Cancel")}};
    TransferAlert::run(alert, m_window.get(), [this](int button) {
        m_askingToQuit = false;
        if (button == 0)
            quitNow();
    });
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
