#include "kit/http/PZHTTPLoader.h"

#include "kit/OBDefaults.h"
#include "kit/PZVersionChecker.h"
#include "kit/PerformLater.h"
#include "kit/http/HttpCookieStore.h"

#include <QPointer>

#include <cstdio>
#include <utility>

namespace ombrelay {
namespace {

const QString kFailureKey = QStringLiteral("PZHTTPLoader.failure");
const QString kFirstBytesKey = QStringLiteral("PZHTTPLoader.firstBytes");

}  // namespace

PZHTTPLoader::PZHTTPLoader(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<ombrelay::HttpError>();
}

PZHTTPLoader::~PZHTTPLoader()
{
    PerformLater::cancel(this);
    abortTransfer();
}

QByteArray PZHTTPLoader::browserUserAgent()
{
    return "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_7_2) AppleWebKit/534.51.22 (KHTML, like Gecko) "
           "Version/5.1.1 Safari/534.51.22";
}

QByteArray PZHTTPLoader::applicationUserAgent()
{
    return "Ombrelay/" + PZVersionChecker::applicationBuildVersion().toLatin1();
}

bool PZHTTPLoader::userAllowsCookies()
{
    return !OBDefaults::kDisableCookies();
}

QByteArray PZHTTPLoader::userAgent() const
{
    return browserUserAgent();
}

bool PZHTTPLoader::shouldSendCookies() const
{
    return false;
}

bool PZHTTPLoader::shouldAutoRedirect() const
{
    return false;
}

bool PZHTTPLoader::usePersistentConnection() const
{
    return false;
}

bool PZHTTPLoader::isLoading() const
{
    return m_easy || m_failurePending || m_waitingForCookies;
}

void PZHTTPLoader::loadURL(const QUrl& url, const QByteArray& body)
{
    load(url, url.toEncoded(), body);
}

void PZHTTPLoader::loadEncodedURL(const QByteArray& address, const QByteArray& body)
{
    load(QUrl::fromEncoded(address), address, body);
}

void PZHTTPLoader::load(const QUrl& url, const QByteArray& address, const QByteArray& body)
{
    killConnection();
    const HttpError refusal = checkAddress(url);
    if (refusal.isError())
        return failSoon(url, refusal);
    startWithCookies(url, address, body);
}

void PZHTTPLoader::startWithCookies(const QUrl& url, const QByteArray& address, const QByteArray& body)
{
    if (!shouldSendCookies())
        return startRequest(url, address, body);
    const quint64 start = ++m_starts;
    m_waitingForCookies = true;
    HttpCookieStore::whenFilled(this, [this, start, url, address, body] {
        if (m_starts != start)
            return;  // stopped or replaced meanwhile
        m_waitingForCookies = false;
        startRequest(url, address, body);
    });
}

HttpError PZHTTPLoader::checkAddress(const QUrl& url)
{
    if (url.isEmpty() || !url.isValid())
        return {HttpError::Kind::NoAddress, QStringLiteral("no address")};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {HttpError::Kind::UnsupportedScheme, QStringLiteral("unsupported scheme \"%1\"").arg(url.scheme())};
    if (url.host().isEmpty())
        return {HttpError::Kind::NoAddress, QStringLiteral("no host in %1").arg(url.toString())};
    return {};
}

void PZHTTPLoader::failSoon(const QUrl& url, HttpError error)
{
    setAddress(url, url.toEncoded());
    m_failurePending = true;
    PerformLater::schedule(this, [this, error] {
        m_failurePending = false;
        m_error = error;
        loadEnded();
        handleError();
    }, 0, kFailureKey);
}

void PZHTTPLoader::startRequest(const QUrl& url, const QByteArray& address, const QByteArray& body)
{
    setAddress(url, address);
    m_data = {};
    m_statusCode = 0;
    m_mimeType.clear();
    m_error = {};
    m_bodyTooLarge = false;
    m_postBody = body;
    m_lastModified.clear();
    m_etag.clear();

    m_easy = curl_easy_init();
    if (!m_easy) {
        fprintf(stderr, "*** HTTP request could not start: %s\n", qPrintable(m_url.toString()));
        return failSoon(m_url, {HttpError::Kind::Network, QStringLiteral("could not start the request")});
    }
    curl_easy_setopt(m_easy, CURLOPT_URL, m_address.constData());
    curl_easy_setopt(m_easy, CURLOPT_PRIVATE, static_cast<CurlTransfer*>(this));
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_easy, CURLOPT_USERAGENT, userAgent().constData());
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &PZHTTPLoader::receive);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_TIMEOUT_MS, long(std::max(1, m_timeoutMs)));
    curl_easy_setopt(m_easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(m_maxBodySize));
    if (m_stallTimeoutMs > 0) {
        curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, long(m_stallTimeoutMs));  // no answer at all: as silent
        curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_TIME, long(std::max(1, m_stallTimeoutMs / 1000)));
    }
    if (!usePersistentConnection())
        curl_easy_setopt(m_easy, CURLOPT_FORBID_REUSE, 1L);
    if (shouldAutoRedirect()) {
        curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(m_easy, CURLOPT_MAXREDIRS, long(kMaxRedirects));
        curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    }
    if (shouldSendCookies())
        HttpCookieStore::attach(m_easy, m_url.host());
    if (m_acceptsCompressedBody)
        curl_easy_setopt(m_easy, CURLOPT_ACCEPT_ENCODING, "identity,gzip,deflate");
    if (!m_postBody.isNull()) {
        curl_easy_setopt(m_easy, CURLOPT_POST, 1L);
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_postBody.size()));
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDS, m_postBody.constData());
        m_headers = curl_slist_append(m_headers, "Content-Type: application/x-www-form-urlencoded");
        m_headers = curl_slist_append(m_headers, "Expect:");
    }
    for (const auto& [name, value] : std::as_const(m_requestHeaders)) {
        // A line break would start a header of the caller's choosing.
        if (name.contains('\n') || name.contains('\r') || value.contains('\n') || value.contains('\r'))
            continue;
        m_headers = curl_slist_append(m_headers, (name + ": " + value).constData());
    }
    if (m_headers)
        curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headers);
    if (!CurlMultiDriver::instance().add(m_easy)) {
        fprintf(stderr, "*** HTTP request could not start: %s\n", qPrintable(m_url.toString()));
        releaseHandle();
        failSoon(m_url, {HttpError::Kind::Network, QStringLiteral("could not start the request")});
    }
}

