#pragma once

#include <curl/curl.h>

#include <QHash>
#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace ombrelay {

// Whoever owns an easy handle handed to the driver; its address is the handle's CURLOPT_PRIVATE.
class CurlTransfer
{
public:
    // The handle has left the multi handle when this runs; the owner may free it, start new transfers or
    // destroy other transfers.
    virtual void curlTransferDone(CURLcode result) = 0;

protected:
    ~CurlTransfer() = default;
};

// libcurl's multi interface driven by the Qt event loop: a socket notifier per socket curl watches and one
// timer for curl's time-outs. Main thread only; every CurlTransfer callback runs on it, never inside curl.
class CurlMultiDriver : public QObject
{
    Q_OBJECT
public:
    static CurlMultiDriver& instance();

    // `easy` must carry a CurlTransfer* as CURLOPT_PRIVATE. Returns false when curl refuses the handle.
    bool add(CURL* easy);
    // Takes a running handle out without a report; the caller then frees it.
    void remove(CURL* easy);

private:
    CurlMultiDriver();

    struct Watch
    {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    static int socketCallback(CURL* easy, curl_socket_t fd, int what, void* driver, void* socketData);
    static int timerCallback(CURLM* multi, long timeoutMs, void* driver);
    void watch(curl_socket_t fd, int what);
    void socketReady(curl_socket_t fd, int event);
    void timedOut();
    void reportFinished();

    CURLM* m_multi = nullptr;
    QTimer m_timer;
    QHash<curl_socket_t, Watch> m_sockets;
};

}  // namespace ombrelay
