#include "search/MagnetResolver.h"

#include "engine/torrent/MagnetURL.h"
#include "engine/torrent/Metainfo.h"
#include "search/FileDownloader.h"
#include "search/HashScraper.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace ombrelay {

MagnetResolver::MagnetResolver(QObject* parent)
    : QObject(parent)
{
}

MagnetResolver::~MagnetResolver()
{
    stop();
}

void MagnetResolver::start(const QString& magnetAddress)
{
    m_infoHash = MagnetURL(magnetAddress).infoHash();
    m_lookup = new HashScraper(m_infoHash, this);
    connect(m_lookup, &HashScraper::potentialResult, this, &MagnetResolver::fetch);
    connect(m_lookup, &HashScraper::didComplete, this, [this] {
        m_lookupDone = true;
        finishIfExhausted();
    });
}

void MagnetResolver::fetch(const QString& address)
{
    if (m_finished || m_candidates.contains(address) || m_candidates.size() >= kMaxCandidates)
        return;
    m_candidates.insert(address);
    m_waiting.append(address);
    startWaitingFetches();
}

void MagnetResolver::startWaitingFetches()
{
    while (m_loaders.size() < kMaxRunningFetches && !m_waiting.isEmpty()) {
        auto* loader = new FileDownloader(QUrl(m_waiting.takeFirst()), this);
        m_loaders.insert(loader);
        connect(loader, &PZHTTPLoader::completed, this, [this](PZHTTPLoader* l) { candidateLoaded(l, false); });
        connect(loader, &PZHTTPLoader::failed, this, [this](PZHTTPLoader* l) { candidateLoaded(l, true); });
    }
}

void MagnetResolver::candidateLoaded(PZHTTPLoader* loader, bool failed)
{
    if (!m_loaders.remove(loader))
        return;
    loader->deleteLater();
    startWaitingFetches();
    if (failed || loader->data().isEmpty())
        return finishIfExhausted();
    ++m_pendingChecks;
    QPointer<MagnetResolver> guard(this);
    QThreadPool::globalInstance()->start([guard, address = loader->url().toString(QUrl::FullyEncoded),
                                          data = loader->data()] {
        const std::optional<Metainfo> metainfo = Metainfo::read(data);
        const QByteArray hash = metainfo ? metainfo->infoHash : QByteArray();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, address, data, hash] {
            if (guard)
                guard->checkCandidate(address, data, hash);
        }, Qt::QueuedConnection);
    });
}

void MagnetResolver::checkCandidate(const QString& address, const QByteArray& data, const QByteArray& infoHash)
{
    --m_pendingChecks;
    if (m_finished)
        return;
    if (infoHash.isEmpty() || infoHash != m_infoHash)
        return finishIfExhausted();
    m_finished = true;
    stop();
    emit resolved(address, data);
}

void MagnetResolver::finishIfExhausted()
{
    if (m_finished || !m_lookupDone || !m_loaders.isEmpty() || !m_waiting.isEmpty() || m_pendingChecks > 0)
        return;
    m_finished = true;
    stop();
    emit unresolved();
}

void MagnetResolver::stop()
{
    m_waiting.clear();
    for (PZHTTPLoader* loader : std::exchange(m_loaders, {})) {
        loader->disconnect(this);
        loader->killConnection();
        loader->deleteLater();
    }
    if (m_lookup) {
        m_lookup->disconnect(this);
        m_lookup->deleteLater();
    }
}

}  // namespace ombrelay