size_t PZHTTPLoader::receive(char* bytes, size_t size, size_t count, void* context)
{
    auto* loader = static_cast<PZHTTPLoader*>(context);
    const size_t length = size * count;
    if (qint64(length) > loader->m_maxBodySize - loader->m_data.size()) {
        loader->m_bodyTooLarge = true;
        return 0;  // curl ends the transfer with a write error
    }
    if (loader->m_data.isNull()) {
        loader->m_data = QByteArray("");  // not null from now on, even when empty
        // Inside curl: the signal goes out from the event loop, or just before the report.
        PerformLater::schedule(loader, [loader] { loader->announceFirstBytes(); }, 0, kFirstBytesKey);
    }
    loader->m_data.append(bytes, qsizetype(length));
    curl_off_t expected = -1;
    if (curl_easy_getinfo(loader->m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected) != CURLE_OK)
        expected = -1;
    emit loader->progressed(loader->m_data.size(), qint64(expected));
    return length;
}

void PZHTTPLoader::announceFirstBytes()
{
    PerformLater::cancel(this, kFirstBytesKey);
    emit receivedFirstBytes(this);
}

QByteArray PZHTTPLoader::responseHeader(const char* name) const
{
    curl_header* header = nullptr;
    if (curl_easy_header(m_easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header || !header->value)
        return {};
    return QByteArray(header->value).trimmed();
}

void PZHTTPLoader::killConnection()
{
    PerformLater::cancel(this, kFailureKey);
    PerformLater::cancel(this, kFirstBytesKey);
    m_failurePending = false;
    ++m_starts;
    m_waitingForCookies = false;
    abortTransfer();
    m_data = {};
    loadEnded();
}

void PZHTTPLoader::abortTransfer()
{
    if (m_easy)
        CurlMultiDriver::instance().remove(m_easy);
    releaseHandle();
}

void PZHTTPLoader::releaseHandle()
{
    if (m_easy) {
        curl_easy_cleanup(m_easy);
        m_easy = nullptr;
    }
    if (m_headers) {
        curl_slist_free_all(m_headers);
        m_headers = nullptr;
    }
    m_postBody = {};
}

void PZHTTPLoader::curlTransferDone(CURLcode result)
{
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    char* contentType = nullptr;
    if (m_needsMimeType && curl_easy_getinfo(m_easy, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
        m_mimeType = QString::fromLatin1(contentType);
    m_lastModified = responseHeader("Last-Modified");
    m_etag = responseHeader("ETag");
    releaseHandle();
    loadEnded();
    const QPointer<PZHTTPLoader> alive(this);
    if (PerformLater::isScheduled(this, kFirstBytesKey))
        announceFirstBytes();
    if (!alive)
        return;
    if (result == CURLE_OK) {
        m_statusCode = int(status);
        handleCompletion();
    } else {
        m_error = errorFor(result);
        handleError();
    }
}

HttpError PZHTTPLoader::errorFor(CURLcode result) const
{
    const QString text = QString::fromLatin1(curl_easy_strerror(result));
    if (m_bodyTooLarge || result == CURLE_FILESIZE_EXCEEDED)
        return {HttpError::Kind::BodyTooLarge, QStringLiteral("response larger than %1 bytes").arg(m_maxBodySize)};
    if (result == CURLE_OPERATION_TIMEDOUT)
        return {HttpError::Kind::TimedOut, text};
    if (result == CURLE_TOO_MANY_REDIRECTS)
        return {HttpError::Kind::TooManyRedirects, text};
    if (result == CURLE_UNSUPPORTED_PROTOCOL)
        return {HttpError::Kind::UnsupportedScheme, text};
    return {HttpError::Kind::Network, text};
}

void PZHTTPLoader::reportError(const HttpError& error)
{
    m_error = error;
    handleError();
}

void PZHTTPLoader::handleCompletion()
{
    emit completed(this, m_data);
}

void PZHTTPLoader::handleError()
{
    emit failed(this, m_error);
}

}  // namespace ombrelay
