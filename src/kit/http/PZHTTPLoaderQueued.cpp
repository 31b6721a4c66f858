#include "kit/http/PZHTTPLoaderQueued.h"

#include <QList>
#include <QRandomGenerator>

namespace ombrelay {
namespace {

struct Queue
{
    int current = 0;
    QList<PZHTTPLoaderQueued*> pending;  // each at most once; a loader leaves it before it is destroyed
};

Queue& queue()
{
    static Queue q;
    return q;
}

}  // namespace

PZHTTPLoaderQueued::PZHTTPLoaderQueued(QObject* parent)
    : PZHTTPLoader(parent)
{
    setTimeoutMs(kDefaultTimeoutMs);
}

PZHTTPLoaderQueued::~PZHTTPLoaderQueued()
{
    killConnection();  // gives the place back (or leaves the waiting list) while this is still queued
}

int PZHTTPLoaderQueued::currentLoaders()
{
    return queue().current;
}

int PZHTTPLoaderQueued::pendingLoaders()
{
    return int(queue().pending.size());
}

bool PZHTTPLoaderQueued::shouldSendCookies() const
{
    return userAllowsCookies();
}

void PZHTTPLoaderQueued::load(const QUrl& url, const QByteArray& address, const QByteArray& body)
{
    killConnection();
    m_body = body;
    if (checkAddress(url).isError())
        return PZHTTPLoader::load(url, address, body);  // reports the failure on the next pass, uncounted
    if (queue().current < kMaxLoaders) {
        ++queue().current;
        m_counted = true;
        startWithCookies(url, address, m_body);
    } else {
        setAddress(url, address);
        m_waiting = true;
        queue().pending.append(this);
    }
}

bool PZHTTPLoaderQueued::isLoading() const
{
    return m_waiting || PZHTTPLoader::isLoading();
}

void PZHTTPLoaderQueued::beginLoad()
{
    const QUrl waitingUrl = url();
    const QByteArray waitingAddress = address();
    const QByteArray waitingBody = m_body;
    load(waitingUrl, waitingAddress, waitingBody);
}

void PZHTTPLoaderQueued::loadEnded()
{
    if (m_waiting) {
        m_waiting = false;
        queue().pending.removeOne(this);
    }
    if (m_counted) {
        m_counted = false;
        --queue().current;
        drainQueue();
    }
}

void PZHTTPLoaderQueued::drainQueue()
{
    Queue& q = queue();
    while (q.current < kMaxLoaders && !q.pending.isEmpty()) {
        const auto index = QRandomGenerator::global()->bounded(qsizetype(q.pending.size()));
        PZHTTPLoaderQueued* next = q.pending.takeAt(index);
        next->m_waiting = false;
        next->beginLoad();
    }
}

}  // namespace ombrelay
