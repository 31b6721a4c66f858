#include "support/HttpTestServer.h"

#include "support/WaitUntil.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace ombrelay::test {
namespace {

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
constexpr qint64 kMaxBodyBytes = 64 * 1024 * 1024;

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

bool hasHeaderIn(const HttpHeaders& headers, const QByteArray& name)
{
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Parses the head (request line and header lines, without the blank line). False when unreadable.
bool parseHead(const QByteArray& head, HttpTestRequest& request)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> parts = lines.value(0).trimmed().split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1."))
        return false;
    request.method = parts[0];
    request.target = parts[1];
    QByteArray pathAndQuery = request.target;
    if (request.isAbsoluteForm()) {
        const qsizetype afterScheme = pathAndQuery.indexOf("://");
        const qsizetype slash = afterScheme < 0 ? -1 : pathAndQuery.indexOf('/', afterScheme + 3);
        pathAndQuery = slash < 0 ? QByteArray("/") : pathAndQuery.mid(slash);
    }
    const qsizetype question = pathAndQuery.indexOf('?');
    request.path = question < 0 ? pathAndQuery : pathAndQuery.left(question);
    request.query = question < 0 ? QByteArray() : pathAndQuery.mid(question + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return true;
}

}  // namespace

bool HttpTestRequest::hasHeader(const QByteArray& name) const
{
    return hasHeaderIn(headers, name);
}

QByteArray HttpTestRequest::header(const QByteArray& name) const
{
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

QByteArray HttpTestRequest::host() const
{
    QByteArray authority = header("Host");
    if (isAbsoluteForm()) {
        const qsizetype afterScheme = target.indexOf("://");
        const qsizetype slash = target.indexOf('/', afterScheme + 3);
        authority = target.mid(afterScheme + 3, slash < 0 ? -1 : slash - afterScheme - 3);
    }
    const qsizetype colon = authority.lastIndexOf(':');
    return (colon < 0 ? authority : authority.left(colon)).toLower();
}

HttpTestResponse HttpTestResponse::redirect(const QByteArray& location, int status)
{
    HttpTestResponse r;
    r.status = status;
    r.headers = {{"Location", location}};
    r.body = "moved";
    return r;
}

HttpTestServer::HttpTestServer(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpTestServer::accept);
}

HttpTestServer::~HttpTestServer()
{
    for (QTcpSocket* socket : m_state.keys())
        socket->disconnect(this);
}

bool HttpTestServer::listen()
{
    m_server.setListenBacklogSize(256);
    return m_server.listen(QHostAddress::LocalHost, 0);
}

quint16 HttpTestServer::port() const
{
    return m_server.serverPort();
}

QUrl HttpTestServer::url(const QByteArray& pathAndQuery) const
{
    return QUrl::fromEncoded("http://127.0.0.1:" + QByteArray::number(port()) + pathAndQuery);
}

void HttpTestServer::route(const QByteArray& path, const HttpTestResponse& response)
{
    route(path, [response](const HttpTestRequest&) { return response; });
}

void HttpTestServer::route(const QByteArray& path, Handler handler)
{
    m_routes.insert(path, std::move(handler));
}

void HttpTestServer::route(const QByteArray& host, const QByteArray& path, const HttpTestResponse& response)
{
    route(host, path, [response](const HttpTestRequest&) { return response; });
}

void HttpTestServer::route(const QByteArray& host, const QByteArray& path, Handler handler)
{
    m_hostRoutes.insert(host.toLower() + path, std::move(handler));
}

bool HttpTestServer::waitForRequests(int count, int timeoutMs)
{
    return waitUntil([&] { return requestCount() >= count; }, timeoutMs);
}

void HttpTestServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connections;
        socket->setParent(this);
        m_state.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_state.value(socket).busy)
                --m_open;
            m_state.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpTestServer::readFrom(QTcpSocket* socket)
{
    auto it = m_state.find(socket);
    if (it == m_state.end())
        return;
    it->buffer += socket->readAll();
    if (it->busy)
        return;
    if (!it->buffer.isEmpty() && !(it->buffer.at(0) >= 'A' && it->buffer.at(0) <= 'Z'))
        return socket->abort();  // not HTTP (a TLS greeting, say): reset at once
    const qsizetype headEnd = it->buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (it->buffer.size() > kMaxHeaderBytes)
            socket->abort();
        return;
    }
    HttpTestRequest request;
    if (!parseHead(it->buffer.left(headEnd), request)) {
        it->busy = true;
        ++m_open;
        return respond(socket, {400, {}, "bad request"}, true);
    }
    bool lengthOk = true;
    const qint64 length = request.hasHeader("Content-Length") ? request.header("Content-Length").toLongLong(&lengthOk) : 0;
    if (!lengthOk || length < 0 || length > kMaxBodyBytes)
        return socket->abort();
    const qsizetype total = headEnd + 4 + length;
    if (it->buffer.size() < total)
        return;
    request.body = it->buffer.mid(headEnd + 4, length);
    request.raw = it->buffer.left(total);
    it->buffer.remove(0, total);
    it->busy = true;
    ++m_open;
    m_maxOpen = std::max(m_maxOpen, m_open);
    m_requests.append(request);
    emit requestReceived(request);
    answer(socket, request);
}

