#include "engine/storage/TorrentAdder.h"

#include "engine/storage/ExistingFilesCheck.h"
#include "engine/storage/PieceStore.h"
#include "engine/storage/SessionLifecycle.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/ServiceAddresses.h"
#include "kit/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace ombrelay {
namespace {

const QLatin1String kAuthorizedSites("kAuthorizedSites");

const char* const kBuiltInAuthorizedSites[] = {service::kAuthorizedHostA, service::kAuthorizedHostB,
                                                service::kAuthorizedHostC};

}  // namespace

void TorrentAdder::addTorrentLines(const TorrentLineList& lines, bool showFolderPanel, bool deleteOriginals,
                                   bool selectAndDisplay)
{
    if (lines.isEmpty())
        return;
    EngineHost& host = EngineHost::instance();
    const auto add = [session = &m_session, lines, deleteOriginals, selectAndDisplay] {
        const TorrentLineList unsaved = TorrentAdder(*session).addLines(lines);
        if (deleteOriginals)
            trashOriginals(lines, unsaved);
        if (selectAndDisplay) {
            EngineHost& host = EngineHost::instance();
            host.showDownloadsPane();
            host.selectObjects(lines);
        }
    };
    if (!showFolderPanel) {
        add();
        return;
    }
    const QString message = lines.size() == 1
        ? QCoreApplication::translate("TorrentAdder", "Select a download folder for %1").arg(lines.first()->path())
        : QCoreApplication::translate("TorrentAdder", "Select a download folder for these torrents.");
    host.chooseDownloadFolder(message, AppPaths::downloadPath(), [lines, add](const QString& folder) {
        if (folder.isEmpty())
            return;
        for (const TorrentLinePtr& line : lines)
            if (!line->isDownloading())
                line->setDownloadPath(folder);
        add();
    });
}

void TorrentAdder::downloadTorrentLines(const TorrentLineList& lines, bool askForFolder)
{
    const QStringList hosts = hostsFromTorrentLines(lines);
    if (hosts.isEmpty()) {
        addConfirmedLines(lines, askForFolder);
        return;
    }
    // The prompt may answer after the session is gone: nothing is added then.
    QObject* context = m_session.context();
    EngineHost::instance().confirmRightToCopy(rightToCopyPrompt(lines, hosts),
                                              [session = &m_session, guard = QPointer<QObject>(context),
                                               lines, askForFolder](bool confirmed, bool suppress) {
        if (!confirmed || !guard)
            return;
        const QStringList remaining = hostsFromTorrentLines(lines);
        if (suppress && remaining.size() == 1) {
            Settings& settings = Settings::instance();
            settings.setValue(kAuthorizedSites, settings.stringList(kAuthorizedSites) << remaining.first());
        }
        // After the prompt has closed: adding may open the folder panel.
        QTimer::singleShot(0, guard, [session, lines, askForFolder] {
            TorrentAdder(*session).addConfirmedLines(lines, askForFolder);
        });
    });
}

void TorrentAdder::addConfirmedLines(const TorrentLineList& lines, bool askForFolder)
{
    const bool showFolderPanel = Settings::instance().boolean(QStringLiteral("kConfirmLocationInternal")) || askForFolder;
    addTorrentLines(lines, showFolderPanel, false, false);
}

bool TorrentAdder::isAuthorizedSite(const QString& host)
{
    const QString name = host.toLower();
    for (const char* site : kBuiltInAuthorizedSites)
        if (name == QLatin1String(site))
            return true;
    return Settings::instance().stringList(kAuthorizedSites).contains(name, Qt::CaseInsensitive);
}

QStringList TorrentAdder::hostsFromTorrentLines(const TorrentLineList& lines)
{
    QStringList hosts;
    for (const TorrentLinePtr& line : lines) {
        QString host = QUrl(line->torrentAddress()).host().toLower();
        if (host.startsWith(QLatin1String("www.")))
            host.remove(0, 4);
        if (!host.isEmpty() && !hosts.contains(host) && !isAuthorizedSite(host))
            hosts.append(host);
    }
    return hosts;
}

