#include "kit/http/CurlMultiDriver.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

namespace ombrelay {

CurlMultiDriver& CurlMultiDriver::instance()
{
    Q_ASSERT(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread());
    // Never destroyed: loaders may outlive static destruction order, and curl is released at exit anyway.
    static CurlMultiDriver* driver = new CurlMultiDriver;
    return *driver;
}

CurlMultiDriver::CurlMultiDriver()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMultiDriver::socketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMultiDriver::timerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CurlMultiDriver::timedOut);
}

bool CurlMultiDriver::add(CURL* easy)
{
    return curl_multi_add_handle(m_multi, easy) == CURLM_OK;
}

void CurlMultiDriver::remove(CURL* easy)
{
    curl_multi_remove_handle(m_multi, easy);
}

int CurlMultiDriver::socketCallback(CURL*, curl_socket_t fd, int what, void* driver, void*)
{
    static_cast<CurlMultiDriver*>(driver)->watch(fd, what);
    return 0;
}

int CurlMultiDriver::timerCallback(CURLM*, long timeoutMs, void* driver)
{
    // Runs inside curl: only arm the timer, the action follows from the event loop.
    auto& timer = static_cast<CurlMultiDriver*>(driver)->m_timer;
    if (timeoutMs < 0)
        timer.stop();
    else
        timer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void CurlMultiDriver::watch(curl_socket_t fd, int what)
{
    // A notifier may be the one whose signal is being delivered: disable it now, delete it later, so that
    // a new socket on a reused descriptor gets notifiers of its own.
    auto retire = [](QSocketNotifier*& n) {
        if (!n)
            return;
        n->setEnabled(false);
        n->deleteLater();
        n = nullptr;
    };
    if (what == CURL_POLL_REMOVE) {
        auto it = m_sockets.find(fd);
        if (it != m_sockets.end()) {
            retire(it->read);
            retire(it->write);
            m_sockets.erase(it);
        }
        return;
    }
    Watch& w = m_sockets[fd];
    auto ensure = [this, fd](QSocketNotifier*& n, QSocketNotifier::Type type, int event) {
        if (n)
            return;
        n = new QSocketNotifier(fd, type, this);
        connect(n, &QSocketNotifier::activated, this, [this, fd, event] { socketReady(fd, event); });
    };
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (wantRead)
        ensure(w.read, QSocketNotifier::Read, CURL_CSELECT_IN);
    if (wantWrite)
        ensure(w.write, QSocketNotifier::Write, CURL_CSELECT_OUT);
    if (w.read)
        w.read->setEnabled(wantRead);
    if (w.write)
        w.write->setEnabled(wantWrite);
}

void CurlMultiDriver::socketReady(curl_socket_t fd, int event)
{
    int running = 0;
    curl_multi_socket_action(m_multi, fd, event, &running);
    reportFinished();
}

void CurlMultiDriver::timedOut()
{
    int running = 0;
    curl_multi_socket_action(m_multi, CURL_SOCKET_TIMEOUT, 0, &running);
    reportFinished();
}

void CurlMultiDriver::reportFinished()
{
    // One message at a time: a report may remove other handles, and removing a handle drops its message.
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        CURL* easy = msg->easy_handle;
        const CURLcode result = msg->data.result;
        CurlTransfer* owner = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char**>(&owner));
        curl_multi_remove_handle(m_multi, easy);
        if (owner)
            owner->curlTransferDone(result);
    }
}

}  // namespace ombrelay
