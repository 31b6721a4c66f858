#include "kit/http/HttpCookieStore.h"
#include "kit/http/PZHTTPLoader.h"
#include "LoadRecorder.h"
#include "support/HttpTestServer.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
    void SetUp() override { ASSERT_TRUE(server.listen()); }
    HttpTestServer server;
};

TEST_F(HttpLoaderTest, StatusCodesAreNotErrors)
{
    server.route("/missing", HttpTestResponse{404, {{"Content-Type", "text/html"}}, "<p>gone</p>"});
    for (bool needsMimeType : {false, true}) {
        PZHTTPLoader loader;
        loader.setNeedsMimeType(needsMimeType);
        LoadRecorder rec(loader);
        loader.loadURL(server.url("/missing"));
        ASSERT_TRUE(rec.wait());
        EXPECT_EQ(rec.completions, 1);
        EXPECT_EQ(loader.statusCode(), 404);
        EXPECT_EQ(rec.data, "<p>gone</p>");
        EXPECT_EQ(loader.mimeType(), needsMimeType ? QString("text/html") : QString());
    }
}

TEST_F(HttpLoaderTest, GetRequestCarriesUserAgentAndNoCookie)
{
    HttpCookieStore::setCookie(cookie("127.0.0.1", "/", "session", "secret"));
    struct Case { const char* name; std::unique_ptr<PZHTTPLoader> loader; QByteArray agent; bool cookie; };
    Case cases[] = {
        {"plain", std::make_unique<PZHTTPLoader>(), PZHTTPLoader::browserUserAgent(), false},
        {"own agent", std::make_unique<CustomAgentLoader>(), "Ombrelay/2168", false},
        {"sends cookies", std::make_unique<CookieLoader>(), PZHTTPLoader::browserUserAgent(), true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadRecorder rec(*c.loader);
        const int before = server.requestCount();
        c.loader->loadURL(server.url("/page?q=1"));
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

TEST_F(HttpLoaderTest, EmptyBodyAndCutResponses)
{
    HttpTestResponse headersOnly{200, {}, {}};
    headersOnly.closeDelimited = true;
    server.route("/empty", headersOnly);
    HttpTestResponse cut{200, {}, QByteArray(5000, 'x')};
    cut.closeAfterBytes = 2000;  // inside the body announced with Content-Length 5000
    server.route("/cut", cut);

    PZHTTPLoader empty;
    LoadRecorder emptyRec(empty);
    empty.loadURL(server.url("/empty"));
    ASSERT_TRUE(emptyRec.wait());
    EXPECT_EQ(emptyRec.completions, 1);
    EXPECT_EQ(empty.statusCode(), 200);
    EXPECT_TRUE(empty.data().isNull());

    PZHTTPLoader truncated;
    LoadRecorder cutRec(truncated);
    truncated.loadURL(server.url("/cut"));
    ASSERT_TRUE(cutRec.wait());
    EXPECT_EQ(cutRec.errors, 1);
    EXPECT_EQ(cutRec.error.kind, HttpError::Kind::Network);
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

TEST_F(HttpLoaderTest, SilentServerTimesOut)
{
    EXPECT_EQ(PZHTTPLoader().timeoutMs(), 60000);
    HttpTestResponse silent;
    silent.silent = true;
    server.route("/silent", silent);
    PZHTTPLoader loader;
    loader.setTimeoutMs(300);
    LoadRecorder rec(loader);
    loader.loadURL(server.url("/silent"));
    ASSERT_TRUE(rec.wait(5000));
    EXPECT_EQ(rec.errors, 1);
    EXPECT_EQ(rec.error.kind, HttpError::Kind::TimedOut);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(HttpLoaderTest, BodyCapIsAnError)
{
    const qint64 cap = 1000;
    struct Case { const char* path; qint64 size; bool closeDelimited; bool fits; } cases[] = {
        {"/fits", cap, false, true},
        {"/over", cap + 1, false, false},                // refused from its Content-Length
        {"/fits-close", cap, true, true},
        {"/over-close", 50 * cap, true, false},          // refused while it streams in
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        HttpTestResponse r{200, {}, QByteArray(c.size, 'b')};
        r.closeDelimited = c.closeDelimited;
        server.route(c.path, r);
        PZHTTPLoader loader;
        loader.setMaxBodySize(cap);
        LoadRecorder rec(loader);
        loader.loadURL(server.url(c.path));
        ASSERT_TRUE(rec.wait());
        if (c.fits) {
            EXPECT_EQ(rec.completions, 1);
            EXPECT_EQ(rec.data.size(), c.size);
        } else {
            EXPECT_EQ(rec.errors, 1);
            EXPECT_EQ(rec.error.kind, HttpError::Kind::BodyTooLarge);
        }
    }
    EXPECT_EQ(PZHTTPLoader().maxBodySize(), PZHTTPLoader::kPageBodyCap);
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