EngineHost::RightToCopyPrompt TorrentAdder::rightToCopyPrompt(const TorrentLineList& lines, const QStringList& hosts)
{
    const auto tr = [](const char* text) { return QCoreApplication::translate("TorrentAdder", text); };
    const QString terms = tr("You may proceed if and only if you are legally allowed to download this content. "
                             "The use of Ombrelay to download anything that you do not have the right to copy is "
                             "a violation of the terms of use.");
    EngineHost::RightToCopyPrompt prompt;
    prompt.message = tr("Do you have the right to copy this content?");
    QString provenance;
    if (hosts.size() > 1) {
        provenance = tr("These torrents are provided by third-party websites (%1) that are not associated with nor "
                        "endorsed by Ombrelay.").arg(hosts.join(QStringLiteral(", ")));
    } else {
        provenance = lines.size() == 1
            ? tr("This torrent is provided by a third-party website (%1) that is not associated with nor endorsed "
                 "by Ombrelay.").arg(hosts.first())
            : tr("These torrents are provided by a third-party website (%1) that is not associated with nor "
                 "endorsed by Ombrelay.").arg(hosts.first());
        prompt.suppressionTitle = tr("Do not ask me again for %1").arg(hosts.first());
    }
    prompt.informativeText = provenance + QStringLiteral("\n\n") + terms;
    return prompt;
}

TorrentLineList TorrentAdder::addLines(const TorrentLineList& lines)
{
    TorrentLineList unsaved;
    for (const TorrentLinePtr& line : lines) {
        // A stored torrent not loaded yet is listed by the loading.
        if (line->isDownloading() || m_session.isWaitingToLoad(line->infoHash()))
            continue;
        if (!addLine(line))
            unsaved.append(line);
    }
    return unsaved;
}

bool TorrentAdder::addLine(const TorrentLinePtr& line)
{
    const Settings& settings = Settings::instance();
    if (line->downloadPath().isEmpty()) {
        const bool incomplete = settings.boolean(QStringLiteral("kUseIncompleteFolder"));
        line->setDownloadPath(incomplete ? AppPaths::incompletePath() : AppPaths::downloadPath());
        line->setShouldRelocateOnCompletion(incomplete);
    }
    // The session folder exists before the torrent starts, so that its first writes have a place.
    QString storeError;
    const bool stored = m_session.writeStorageInformation(*line, &storeError);

    EngineHost& host = EngineHost::instance();
    host.addDownload(line);
    const bool queued = settings.boolean(QStringLiteral("kDownloadQueueEnabled")) &&
                        host.numberOfDownloadingTorrents() > settings.integer(QStringLiteral("kDownloadQueueLimit"));
    const int state = queued ? TorrentLine::Waiting : TorrentLine::Downloading;
    // Files already there: keep the pieces that verify, and write nothing before that is known. On a disk
    // that is away they cannot be seen yet: the torrent halts, and the retry at the disk's return checks.
    const bool away = m_session.isOnUnattachedVolume(*line);
    const bool check = away || ExistingFilesCheck::anyHoldsData(*line);
    if (check)
        line->setStateAfterCheck(state);
    line->beginDownloadWithState(check && !away ? TorrentLine::Paused : state);
    // Its choices and its place in the queue outlast a crash from now on.
    line->writeStatePlist();
    if (!stored)
        SessionLifecycle::reportWriteFailure(*line, storeError);
    if (check)
        m_session.checkExistingFiles(*line);
    else if (PieceStore* store = line->pieceStore())
        store->createEmptyFiles();
    return stored;
}

void TorrentAdder::trashOriginals(const TorrentLineList& lines, const TorrentLineList& unsaved)
{
    if (!Settings::instance().boolean(QStringLiteral("kDeleteOriginalTorrent")))
        return;
    for (const TorrentLinePtr& line : lines)
        if (!line->torrentPath().isEmpty() && !unsaved.contains(line) && !QFile::moveToTrash(line->torrentPath()))
            qWarning("*** Could not move %s to the trash", qPrintable(line->torrentPath()));
}

}  // namespace ombrelay
