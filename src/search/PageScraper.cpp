#include "search/PageScraper.h"

#include "kit/TextHelpers.h"
#include "search/PageLinkScanner.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <cstdio>

namespace ombrelay {

PageScraper::PageScraper(const QUrl& address, const QByteArray& body, QObject* parent)
    : PZHTTPLoaderQueued(parent)
{
    loadURL(address, body);
}

bool PageScraper::isLoading() const
{
    return m_scanning || PZHTTPLoaderQueued::isLoading();
}

void PageScraper::handleCompletion()
{
    m_scanning = true;
    QPointer<PageScraper> guard(this);
    QThreadPool::globalInstance()->start([guard, bytes = data(), page = url()] {
        const PageLinkScanner::Result result = PageLinkScanner::extractLinks(stringWithData(bytes), page);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, result, page] {
            if (!guard)
                return;
            if (result.truncated)
                fprintf(stderr, "*** More than %d torrent links on %s; the rest are ignored\n",
                        PageLinkScanner::kMaxLinksPerPage, qPrintable(page.toString()));
            guard->m_scanning = false;
            guard->m_torrentLinks = result.links;
            emit guard->finished(guard);
        }, Qt::QueuedConnection);
    });
}

void PageScraper::handleError()
{
    emit finished(this);
}

}  // namespace ombrelay
