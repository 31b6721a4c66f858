#pragma once

#include "app/desktop/DesktopAppFixture.h"
#include "support/HttpTestServer.h"

namespace ombrelay::test {

// The application whose home page and searches go to a server of the test's own on loopback.
class LoopbackHomeApp : public DesktopApp
{
protected:
    // Starts the server with a home page and sends the application's web traffic to it; call before launch().
    void serveHome()
    {
        ASSERT_TRUE(server.listen());
        server.route("/", HttpTestResponse{200, {{"Content-Type", "text/html"}}, "<title>Home</title>"});
        qputenv("http_proxy", server.url("/").toString().toUtf8());
        Settings::instance().setValue("kDefaultSite", QStringLiteral("http://home.invalid/"));
    }

    HttpTestServer server;
};

}  // namespace ombrelay::test
