#include "kit/Settings.h"
#include "kit/http/HttpCookieStore.h"
#include "kit/http/PZHTTPLoader.h"
#include "kit/http/PZHTTPLoaderQueued.h"
#include "LoadRecorder.h"
#include "support/HttpTestServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class RedirectingLoader : public PZHTTPLoader
{
protected:
    bool shouldAutoRedirect() const override { return true; }
};

class CustomAgentLoader : public PZHTTPLoader
{
protected:
    QByteArray userAgent() const override { return "Ombrelay/2168"; }
};

class CookieLoader : public PZHTTPLoader
{
protected:
    bool shouldSendCookies() const override { return true; }
};

class HttpLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Settings::useFile(dir.filePath("Ombrelay.conf"));  // cookies allowed, whatever the user chose
        ASSERT_TRUE(server.listen());
    }
    QTemporaryDir dir;
    HttpTestServer server;
};

HttpTestResponse closeDelimited(const QByteArray& body)
{
    HttpTestResponse response{200, {}, body};
    response.closeDelimited = true;
    return response;
}

// A load ends in a completion whatever the status, or in a failure of its kind.
TEST_F(HttpLoaderTest, ResponsesEndInACompletionOrAFailureOfTheirKind)
{
    const qint64 cap = 1000;
    const HttpTestResponse missing{404, {{"Content-Type", "text/html"}}, "<p>gone</p>"};
    HttpTestResponse cut{200, {}, QByteArray(900, 'x')};
    cut.closeAfterBytes = 400;  // inside the body announced with Content-Length 900
    HttpTestResponse silent;
    silent.silent = true;
    struct Case
    {
        const char* path;
        HttpTestResponse response;
        std::optional<HttpError::Kind> failure;  // none: completes with the response's status and body
        bool needsMimeType = false;
        int timeoutMs = 60000;
    };
    const Case cases[] = {
        {"/missing", missing, {}},
        {"/missing-typed", missing, {}, true},
        {"/empty", closeDelimited({}), {}},
        {"/fits", {200, {}, QByteArray(cap, 'b')}, {}},
        {"/fits-close", closeDelimited(QByteArray(cap, 'b')), {}},
        {"/over", {200, {}, QByteArray(cap + 1, 'b')}, HttpError::Kind::BodyTooLarge},  // from its Content-Length
        {"/over-close", closeDelimited(QByteArray(50 * cap, 'b')), HttpError::Kind::BodyTooLarge},  // streaming in
        {"/cut", cut, HttpError::Kind::Network},
        {"/silent", silent, HttpError::Kind::TimedOut, false, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        server.route(c.path, c.response);
        PZHTTPLoader loader;
        loader.setNeedsMimeType(c.needsMimeType);
        loader.setMaxBodySize(cap);
        loader.setTimeoutMs(c.timeoutMs);
        LoadRecorder rec(loader);
        loader.loadURL(server.url(c.path));
        ASSERT_TRUE(rec.wait());
        if (c.failure) {
            EXPECT_EQ(rec.errors, 1);
            EXPECT_EQ(rec.error.kind, *c.failure);
            continue;
        }
        EXPECT_EQ(rec.completions, 1);
        EXPECT_EQ(loader.statusCode(), c.response.status);
        EXPECT_EQ(rec.data, c.response.body);
        EXPECT_EQ(loader.data().isNull(), c.response.body.isEmpty());
        EXPECT_EQ(loader.mimeType(), c.needsMimeType ? QString("text/html") : QString());
    }
    EXPECT_EQ(PZHTTPLoader().timeoutMs(), 60000);
    EXPECT_EQ(PZHTTPLoader().maxBodySize(), PZHTTPLoader::kPageBodyCap);
}

TEST_F(HttpLoaderTest, GetRequestCarriesUserAgentAndNoCookie)
{
    HttpCookieStore::setCookie(cookie("127.0.0.1", "/", "session", "secret"));
    // Every answer sets a cookie, which no later request carries: loaders never keep what responses set.
    server.route("/page", HttpTestResponse{200, {{"Set-Cookie", "fresh=1; Path=/"}}, "page"});
    struct Case { const char* name; std::unique_ptr<PZHTTPLoader> loader; QByteArray agent; bool cookie; bool filling = false; };
    Case cases[] = {
        {"plain", std::make_unique<PZHTTPLoader>(), PZHTTPLoader::browserUserAgent(), false},
        {"own agent", std::make_unique<CustomAgentLoader>(), "Ombrelay/2168", false},
        {"sends cookies", std::make_unique<CookieLoader>(), PZHTTPLoader::browserUserAgent(), true},
        {"sends them again", std::make_unique<CookieLoader>(), PZHTTPLoader::browserUserAgent(), true},
        {"waits for the stored ones being read", std::make_unique<CookieLoader>(), PZHTTPLoader::browserUserAgent(), true, true},
        {"queued, waits for them too", std::make_unique<PZHTTPLoaderQueued>(), PZHTTPLoader::browserUserAgent(), true, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadRecorder rec(*c.loader);
        const int before = server.requestCount();
        if (c.filling) {
            HttpCookieStore::clear();
            HttpCookieStore::beginFilling();
        }
        c.loader->loadURL(server.url("/page?q=1"));
        if (c.filling) {
            spinFor(300);
            EXPECT_EQ(server.requestCount(), before) << "sent before the stored cookies were in";
            EXPECT_TRUE(c.loader->isLoading());
            HttpCookieStore::setCookie(cookie("127.0.0.1", "/", "session", "secret"));
            HttpCookieStore::endFilling();
        }
        ASSERT_TRUE(rec.wait());
        ASSERT_EQ(server.requestCount(), before + 1);
        const HttpTestRequest req = server.requests().last();
        EXPECT_EQ(req.method, "GET");
        EXPECT_EQ(req.target, "/page?q=1");
        EXPECT_EQ(req.header("User-Agent"), c.agent);
        EXPECT_EQ(req.header("Cookie"), c.cookie ? QByteArray("session=secret") : QByteArray());
        EXPECT_EQ(req.hasHeader("Cookie"), c.cookie);
    }
    HttpCookieStore::clear();
}

TEST_F(HttpLoaderTest, PostCarriesFormBody)
{
    server.route("/search", HttpTestResponse{200, {}, "results"});
    PZHTTPLoader loader;
    LoadRecorder rec(loader);
    const QByteArray body = "q=ubuntu+iso&page=" + QByteArray(3000, '2');
    loader.loadURL(server.url("/search"), body);
    ASSERT_TRUE(rec.wait());
    EXPECT_EQ(rec.data, "results");
    ASSERT_EQ(server.requestCount(), 1);
    const HttpTestRequest req = server.requests().first();
    EXPECT_EQ(req.method, "POST");
    EXPECT_EQ(req.body, body);
    EXPECT_EQ(req.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_FALSE(req.hasHeader("Expect"));
}

TEST_F(HttpLoaderTest, RedirectsFollowedOnlyWhenAskedAndAtMostFive)
{
    // /hop/N redirects to /hop/N-1; /hop/0 is the page.
    for (int n = 1; n <= 6; ++n)
        server.route("/hop/" + QByteArray::number(n), HttpTestResponse::redirect("/hop/" + QByteArray::number(n - 1)));
    server.route("/hop/0", HttpTestResponse{200, {}, "arrived"});

    PZHTTPLoader plain;
    LoadRecorder plainRec(plain);
    plain.loadURL(server.url("/hop/1"));
    ASSERT_TRUE(plainRec.wait());
    EXPECT_EQ(plainRec.completions, 1);
    EXPECT_EQ(plain.statusCode(), 302);
    EXPECT_EQ(plainRec.data, "moved");
    EXPECT_EQ(server.requestCount(), 1);

    struct Case { int hops; bool completes; } cases[] = {{1, true}, {5, true}, {6, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hops);
        RedirectingLoader loader;
        LoadRecorder rec(loader);
        loader.loadURL(server.url("/hop/" + QByteArray::number(c.hops)));
        ASSERT_TRUE(rec.wait());
        if (c.completes) {
            EXPECT_EQ(rec.completions, 1);
            EXPECT_EQ(loader.statusCode(), 200);
            EXPECT_EQ(rec.data, "arrived");
        } else {
            EXPECT_EQ(rec.errors, 1);
            EXPECT_EQ(rec.error.kind, HttpError::Kind::TooManyRedirects);
        }
    }
}

TEST_F(HttpLoaderTest, ProxyFromEnvironmentGetsAbsoluteForm)
{
    server.route("/x", HttpTestResponse{200, {}, "via proxy"});
    const QByteArray proxy = "http://127.0.0.1:" + QByteArray::number(server.port());
    qputenv("http_proxy", proxy);
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    PZHTTPLoader loader;
    LoadRecorder rec(loader);
    loader.loadURL(QUrl("http://example.invalid/x"));
    ASSERT_TRUE(rec.wait());
    qunsetenv("http_proxy");
    EXPECT_EQ(rec.completions, 1);
    EXPECT_EQ(rec.data, "via proxy");
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().first().target, "http://example.invalid/x");
    EXPECT_EQ(server.requests().first().header("Host"), "example.invalid");
}

TEST_F(HttpLoaderTest, UnloadableAddressesFailOnTheNextPass)
{
    server.route("/upper", HttpTestResponse{200, {}, "upper"});
    struct Case { QUrl url; HttpError::Kind kind; } cases[] = {
        {QUrl(), HttpError::Kind::NoAddress},
        {QUrl("http://"), HttpError::Kind::NoAddress},
        {QUrl("ftp://127.0.0.1/file"), HttpError::Kind::UnsupportedScheme},
        {QUrl("magnet:?xt=urn:btih:0000"), HttpError::Kind::UnsupportedScheme},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toString().toStdString());
        PZHTTPLoader loader;
        LoadRecorder rec(loader);
        loader.loadURL(c.url);
        EXPECT_EQ(rec.reports(), 0);  // never from inside loadURL
        EXPECT_TRUE(loader.isLoading());
        ASSERT_TRUE(rec.wait(1000));
        EXPECT_EQ(rec.errors, 1);
        EXPECT_EQ(rec.error.kind, c.kind);
        EXPECT_FALSE(loader.isLoading());
    }
    // The scheme is not case-sensitive.
    PZHTTPLoader loader;
    LoadRecorder rec(loader);
    loader.loadURL(QUrl("HTTP://127.0.0.1:" + QString::number(server.port()) + "/upper"));
    ASSERT_TRUE(rec.wait());
    EXPECT_EQ(rec.data, "upper");
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(HttpLoaderTest, KilledLoadNeverReports)
{
    HttpTestResponse slow{200, {}, "late"};
    slow.delayMs = 200;
    server.route("/slow", slow);
    PZHTTPLoader loader;
    LoadRecorder rec(loader);
    loader.loadURL(server.url("/slow"));
    ASSERT_TRUE(server.waitForRequests(1));
    loader.killConnection();
    EXPECT_FALSE(loader.isLoading());
    spinFor(500);
    EXPECT_EQ(rec.reports(), 0);

    loader.loadURL(QUrl("ftp://127.0.0.1/x"));  // a pending failure report is killed too
    loader.killConnection();
    spinFor(100);
    EXPECT_EQ(rec.reports(), 0);

    // Loaded again after a kill, it reports normally.
    loader.loadURL(server.url("/slow"));
    ASSERT_TRUE(rec.wait());
    EXPECT_EQ(rec.data, "late");
}

TEST_F(HttpLoaderTest, LoaderMayBeDeletedInsideItsReport)
{
    server.route("/a", HttpTestResponse{200, {}, "a"});
    int reports = 0;
    for (const char* path : {"/a", "ftp://x/"}) {
        auto* loader = new PZHTTPLoader;
        QObject::connect(loader, &PZHTTPLoader::completed, [&](PZHTTPLoader* l, const QByteArray&) { ++reports; delete l; });
        QObject::connect(loader, &PZHTTPLoader::failed, [&](PZHTTPLoader* l, const HttpError&) { ++reports; delete l; });
        loader->loadURL(QByteArray(path).startsWith('/') ? server.url(path) : QUrl(path));
    }
    EXPECT_TRUE(waitUntil([&] { return reports == 2; }));
}

TEST(HttpCookieStore, RefusesUnsafeCookies)
{
    EXPECT_FALSE(HttpCookieStore::setCookie(cookie("", "/", "a", "b")));
    EXPECT_FALSE(HttpCookieStore::setCookie(cookie("example.org", "/", "", "b")));
    EXPECT_FALSE(HttpCookieStore::setCookie(cookie("example.org", "/", "a", "b\nSet-Cookie: x")));
    EXPECT_FALSE(HttpCookieStore::setCookie(cookie("example.org\t", "/", "a", "b")));
    EXPECT_TRUE(HttpCookieStore::setCookie(cookie(".example.org", "/", "a", "b")));
    HttpCookieStore::clear();
}

}  // namespace

TEST_F(HttpLoaderTest, HeadersValidatorsAndFirstBytesOfALoad)
{
    server.route("/doc", HttpTestResponse{200, {{"Last-Modified", "Tue, 14 Nov 2023 10:00:00 GMT"}, {"ETag", "\"v1\""}},
                                          "body"});
    server.route("/bare", HttpTestResponse{200, {}, "x"});
    PZHTTPLoader loader;
    int firstBytes = 0;
    int reportsAtFirstBytes = -1;
    LoadRecorder rec(loader);
    QObject::connect(&loader, &PZHTTPLoader::receivedFirstBytes, [&] {
        ++firstBytes;
        reportsAtFirstBytes = rec.reports();
    });
    loader.setRequestHeaders({{"If-None-Match", "\"v0\""}, {"X-Bad", "a\r\nInjected: 1"}});
    loader.loadURL(server.url("/doc"));
    ASSERT_TRUE(rec.wait());
    EXPECT_EQ(firstBytes, 1);
    EXPECT_EQ(reportsAtFirstBytes, 0);  // before the report
    EXPECT_EQ(loader.lastModified(), "Tue, 14 Nov 2023 10:00:00 GMT");
    EXPECT_EQ(loader.etag(), "\"v1\"");
    const HttpTestRequest request = server.requests().last();
    EXPECT_EQ(request.header("If-None-Match"), "\"v0\"");
    EXPECT_FALSE(request.hasHeader("X-Bad"));
    EXPECT_FALSE(request.hasHeader("Injected"));
    EXPECT_FALSE(request.hasHeader("Accept-Encoding"));

    // A later load forgets the validators of the last one.
    loader.loadURL(server.url("/bare"));
    ASSERT_TRUE(waitUntil([&] { return rec.reports() == 2; }));
    EXPECT_TRUE(loader.lastModified().isEmpty());
    EXPECT_TRUE(loader.etag().isEmpty());
    EXPECT_EQ(firstBytes, 2);
}

TEST_F(HttpLoaderTest, CompressedBodiesAreDecodedAndCappedDecoded)
{
    const QByteArray text = QByteArray("feed entry ").repeated(200);
    // gzip of `text` as a server sends it, and a small gzip of a much larger run of zeros.
    const auto gzip = [](const QByteArray& plain) {
        QByteArray z = qCompress(plain, 9).mid(4);  // zlib stream without Qt's length prefix
        QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
        out += z.mid(2, z.size() - 6);  // raw deflate between the zlib header and its Adler-32
        quint32 crc = 0xffffffffu;
        for (char byte : plain) {
            crc ^= quint8(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
        crc = ~crc;
        for (quint32 v : {crc, quint32(plain.size())})
            for (int i = 0; i < 4; ++i)
                out += char((v >> (8 * i)) & 0xff);
        return out;
    };
    server.route("/text", HttpTestResponse{200, {{"Content-Encoding", "gzip"}}, gzip(text)});
    server.route("/bomb", HttpTestResponse{200, {{"Content-Encoding", "gzip"}}, gzip(QByteArray(4 << 20, '\0'))});
    struct Case
    {
        const char* path;
        bool accepts;
        qint64 cap;
        std::optional<QByteArray> body;  // none: fails as too large
    };
    const Case cases[] = {
        {"/text", true, 1 << 20, text},
        {"/text", false, 1 << 20, gzip(text)},  // not asked for: handed over as sent
        {"/bomb", true, 1 << 20, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        PZHTTPLoader loader;
        loader.setAcceptsCompressedBody(c.accepts);
        loader.setMaxBodySize(c.cap);
        LoadRecorder rec(loader);
        loader.loadURL(server.url(c.path));
        ASSERT_TRUE(rec.wait());
        EXPECT_EQ(server.requests().last().header("Accept-Encoding"),
                  c.accepts ? QByteArray("identity,gzip,deflate") : QByteArray());
        if (c.body) {
            EXPECT_EQ(rec.completions, 1);
            EXPECT_EQ(rec.data, *c.body);
        } else {
            EXPECT_EQ(rec.error.kind, HttpError::Kind::BodyTooLarge);
        }
    }
}