void HttpTestServer::answer(QTcpSocket* socket, const HttpTestRequest& request)
{
    const Handler* handler = nullptr;
    if (const auto byHost = m_hostRoutes.constFind(request.host() + request.path); byHost != m_hostRoutes.constEnd())
        handler = &byHost.value();
    else if (const auto byPath = m_routes.constFind(request.path); byPath != m_routes.constEnd())
        handler = &byPath.value();
    else if (m_fallback)
        handler = &m_fallback;
    const HttpTestResponse response = handler ? (*handler)(request) : HttpTestResponse{404, {}, "not found"};
    if (response.silent)
        return;
    const bool close = response.closeDelimited || response.closeAfterBytes >= 0
        || request.header("Connection").compare("close", Qt::CaseInsensitive) == 0;
    if (response.delayMs <= 0)
        return respond(socket, response, close);
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(response.delayMs, this, [this, guard, response, close] {
        if (guard)
            respond(guard, response, close);
    });
}

void HttpTestServer::respond(QTcpSocket* socket, const HttpTestResponse& response, bool close)
{
    if (!m_state.contains(socket))
        return;
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonFor(response.status) + "\r\n";
    for (const auto& h : response.headers)
        bytes += h.first + ": " + h.second + "\r\n";
    if (!response.closeDelimited && !hasHeaderIn(response.headers, "Content-Length"))
        bytes += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (close)
        bytes += "Connection: close\r\n";
    bytes += "\r\n" + response.body;
    if (response.closeAfterBytes >= 0)
        bytes.truncate(response.closeAfterBytes);
    if (response.sliceBytes > 0) {
        const qsizetype head = bytes.size() - response.body.size();
        socket->write(bytes.left(head));
        return sendSlices(socket, bytes.mid(head), response, close);
    }
    socket->write(bytes);
    responseSent(socket, close);
}

void HttpTestServer::sendSlices(QTcpSocket* socket, QByteArray rest, const HttpTestResponse& response, bool close)
{
    socket->write(rest.left(response.sliceBytes));
    rest.remove(0, response.sliceBytes);
    if (rest.isEmpty())
        return responseSent(socket, close);
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(response.sliceIntervalMs, this, [this, guard, rest, response, close] {
        if (guard && m_state.contains(guard))
            sendSlices(guard, rest, response, close);
    });
}

void HttpTestServer::responseSent(QTcpSocket* socket, bool close)
{
    requestDone(socket);
    if (close)
        socket->disconnectFromHost();
    else if (!m_state.value(socket).buffer.isEmpty())
        QTimer::singleShot(0, socket, [this, socket] { readFrom(socket); });
}

void HttpTestServer::requestDone(QTcpSocket* socket)
{
    auto it = m_state.find(socket);
    if (it == m_state.end() || !it->busy)
        return;
    it->busy = false;
    --m_open;
}

}  // namespace ombrelay::test
