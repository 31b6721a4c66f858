#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

namespace ombrelay::test {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// One request as the server read it.
struct HttpTestRequest
{
    QByteArray method;
    QByteArray target;  // as sent: "/a?b", or "http://host/a?b" when asked as a proxy
    QByteArray path;    // the target's path, without the query
    QByteArray query;   // after "?", still escaped
    HttpHeaders headers;
    QByteArray body;
    QByteArray raw;     // request line, headers and body exactly as received

    // The host asked for: from an absolute-form target, else the Host header; without a port.
    QByteArray host() const;

    bool isAbsoluteForm() const { return !target.startsWith('/'); }
    bool hasHeader(const QByteArray& name) const;
    QByteArray header(const QByteArray& name) const;  // first value, case-insensitive name
};

// What a route answers.
struct HttpTestResponse
{
    int status = 200;
    HttpHeaders headers;       // Content-Length is added unless closeDelimited
    QByteArray body;
    int delayMs = 0;           // wait before answering
    bool silent = false;       // never answer (the connection stays open)
    qint64 closeAfterBytes = -1;  // send only this many bytes of the response, then close
    bool closeDelimited = false;  // no Content-Length: the body ends when the connection closes
    qint64 sliceBytes = 0;     // above 0: the body goes out this many bytes at a time, one slice per sliceIntervalMs
    int sliceIntervalMs = 0;

    static HttpTestResponse redirect(const QByteArray& location, int status = 302);
};

// A small HTTP/1.1 server on 127.0.0.1 for tests: scripted routes by path, every request recorded. It also
// answers absolute-form requests ("GET http://host/x"), so it can stand as an HTTP proxy. Unknown paths get 404.
class HttpTestServer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<HttpTestResponse(const HttpTestRequest&)>;

    explicit HttpTestServer(QObject* parent = nullptr);
    ~HttpTestServer() override;

    bool listen();  // on 127.0.0.1, a free port
    quint16 port() const;
    QUrl url(const QByteArray& pathAndQuery = "/") const;

    void route(const QByteArray& path, const HttpTestResponse& response);
    void route(const QByteArray& path, Handler handler);
    // A route for one host only (as a proxy sees it); it wins over a route by path alone.
    void route(const QByteArray& host, const QByteArray& path, const HttpTestResponse& response);
    void route(const QByteArray& host, const QByteArray& path, Handler handler);
    // What every request that no route takes gets (404 when none is set).
    void setFallback(Handler handler) { m_fallback = std::move(handler); }

    QList<HttpTestRequest> requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    int connectionCount() const { return m_connections; }
    int maxOpenRequests() const { return m_maxOpen; }

    // Spins the event loop until `count` requests arrived or the time is up.
    bool waitForRequests(int count, int timeoutMs = 5000);

signals:
    void requestReceived(const ombrelay::test::HttpTestRequest& request);

private:
    struct Connection
    {
        QByteArray buffer;  // from the start of the request being read
        bool busy = false;  // a request is being answered
    };

    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const HttpTestRequest& request);
    void respond(QTcpSocket* socket, const HttpTestResponse& response, bool close);
    void sendSlices(QTcpSocket* socket, QByteArray rest, const HttpTestResponse& response, bool close);
    void responseSent(QTcpSocket* socket, bool close);
    void requestDone(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QByteArray, Handler> m_routes;
    QHash<QByteArray, Handler> m_hostRoutes;  // keyed "host" + path
    Handler m_fallback;
    QHash<QTcpSocket*, Connection> m_state;
    QList<HttpTestRequest> m_requests;
    int m_connections = 0;
    int m_open = 0;
    int m_maxOpen = 0;
};

}  // namespace ombrelay::test
