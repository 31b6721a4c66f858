#pragma once

#include "kit/PropertyList.h"
#include "kit/Settings.h"
#include "support/HttpTestServer.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace ombrelay::test {

// A one-file metainfo named `name` announcing to `tracker` (none when empty); distinct names give
// distinct info hashes.
inline QByteArray torrentBytes(const QByteArray& name, const QByteArray& tracker = {})
{
    QByteArray bytes = "d";
    if (!tracker.isEmpty())
        bytes += "8:announce" + QByteArray::number(tracker.size()) + ':' + tracker;
    bytes += "4:infod6:lengthi1000e4:name" + QByteArray::number(name.size()) + ':' + name
        + "12:piece lengthi16384e6:pieces20:" + QByteArray(20, 'p') + "ee";
    return bytes;
}

inline HttpTestResponse page(const QByteArray& html)
{
    return {200, {{"Content-Type", "text/html"}}, html};
}

inline HttpTestResponse torrentFile(const QByteArray& bytes)
{
    return {200, {{"Content-Type", "application/x-bittorrent"}}, bytes};
}

// Every request goes through a loopback test server acting as the HTTP proxy, so that named hosts are
// answered by its routes.
class ProxiedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(proxy.listen());
        const QByteArray address = "http://127.0.0.1:" + QByteArray::number(proxy.port());
        qputenv("http_proxy", address);
        qputenv("https_proxy", address);
        qunsetenv("no_proxy");
        qunsetenv("NO_PROXY");
    }
    void TearDown() override
    {
        qunsetenv("http_proxy");
        qunsetenv("https_proxy");
    }

    HttpTestServer proxy;
};

// Fresh settings in a temporary folder, requests through the test proxy.
class SearchTest : public ProxiedTest
{
protected:
    void SetUp() override
    {
        ProxiedTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        Settings::useFile(m_dir.filePath(QStringLiteral("Ombrelay.conf")));
    }

    // Only these user sites, and only these built-in sites, are enabled.
    static void useSites(const QList<QVariantMap>& userSites, const QStringList& builtIn = {})
    {
        QVariantList list;
        for (const QVariantMap& site : userSites)
            list.append(site);
        Settings::instance().setValue(QStringLiteral("kEnabledSystemModules"), builtIn);
        Settings::instance().setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(list));
    }

    static QVariantMap userSite(const QString& name, const QString& pattern)
    {
        return {{QStringLiteral("name"), name}, {QStringLiteral("url"), pattern},
                {QStringLiteral("isEnabled"), QStringLiteral("1")}, {QStringLiteral("type"), QStringLiteral("0")}};
    }

    QString tempPath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

}  // namespace ombrelay::test
