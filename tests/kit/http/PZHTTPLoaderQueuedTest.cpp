#include "kit/Settings.h"
#include "kit/http/HttpCookieStore.h"
#include "kit/http/PZHTTPLoaderQueued.h"
#include "LoadRecorder.h"
#include "support/HttpTestServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class HttpLoaderQueuedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Settings::useFile(dir.filePath("Ombrelay.conf"));
        ASSERT_TRUE(server.listen());
        HttpTestResponse silent;
        silent.silent = true;
        server.route("/silent", silent);
    }
    void TearDown() override
    {
        loaders.clear();
        EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 0);
        EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 0);
    }

    // Takes every place with loads that never get an answer.
    void fillQueue()
    {
        for (int i = 0; i < PZHTTPLoaderQueued::kMaxLoaders; ++i) {
            loaders.push_back(std::make_unique<PZHTTPLoaderQueued>());
            loaders.back()->setTimeoutMs(60000);
            loaders.back()->loadURL(server.url("/silent"));
        }
        ASSERT_EQ(PZHTTPLoaderQueued::currentLoaders(), PZHTTPLoaderQueued::kMaxLoaders);
        ASSERT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 0);
    }

    QTemporaryDir dir;
    HttpTestServer server;
    std::vector<std::unique_ptr<PZHTTPLoaderQueued>> loaders;
};

TEST_F(HttpLoaderQueuedTest, AtMostEightyRunAndAllComplete)
{
    HttpTestResponse slow{200, {}, "page"};
    slow.delayMs = 300;
    server.route("/page", slow);
    int maxCounted = 0;
    QObject::connect(&server, &HttpTestServer::requestReceived, [&] {
        maxCounted = std::max(maxCounted, PZHTTPLoaderQueued::currentLoaders());
    });
    const int total = 200;
    int completed = 0;
    for (int i = 0; i < total; ++i) {
        loaders.push_back(std::make_unique<PZHTTPLoaderQueued>());
        QObject::connect(loaders.back().get(), &PZHTTPLoader::completed, [&](PZHTTPLoader* l, const QByteArray& data) {
            completed += l->statusCode() == 200 && data == "page";
        });
        loaders.back()->loadURL(server.url("/page?n=" + QByteArray::number(i)));
    }
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 80);
    EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), total - 80);
    EXPECT_TRUE(waitUntil([&] { return completed == total; }, 20000));
    EXPECT_EQ(server.requestCount(), total);
    EXPECT_LE(server.maxOpenRequests(), 80);
    EXPECT_GE(server.maxOpenRequests(), 40);  // the loads really overlapped
    EXPECT_LE(maxCounted, 80);
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 0);
}

TEST_F(HttpLoaderQueuedTest, UnloadableSchemeFailsWithoutTakingAPlace)
{
    fillQueue();
    PZHTTPLoaderQueued waiting;
    waiting.loadURL(server.url("/silent"));
    EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 1);
    EXPECT_TRUE(waiting.isLoading());

    for (const char* address : {"ftp://127.0.0.1/x", "gopher://127.0.0.1/", ""}) {
        SCOPED_TRACE(address);
        PZHTTPLoaderQueued loader;
        LoadRecorder rec(loader);
        loader.loadURL(QUrl(address));
        EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 1);
        ASSERT_TRUE(rec.wait(1000));  // on the next pass, not after a time-out
        EXPECT_EQ(rec.errors, 1);
        EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 80);
        EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 1);
    }
    waiting.killConnection();
    EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 0);
    EXPECT_FALSE(waiting.isLoading());
}

TEST_F(HttpLoaderQueuedTest, KilledOrDestroyedLoadFreesItsPlaceAtOnce)
{
    fillQueue();
    server.route("/next", HttpTestResponse{200, {}, "next"});
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "killed");
        auto next = std::make_unique<PZHTTPLoaderQueued>();
        LoadRecorder rec(*next);
        next->loadURL(server.url("/next"));
        ASSERT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 1);
        if (destroy)
            loaders.pop_back();
        else
            loaders.front()->killConnection();
        EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 0);
        EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 80);
        ASSERT_TRUE(rec.wait());
        EXPECT_EQ(rec.data, "next");
        EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 79);
        if (!destroy)
            loaders.erase(loaders.begin());
        loaders.push_back(std::make_unique<PZHTTPLoaderQueued>());
        loaders.back()->setTimeoutMs(60000);
        loaders.back()->loadURL(server.url("/silent"));
        ASSERT_EQ(PZHTTPLoaderQueued::currentLoaders(), 80);
    }
    // A waiting loader that is destroyed leaves the list.
    auto waiting = std::make_unique<PZHTTPLoaderQueued>();
    waiting->loadURL(server.url("/next"));
    EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 1);
    waiting.reset();
    EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 0);
}

// "https" (any case) is loaded too: it takes a place and reaches the server, whose plain HTTP answer
// to the TLS greeting then fails the load.
TEST_F(HttpLoaderQueuedTest, HttpsIsLoaded)
{
    PZHTTPLoaderQueued loader;
    LoadRecorder rec(loader);
    loader.loadURL(QUrl("HTTPS://127.0.0.1:" + QString::number(server.port()) + "/page"));
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 1);
    ASSERT_TRUE(rec.wait());
    EXPECT_EQ(rec.errors, 1);
    EXPECT_EQ(rec.error.kind, HttpError::Kind::Network);
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 0);
}

TEST_F(HttpLoaderQueuedTest, TimeOutEndsTheLoadAndFreesItsPlace)
{
    EXPECT_EQ(PZHTTPLoaderQueued().timeoutMs(), 10000);
    PZHTTPLoaderQueued loader;
    loader.setTimeoutMs(300);
    LoadRecorder rec(loader);
    loader.loadURL(server.url("/silent"));
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 1);
    ASSERT_TRUE(rec.wait());
    EXPECT_EQ(rec.errors, 1);
    EXPECT_EQ(rec.error.kind, HttpError::Kind::TimedOut);
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 0);
}

TEST_F(HttpLoaderQueuedTest, CookiesFollowTheSetting)
{
    server.route("/page", HttpTestResponse{200, {}, "page"});
    ASSERT_TRUE(HttpCookieStore::setCookie(cookie("127.0.0.1", "/", "login", "yes")));
    ASSERT_TRUE(HttpCookieStore::setCookie(cookie("127.0.0.1", "/", "old", "gone", QDateTime::fromSecsSinceEpoch(1000))));
    ASSERT_TRUE(HttpCookieStore::setCookie(cookie("127.0.0.1", "/other", "elsewhere", "no")));
    for (bool disabled : {false, true}) {
        SCOPED_TRACE(disabled);
        Settings::instance().setBool("kDisableCookies", disabled);
        PZHTTPLoaderQueued loader;
        LoadRecorder rec(loader);
        loader.loadURL(server.url("/page"));
        ASSERT_TRUE(rec.wait());
        const HttpTestRequest req = server.requests().last();
        EXPECT_EQ(req.hasHeader("Cookie"), !disabled);
        if (!disabled) {
            EXPECT_EQ(req.header("Cookie"), "login=yes");
        }
    }
    HttpCookieStore::clear();
}

}  // namespace
