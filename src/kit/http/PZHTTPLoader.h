#pragma once

#include "kit/http/CurlMultiDriver.h"
#include "kit/http/HttpError.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

namespace ombrelay {

// One asynchronous HTTP request whose whole body is collected in memory and handed over when the response
// ends. Driven by the main event loop; never blocks. Users either subclass it and override
// handleCompletion/handleError, or connect to `completed`/`failed`; each load reports at most once.
class PZHTTPLoader : public QObject, private CurlTransfer
{
    Q_OBJECT
public:
    // Body caps by use; a larger body ends the load with HttpError::Kind::BodyTooLarge.
    static constexpr qint64 kTrackerBodyCap = 2 << 20;   // announces and scrapes
    static constexpr qint64 kPageBodyCap = 8 << 20;      // pages, feeds, suggestions (the default)
    static constexpr qint64 kTorrentFileBodyCap = 64 << 20;
    static constexpr qint64 kIconBodyCap = 256 << 10;
    static constexpr int kDefaultTimeoutMs = 60000;
    static constexpr int kMaxRedirects = 5;

    explicit PZHTTPLoader(QObject* parent = nullptr);
    ~PZHTTPLoader() override;

    // GET, or POST (form-encoded) when a body is given. Stops whatever this loader was running first.
    // An empty address or a scheme other than http/https fails on the next event-loop pass.
    void loadURL(const QUrl& url, const QByteArray& body = {});
    // The same for an address whose escapes must reach the server byte for byte (tracker queries),
    // which QUrl would normalise.
    void loadEncodedURL(const QByteArray& address, const QByteArray& body = {});
    // Stops the running load at once and drops the received bytes; no report follows.
    void killConnection();
    virtual bool isLoading() const;

    QUrl url() const { return m_url; }
    QByteArray data() const { return m_data; }  // null until the first body byte arrives
    int statusCode() const { return m_statusCode; }  // 0 until the response has ended
    bool needsMimeType() const { return m_needsMimeType; }
    void setNeedsMimeType(bool needs) { m_needsMimeType = needs; }
    QString mimeType() const { return m_mimeType; }  // kept only when needsMimeType is set
    HttpError error() const { return m_error; }

    // Extra request headers, sent with every later load of this loader.
    void setRequestHeaders(const QList<QPair<QByteArray, QByteArray>>& headers) { m_requestHeaders = headers; }
    // Asks for "identity,gzip,deflate" and hands over the decoded body; the body cap counts decoded bytes.
    void setAcceptsCompressedBody(bool accepts) { m_acceptsCompressedBody = accepts; }
    // The final response's "Last-Modified" and "ETag" headers; empty when absent or before it has ended.
    QByteArray lastModified() const { return m_lastModified; }
    QByteArray etag() const { return m_etag; }

    int timeoutMs() const { return m_timeoutMs; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    qint64 maxBodySize() const { return m_maxBodySize; }
    void setMaxBodySize(qint64 bytes) { m_maxBodySize = bytes; }
    // A load that receives nothing for this long, connecting or receiving, fails as timed out (whole
    // seconds once connected; 0: no such limit).
    int stallTimeoutMs() const { return m_stallTimeoutMs; }
    void setStallTimeoutMs(int ms) { m_stallTimeoutMs = ms; }

    static QByteArray browserUserAgent();
    // "Ombrelay/<build>", what trackers and feeds are sent.
    static QByteArray applicationUserAgent();
    // False when the user turned cookies off ("kDisableCookies").
    static bool userAllowsCookies();
    // Why an address cannot be loaded (none, a scheme other than http/https in any case, no host), or no error.
    static HttpError checkAddress(const QUrl& url);

signals:
    void completed(ombrelay::PZHTTPLoader* loader, const QByteArray& data);
    void failed(ombrelay::PZHTTPLoader* loader, const ombrelay::HttpError& error);
    // The first body bytes of a load arrived; emitted once per load, before its report.
    void receivedFirstBytes(ombrelay::PZHTTPLoader* loader);
    // Body bytes so far, and the length the response announced (-1 when it announced none). Sent from
    // inside the transfer: a receiver must not stop or delete the loader there.
    void progressed(qint64 received, qint64 expected);

protected:
    virtual QByteArray userAgent() const;
    virtual bool shouldSendCookies() const;
    virtual bool shouldAutoRedirect() const;
    virtual bool usePersistentConnection() const;
    // The reports. The base emits `completed` / `failed`; a subclass may handle them itself instead.
    virtual void handleCompletion();
    virtual void handleError();
    // Runs when a load ends (completion, error: before the report) and on every kill.
    virtual void loadEnded() {}

    // Where both loadURL variants go: `address` is what goes on the wire.
    virtual void load(const QUrl& url, const QByteArray& address, const QByteArray& body);
    // Starts the request to `address` without the checks of load.
    void startRequest(const QUrl& url, const QByteArray& address, const QByteArray& body);
    // The same, once the stored cookies are read in when this loader sends cookies.
    void startWithCookies(const QUrl& url, const QByteArray& address, const QByteArray& body);
    // Turns a completed load into an error report, for a subclass that finds the body unusable.
    void reportError(const HttpError& error);
    // Reports `error` on the next event-loop pass.
    void failSoon(const QUrl& url, HttpError error);
    QByteArray address() const { return m_address; }
    void setAddress(const QUrl& url, const QByteArray& address) { m_url = url; m_address = address; }

private:
    void curlTransferDone(CURLcode result) override;
    static size_t receive(char* bytes, size_t size, size_t count, void* loader);
    void abortTransfer();
    void releaseHandle();
    HttpError errorFor(CURLcode result) const;
    void announceFirstBytes();
    QByteArray responseHeader(const char* name) const;

    QUrl m_url;
    QByteArray m_address;
    QByteArray m_data;
    QByteArray m_postBody;
    int m_statusCode = 0;
    bool m_needsMimeType = false;
    QString m_mimeType;
    HttpError m_error;
    int m_timeoutMs = kDefaultTimeoutMs;
    int m_stallTimeoutMs = 0;
    qint64 m_maxBodySize = kPageBodyCap;
    bool m_bodyTooLarge = false;
    bool m_failurePending = false;
    quint64 m_starts = 0;             // a start waiting for the stored cookies runs only if still the last
    bool m_waitingForCookies = false;
    bool m_acceptsCompressedBody = false;
    QList<QPair<QByteArray, QByteArray>> m_requestHeaders;
    QByteArray m_lastModified;
    QByteArray m_etag;
    CURL* m_easy = nullptr;
    curl_slist* m_headers = nullptr;
};

}  // namespace ombrelay
